#pragma once

#include <QKeyEvent>
#include <QStyledItemDelegate>
#include <functional>

namespace velomar {

// Cell editors of the device table: plain line edits cut to the column's width, filtered
// like typed keys, reporting the user's first change.
class DeviceCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // Decides on each typed character (set it to QChar() to discard it); the column is
    // the edited cell's.
    std::function<void(QChar& key, int column)> keyFilter;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    // Runs keyFilter on a key event's character; true when the key is to be discarded.
    bool discards(const QKeyEvent* event, int column) const;
    // The Apply box sits in the middle of its cell, where a click toggles it.
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    static QRect checkRect(const QStyleOptionViewItem& option);

  signals:
    // The user changed the text of an open editor in this row.
    void userChangedRow(int row) const;

  protected:
    bool eventFilter(QObject* object, QEvent* event) override;
};

}  // namespace velomar
