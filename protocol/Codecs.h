#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

#include "protocol/Mac.h"  // the MAC texts, read and written

// The small, stateless conversions between the texts shown in the windows and the raw
// fields of command frames. Texts handed to the wire side are byte strings (Latin-1 for
// the numeric texts, which are ASCII in every valid case).
namespace velomar {

enum class ListKind { Hex, Decimal };

// The value of an ASCII hex digit of either case; -1 for any other character.
int HexDigitValue(QChar c);
QString BytesToHex(const QByteArray& bytes, int count);
std::int32_t HexToInt(const QString& text);        // throws HexError
std::int32_t HexDigitsToInt(const QString& text);  // no validation
QString IntToHexDigits(std::int64_t value);        // 0 gives ""
QString ListToHex(ListKind kind, const QString& text, QChar separator);
int HexPairToByte(const QString& text);
QString BytesToIp(const QByteArray& bytes);
QByteArray IpToBytes(const QString& text);     // throws ConversionError
QByteArray WordToBytes(const QString& text);   // throws ConversionError
QString BytesToWord(const QByteArray& bytes);  // throws ConversionError on empty

// Strict variants used where a value above the field's range would otherwise be sent
// with its high bits cut off: they refuse with a message naming the text.
QByteArray IpToBytesStrict(const QString& text);
QByteArray WordToBytesStrict(const QString& text);

// The same conversions reporting a refusal as nullopt instead of raising the error: for
// callers that only ask whether a text converts.
std::optional<std::int32_t> TryHexToInt(const QString& text);
std::optional<QString> TryListToHex(ListKind kind, const QString& text, QChar separator);
std::optional<QByteArray> TryIpToBytes(const QString& text);
std::optional<QByteArray> TryIpToBytesStrict(const QString& text);
std::optional<QByteArray> TryWordToBytes(const QString& text);
std::optional<QByteArray> TryWordToBytesStrict(const QString& text);

// Reads a decimal integer the way the conversions above do: optional sign, digits,
// nothing else. Returns false when the text is not such an integer or does not fit in
// 32 bits.
bool ParseDecimal(QStringView text, std::int64_t& value);

}  // namespace velomar
