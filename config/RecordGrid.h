#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVariant>
#include <QVector>

namespace velomar {

// One column of a per-port grid: how its cells hold and edit their value.
struct GridColumn {
    enum Kind {
        PortNumber,  // "No": read-only, centred, skipped by the editor
        Text,        // free text cut to maxLength characters
        List,        // one entry of `items`
        Number,      // whole number 0-65535
        Check        // yes/no as a check box
    };
    QString title;
    Kind kind = Text;
    QStringList items;
    int maxLength = 0;
    int width = 80;
};

// The cells of a per-port grid: one row per serial port, each cell holding a value or
// nothing. Values live here, not in widgets, so assistive tools read them from the model.
// Two ways in: setData() is the user's edit and reports userChanged(); place() is a
// decoder's and reports nothing but the repaint.
class RecordGridModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    RecordGridModel(QVector<GridColumn> columns, QObject* parent = nullptr);

    const GridColumn& column(int c) const { return columns_.at(c); }

    // All rows go; `count` empty rows take their place.
    void resetRows(int count);

    // What a cell holds: its whole text (a Text cell keeps NUL characters), empty when the
    // cell is empty. A Check cell gives "1" or "".
    QString value(int row, int column) const;
    bool isChecked(int row, int column) const;
    bool isEmpty(int row, int column) const;

    // Decoder path. Texts are cut to the column's length.
    void place(int row, int column, const QString& text);
    void placeChecked(int row, int column, bool checked);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // User path: a value equal to what the cell shows changes nothing (an editor opened
    // and left must not lose the hidden bytes of a cell or count as an edit).
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  signals:
    void userChanged(int row, int column);

  private:
    QString cut(int column, const QString& text) const;

    QVector<GridColumn> columns_;
    QVector<QVector<QVariant>> rows_;
};

// The editors of a per-port grid: a drop-down list for List columns, a number edit that
// takes 0-65535 for Number columns, a length-limited edit for Text columns.
class RecordGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
};

// A per-port grid's view. Tab and Shift+Tab go through the current row's cells and then
// leave the grid, never to another row (a grid of 16 ports would otherwise keep the focus
// for 150 presses); Ctrl+Tab and Ctrl+Shift+Tab leave at once; the "No" column is skipped.
class RecordGridView : public QTableView {
    Q_OBJECT
  public:
    using QTableView::QTableView;

  protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// A table view set up the way both grids behave: whole-row selection, editors opened by
// typing, F2, a double-click or a click on the selected row.
QTableView* MakeRecordGrid(RecordGridModel* model, const QString& name, QWidget* parent);

}  // namespace velomar
