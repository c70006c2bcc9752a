#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>
#include <QVector>
#include <optional>

#include "core/Discovery.h"
#include "protocol/DiscoveryReply.h"

namespace velomar {

// One row of the device table.
struct DeviceEntry {
    QString model, mac, version, name, ip, mask, gateway, pelorin;
    bool apply = false;
    QString knownIp;  // the address the device is known to use (hidden column)
    // What is wrong with its address (shared, outside this computer's subnets), as found
    // when the last search ended; shown on the "IP Address" cell, never in its text.
    QStringList problems;
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

    // Appends the devices of the discovery replies (each at least DiscoveryReply::kMinSize
    // bytes) whose MAC is not listed yet, in one model update; returns how many were added.
    // A MAC twice in one batch is listed once. Only the MAC is read now; a row's other texts are
    // decoded when it is first read, so that a burst of thousands of replies costs the
    // user-interface thread little.
    int addReplies(const QVector<QByteArray>& replies);
    void clearDevices();

    const DeviceEntry& entry(int row) const;
    DeviceEntry& entryRef(int row);
    // Text of a cell as stored (not cut at NUL).
    QString cellText(int row, int column) const;
    // What the cell shows and its editor starts with: up to the first NUL, control and
    // bidirectional characters as visible escapes (a device's name is anybody's text).
    QString shownText(int row, int column) const;
    void setCellText(int row, int column, const QString& text);
    void setApply(int row, bool on);
    // The row as its device reported it (for the saved list); nothing for a row whose
    // reply does not decode.
    std::optional<FoundDevice> device(int row) const;
    // The rows' problems, in row order (as core/Problems gives them).
    void setProblems(const std::vector<QStringList>& problems);
    int count() const { return static_cast<int>(rows_.size()); }

  signals:
    // The user toggled a row's Apply box (emitted before the new state is stored).
    void applyToggledByUser(int row);

  private:
    void checkRow(int row) const;
    // Decodes the row's reply into its texts if that was not done yet.
    void decodeRow(int row) const;
    int appendRows(QVector<DeviceEntry>& fresh, QVector<QByteArray>& replies);
    // Every row's reply as received, kept for the list the window saves.
    QVector<QByteArray> received_;

    // Rows are decoded on first reading, hence mutable; undecoded_[row] holds the reply of a
    // row not decoded yet (empty once it is).
    mutable QVector<DeviceEntry> rows_;
    mutable QVector<QByteArray> undecoded_;
    QHash<QString, int> macIndex_;
};

}  // namespace velomar
