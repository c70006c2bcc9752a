#include "app/DeviceTable.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QValidator>

#include "platform/TextEntry.h"
#include "protocol/Codecs.h"
#include "protocol/Errors.h"

namespace velomar {

namespace {
const int kWidths[DeviceTableModel::ColumnCount] = {16, 17, 7, 32, 15, 15, 15, 15, 0, 0, 16, 16};
const char* const kTitles[DeviceTableModel::ColumnCount] = {
    "Model",   "MAC Address", "Version", "Device Name", "IP Address", "Subnet Mask",
    "Gateway", "Pelorin IP",  "Apply",   "Column0",     "Column1",    "Column2"};
}  // namespace

int DeviceTableModel::widthKept(int column) {
    return column >= 0 && column < ColumnCount ? kWidths[column] : 0;
}

QString DeviceTableModel::title(int column) {
    return column >= 0 && column < ColumnCount ? QString::fromLatin1(kTitles[column]) : QString();
}

QString DeviceTableModel::cut(int column, const QString& text) {
    const int width = widthKept(column);
    return width > 0 ? text.left(width) : text;
}

QString DeviceTableModel::shown(const QString& text) {
    const int nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

DeviceTableModel::DeviceTableModel(QObject* parent) : QAbstractTableModel(parent) {}

int DeviceTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int DeviceTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DeviceTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= count()) return {};
    const int column = index.column();
    if (column == ColApply) {
        const bool on = rows_[index.row()].apply;
        if (role == Qt::CheckStateRole) return on ? Qt::Checked : Qt::Unchecked;
        if (role == Qt::AccessibleTextRole)
            return on ? QStringLiteral("Apply: ticked") : QStringLiteral("Apply: not ticked");
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return shown(cellText(index.row(), column));
        case Qt::EditRole:
            return shown(cellText(index.row(), column));
        case Qt::TextAlignmentRole:
            return int(Qt::AlignCenter);
        default:
            return {};
    }
}

QVariant DeviceTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) return title(section);
    if (role == Qt::ForegroundRole) return QColor(85, 85, 85);
    if (role == Qt::BackgroundRole) return QColor(223, 223, 223);
    if (role == Qt::FontRole) {
        QFont f;
        f.setBold(true);
        return f;
    }
    return {};
}

Qt::ItemFlags DeviceTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const int c = index.column();
    if (c >= ColName && c <= ColPelorin) f |= Qt::ItemIsEditable;
    if (c == ColApply) f |= Qt::ItemIsUserCheckable;
    return f;
}

bool DeviceTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= count()) return false;
    const int c = index.column();
    if (c == ColApply && role == Qt::CheckStateRole) {
        // Only the view calls this, for the user's click or key on the box.
        emit applyToggledByUser(index.row());
        setApply(index.row(), value.toInt() == Qt::Checked);
        return true;
    }
    if (role != Qt::EditRole || c < ColName || c > ColPelorin) return false;
    // An editor closed without a change keeps what is stored, NUL characters included.
    if (value.toString() == shown(cellText(index.row(), c))) return true;
    setCellText(index.row(), c, value.toString());
    return true;
}

bool DeviceTableModel::IsNewDevice(const QString& macText) const {
    return !macIndex_.contains(cut(ColMac, macText));
}

bool DeviceTableModel::AddDevice(const DeviceTexts& device) {
    return AddDevices({device}) == 1;
}

int DeviceTableModel::AddDevices(const QVector<DeviceTexts>& devices) {
    QVector<DeviceEntry> fresh;
    fresh.reserve(devices.size());
    macIndex_.reserve(macIndex_.size() + devices.size());
    for (const DeviceTexts& d : devices) {
        const QString mac = cut(ColMac, d.mac);
        // The index takes the new row at once, so a MAC twice in one batch is listed once.
        if (macIndex_.contains(mac)) continue;
        macIndex_.insert(mac, count() + static_cast<int>(fresh.size()));
        DeviceEntry e;
        e.model = cut(ColModel, d.model);
        e.mac = mac;
        e.version = cut(ColVersion, d.version);
        e.name = cut(ColName, d.name);
        e.ip = cut(ColIp, d.ip);
        e.mask = cut(ColMask, d.mask);
        e.gateway = cut(ColGateway, d.gateway);
        e.pelorin = cut(ColPelorin, d.pelorin);
        e.knownIp = cut(ColKnownIp, d.ip);
        fresh.push_back(std::move(e));
    }
    const int added = static_cast<int>(fresh.size());
    if (added == 0) return 0;
    beginInsertRows({}, count(), count() + added - 1);
    rows_ += std::move(fresh);
    endInsertRows();
    return added;
}

void DeviceTableModel::ClearDevices() {
    beginResetModel();
    rows_.clear();
    macIndex_.clear();
    endResetModel();
}

void DeviceTableModel::checkRow(int row) const {
    if (row < 0 || row >= count()) throw Error(QStringLiteral("Grid index out of range"));
}

const DeviceEntry& DeviceTableModel::entry(int row) const {
    checkRow(row);
    return rows_[row];
}

DeviceEntry& DeviceTableModel::entryRef(int row) {
    checkRow(row);
    return rows_[row];
}

