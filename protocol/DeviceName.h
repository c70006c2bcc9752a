#pragma once

#include <QByteArray>
#include <QString>

namespace velomar {

constexpr int kDeviceNameSize = 32;

// Display text of a 32-byte name field: the bytes before the first zero byte, else the
// first 31, 30 or 29 bytes, whichever is the first to decode (1- to 3-byte UTF-8) to a
// non-empty text.
QString DecodeDeviceName(const QByteArray& field);

// Decodes one attempt; an empty result means the bytes did not decode (or were empty).
QString DecodeNameAttempt(const QByteArray& bytes);

// The name as UTF-8 cut to at most `size` bytes at the last whole character that fits,
// then filled with NUL bytes to `size`. Cutting inside a character would store a broken
// name on the device.
QByteArray EncodeDeviceName(const QString& name, int size = kDeviceNameSize);

}  // namespace velomar
