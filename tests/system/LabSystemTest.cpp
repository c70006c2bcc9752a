// The lab itself: the layout tests rely on, the thread's way in and out of the workstation
// namespace, nothing left behind, and the emulator's refusal to run on a real network.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFileInfo>

#include "net/LocalAddresses.h"
#include "support/Lab.h"

using velomar::test::Lab;

namespace {

ino_t threadNetns() {
    struct stat st {};
    return ::stat("/proc/thread-self/ns/net", &st) == 0 ? st.st_ino : 0;
}

QStringList labNamespaces(const QString& name) {
    return QDir("/var/run/netns").entryList({name + "-*"}, QDir::Files | QDir::System);
}

}  // namespace

TEST(LabSystem, TwoInterfacesReachTheDeviceAndNothingIsLeftBehind) {
    VELOMAR_REQUIRE_LAB();
    const ino_t home = threadNetns();
    QString name;
    {
        Lab lab({.ifaces = 2, .devices = 2});
        name = lab.net().name();
        EXPECT_NE(threadNetns(), home);
        EXPECT_TRUE(lab.net().callerInWorkstation());
        EXPECT_EQ(velomar::LocalIPv4Addresses(), (QStringList{"198.18.1.1", "198.18.2.1"}));
        EXPECT_EQ(labNamespaces(name).size(), 3);
        EXPECT_EQ(lab.deviceAddress(2, 2), "198.18.2.12");
        lab.startEmulator({"--devices", "1"}, 2);
        EXPECT_TRUE(lab.emulatorOutput(2).contains("listening on 0.0.0.0:2057"));
    }
    // Back in the namespace the thread came from; the namespaces and the emulator are gone.
    EXPECT_EQ(threadNetns(), home);
    EXPECT_TRUE(labNamespaces(name).isEmpty()) << labNamespaces(name).join(' ').toStdString();
}

TEST(LabSystem, EmulatorRefusesANamespaceWithAnAddressOutsideTheLabRange) {
    VELOMAR_REQUIRE_LAB();
    Lab lab;
    // An address of the documentation range on the workstation's own bridge: the emulator
    // must see a network it may not answer on, and stop before it binds anything.
    const auto ip = velomar::emu::LabProcess::run(
        "ip",
        {"-n", lab.net().workstationNamespace(), "addr", "add", "192.0.2.7/24", "dev", "lan1"});
    ASSERT_EQ(ip.exitCode, 0) << ip.output.toStdString();
    auto emulator = lab.net().start(lab.net().workstationNamespace(), Lab::emulatorBinary(),
                                    {"--devices", "1", "--lifetime", "5"});
    EXPECT_EQ(emulator->waitForExit(10000), 3) << emulator->output().toStdString();
    EXPECT_TRUE(emulator->output().contains("refusing to run"));
    EXPECT_TRUE(emulator->output().contains("192.0.2.7"));
    EXPECT_FALSE(emulator->output().contains("listening"));
}
