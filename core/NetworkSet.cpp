#include "core/NetworkSet.h"

#include "protocol/Codecs.h"
#include "protocol/DeviceName.h"
#include "protocol/Errors.h"
#include "protocol/Mac.h"
#include "protocol/NetworkSetFrame.h"

namespace velomar {

namespace {
QByteArray pairsToBytes(const QString& hex, int count) {
    QByteArray out;
    for (int i = 0; i < count; ++i) out.append(static_cast<char>(HexPairToByte(hex.mid(2 * i, 2))));
    return out;
}
}  // namespace

QByteArray MacTextToBytes(const QString& macText) {
    if (auto mac = ReadMac(macText, MacForm::Typed)) return *mac;
    throw HexError();
}

QByteArray AddressTextToBytes(const QString& addressText) {
    return pairsToBytes(ListToHex(ListKind::Decimal, addressText, u'.'), 4);
}

QByteArray BuildNetworkSetFrame(const NetworkSetTexts& row) {
    NetworkSetFrame f;
    f.mac = MacTextToBytes(row.mac);
    f.ip = AddressTextToBytes(row.ip);
    f.gateway = AddressTextToBytes(row.gateway);
    f.mask = AddressTextToBytes(row.mask);
    f.pelorin = AddressTextToBytes(row.pelorin);
    f.name = EncodeDeviceName(row.name);
    return f.encode();
}

}  // namespace velomar
