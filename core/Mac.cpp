#include "core/Mac.h"

namespace velomar {

std::optional<QByteArray> ParseMac(const QString& text) {
    const QString t = text.trimmed();
    QString digits;
    if (t.size() == 12) {
        digits = t;
    } else if (t.size() == 17) {
        const QChar sep = t.at(2);
        if (sep != u'-' && sep != u':') return std::nullopt;
        for (int i = 0; i < 17; ++i) {
            if (i % 3 == 2) {
                if (t.at(i) != sep) return std::nullopt;
            } else {
                digits += t.at(i);
            }
        }
    } else {
        return std::nullopt;
    }
    for (QChar c : digits) {
        if (!isxdigit(c.toLatin1()) || c.unicode() > 0x7F) return std::nullopt;
    }
    return QByteArray::fromHex(digits.toLatin1());
}

}  // namespace velomar
