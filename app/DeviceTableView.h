#pragma once

#include <QTableView>

namespace velomar {

class DeviceCellDelegate;

// The device table's view: whole-row selection, editors opened by F2 or typing (a
// double-click is the window's), and keyboard moves that skip read-only cells. Tab and
// Shift+Tab go through the current row's editable cells and then leave the table, never to
// another row; Ctrl+Tab and Ctrl+Shift+Tab leave at once; Return or Enter outside an edit
// opens the row as a double-click does.
class DeviceTableView : public QTableView {
    Q_OBJECT
  public:
    explicit DeviceTableView(QWidget* parent = nullptr);
    DeviceCellDelegate* cellDelegate() const { return delegate_; }
    bool isEditing() const { return state() == EditingState; }
    // Takes the open editor's text into its cell and closes the editor.
    void commitPendingEdit();

  signals:
    // A double-click anywhere in the table, on a cell or in the empty part below the rows.
    void viewportDoubleClicked();
    // Return or Enter on the current row, outside an edit.
    void rowOpened();

  protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    // A discarded key neither opens an editor nor reaches one.
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    DeviceCellDelegate* delegate_;
};

}  // namespace velomar
