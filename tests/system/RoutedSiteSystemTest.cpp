// A site behind a router: a limited broadcast stops there, so the devices are searched for
// by address and every later request goes to the address each answered from.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>

#include "protocol/Firmware.h"
#include "support/CliRun.h"

using namespace velomar;
using namespace velomar::test;

namespace {

const QString kA = "00-1A-2B-00-00-0A", kB = "00-1A-2B-00-00-0B", kC = "00-1A-2B-00-00-0C";

void StartDevices(Lab& lab, int k, const QStringList& macs) {
    QJsonArray devices;
    for (const QString& m : macs) devices.append(QJsonObject{{"mac", m}});
    const QString fleet = lab.writeFile(QStringLiteral("fleet%1.json").arg(k),
                                        QJsonDocument(QJsonObject{{"devices", devices}}).toJson());
    lab.startEmulator({"--fleet", fleet, "--ports", "1"}, k);
}

QStringList Macs(const CliResult& r) {
    QStringList macs;
    for (const auto& d : r.json().value("devices").toArray())
        macs << d.toObject().value("mac").toString();
    macs.sort();
    return macs;
}

// Where the requests of these letters that device namespace k received were sent to.
QStringList Destinations(const Lab& lab, int k, const QByteArray& letters) {
    QStringList to;
    for (const LogEntry& e : lab.received(0, k))
        if (letters.contains(e.letter) && !to.contains(e.to)) to << e.to;
    return to;
}

}  // namespace

TEST(RoutedSite, BroadcastFindsNothingAndTheRangeFindsEveryDeviceAtItsAddress) {
    VELOMAR_REQUIRE_LAB();
    Lab lab({.devices = 2, .routed = true});
    StartDevices(lab, 1, {kA});
    StartDevices(lab, 2, {kB, kC});

    const CliResult broadcast = RunCli(lab, {"search", "--format", "json", "--timeout", "1"});
    EXPECT_EQ(broadcast.exitCode, 0) << broadcast.text();
    EXPECT_TRUE(Macs(broadcast).isEmpty()) << broadcast.text();
    EXPECT_TRUE(lab.received('g', 1).isEmpty()) << "a limited broadcast crossed the router";

    // .1 to .14 hold both devices' addresses; a list may name an empty address as well.
    const QString range = lab.deviceAddress(1) + "/28,198.18.17.3";
    const CliResult r = RunCli(
        lab, {"search", "--ip", range, "--rate", "20", "--format", "json", "--timeout", "1"});
    EXPECT_EQ(r.exitCode, 0) << r.text();
    EXPECT_EQ(Macs(r), (QStringList{kA, kB, kC})) << r.text();
    for (const auto& d : r.json().value("devices").toArray())
        EXPECT_EQ(d.toObject().value("local_address").toString(), lab.workstationAddress());
    // 15 requests at 20 a second: the last leaves 0.7 s after the first.
    EXPECT_GE(r.ms, 700) << "the requests were not paced";
    EXPECT_EQ(Destinations(lab, 1, "g"), QStringList{lab.deviceAddress(1)});
    EXPECT_EQ(Destinations(lab, 2, "g"), QStringList{lab.deviceAddress(2)});
    EXPECT_EQ(lab.received('g', 2).size(), 1) << "one request per address";

    // One address alone is asked as ever, and bad lists are refused before anything is sent.
    const CliResult one = RunCli(lab, {"search", "--ip", lab.deviceAddress(2), "--format", "json"});
    EXPECT_EQ(Macs(one), (QStringList{kB, kC})) << one.text();
    for (const char* bad : {"198.18.16.0/33", "198.18.16.1,", "198.18.0.0/15"}) {
        const CliResult refused = RunCli(lab, {"search", "--ip", bad});
        EXPECT_EQ(refused.exitCode, 2) << bad << refused.text();
    }
}

TEST(RoutedSite, SetConfigBackupAndFirmwareGoToTheDeviceThroughTheRouter) {
    VELOMAR_REQUIRE_LAB();
    Lab lab({.devices = 1, .routed = true});
    StartDevices(lab, 1, {kA});
    const QString at = lab.deviceAddress(1);

    // Without the device's address it cannot be reached.
    EXPECT_NE(RunCli(lab, {"config", "show", kA, "--timeout", "1"}).exitCode, 0);
    const CliResult config = RunCli(lab, {"config", "set", kA, "port1.baudrate=9600", "--ip", at});
    EXPECT_EQ(config.exitCode, 0) << config.text();
    const CliResult set =
        RunCli(lab, {"set", kA, "--name", "behind-router", "--search-ip", at + "/29"});
    EXPECT_EQ(set.exitCode, 0) << set.text();
    EXPECT_TRUE(set.out.contains("verified")) << set.text();

    const QString dir = lab.dir() + "/site";
    const CliResult backup = RunCli(lab, {"backup", dir, "--ip", at, "--format", "json"});
    EXPECT_EQ(backup.exitCode, 0) << backup.text();
    QFile held(lab.configFilePath(kA)), saved(dir + "/" + kA + ".vlm");
    ASSERT_TRUE(held.open(QIODevice::ReadOnly) && saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toHex(), held.readAll().toHex());

    QByteArray image(3 * kFirmwareBlockSize + 11, '\0');
    for (int i = 0; i < image.size(); ++i) image[i] = char(i * 13 + i / 256);
    const CliResult firmware =
        RunCli(lab, {"firmware", kA, lab.writeFile("fw.bin", image), "--yes", "--ip", at}, 60000);
    EXPECT_EQ(firmware.exitCode, 0) << firmware.text();
    QFile stored(lab.firmwareImagePath(kA));
    ASSERT_TRUE(lab.waitFor([&] { return stored.exists(); }, 2000));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_TRUE(stored.readAll() == image);

    // Every request arrived addressed to the device itself, none to the broadcast address.
    EXPECT_EQ(Destinations(lab, 1, "gSNOUAF"), QStringList{at});
    for (char letter : {'S', 'N', 'O', 'U', 'A', 'F'})
        EXPECT_FALSE(lab.received(letter).isEmpty()) << "no '" << letter << "' reached it";
}

TEST(RoutedSite, UnicastOnTheLanAsksByBroadcastAndThenTheDeviceAlone) {
    VELOMAR_REQUIRE_LAB();
    Lab lab;
    StartDevices(lab, 1, {kA});
    const CliResult plain = RunCli(lab, {"config", "show", kA});
    ASSERT_EQ(plain.exitCode, 0) << plain.text();
    EXPECT_EQ(Destinations(lab, 1, "NOU"), QStringList{"255.255.255.255"});

    const int before = lab.received(0).size();
    const CliResult unicast = RunCli(lab, {"config", "show", kA, "--unicast"});
    ASSERT_EQ(unicast.exitCode, 0) << unicast.text();
    const QList<LogEntry> log = lab.received(0).mid(before);
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.first().letter, 'g');
    EXPECT_EQ(log.first().to, "255.255.255.255");
    for (const LogEntry& e : log.mid(1)) EXPECT_EQ(e.to, lab.deviceAddress(1)) << e.letter;
    EXPECT_EQ(unicast.out, plain.out);
}
