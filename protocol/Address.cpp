#include "protocol/Address.h"

#include <QStringList>
#include <cstdint>

#include "protocol/Codecs.h"

namespace velomar {

bool IsValidIp(const QString& text) {
    // Blanks and control characters count alike: both separate, neither belongs to a part.
    auto isSpace = [](QChar c) { return c.unicode() <= 0x20; };
    QStringList parts;
    const int n = static_cast<int>(text.size());
    int i = 0;
    while (i < n && isSpace(text[i])) ++i;
    if (i == n) return false;
    for (;;) {
        const int start = i;
        while (i < n && text[i] != u'.' && !isSpace(text[i])) ++i;
        parts << text.mid(start, i - start);
        while (i < n && isSpace(text[i])) ++i;
        if (i == n) break;
        if (text[i] == u'.') {
            ++i;
            while (i < n && isSpace(text[i])) ++i;
            if (i == n) {
                parts << QString();  // a dot at the very end
                break;
            }
        }
        if (parts.size() > 4) return false;
    }
    if (parts.size() != 4) return false;
    for (const QString& part : parts) {
        std::int64_t v = -1;
        if (!ParseDecimal(part, v)) v = -1;
        if (v < 0 || v > 255) return false;
    }
    return true;
}

}  // namespace velomar
