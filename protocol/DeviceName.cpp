#include "protocol/DeviceName.h"

#include "protocol/Bytes.h"

namespace velomar {

QString DecodeNameAttempt(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    const int n = bytes.size();
    auto at = [&](int i) { return static_cast<unsigned char>(bytes[i]); };
    auto isTail = [&](int i) { return i < n && (at(i) & 0xC0) == 0x80; };
    for (int i = 0; i < n;) {
        const unsigned char b = at(i);
        if (b < 0x80) {
            out += QChar(b);
            ++i;
        } else if ((b & 0x20) == 0) {
            if (!isTail(i + 1)) return {};
            out += QChar(static_cast<char16_t>(((b & 0x1F) << 6) | (at(i + 1) & 0x3F)));
            i += 2;
        } else {
            if (!isTail(i + 1) || !isTail(i + 2)) return {};
            out += QChar(static_cast<char16_t>(((b & 0x0F) << 12) | ((at(i + 1) & 0x3F) << 6) |
                                               (at(i + 2) & 0x3F)));
            i += 3;
        }
    }
    return out;
}

QString DecodeDeviceName(const QByteArray& field) {
    if (field.contains('\0')) {
        const QString text = DecodeNameAttempt(UpToNul(field));
        if (!text.isEmpty()) return text;
    }
    for (int drop = 1; drop <= 3; ++drop) {
        const QString text = DecodeNameAttempt(field.left(field.size() - drop));
        if (!text.isEmpty()) return text;
    }
    return {};
}

QByteArray EncodeDeviceName(const QString& name, int size) {
    QByteArray utf8 = name.toUtf8();
    if (utf8.size() > size) {
        int cut = size;
        // Step back over continuation bytes to the lead byte of the character at the cut;
        // that character does not fit whole, so the cut goes before it.
        while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
        utf8.truncate(cut);
    }
    utf8.append(QByteArray(size - utf8.size(), '\0'));
    return utf8;
}

}  // namespace velomar
