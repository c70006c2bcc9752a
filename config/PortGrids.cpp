#include "config/PortGrids.h"

#include "protocol/Bytes.h"
#include "protocol/Codecs.h"
#include "protocol/Errors.h"
#include "protocol/ValueLists.h"

namespace velomar {

namespace {
QVector<GridColumn> operationColumns() {
    // Widths chosen so that the ten columns fit the tab without scrolling sideways.
    return {
        {QStringLiteral("No"), GridColumn::PortNumber, {}, 0, 28},
        {QStringLiteral("Port Alias"), GridColumn::Text, {}, OperationRecord::kAliasSize, 74},
        {QStringLiteral("Operation"), GridColumn::List, kOperationTexts, 0, 104},
        {QStringLiteral("Src Port"), GridColumn::Number, {}, 5, 52},
        {QStringLiteral("Type"), GridColumn::List, kOperationTypeTexts, 0, 48},
        {QStringLiteral("Dest IP"), GridColumn::Text, {}, 15, 88},
        {QStringLiteral("Dest Port"), GridColumn::Number, {}, 5, 60},
        {QStringLiteral("Alive"), GridColumn::Number, {}, 5, 38},
        {QStringLiteral("Latency"), GridColumn::Number, {}, 5, 48},
        {QStringLiteral("Nodelay"), GridColumn::Check, {}, 0, 50},
    };
}

QVector<GridColumn> serialColumns() {
    return {
        {QStringLiteral("No"), GridColumn::PortNumber, {}, 0, 34},
        {QStringLiteral("Interface"), GridColumn::List, kInterfaceTexts, 0, 96},
        {QStringLiteral("Baudrate"), GridColumn::List, kBaudrateTexts, 0, 90},
        {QStringLiteral("Data Bit"), GridColumn::List, kDataBitTexts, 0, 80},
        {QStringLiteral("Stop Bit"), GridColumn::List, kStopBitTexts, 0, 80},
        {QStringLiteral("Parity"), GridColumn::List, kParityTexts, 0, 80},
        {QStringLiteral("Flow Control"), GridColumn::List, kFlowControlTexts, 0, 100},
    };
}

void checkRow(const RecordGridModel& model, int row) {
    if (row < 0 || row >= model.rowCount()) throw RowBoundsError(row);
}
}  // namespace

Error RowBoundsError(int row) {
    return Error(QStringLiteral("Cells row bounds error[%1]").arg(row));
}

Error ShortRecordError(int size) {
    return Error(QStringLiteral("The record of %1 bytes is too short").arg(size));
}

OperationGridModel::OperationGridModel(QObject* parent)
    : RecordGridModel(operationColumns(), parent) {}

void OperationGridModel::decode(const QByteArray& frame) {
    const auto decoded = OperationRecord::decode(frame);
    if (!decoded) throw ShortRecordError(static_cast<int>(frame.size()));
    show(*decoded);
}

void OperationGridModel::show(const OperationRecord& o) {
    const int row = o.port;
    checkRow(*this, row);
    place(row, No, QString::number(row + 1));
    // The alias keeps all 16 bytes, NUL fill included, so an unedited alias goes back as
    // it came.
    place(row, PortAlias, QString::fromLatin1(o.alias));
    place(row, Operation, ListEntry(kOperationTexts, o.operation));
    place(row, SrcPort, QString::number(o.sourcePort));
    place(row, Type, ListEntry(kOperationTypeTexts, o.type));
    place(row, DestIp, BytesToIp(o.destinationIp));
    place(row, DestPort, QString::number(o.destinationPort));
    place(row, Alive, QString::number(o.alive));
    place(row, Latency, QString::number(o.latency));
    placeChecked(row, Nodelay, o.nodelayChecked());
}

OperationRecord OperationGridModel::record(int port) const {
    checkRow(*this, port);
    auto word = [&](Column c) { return WordAt(WordToBytesStrict(value(port, c))); };
    OperationRecord o;
    o.port = static_cast<std::uint8_t>(port);
    o.operation = ListPosition(kOperationTexts, value(port, Operation));
    o.sourcePort = word(SrcPort);
    // 8-bit characters as they are; the record fills a shorter alias with NUL bytes.
    o.alias = value(port, PortAlias).toLatin1();
    o.type = ListPosition(kOperationTypeTexts, value(port, Type));
    o.destinationIp = IpToBytesStrict(value(port, DestIp));
    o.destinationPort = word(DestPort);
    o.alive = word(Alive);
    o.latency = word(Latency);
    o.nodelay = isChecked(port, Nodelay) ? 1 : 0;
    return o;
}

SerialGridModel::SerialGridModel(QObject* parent) : RecordGridModel(serialColumns(), parent) {}

void SerialGridModel::decode(const QByteArray& frame) {
    const auto decoded = SerialRecord::decode(frame);
    if (!decoded) throw ShortRecordError(static_cast<int>(frame.size()));
    show(*decoded);
}

void SerialGridModel::show(const SerialRecord& r) {
    const int row = r.port;
    checkRow(*this, row);
    place(row, No, QString::number(row + 1));
    for (int s = 0; s < SerialRecord::kSettingCount; ++s) {
        place(row, Interface + s,
              ListEntry(kSerialSettingTexts[s], r.settings[static_cast<size_t>(s)]));
    }
}

SerialRecord SerialGridModel::record(int port) const {
    checkRow(*this, port);
    SerialRecord s;
    s.port = static_cast<std::uint8_t>(port);
    for (int i = 0; i < SerialRecord::kSettingCount; ++i) {
        s.settings[static_cast<size_t>(i)] =
            ListPosition(kSerialSettingTexts[i], value(port, Interface + i));
    }
    return s;
}

}  // namespace velomar
