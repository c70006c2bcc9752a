#include "core/Problems.h"

#include <QMap>
#include <QNetworkInterface>

namespace velomar {

namespace {
const QString kNoAddress = QStringLiteral("0.0.0.0");

bool Inside(const QString& ip, const QList<LocalSubnet>& subnets) {
    const QHostAddress address(ip);
    for (const LocalSubnet& s : subnets) {
        if (address.isInSubnet(s.first, s.second)) return true;
    }
    return false;
}

// The MACs holding each address that more than one device holds, in the order given.
QMap<QString, QStringList> Shared(const std::vector<ProblemDevice>& devices) {
    QMap<QString, QStringList> holders;
    for (const ProblemDevice& d : devices) {
        if (d.ip != kNoAddress && !d.ip.isEmpty()) holders[d.ip] << d.mac;
    }
    for (auto it = holders.begin(); it != holders.end();) {
        it = it.value().size() > 1 ? std::next(it) : holders.erase(it);
    }
    return holders;
}
}  // namespace

QList<LocalSubnet> LocalSubnets(const QStringList& localAddresses) {
    QList<LocalSubnet> out;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry& e : i.addressEntries()) {
            if (localAddresses.contains(e.ip().toString()) && e.prefixLength() >= 0)
                out.append({e.ip(), e.prefixLength()});
        }
    }
    return out;
}

std::vector<QStringList> DeviceProblems(const std::vector<ProblemDevice>& devices,
                                        const QList<LocalSubnet>& subnets) {
    const QMap<QString, QStringList> shared = Shared(devices);
    std::vector<QStringList> out;
    for (const ProblemDevice& d : devices) {
        QStringList problems;
        if (shared.contains(d.ip)) {
            QStringList others = shared.value(d.ip);
            others.removeOne(d.mac);
            problems << QStringLiteral("IP %1 is also held by %2")
                            .arg(d.ip, others.join(QStringLiteral(", ")));
        }
        if (!Inside(d.ip, subnets))
            problems << QStringLiteral("%1 is outside this computer's subnets").arg(d.ip);
        out.push_back(problems);
    }
    return out;
}

QString ProblemSummary(const std::vector<ProblemDevice>& devices,
                       const QList<LocalSubnet>& subnets) {
    QStringList parts;
    const QMap<QString, QStringList> shared = Shared(devices);
    for (auto it = shared.cbegin(); it != shared.cend(); ++it)
        parts << QStringLiteral("%1 devices share %2").arg(it.value().size()).arg(it.key());
    int outside = 0;
    for (const ProblemDevice& d : devices) outside += !Inside(d.ip, subnets);
    if (outside > 0) {
        parts << (outside == 1 ? QStringLiteral("1 device is outside this computer's subnets")
                               : QStringLiteral("%1 devices are outside this computer's subnets")
                                     .arg(outside));
    }
    return parts.join(QStringLiteral("; "));
}

}  // namespace velomar
