#include "core/AddressTargets.h"

#include <QSet>
#include <optional>

#include "net/UdpSocket.h"

namespace velomar {

namespace {

// Four decimal numbers 0-255, nothing else: leading zeros are refused, as some tools read
// them as octal and the user would not get what they meant.
std::optional<std::uint32_t> ParseAddress(QStringView text) {
    const auto parts = text.split(u'.');
    if (parts.size() != 4) return std::nullopt;
    std::uint32_t address = 0;
    for (QStringView part : parts) {
        if (part.isEmpty() || part.size() > 3 || (part.size() > 1 && part.front() == u'0'))
            return std::nullopt;
        unsigned value = 0;
        for (QChar ch : part) {
            if (ch < u'0' || ch > u'9') return std::nullopt;
            value = value * 10 + unsigned(ch.unicode() - u'0');
        }
        if (value > 255) return std::nullopt;
        address = address << 8 | value;
    }
    return address;
}

std::optional<int> ParsePrefix(QStringView text) {
    if (text.isEmpty() || text.size() > 2) return std::nullopt;
    int value = 0;
    for (QChar ch : text) {
        if (ch < u'0' || ch > u'9') return std::nullopt;
        value = value * 10 + (ch.unicode() - u'0');
    }
    if (value > 32) return std::nullopt;
    return value;
}

}  // namespace

QStringList AddressTargets::texts() const {
    QStringList out;
    out.reserve(qsizetype(hosts.size()));
    for (std::uint32_t h : hosts) out << Ipv4Text(h);
    return out;
}

AddressTargets ParseAddressTargets(const QString& text, std::size_t limit) {
    AddressTargets t;
    QSet<std::uint32_t> seen;
    auto add = [&](std::uint32_t host) {
        if (seen.contains(host)) return true;
        if (t.hosts.size() >= limit) {
            t.error = QStringLiteral("more than %1 addresses").arg(limit);
            return false;
        }
        seen.insert(host);
        t.hosts.push_back(host);
        return true;
    };
    const auto items = QStringView(text).split(u',');
    for (QStringView raw : items) {
        const QStringView item = raw.trimmed();
        const qsizetype slash = item.indexOf(u'/');
        const auto address = ParseAddress(slash < 0 ? item : item.left(slash));
        const auto prefix = slash < 0 ? std::optional<int>(32) : ParsePrefix(item.mid(slash + 1));
        if (!address || !prefix) {
            t.error = QStringLiteral(
                          "\"%1\" is not an IPv4 address or range (A.B.C.D or "
                          "A.B.C.D/N)")
                          .arg(item.toString());
            t.hosts.clear();
            return t;
        }
        const std::uint64_t size = std::uint64_t(1) << (32 - *prefix);
        if (size - (size > 2 ? 2 : 0) > limit) {
            t.error =
                QStringLiteral("%1 holds more than %2 addresses").arg(item.toString()).arg(limit);
            t.hosts.clear();
            return t;
        }
        // Host bits given in a range are the user's way of naming its network.
        const std::uint32_t network =
            *prefix == 0 ? 0 : *address & ~std::uint32_t((std::uint64_t(1) << (32 - *prefix)) - 1);
        const std::uint64_t first = size > 2 ? 1 : 0;
        const std::uint64_t last = size > 2 ? size - 2 : size - 1;
        for (std::uint64_t i = first; i <= last; ++i) {
            if (!add(network + std::uint32_t(i))) {
                t.hosts.clear();
                return t;
            }
        }
    }
    return t;
}

}  // namespace velomar
