#include "app/DeviceTableModel.h"

#include <QColor>
#include <QFont>

#include "platform/TextEntry.h"
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

bool DeviceTableModel::keyPasses(int column, QChar key) {
    return column < ColIp || AddressCharacterPasses(key);
}

}  // namespace velomar
