#include "core/NetworkSet.h"

#include <QStringList>
#include <cstdint>

#include "protocol/Codecs.h"
#include "protocol/DeviceName.h"
#include "protocol/NetworkSetFrame.h"

namespace velomar {

namespace {
QByteArray pairsToBytes(const QString& hex, int count) {
    QByteArray out;
    for (int i = 0; i < count; ++i) out.append(static_cast<char>(HexPairToByte(hex.mid(2 * i, 2))));
    return out;
}
}  // namespace

QByteArray MacTextToBytes(const QString& macText) {
    return pairsToBytes(ListToHex(ListKind::Hex, macText, u'-'), 6);
}

QByteArray AddressTextToBytes(const QString& addressText) {
    return pairsToBytes(ListToHex(ListKind::Decimal, addressText, u'.'), 4);
}

QByteArray BuildNetworkSetFrame(const NetworkSetTexts& row) {
    NetworkSetFrame f;
    f.mac = MacTextToBytes(row.mac);
    f.ip = AddressTextToBytes(row.ip);
    f.gateway = AddressTextToBytes(row.gateway);
    f.mask = AddressTextToBytes(row.mask);
    f.pelorin = AddressTextToBytes(row.pelorin);
    f.name = EncodeDeviceName(row.name);
    return f.encode();
}

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
