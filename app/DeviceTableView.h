#pragma once

#include <QTableView>

namespace velomar {

class DeviceCellDelegate;

// The device table's view: whole-row selection, editors opened by F2 or typing (a
// double-click is the window's), and keyboard moves that skip read-only cells.
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

  protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    // A discarded key neither opens an editor nor reaches one.
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    DeviceCellDelegate* delegate_;
};

}  // namespace velomar
