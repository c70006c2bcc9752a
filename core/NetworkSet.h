#pragma once

#include <QByteArray>
#include <QString>

#include "protocol/Address.h"  // IsValidIp, the check every address passes before a set

namespace velomar {

// What the network set frame 'S' carries for one device, as the texts a user types.
struct NetworkSetTexts {
    QString mac, ip, mask, gateway, pelorin, name;
};

// Raw bytes of a row's MAC text (ReadMac, MacForm::Typed); raises HexError for another text.
QByteArray MacTextToBytes(const QString& macText);
// Raw bytes of a dotted address: ListToHex (decimal, "."), then the pairs at 0, 2, 4, 6.
// Raises the conversion error for a piece that is not a decimal integer.
QByteArray AddressTextToBytes(const QString& addressText);

// The 57-byte network set frame 'S'. The name is cut at the last whole UTF-8 character
// that fits its 32 bytes.
QByteArray BuildNetworkSetFrame(const NetworkSetTexts& texts);

}  // namespace velomar
