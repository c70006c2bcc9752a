#pragma once

#include <QByteArray>
#include <QString>

#include "app/DeviceTable.h"

namespace velomar {

// Raw bytes of a MAC text: ListToHex (hex, "-"), then the pairs at 0, 2, ... 10.
QByteArray MacTextToBytes(const QString& macText);
// Raw bytes of a dotted address: ListToHex (decimal, "."), then the pairs at 0, 2, 4, 6.
// Raises the conversion error for a piece that is not a decimal integer.
QByteArray AddressTextToBytes(const QString& addressText);

// The 57-byte network set frame 'S' for one row of the device table. The name is cut at
// the last whole UTF-8 character that fits its 32 bytes.
QByteArray BuildNetworkSetFrame(const DeviceEntry& row);

}  // namespace velomar
