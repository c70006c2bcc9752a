#include "app/DeviceCellDelegate.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QValidator>

#include "app/DeviceTableModel.h"
#include "platform/TextEntry.h"

namespace velomar {

namespace {

// Takes out of an editor's text every character the address key filter refuses, whatever
// way it came in.
class AddressValidator : public QValidator {
  public:
    using QValidator::QValidator;
    // cppcheck-suppress unusedFunction ; Qt calls it
    State validate(QString& input, int& pos) const override {
        pos = static_cast<int>(KeptCharacters(input.left(pos), AddressCharacterPasses).size());
        input = KeptCharacters(input, AddressCharacterPasses);
        return Acceptable;
    }
};

const char* const kColumnProperty = "deviceTableColumn";

}  // namespace

QWidget* DeviceCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                          const QModelIndex& index) const {
    const int column = index.column();
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    edit->setAlignment(Qt::AlignCenter);
    edit->setAccessibleName(DeviceTableModel::title(column));
    edit->setProperty(kColumnProperty, column);
    // What the user types or pastes is cut to what the column keeps.
    edit->setMaxLength(DeviceTableModel::widthKept(column));
    if (DeviceTableModel::isAddressColumn(column)) {
        edit->setValidator(new AddressValidator(edit));
        FilterPastes(edit, AddressCharacterPasses);
    }
    const int row = index.row();
    connect(edit, &QLineEdit::textEdited, this, [this, row] { emit userChangedRow(row); });
    return edit;
}

QRect DeviceCellDelegate::checkRect(const QStyleOptionViewItem& option) {
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    const int w = style->pixelMetric(QStyle::PM_IndicatorWidth, &option, option.widget);
    const int h = style->pixelMetric(QStyle::PM_IndicatorHeight, &option, option.widget);
    return QStyle::alignedRect(option.direction, Qt::AlignCenter, QSize(w, h), option.rect);
}

void DeviceCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    if (index.column() != DeviceTableModel::ColApply) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
    // Background and selection as for any cell, then the box alone in the middle.
    opt.features &= ~QStyleOptionViewItem::HasCheckIndicator;
    opt.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
    QStyleOptionViewItem box = option;
    box.rect = checkRect(option);
    box.state &= ~QStyle::State_HasFocus;
    box.state |= index.data(Qt::CheckStateRole).toInt() == Qt::Checked ? QStyle::State_On
                                                                       : QStyle::State_Off;
    style->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &box, painter, opt.widget);
}

bool DeviceCellDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                     const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (index.column() != DeviceTableModel::ColApply ||
        !(index.flags() & Qt::ItemIsUserCheckable)) {
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }
    const auto type = event->type();
    if (type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick ||
        type == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton ||
            !checkRect(option).contains(mouse->position().toPoint()))
            return false;
        // Press and double-click are taken so that the view does not act on them.
        if (type != QEvent::MouseButtonRelease) return true;
    } else if (type == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key != Qt::Key_Space && key != Qt::Key_Select) return false;
    } else {
        return false;
    }
    const bool on = index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    return model->setData(index, on ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

bool DeviceCellDelegate::discards(const QKeyEvent* event, int column) const {
    if (!keyFilter) return false;
    return RefusesTyping(event, [this, column](QChar key) {
        keyFilter(key, column);
        return !key.isNull();
    });
}

bool DeviceCellDelegate::eventFilter(QObject* object, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const QVariant column = object->property(kColumnProperty);
        auto* key = static_cast<QKeyEvent*>(event);
        if (column.isValid() && discards(key, column.toInt())) return true;
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

}  // namespace velomar
