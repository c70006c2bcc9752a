#include "app/DeviceTableModel.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QStyle>
#include <iterator>

#include "core/ShownText.h"
#include "platform/TextEntry.h"
#include "protocol/Bytes.h"
#include "protocol/Codecs.h"
#include "protocol/Errors.h"
#include "protocol/Frame.h"

namespace velomar {

namespace {
// Each column once: its title, the characters a cell keeps (0: the whole text) and the
// entry's text it holds (none for the Apply box and the spare columns).
struct ColumnField {
    DeviceTableModel::Column column;
    const char* title;
    int widthKept;
    QString DeviceEntry::*text;
    // Where a new row's text comes from in a discovery reply.
    QString DeviceTexts::*received;
};

constexpr ColumnField kColumns[] = {
    {DeviceTableModel::ColModel, "Model", 16, &DeviceEntry::model, &DeviceTexts::model},
    {DeviceTableModel::ColMac, "MAC Address", 17, &DeviceEntry::mac, &DeviceTexts::mac},
    {DeviceTableModel::ColVersion, "Version", 7, &DeviceEntry::version, &DeviceTexts::version},
    {DeviceTableModel::ColName, "Device Name", 32, &DeviceEntry::name, &DeviceTexts::name},
    {DeviceTableModel::ColIp, "IP Address", 15, &DeviceEntry::ip, &DeviceTexts::ip},
    {DeviceTableModel::ColMask, "Subnet Mask", 15, &DeviceEntry::mask, &DeviceTexts::mask},
    {DeviceTableModel::ColGateway, "Gateway", 15, &DeviceEntry::gateway, &DeviceTexts::gateway},
    {DeviceTableModel::ColPelorin, "Pelorin IP", 15, &DeviceEntry::pelorin, &DeviceTexts::pelorin},
    {DeviceTableModel::ColApply, "Apply", 0, nullptr, nullptr},
    {DeviceTableModel::ColHidden0, "Column0", 0, nullptr, nullptr},
    {DeviceTableModel::ColHidden1, "Column1", 16, nullptr, nullptr},
    // The address a device is known to use starts as the one it reported.
    {DeviceTableModel::ColKnownIp, "Column2", 16, &DeviceEntry::knownIp, &DeviceTexts::ip},
};

// cppcheck-suppress unusedFunction ; the static_assert below calls it
constexpr bool inColumnOrder() {
    for (int c = 0; c < DeviceTableModel::ColumnCount; ++c) {
        if (kColumns[c].column != c) return false;
    }
    return true;
}
static_assert(std::size(kColumns) == DeviceTableModel::ColumnCount && inColumnOrder(),
              "one entry per column, in the order of DeviceTableModel::Column");

const ColumnField* field(int column) {
    return column >= 0 && column < DeviceTableModel::ColumnCount ? &kColumns[column] : nullptr;
}
}  // namespace

int DeviceTableModel::widthKept(int column) {
    const ColumnField* f = field(column);
    return f ? f->widthKept : 0;
}

QString DeviceTableModel::title(int column) {
    const ColumnField* f = field(column);
    return f ? QString::fromLatin1(f->title) : QString();
}

QString DeviceTableModel::cut(int column, const QString& text) {
    const int width = widthKept(column);
    return width > 0 ? text.left(width) : text;
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
        const bool on = entry(index.row()).apply;
        if (role == Qt::CheckStateRole) return on ? Qt::Checked : Qt::Unchecked;
        if (role == Qt::AccessibleTextRole)
            return on ? QStringLiteral("Apply: ticked") : QStringLiteral("Apply: not ticked");
        if (role == Qt::TextAlignmentRole) return int(Qt::AlignCenter);
        return {};
    }
    if (column == ColIp) {
        // A marker beside the address, and what is wrong with it in words.
        const QStringList& problems = entry(index.row()).problems;
        if (!problems.isEmpty()) {
            if (role == Qt::DecorationRole)
                return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
            if (role == Qt::ToolTipRole) return problems.join(u'\n');
            if (role == Qt::AccessibleDescriptionRole) return problems.join(QStringLiteral("; "));
        }
    }
    switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
        case Qt::EditRole:
            return shownText(index.row(), column);
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
    // An editor closed without a change keeps what is stored, NUL and control characters
    // included.
    if (value.toString() == shownText(index.row(), c)) return true;
    setCellText(index.row(), c, value.toString());
    return true;
}

