#include "app/DeviceTableView.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include "app/DeviceCellDelegate.h"
#include "app/DeviceTableModel.h"

namespace velomar {

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
    const bool tab = event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab;
    if (tab && (event->modifiers() & Qt::ControlModifier)) {
        // Qt's way out of a widget that takes Tab itself.
        const bool forward =
            event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier);
        commitPendingEdit();
        QAbstractScrollArea::focusNextPrevChild(forward);
        event->accept();
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && state() != EditingState && currentIndex().isValid()) {
        event->accept();
        emit rowOpened();
        return;
    }
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
        // Past the row's last (or before its first) editable cell there is nothing: the
        // key is left to the window, which moves the focus on, and the row stays current.
        case MoveNext: {
            const int c = nextIn(current.column(), 1);
            return c >= 0 ? model()->index(row, c) : QModelIndex();
        }
        case MovePrevious: {
            const int c = nextIn(current.column(), -1);
            return c >= 0 ? model()->index(row, c) : QModelIndex();
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
