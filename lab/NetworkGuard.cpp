#include "lab/NetworkGuard.h"

#include <QHostAddress>

#include "net/LocalAddresses.h"

namespace velomar::emu {

bool IsLabAddress(const QString& dotted) {
    const QHostAddress a(dotted);
    return a.protocol() == QAbstractSocket::IPv4Protocol &&
           a.isInSubnet(QHostAddress(QStringLiteral("198.18.0.0")), 15);
}

QString LabNetworkRefusal(const QString& floodTarget) {
    for (const QString& address : LocalIPv4Addresses()) {
        if (!IsLabAddress(address)) {
            return QStringLiteral(
                       "refusing to run: this network namespace has the address %1, outside "
                       "198.18.0.0/15. Run it inside a lab (scripts/netlab) or `unshare -n`.")
                .arg(address);
        }
    }
    if (!floodTarget.isEmpty() && !IsLabAddress(floodTarget) &&
        !QHostAddress(floodTarget).isLoopback()) {
        return QStringLiteral("refusing to flood %1: only 198.18.0.0/15 or loopback")
            .arg(floodTarget);
    }
    return {};
}

}  // namespace velomar::emu