namespace {
void FillTexts(DeviceEntry& e, const DeviceTexts& d) {
    for (const ColumnField& f : kColumns) {
        if (f.text) e.*f.text = DeviceTableModel::cut(f.column, d.*f.received);
    }
}
}  // namespace

int DeviceTableModel::addReplies(const QVector<QByteArray>& replies) {
    QVector<DeviceEntry> fresh;
    QVector<QByteArray> kept;
    fresh.reserve(replies.size());
    kept.reserve(replies.size());
    macIndex_.reserve(macIndex_.size() + replies.size());
    for (const QByteArray& reply : replies) {
        if (reply.size() < DiscoveryReply::kMinSize) continue;
        DeviceEntry e;
        e.mac = cut(ColMac,
                    MacToText(QByteArray::fromRawData(reply.constData() + kMacOffset, kMacSize)));
        if (macIndex_.contains(e.mac)) continue;
        macIndex_.insert(e.mac, count() + static_cast<int>(fresh.size()));
        fresh.push_back(std::move(e));
        kept.push_back(reply);
    }
    return appendRows(fresh, kept);
}

int DeviceTableModel::appendRows(QVector<DeviceEntry>& fresh, QVector<QByteArray>& replies) {
    const int added = static_cast<int>(fresh.size());
    if (added == 0) return 0;
    beginInsertRows({}, count(), count() + added - 1);
    rows_ += std::move(fresh);
    received_ += replies;
    undecoded_ += std::move(replies);
    endInsertRows();
    return added;
}

void DeviceTableModel::decodeRow(int row) const {
    QByteArray& reply = undecoded_[row];
    if (reply.isEmpty()) return;
    // Every change of a row goes through entryRef(), which decodes it first: nothing stored
    // is overwritten here, and the MAC comes out as it was indexed.
    if (const auto decoded = DiscoveryReply::decode(reply))
        FillTexts(rows_[row], DecodeDiscoveryTexts(*decoded));
    reply = QByteArray();
}

void DeviceTableModel::clearDevices() {
    beginResetModel();
    rows_.clear();
    received_.clear();
    undecoded_.clear();
    macIndex_.clear();
    endResetModel();
}

void DeviceTableModel::checkRow(int row) const {
    if (row < 0 || row >= count()) throw Error(QStringLiteral("Grid index out of range"));
}

const DeviceEntry& DeviceTableModel::entry(int row) const {
    checkRow(row);
    decodeRow(row);
    return rows_[row];
}

DeviceEntry& DeviceTableModel::entryRef(int row) {
    checkRow(row);
    decodeRow(row);
    return rows_[row];
}

QString DeviceTableModel::shownText(int row, int column) const {
    return ShownText(UpToNul(cellText(row, column)));
}

QString DeviceTableModel::cellText(int row, int column) const {
    const DeviceEntry& e = entry(row);
    const ColumnField* f = field(column);
    return f && f->text ? e.*f->text : QString();
}

void DeviceTableModel::setCellText(int row, int column, const QString& text) {
    DeviceEntry& e = entryRef(row);
    const ColumnField* f = field(column);
    if (!f || !f->text) return;
    QString& stored = e.*f->text;
    const QString value = cut(column, text);
    if (stored == value) return;
    if (column == ColMac) {
        macIndex_.remove(e.mac);
        macIndex_.insert(value, row);
    }
    stored = value;
    emit dataChanged(index(row, column), index(row, column));
}

std::optional<FoundDevice> DeviceTableModel::device(int row) const {
    checkRow(row);
    const auto reply = DiscoveryReply::decode(received_[row]);
    if (!reply) return std::nullopt;
    return FoundDevice{*reply, DecodeDiscoveryTexts(*reply), {}, {}};
}

void DeviceTableModel::setProblems(const std::vector<QStringList>& problems) {
    for (int row = 0; row < count() && row < int(problems.size()); ++row) {
        DeviceEntry& e = entryRef(row);
        if (e.problems == problems[size_t(row)]) continue;
        e.problems = problems[size_t(row)];
        emit dataChanged(index(row, ColIp), index(row, ColIp));
    }
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
