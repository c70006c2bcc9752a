#include "config/RecordGrid.h"

#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <QValidator>

#include "core/ShownText.h"
#include "protocol/Bytes.h"

namespace velomar {

namespace {
// Digits only, at most 65535; an empty text is allowed while typing.
class WordValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        if (input.isEmpty()) return Intermediate;
        if (input.size() > 5) return Invalid;
        for (QChar c : input) {
            if (c < u'0' || c > u'9') return Invalid;
        }
        return input.toInt() <= 65535 ? Acceptable : Invalid;
    }
};
}  // namespace

RecordGridModel::RecordGridModel(QVector<GridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent), columns_(std::move(columns)) {}

void RecordGridModel::resetRows(int count) {
    beginResetModel();
    rows_.clear();
    rows_.resize(count, QVector<QVariant>(columns_.size()));
    endResetModel();
}

QString RecordGridModel::value(int row, int column) const {
    const QVariant& v = rows_.at(row).at(column);
    if (columns_.at(column).kind == GridColumn::Check) {
        return v.toBool() ? QStringLiteral("1") : QString();
    }
    return v.toString();
}

bool RecordGridModel::isChecked(int row, int column) const {
    return rows_.at(row).at(column).toBool();
}

bool RecordGridModel::isEmpty(int row, int column) const {
    return !rows_.at(row).at(column).isValid();
}

QString RecordGridModel::cut(int column, const QString& text) const {
    const int limit = columns_.at(column).maxLength;
    return limit > 0 ? text.left(limit) : text;
}

void RecordGridModel::place(int row, int column, const QString& text) {
    rows_[row][column] = cut(column, text);
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i);
}

void RecordGridModel::placeChecked(int row, int column, bool checked) {
    rows_[row][column] = checked;
    const QModelIndex i = index(row, column);
    emit dataChanged(i, i);
}

int RecordGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RecordGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant RecordGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const GridColumn& col = columns_.at(index.column());
    const QVariant& v = rows_.at(index.row()).at(index.column());
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
        case Qt::AccessibleTextRole:
            if (col.kind == GridColumn::Check) {
                if (role != Qt::AccessibleTextRole) return {};
                return v.toBool() ? QStringLiteral("checked") : QStringLiteral("not checked");
            }
            // An alias is the device's text: control characters show as escapes.
            return ShownText(UpToNul(v.toString()));
        case Qt::CheckStateRole:
            if (col.kind != GridColumn::Check) return {};
            return v.toBool() ? Qt::Checked : Qt::Unchecked;
        case Qt::TextAlignmentRole:
            if (col.kind == GridColumn::PortNumber) return int(Qt::AlignCenter);
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

QVariant RecordGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columns_.size()) return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return columns_.at(section).title;
    return {};
}

Qt::ItemFlags RecordGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    const Qt::ItemFlags base = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    switch (columns_.at(index.column()).kind) {
        case GridColumn::PortNumber:
            return base;
        case GridColumn::Check:
            return base | Qt::ItemIsUserCheckable;
        default:
            return base | Qt::ItemIsEditable;
    }
}

bool RecordGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid()) return false;
    const int r = index.row();
    const int c = index.column();
    const GridColumn& col = columns_.at(c);
    if (col.kind == GridColumn::PortNumber) return false;
    if (col.kind == GridColumn::Check) {
        if (role != Qt::CheckStateRole) return false;
        const bool checked = value.toInt() == Qt::Checked;
        if (!isEmpty(r, c) && isChecked(r, c) == checked) return true;
        if (isEmpty(r, c) && !checked) return true;
        rows_[r][c] = checked;
    } else {
        if (role != Qt::EditRole) return false;
        const QVariant& old = rows_.at(r).at(c);
        if (old.isValid() && ShownText(UpToNul(old.toString())) == value.toString()) return true;
        const QString text = cut(c, value.toString());
        if (old.isValid() ? UpToNul(old.toString()) == text : text.isEmpty()) return true;
        rows_[r][c] = text;
    }
    emit dataChanged(index, index);
    emit userChanged(r, c);
    return true;
}

QWidget* RecordGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const {
    const auto* model = qobject_cast<const RecordGridModel*>(index.model());
    if (!model) return QStyledItemDelegate::createEditor(parent, option, index);
    const GridColumn& col = model->column(index.column());
    switch (col.kind) {
        case GridColumn::List: {
            auto* box = new QComboBox(parent);
            box->addItems(col.items);
            box->setAccessibleName(col.title);
            // A choice takes effect as soon as it is made, like the other list fields.
            connect(box, &QComboBox::activated, this,
                    [this, box] { emit const_cast<RecordGridDelegate*>(this)->commitData(box); });
            return box;
        }
        case GridColumn::Number:
        case GridColumn::Text: {
            auto* edit = new QLineEdit(parent);
            edit->setAccessibleName(col.title);
            edit->setFrame(false);
            if (col.kind == GridColumn::Number) {
                edit->setValidator(new WordValidator(edit));
                edit->setMaxLength(5);
            } else if (col.maxLength > 0) {
                edit->setMaxLength(col.maxLength);
            }
            return edit;
        }
        default:
            return nullptr;
    }
}

// cppcheck-suppress unusedFunction ; Qt calls it
void RecordGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    const QString text = index.data(Qt::EditRole).toString();
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
        box->setCurrentIndex(box->findText(text, Qt::MatchFixedString));
    } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
        // Escapes make a shown text longer than the field: the limit never cuts it.
        if (edit->maxLength() < text.size()) edit->setMaxLength(int(text.size()));
        edit->setText(text);
    }
}

// cppcheck-suppress unusedFunction ; Qt calls it
void RecordGridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                      const QModelIndex& index) const {
    if (auto* box = qobject_cast<QComboBox*>(editor)) {
        if (box->currentIndex() >= 0) model->setData(index, box->currentText(), Qt::EditRole);
    } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
        // A number edit left empty keeps the cell's number.
        if (edit->validator() && !edit->hasAcceptableInput()) return;
        model->setData(index, edit->text(), Qt::EditRole);
    }
}

QModelIndex RecordGridView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const QModelIndex current = currentIndex();
    if ((action != MoveNext && action != MovePrevious) || !current.isValid() || !model())
        return QTableView::moveCursor(action, modifiers);
    const int step = action == MoveNext ? 1 : -1;
    for (int c = current.column() + step; c >= 0 && c < model()->columnCount(); c += step) {
        const QModelIndex i = model()->index(current.row(), c);
        if (!isColumnHidden(c) &&
            (model()->flags(i) & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable)))
            return i;
    }
    return {};  // past the row's last cell: the window moves the focus on
}

void RecordGridView::keyPressEvent(QKeyEvent* event) {
    const bool tab = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    if (tab && (event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::focusNextPrevChild(event->key() == Qt::Key_Tab &&
                                                !(event->modifiers() & Qt::ShiftModifier));
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

QTableView* MakeRecordGrid(RecordGridModel* model, const QString& name, QWidget* parent) {
    auto* view = new RecordGridView(parent);
    view->setAccessibleName(name);
    view->setModel(model);
    view->setItemDelegate(new RecordGridDelegate(view));
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    view->verticalHeader()->setVisible(false);
    view->verticalHeader()->setDefaultSectionSize(22);
    view->horizontalHeader()->setHighlightSections(false);
    for (int c = 0; c < model->columnCount(); ++c) view->setColumnWidth(c, model->column(c).width);
    // The last column takes what is left, so the grid never shows an empty strip.
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

}  // namespace velomar
