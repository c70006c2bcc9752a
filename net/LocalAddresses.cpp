#include "net/LocalAddresses.h"

#include <QNetworkInterface>

namespace velomar {

QStringList LocalIPv4Addresses() {
    QStringList out;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : interfaces) {
        const auto flags = iface.flags();
        if (!(flags & QNetworkInterface::IsUp) || (flags & QNetworkInterface::IsLoopBack)) continue;
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            const QHostAddress ip = entry.ip();
            if (ip.protocol() != QAbstractSocket::IPv4Protocol || ip.isLoopback()) continue;
            const QString text = ip.toString();
            if (!out.contains(text)) out << text;
        }
    }
    return out;
}

}  // namespace velomar
