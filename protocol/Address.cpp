#include "protocol/Address.h"

#include <QStringView>
#include <array>
#include <cstdint>

#include "protocol/Codecs.h"

namespace velomar {

bool IsValidIp(const QString& text) {
    // Blanks and control characters count alike: both separate, neither belongs to a part.
    auto isSpace = [](QChar c) { return c.unicode() <= 0x20; };
    // The parts are read in place. Five refuse the text, so there are never more than six
    // (a dot at the very end adds one).
    std::array<QStringView, 6> parts;
    int count = 0;
    const int n = static_cast<int>(text.size());
    int i = 0;
    while (i < n && isSpace(text[i])) ++i;
    if (i == n) return false;
    for (;;) {
        const int start = i;
        while (i < n && text[i] != u'.' && !isSpace(text[i])) ++i;
        parts[count++] = QStringView(text).sliced(start, i - start);
        while (i < n && isSpace(text[i])) ++i;
        if (i == n) break;
        if (text[i] == u'.') {
            ++i;
            while (i < n && isSpace(text[i])) ++i;
            if (i == n) {
                parts[count++] = QStringView();  // a dot at the very end
                break;
            }
        }
        if (count > 4) return false;
    }
    if (count != 4) return false;
    for (int p = 0; p < 4; ++p) {
        std::int64_t v = -1;
        if (!ParseDecimal(parts[p], v)) v = -1;
        if (v < 0 || v > 255) return false;
    }
    return true;
}

}  // namespace velomar
