#pragma once

#include <QByteArray>
#include <QString>

namespace velomar {

// What the network set frame 'S' carries for one device, as the texts a user types.
struct NetworkSetTexts {
    QString mac, ip, mask, gateway, pelorin, name;
};

// Raw bytes of a MAC text: ListToHex (hex, "-"), then the pairs at 0, 2, ... 10.
QByteArray MacTextToBytes(const QString& macText);
// Raw bytes of a dotted address: ListToHex (decimal, "."), then the pairs at 0, 2, 4, 6.
// Raises the conversion error for a piece that is not a decimal integer.
QByteArray AddressTextToBytes(const QString& addressText);

// The 57-byte network set frame 'S'. The name is cut at the last whole UTF-8 character
// that fits its 32 bytes.
QByteArray BuildNetworkSetFrame(const NetworkSetTexts& texts);

// The check every address of a network set passes before anything is sent: four
// dot-separated decimal numbers from 0 to 255. Blanks and control characters around the
// text and around a dot are skipped; one inside a number ends that part; a dot at the
// very end adds an empty part.
bool IsValidIp(const QString& text);

}  // namespace velomar
