#include "protocol/Mac.h"

#include "protocol/Codecs.h"

namespace velomar {

namespace {
// The byte of the two hex digits at `at`, or -1.
int pairAt(QStringView text, qsizetype at) {
    if (at + 2 > text.size()) return -1;
    const int hi = HexDigitValue(text[at]);
    const int lo = HexDigitValue(text[at + 1]);
    return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}
}  // namespace

std::optional<QByteArray> ReadMac(QStringView text, MacForm form) {
    // Where the pairs stand: every 2 characters for bare digits, every 3 otherwise.
    qsizetype step = 3;
    QChar separator;
    if (form == MacForm::Typed) {
        if (text.size() == 12) {
            step = 2;
        } else if (text.size() == 17 && (text[2] == u'-' || text[2] == u':')) {
            separator = text[2];
        } else {
            return std::nullopt;
        }
    }
    QByteArray out(6, '\0');
    for (int i = 0; i < 6; ++i) {
        const qsizetype at = i * step;
        const int byte = pairAt(text, at);
        if (form == MacForm::Shown) {
            out[i] = static_cast<char>(byte < 0 ? 0 : byte);
            continue;
        }
        if (byte < 0 || (step == 3 && i > 0 && text[at - 1] != separator)) return std::nullopt;
        out[i] = static_cast<char>(byte);
    }
    return out;
}

std::optional<QByteArray> ParseMac(const QString& text) {
    return ReadMac(QStringView(text).trimmed(), MacForm::Typed);
}

QString MacToText(const QByteArray& mac6) {
    static const char kDigits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(17);
    for (int i = 0; i < 6 && i < mac6.size(); ++i) {
        if (i > 0) out += u'-';
        const auto b = static_cast<unsigned char>(mac6[i]);
        out += QChar(kDigits[b >> 4]);
        out += QChar(kDigits[b & 0x0F]);
    }
    return out;
}

QByteArray TargetMac(const QString& macText) {
    return *ReadMac(macText, MacForm::Shown);
}

}  // namespace velomar
