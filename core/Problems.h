#pragma once

#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <vector>

// The two commonest reasons a search looks right and the next step fails: two devices that
// answer with the same IP address, and a device whose address lies in none of this
// computer's subnets (its web page and Telnet will not be reached). The window's table and
// velomar-cli search flag them from here.
namespace velomar {

// A local network: an address of this computer and its prefix length.
using LocalSubnet = QPair<QHostAddress, int>;
// The subnets of these local addresses, as the system has them now.
QList<LocalSubnet> LocalSubnets(const QStringList& localAddresses);

struct ProblemDevice {
    QString mac;  // as shown
    QString ip;   // dotted, as the device reported it
};

// What is wrong with each device, in the order given: "IP 198.18.1.20 is also held by
// 00-1A-2B-3C-4D-02" and "198.18.16.5 is outside this computer's subnets". An address of
// 0.0.0.0 (no address yet) is never taken as shared.
std::vector<QStringList> DeviceProblems(const std::vector<ProblemDevice>& devices,
                                        const QList<LocalSubnet>& subnets);

// One line for all: "2 devices share 198.18.1.20; 1 device is outside this computer's
// subnets"; empty when nothing is wrong.
QString ProblemSummary(const std::vector<ProblemDevice>& devices,
                       const QList<LocalSubnet>& subnets);

}  // namespace velomar
