#include "protocol/Codecs.h"

#include <array>

#include "protocol/Errors.h"

namespace velomar {

namespace {
const char kHexDigits[] = "0123456789ABCDEF";

int hexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

// The conversions read the pieces of their text in place: a copy of each piece would cost
// an allocation per piece, many of them for a long list.
bool parseDecimal(QStringView text, std::int64_t& value) {
    qsizetype i = 0;
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

std::int64_t decimalOrThrow(QStringView piece) {
    std::int64_t v = 0;
    if (!parseDecimal(piece, v)) throw ConversionError::notInteger(piece.toString());
    return v;
}

std::uint32_t hexToInt(QStringView text) {
    std::uint32_t v = 0;
    for (QChar c : text) {
        if (c.unicode() >= 0x80) {
            // Upper-casing can turn a character outside ASCII into hex digits (U+FB00 into
            // "FF"), so such a text is read upper-cased; in ASCII hexValue reads both cases.
            v = 0;
            for (QChar u : text.toString().toUpper()) {
                const int d = hexValue(u);
                if (d < 0) throw HexError();
                v = v * 16 + static_cast<std::uint32_t>(d);
            }
            return v;
        }
        const int d = hexValue(c);
        if (d < 0) throw HexError();
        v = v * 16 + static_cast<std::uint32_t>(d);
    }
    return v;
}

// The hex digits of v without leading zeros, after as many '0' as bring them to `width`
// (at most 16).
void appendHexDigits(QString& out, std::uint64_t v, int width) {
    char16_t digits[16];
    int first = 16;
    for (; v != 0; v >>= 4) digits[--first] = static_cast<char16_t>(kHexDigits[v & 0x0F]);
    while (16 - first < width) digits[--first] = u'0';
    out.append(QStringView(digits + first, 16 - first));
}

void appendHexPair(QString& out, unsigned char b) {
    out += QChar(kHexDigits[b >> 4]);
    out += QChar(kHexDigits[b & 0x0F]);
}

int hexPairToByte(QStringView text) {
    if (text.size() < 2) return 0;
    const int hi = hexValue(text[0]);
    const int lo = hexValue(text[1]);
    if (hi < 0 || lo < 0) return 0;
    return hi * 16 + lo;
}
}  // namespace

bool ParseDecimal(const QString& text, std::int64_t& value) {
    return parseDecimal(text, value);
}

QString BytesToHex(const QByteArray& bytes, int count) {
    QString out;
    out.reserve(count * 2);
    for (int i = 0; i < count && i < bytes.size(); ++i) {
        appendHexPair(out, static_cast<unsigned char>(bytes[i]));
    }
    return out;
}

std::int32_t HexToInt(const QString& text) {
    return static_cast<std::int32_t>(hexToInt(text));
}

std::int32_t HexDigitsToInt(const QString& text) {
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

QString IntToHexDigits(std::int64_t value) {
    QString out;
    appendHexDigits(out, static_cast<std::uint64_t>(value), 0);
    return out;
}

QString ListToHex(ListKind kind, const QString& text, QChar separator) {
    QString out;
    // Every piece between separators, empty ones included (an empty text is one piece).
    for (qsizetype start = 0;;) {
        const qsizetype end = text.indexOf(separator, start);
        const QStringView part =
            QStringView(text).sliced(start, (end < 0 ? text.size() : end) - start);
        const std::int64_t value =
            kind == ListKind::Hex ? std::int64_t{hexToInt(part)} : decimalOrThrow(part);
        appendHexDigits(out, static_cast<std::uint64_t>(value), 2);
        if (end < 0) return out;
        start = end + 1;
    }
}

int HexPairToByte(const QString& text) {
    return hexPairToByte(text);
}

QString BytesToIp(const QByteArray& bytes) {
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
std::array<QStringView, 4> ipPieces(const QString& text) {
    std::array<QStringView, 4> pieces;
    qsizetype pos = 0;
    for (int i = 0; i < 3; ++i) {
        const qsizetype dot = text.indexOf(u'.', pos);
        if (dot < 0) {
            pos = text.size();
        } else {
            pieces[i] = QStringView(text).sliced(pos, dot - pos);
            pos = dot + 1;
        }
    }
    pieces[3] = QStringView(text).sliced(pos);
    return pieces;
}
}  // namespace

QByteArray IpToBytes(const QString& text) {
    QByteArray out;
    for (QStringView piece : ipPieces(text)) {
        out.append(static_cast<char>(decimalOrThrow(piece) & 0xFF));
    }
    return out;
}

QByteArray IpToBytesStrict(const QString& text) {
    QByteArray out;
    for (QStringView piece : ipPieces(text)) {
        const std::int64_t v = decimalOrThrow(piece);
        if (v < 0 || v > 255) {
            throw ConversionError(
                QStringLiteral(
                    "'%1' is not a valid IP address: each of its four numbers must be 0 to 255")
                    .arg(text));
        }
        out.append(static_cast<char>(v));
    }
    return out;
}

QByteArray WordToBytes(const QString& text) {
    const auto v = static_cast<std::uint64_t>(decimalOrThrow(text));
    QByteArray out;
    out.append(static_cast<char>(v % 256));
    out.append(static_cast<char>((v / 256) % 256));
    return out;
}

QByteArray WordToBytesStrict(const QString& text) {
    const std::int64_t v = decimalOrThrow(text);
    if (v < 0 || v > 65535) {
        throw ConversionError(
            QStringLiteral("'%1' is not a valid port number: it must be 0 to 65535").arg(text));
    }
    return WordToBytes(text);
}

QString BytesToWord(const QByteArray& bytes) {
    if (bytes.isEmpty()) throw ConversionError::notInteger(QStringLiteral("$"));
    int v = static_cast<unsigned char>(bytes[0]);
    if (bytes.size() > 1) v += 256 * static_cast<unsigned char>(bytes[1]);
    return QString::number(v);
}

QString MacToText(const QByteArray& mac6) {
    QString out;
    out.reserve(17);
    for (int i = 0; i < 6 && i < mac6.size(); ++i) {
        if (i > 0) out += u'-';
        appendHexPair(out, static_cast<unsigned char>(mac6[i]));
    }
    return out;
}

QByteArray TargetMac(const QString& macText) {
    QByteArray out(6, '\0');
    for (int i = 0; i < 6; ++i) {
        out[i] = static_cast<char>(hexPairToByte(QStringView(macText).mid(i * 3, 2)));
    }
    return out;
}

}  // namespace velomar
