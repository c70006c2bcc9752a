#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstdint>

// The two small byte conventions every frame shares: 16-bit numbers travel low byte first,
// and text fields are filled up with NUL bytes, what shows ending at the first NUL.
namespace velomar {

// The 16-bit number at the start of `bytes`, low byte first; a byte that is missing counts
// as 0 (one byte gives its value, none gives 0).
inline std::uint16_t WordAt(QByteArrayView bytes) {
    std::uint16_t v = 0;
    if (bytes.size() > 0) v = static_cast<std::uint8_t>(bytes[0]);
    if (bytes.size() > 1) v |= static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[1]) << 8);
    return v;
}

// Appends `v` as two bytes, low byte first.
inline void AppendWord(QByteArray& out, std::uint16_t v) {
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(v >> 8));
}

// What comes before the first NUL (all of it when there is none).
inline QByteArrayView UpToNul(QByteArrayView bytes) {
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.first(nul);
}
inline QByteArray UpToNul(const QByteArray& bytes) {
    const qsizetype nul = bytes.indexOf('\0');
    return nul < 0 ? bytes : bytes.first(nul);
}
inline QString UpToNul(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.first(nul);
}

}  // namespace velomar
