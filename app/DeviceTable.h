#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QKeyEvent>
#include <QString>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVector>
#include <functional>

#include "core/NetworkSet.h"  // IsValidIp, the address check of the table
#include "protocol/DiscoveryReply.h"

namespace velomar {

// One row of the device table.
struct DeviceEntry {
    QString model, mac, version, name, ip, mask, gateway, pelorin;
    bool apply = false;
    QString knownIp;  // the address the device is known to use (hidden column)
};

// The device table's data: the entries in arrival order, with a MAC index so that the
// duplicate test stays cheap with thousands of rows.
class DeviceTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column {
        ColModel = 0,
        ColMac,
        ColVersion,
        ColName,
        ColIp,
        ColMask,
        ColGateway,
        ColPelorin,
        ColApply,
        ColHidden0,
        ColHidden1,
        ColKnownIp,
        ColumnCount
    };
    // Characters kept per column; 0 for the check-box columns.
    static int widthKept(int column);
    static QString title(int column);
    // A stored text cut to the column's width, its first characters staying.
    static QString cut(int column, const QString& text);
    // What a cell shows: its text up to the first NUL.
    static QString shown(const QString& text);
    // The columns the user may change (texts and the Apply box).
    static bool isUserEditable(int column) { return column >= ColName && column <= ColApply; }
    // Address columns take only the characters of an address.
    static bool isAddressColumn(int column) { return column >= ColIp && column <= ColPelorin; }
    // The table's key filter: whether a typed character passes in the given column.
    static bool keyPasses(int column, QChar key);

    explicit DeviceTableModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // Appends the devices whose MAC is not listed yet (one model update for all of them);
    // returns how many were added.
    int AddDevices(const QVector<DeviceTexts>& devices);
    bool AddDevice(const DeviceTexts& device);
    bool IsNewDevice(const QString& macText) const;
    void ClearDevices();

    const DeviceEntry& entry(int row) const;
    DeviceEntry& entryRef(int row);
    // Text of a cell as stored (not cut at NUL).
    QString cellText(int row, int column) const;
    void setCellText(int row, int column, const QString& text);
    void setApply(int row, bool on);
    int count() const { return static_cast<int>(rows_.size()); }

  signals:
    // The user toggled a row's Apply box (emitted before the new state is stored).
    void applyToggledByUser(int row);

  private:
    void checkRow(int row) const;

    QVector<DeviceEntry> rows_;
    QHash<QString, int> macIndex_;
};

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