QString DeviceTableModel::cellText(int row, int column) const {
    const DeviceEntry& e = entry(row);
    switch (column) {
        case ColModel:
            return e.model;
        case ColMac:
            return e.mac;
        case ColVersion:
            return e.version;
        case ColName:
            return e.name;
        case ColIp:
            return e.ip;
        case ColMask:
            return e.mask;
        case ColGateway:
            return e.gateway;
        case ColPelorin:
            return e.pelorin;
        case ColKnownIp:
            return e.knownIp;
        default:
            return {};
    }
}

void DeviceTableModel::setCellText(int row, int column, const QString& text) {
    DeviceEntry& e = entryRef(row);
    const QString value = cut(column, text);
    QString* field = nullptr;
    switch (column) {
        case ColModel:
            field = &e.model;
            break;
        case ColMac:
            field = &e.mac;
            break;
        case ColVersion:
            field = &e.version;
            break;
        case ColName:
            field = &e.name;
            break;
        case ColIp:
            field = &e.ip;
            break;
        case ColMask:
            field = &e.mask;
            break;
        case ColGateway:
            field = &e.gateway;
            break;
        case ColPelorin:
            field = &e.pelorin;
            break;
        case ColKnownIp:
            field = &e.knownIp;
            break;
        default:
            return;
    }
    if (*field == value) return;
    if (column == ColMac) {
        macIndex_.remove(e.mac);
        macIndex_.insert(value, row);
    }
    *field = value;
    emit dataChanged(index(row, column), index(row, column));
}

void DeviceTableModel::setApply(int row, bool on) {
    DeviceEntry& e = entryRef(row);
    if (e.apply == on) return;
    e.apply = on;
    emit dataChanged(index(row, ColApply), index(row, ColApply));
}

}  // namespace velomar

namespace velomar {

bool DeviceTableModel::keyPasses(int column, QChar key) {
    return column < ColIp || AddressCharacterPasses(key);
}

namespace {

// Takes out of an editor's text every character the address key filter refuses, whatever
// way it came in.
class AddressValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        pos = static_cast<int>(KeptCharacters(input.left(pos), AddressCharacterPasses).size());
        input = KeptCharacters(input, AddressCharacterPasses);
        return Acceptable;
    }
};

const char* const kColumnProperty = "deviceTableColumn";

bool isTypedCharacter(const QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = event->text();
    if (text.size() != 1) return false;
    const char16_t u = text[0].unicode();
    return u == 8 || u >= 0x20;
}

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
    if (!keyFilter || !isTypedCharacter(event)) return false;
    QChar key = event->text()[0];
    keyFilter(key, column);
    return key.isNull();
}

bool DeviceCellDelegate::eventFilter(QObject* object, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const QVariant column = object->property(kColumnProperty);
        auto* key = static_cast<QKeyEvent*>(event);
        if (column.isValid() && discards(key, column.toInt())) return true;
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

DeviceTableView::DeviceTableView(QWidget* parent)
    : QTableView(parent), delegate_(new DeviceCellDelegate(this)) {
    setItemDelegate(delegate_);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    // A double-click belongs to the window (it opens the configuration dialog).
    setEditTriggers(EditKeyPressed | AnyKeyPressed);
    setTabKeyNavigation(true);
    setWordWrap(false);
}

void DeviceTableView::commitPendingEdit() {
    if (state() != EditingState) return;
    QWidget* editor = indexWidget(currentIndex());
    if (!editor) return;
    commitData(editor);
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void DeviceTableView::keyPressEvent(QKeyEvent* event) {
    const QModelIndex current = currentIndex();
    if (state() != EditingState && current.isValid() &&
        delegate_->discards(event, current.column())) {
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void DeviceTableView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    emit viewportDoubleClicked();
}

QModelIndex DeviceTableView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const QModelIndex current = currentIndex();
    const int rows = model() ? model()->rowCount() : 0;
    if (!current.isValid() || rows == 0) return QTableView::moveCursor(action, modifiers);
    const int row = current.row();
    auto usable = [this](int c) {
        return DeviceTableModel::isUserEditable(c) && !isColumnHidden(c);
    };
    auto nextIn = [&](int from, int step) {
        for (int c = from + step; c >= 0 && c < DeviceTableModel::ColumnCount; c += step) {
            if (usable(c)) return c;
        }
        return -1;
    };
    const int first = nextIn(-1, 1);
    const int last = nextIn(DeviceTableModel::ColumnCount, -1);
    switch (action) {
        case MoveRight:
        case MoveLeft: {
            const int c = nextIn(current.column(), action == MoveRight ? 1 : -1);
            return model()->index(
                row, c >= 0 ? c : (usable(current.column()) ? current.column() : first));
        }
        case MoveNext: {
            const int c = nextIn(current.column(), 1);
            if (c >= 0) return model()->index(row, c);
            return row + 1 < rows ? model()->index(row + 1, first) : current;
        }
        case MovePrevious: {
            const int c = nextIn(current.column(), -1);
            if (c >= 0) return model()->index(row, c);
            return row > 0 ? model()->index(row - 1, last) : current;
        }
        case MoveHome:
            return model()->index(modifiers & Qt::ControlModifier ? 0 : row, first);
        case MoveEnd:
            return model()->index(modifiers & Qt::ControlModifier ? rows - 1 : row, last);
        default: {
            const QModelIndex moved = QTableView::moveCursor(action, modifiers);
            if (moved.isValid() && !usable(moved.column()))
                return model()->index(moved.row(), first);
            return moved;
        }
    }
}

}  // namespace velomar
