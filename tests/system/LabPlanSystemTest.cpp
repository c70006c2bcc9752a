// scripts/netlab and NetLab both take the lab's names and addresses from lab/plan.env: the
// lab the script makes is where NetLab tells the tests to look.
#include <gtest/gtest.h>

#include "support/Lab.h"

using velomar::emu::LabProcess;
using velomar::emu::NetLab;
using velomar::test::Lab;

namespace {

// "lan1  UP  198.18.1.1/24" lines of the namespace's IPv4 addresses.
QStringList Addresses(const QString& netns) {
    const LabProcess::Result r =
        LabProcess::run("ip", {"-n", netns, "-brief", "-4", "addr", "show"});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    return r.output.split('\n', Qt::SkipEmptyParts);
}

bool HasAddress(const QStringList& lines, const QString& address, const QString& iface = {}) {
    for (const QString& line : lines) {
        const QStringList fields = line.simplified().split(' ');
        if (fields.contains(address + "/24") && (iface.isEmpty() || fields.first() == iface))
            return true;
    }
    return false;
}

}  // namespace

TEST(LabPlanSystem, TheScriptMakesTheLabWhereNetLabLooks) {
    VELOMAR_REQUIRE_LAB();
    Lab lab({.ifaces = 2, .devices = 2});
    const QStringList ws = Addresses(lab.net().workstationNamespace());
    for (int i : {1, 2}) {
        EXPECT_TRUE(HasAddress(ws, NetLab::workstationAddress(i), NetLab::workstationInterface(i)))
            << i << ": " << ws.join('\n').toStdString();
    }
    for (int k : {1, 2}) {
        const QStringList dev = Addresses(lab.net().deviceNamespace(k));
        for (int i : {1, 2}) {
            EXPECT_TRUE(HasAddress(dev, NetLab::deviceAddress(k, i)))
                << k << "/" << i << ": " << dev.join('\n').toStdString();
        }
    }
}
