#include "protocol/Codecs.h"

#include <QStringList>

#include "protocol/Errors.h"

namespace velomar {

namespace {
const char kHexDigits[] = "0123456789ABCDEF";

int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

std::int64_t decimalOrThrow(const QString& piece)
{
    std::int64_t v = 0;
    if (!ParseDecimal(piece, v)) throw ConversionError::notInteger(piece);
    return v;
}
}  // namespace

bool ParseDecimal(const QString& text, std::int64_t& value)
{
    int i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size()) return false;
    std::int64_t v = 0;
    for (; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < '0' || u > '9') return false;
        v = v * 10 + (u - '0');
        if (v > 2147483648LL) return false;
    }
    if (negative) v = -v;
    if (v > 2147483647LL) return false;
    value = v;
    return true;
}

QString BytesToHex(const QByteArray& bytes, int count)
{
    QString out;
    out.reserve(count * 2);
    for (int i = 0; i < count && i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += QChar(kHexDigits[b >> 4]);
        out += QChar(kHexDigits[b & 0x0F]);
    }
    return out;
}

std::int32_t HexToInt(const QString& text)
{
    std::uint32_t v = 0;
    for (QChar c : text.toUpper()) {
        const int d = hexValue(c);
        if (d < 0) throw HexError();
        v = v * 16 + static_cast<std::uint32_t>(d);
    }
    return static_cast<std::int32_t>(v);
}

std::int32_t HexDigitsToInt(const QString& text)
{
    std::uint32_t v = 0;
    std::uint32_t weight = 1;
    for (int i = text.size() - 1; i >= 0; --i) {
        const int code = text[i].unicode();
        const int digit = code <= '9' ? code - 48 : code - 55;
        v += static_cast<std::uint32_t>(digit) * weight;
        weight *= 16;
    }
    return static_cast<std::int32_t>(v);
}

QString IntToHexDigits(std::int64_t value)
{
    QString out;
    auto v = static_cast<std::uint64_t>(value);
    while (v != 0) {
        out.prepend(QChar(kHexDigits[v & 0x0F]));
        v >>= 4;
    }
    return out;
}

QString ListToHex(ListKind kind, const QString& text, QChar separator)
{
    QString out;
    const QStringList parts = text.split(separator);
    for (const QString& part : parts) {
        std::int64_t value = 0;
        if (kind == ListKind::Hex) {
            value = static_cast<std::uint32_t>(HexToInt(part));
        } else {
            value = decimalOrThrow(part);
        }
        QString digits = IntToHexDigits(value);
        while (digits.size() < 2) digits.prepend(u'0');
        out += digits;
    }
    return out;
}

int HexPairToByte(const QString& text)
{
    if (text.size() < 2) return 0;
    const int hi = hexValue(text[0]);
    const int lo = hexValue(text[1]);
    if (hi < 0 || lo < 0) return 0;
    return hi * 16 + lo;
}

QString BytesToIp(const QByteArray& bytes)
{
    // Written out by hand: a burst of replies decodes four addresses each, and QString::arg
    // made that the listener's largest cost.
    QString out(15, Qt::Uninitialized);
    QChar* at = out.data();
    for (int i = 0; i < 4; ++i) {
        if (i > 0) *at++ = u'.';
        const auto b = static_cast<unsigned char>(bytes.at(i));
        if (b >= 100) *at++ = QChar(u'0' + b / 100);
        if (b >= 10) *at++ = QChar(u'0' + b / 10 % 10);
        *at++ = QChar(u'0' + b % 10);
    }
    out.truncate(static_cast<int>(at - out.constData()));
    return out;
}

namespace {
// Splits a dotted text the way the address conversion reads it: three pieces up to a
// '.', then the rest. A missing dot leaves the piece empty.
QStringList ipPieces(const QString& text)
{
    QStringList pieces;
    int pos = 0;
    for (int i = 0; i < 3; ++i) {
        const int dot = text.indexOf(u'.', pos);
        if (dot < 0) {
            pieces << QString();
            pos = text.size();
        } else {
            pieces << text.mid(pos, dot - pos);
            pos = dot + 1;
        }
    }
    pieces << text.mid(pos);
    return pieces;
}
}  // namespace

QByteArray IpToBytes(const QString& text)
{
    QByteArray out;
    for (const QString& piece : ipPieces(text)) {
        out.append(static_cast<char>(decimalOrThrow(piece) & 0xFF));
    }
    return out;
}

QByteArray IpToBytesStrict(const QString& text)
{
    QByteArray out;
    for (const QString& piece : ipPieces(text)) {
        const std::int64_t v = decimalOrThrow(piece);
        if (v < 0 || v > 255) {
            throw ConversionError(
                QStringLiteral("'%1' is not a valid IP address: each of its four numbers must be 0 to 255").arg(text));
        }
        out.append(static_cast<char>(v));
    }
    return out;
}

QByteArray WordToBytes(const QString& text)
{
    const auto v = static_cast<std::uint64_t>(decimalOrThrow(text));
    QByteArray out;
    out.append(static_cast<char>(v % 256));
    out.append(static_cast<char>((v / 256) % 256));
    return out;
}

QByteArray WordToBytesStrict(const QString& text)
{
    const std::int64_t v = decimalOrThrow(text);
    if (v < 0 || v > 65535) {
        throw ConversionError(QStringLiteral("'%1' is not a valid port number: it must be 0 to 65535").arg(text));
    }
    return WordToBytes(text);
}

QString BytesToWord(const QByteArray& bytes)
{
    if (bytes.isEmpty()) throw ConversionError::notInteger(QStringLiteral("$"));
    int v = static_cast<unsigned char>(bytes[0]);
    if (bytes.size() > 1) v += 256 * static_cast<unsigned char>(bytes[1]);
    return QString::number(v);
}

QString MacToText(const QByteArray& mac6)
{
    const QString hex = BytesToHex(mac6, 6);
    QString out;
    out.reserve(17);
    for (int i = 0; i < hex.size(); i += 2) {
        if (i > 0) out += u'-';
        out += QStringView(hex).mid(i, 2);
    }
    return out;
}

QByteArray TargetMac(const QString& macText)
{
    QByteArray out(6, '\0');
    for (int i = 0; i < 6; ++i) out[i] = static_cast<char>(HexPairToByte(macText.mid(i * 3, 2)));
    return out;
}

}  // namespace velomar
