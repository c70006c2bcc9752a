#include "core/ShownText.h"

namespace velomar {

bool IsEscapedWhenShown(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

namespace {
QString Escape(char16_t c) {
    return c < 0x100 ? QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0'))
                     : QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0'));
}
}  // namespace

QString ShownText(const QString& text) {
    qsizetype first = 0;
    while (first < text.size() && !IsEscapedWhenShown(text[first].unicode())) ++first;
    if (first == text.size()) return text;
    QString out = text.left(first);
    out.reserve(text.size() + 16);
    for (qsizetype i = first; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (IsEscapedWhenShown(c)) {
            out += Escape(c);
        } else {
            out += QChar(c);
        }
    }
    return out;
}

QByteArray TerminalSafeJson(const QByteArray& json) {
    const QString text = QString::fromUtf8(json);
    QString out;
    out.reserve(text.size());
    bool changed = false;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        // C0 controls are escaped by the JSON writer already; the rest are not.
        if (c >= 0x20 && IsEscapedWhenShown(c)) {
            out += QStringLiteral("\\u%1").arg(int(c), 4, 16, QLatin1Char('0'));
            changed = true;
        } else {
            out += ch;
        }
    }
    return changed ? out.toUtf8() : json;
}

}  // namespace velomar
