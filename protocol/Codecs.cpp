#include "protocol/Codecs.h"

#include <array>
#include <optional>

#include "protocol/Bytes.h"
#include "protocol/Errors.h"

namespace velomar {

namespace {
const char kHexDigits[] = "0123456789ABCDEF";

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

// The conversions find out whether a text converts without throwing, and the throwing
// functions raise the error from what they found: a refused text costs no exception where
// a caller only asks (a field checked as it is typed, a check run over many rows).
// Where a conversion stops: the piece that is not a decimal integer, or a number out of the
// strict range.
struct Refusal {
    QStringView piece;
    bool outOfRange = false;
};

std::optional<std::int64_t> decimal(QStringView piece, Refusal* why) {
    std::int64_t v = 0;
    if (parseDecimal(piece, v)) return v;
    if (why) why->piece = piece;
    return std::nullopt;
}

std::optional<std::uint32_t> hexToInt(QStringView text) {
    std::uint32_t v = 0;
    for (QChar c : text) {
        if (c.unicode() >= 0x80) {
            // Upper-casing can turn a character outside ASCII into hex digits (U+FB00 into
            // "FF"), so such a text is read upper-cased; in ASCII HexDigitValue reads both cases.
            v = 0;
            for (QChar u : text.toString().toUpper()) {
                const int d = HexDigitValue(u);
                if (d < 0) return std::nullopt;
                v = v * 16 + static_cast<std::uint32_t>(d);
            }
            return v;
        }
        const int d = HexDigitValue(c);
        if (d < 0) return std::nullopt;
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
    // cppcheck-suppress arrayIndexOutOfBoundsCond ; width is at most 16, first stays >= 0
    while (16 - first < width) digits[--first] = u'0';
    out.append(QStringView(digits + first, 16 - first));
}

void appendHexPair(QString& out, unsigned char b) {
    out += QChar(kHexDigits[b >> 4]);
    out += QChar(kHexDigits[b & 0x0F]);
}

int hexPairToByte(QStringView text) {
    if (text.size() < 2) return 0;
    const int hi = HexDigitValue(text[0]);
    const int lo = HexDigitValue(text[1]);
    if (hi < 0 || lo < 0) return 0;
    return hi * 16 + lo;
}
}  // namespace

int HexDigitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    return -1;
}

bool ParseDecimal(QStringView text, std::int64_t& value) {
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

std::optional<std::int32_t> TryHexToInt(const QString& text) {
    if (const auto v = hexToInt(text)) return static_cast<std::int32_t>(*v);
    return std::nullopt;
}

std::int32_t HexToInt(const QString& text) {
    if (const auto v = TryHexToInt(text)) return *v;
    throw HexError();
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

namespace {
std::optional<QString> listToHex(ListKind kind, const QString& text, QChar separator,
                                 Refusal* why) {
    QString out;
    // Every piece between separators, empty ones included (an empty text is one piece).
    for (qsizetype start = 0;;) {
        const qsizetype end = text.indexOf(separator, start);
        const QStringView part =
            QStringView(text).sliced(start, (end < 0 ? text.size() : end) - start);
        std::optional<std::int64_t> value;
        if (kind == ListKind::Hex) {
            if (const auto h = hexToInt(part)) value = *h;
        } else {
            value = decimal(part, why);
        }
        if (!value) return std::nullopt;
        appendHexDigits(out, static_cast<std::uint64_t>(*value), 2);
        if (end < 0) return out;
        start = end + 1;
    }
}
}  // namespace

std::optional<QString> TryListToHex(ListKind kind, const QString& text, QChar separator) {
    return listToHex(kind, text, separator, nullptr);
}

QString ListToHex(ListKind kind, const QString& text, QChar separator) {
    Refusal why;
    if (auto out = listToHex(kind, text, separator, &why)) return std::move(*out);
    if (kind == ListKind::Hex) throw HexError();
    throw ConversionError::notInteger(why.piece.toString());
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

// Each of the four numbers cut to its low byte or, strict, refused above 255.
std::optional<QByteArray> ipToBytes(const QString& text, bool strict, Refusal* why) {
    QByteArray out;
    out.reserve(4);
    for (QStringView piece : ipPieces(text)) {
        const auto v = decimal(piece, why);
        if (!v) return std::nullopt;
        if (strict && (*v < 0 || *v > 255)) {
            if (why) why->outOfRange = true;
            return std::nullopt;
        }
        out.append(static_cast<char>(*v & 0xFF));
    }
    return out;
}

std::optional<QByteArray> wordToBytes(const QString& text, bool strict, Refusal* why) {
    const auto v = decimal(text, why);
    if (!v) return std::nullopt;
    if (strict && (*v < 0 || *v > 65535)) {
        if (why) why->outOfRange = true;
        return std::nullopt;
    }
    QByteArray out;
    AppendWord(out, static_cast<std::uint16_t>(*v));
    return out;
}
}  // namespace

std::optional<QByteArray> TryIpToBytes(const QString& text) {
    return ipToBytes(text, false, nullptr);
}

std::optional<QByteArray> TryIpToBytesStrict(const QString& text) {
    return ipToBytes(text, true, nullptr);
}

QByteArray IpToBytes(const QString& text) {
    Refusal why;
    if (auto out = ipToBytes(text, false, &why)) return std::move(*out);
    throw ConversionError::notInteger(why.piece.toString());
}

QByteArray IpToBytesStrict(const QString& text) {
    Refusal why;
    if (auto out = ipToBytes(text, true, &why)) return std::move(*out);
    if (!why.outOfRange) throw ConversionError::notInteger(why.piece.toString());
    throw ConversionError(
        QStringLiteral("'%1' is not a valid IP address: each of its four numbers must be 0 to 255")
            .arg(text));
}

std::optional<QByteArray> TryWordToBytes(const QString& text) {
    return wordToBytes(text, false, nullptr);
}

std::optional<QByteArray> TryWordToBytesStrict(const QString& text) {
    return wordToBytes(text, true, nullptr);
}

QByteArray WordToBytes(const QString& text) {
    Refusal why;
    if (auto out = wordToBytes(text, false, &why)) return std::move(*out);
    throw ConversionError::notInteger(why.piece.toString());
}

QByteArray WordToBytesStrict(const QString& text) {
    Refusal why;
    if (auto out = wordToBytes(text, true, &why)) return std::move(*out);
    if (!why.outOfRange) throw ConversionError::notInteger(why.piece.toString());
    throw ConversionError(
        QStringLiteral("'%1' is not a valid port number: it must be 0 to 65535").arg(text));
}

QString BytesToWord(const QByteArray& bytes) {
    if (bytes.isEmpty()) throw ConversionError::notInteger(QStringLiteral("$"));
    return QString::number(WordAt(bytes));
}

}  // namespace velomar
