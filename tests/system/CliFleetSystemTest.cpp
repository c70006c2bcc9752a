// velomar-cli with many devices: staged firmware rollouts with transfers side by side, and
// the fleet's configurations backed up, compared and restored.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include "core/FleetFiles.h"
#include "protocol/Firmware.h"
#include "support/CliRun.h"

using namespace velomar;
using namespace velomar::test;

namespace {

QString Fleet(Lab& lab, const QString& name, const QJsonArray& devices) {
    return lab.writeFile(name, QJsonDocument(QJsonObject{{"devices", devices}}).toJson());
}

QJsonObject Device(const CliResult& r, const QString& mac) {
    for (const auto& d : r.json().value("devices").toArray()) {
        if (d.toObject().value("mac").toString() == mac) return d.toObject();
    }
    return {};
}

int FramesTo(Lab& lab, const QString& macHex, int k) {
    int n = 0;
    for (const LogEntry& e : lab.received('F', k)) n += e.bytes.mid(2, 6).toHex() == macHex;
    return n;
}

const QString kA = "00-1A-2B-00-00-0A", kB = "00-1A-2B-00-00-0B", kC = "00-1A-2B-00-00-0C";

}  // namespace

TEST(CliFleet, ARolloutStopsAtItsFailureBudgetAndResumesWhatDidNotSucceed) {
    VELOMAR_REQUIRE_LAB();
    Lab lab({.ifaces = 1, .devices = 2});
    // A refuses block 2; B and C take any image, in a namespace of their own.
    lab.startEmulator(
        {"--fleet", Fleet(lab, "a.json", {QJsonObject{{"mac", kA}}}), "--refuse-block", "2"}, 1);
    lab.startEmulator(
        {"--fleet", Fleet(lab, "bc.json", {QJsonObject{{"mac", kB}}, QJsonObject{{"mac", kC}}})},
        2);
    QByteArray image(48 * 1024 + 7, '\0');
    for (int i = 0; i < image.size(); ++i) image[i] = char(i * 7 + i / 256);
    const QString path = lab.writeFile("fw.bin", image);
    const QString report = lab.dir() + "/rollout.json";

    const CliResult r = RunCli(lab,
                               {"firmware", kA, kB, kC, path, "--yes", "--parallel", "2",
                                "--report", report, "--format", "json"},
                               90000);
    EXPECT_EQ(r.exitCode, 1) << r.text();
    EXPECT_EQ(Device(r, kA).value("result").toString(), "failed");
    EXPECT_EQ(Device(r, kA).value("message").toString(), "the device refused block 2");
    EXPECT_EQ(Device(r, kB).value("result").toString(), "succeeded") << r.text();
    EXPECT_EQ(Device(r, kB).value("blocks").toInt(),
              (image.size() + kFirmwareBlockSize - 1) / kFirmwareBlockSize);
    EXPECT_EQ(Device(r, kC).value("result").toString(), "not started");
    EXPECT_TRUE(r.err.contains(kA + ": the device refused block 2")) << r.text();
    QFile stored(lab.firmwareImagePath(kB, 2));
    ASSERT_TRUE(lab.waitFor([&] { return stored.exists(); }, 2000));
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_TRUE(stored.readAll() == image) << "the image sent beside a failing one arrived damaged";
    EXPECT_EQ(FramesTo(lab, "001a2b00000c", 2), 0) << "a device past the budget was sent to";

    // Resumed: only what did not succeed, and with no budget the rest goes on after A fails.
    const int framesToB = FramesTo(lab, "001a2b00000b", 2);
    const CliResult resumed = RunCli(
        lab, {"firmware", path, "--resume", report, "--keep-going", "--yes", "--format", "json"},
        90000);
    EXPECT_EQ(resumed.exitCode, 1) << resumed.text();
    EXPECT_EQ(resumed.json().value("devices").toArray().size(), 2) << resumed.text();
    EXPECT_EQ(Device(resumed, kC).value("result").toString(), "succeeded") << resumed.text();
    EXPECT_EQ(FramesTo(lab, "001a2b00000b", 2), framesToB)
        << "a device that had succeeded was upgraded again";
}

TEST(CliFleet, AModelCheckRefusesAMixedListBeforeAnythingIsSent) {
    VELOMAR_REQUIRE_LAB();
    Lab lab;
    lab.startEmulator({"--fleet", Fleet(lab, "mixed.json",
                                        {QJsonObject{{"mac", kA}, {"model", "VM-2104"}},
                                         QJsonObject{{"mac", kB}, {"model", "VM-2100"}}})});
    const CliResult r = RunCli(
        lab, {"firmware", kA, kB, lab.writeFile("fw.bin", "x"), "--yes", "--model", "VM-2104"});
    EXPECT_EQ(r.exitCode, 2) << r.text();
    EXPECT_TRUE(
        r.err.contains("not every device is a VM-2104: " + kB + " is a VM-2100; nothing was sent"))
        << r.text();
    EXPECT_TRUE(lab.received('F').isEmpty());
}

TEST(CliFleet, BackupDriftAndRestoreRoundTrip) {
    VELOMAR_REQUIRE_LAB();
    Lab lab;
    lab.startEmulator({"--devices", "2", "--ports", "1"});
    const QString one = "00-1A-2B-00-00-01", two = "00-1A-2B-00-00-02";
    const QString dir = lab.dir() + "/fleet";
    const CliResult first = RunCli(lab, {"backup", dir, "--format", "json", "--timeout", "1"});
    ASSERT_EQ(first.exitCode, 0) << first.text();
    EXPECT_EQ(Device(first, one).value("result").toString(), "written");
    QStringList files = QDir(dir).entryList(QDir::Files);
    EXPECT_EQ(files, (QStringList{one + ".vlm", two + ".vlm", "inventory.json"}));
    QFile held(lab.configFilePath(one)), saved(dir + "/" + one + ".vlm");
    ASSERT_TRUE(held.open(QIODevice::ReadOnly) && saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll().toHex(), held.readAll().toHex());
    auto stamps = [&] {
        QStringList s;
        for (const QString& f : files)
            s << QFileInfo(dir + "/" + f).lastModified().toString(Qt::ISODateWithMs);
        return s;
    };
    const QStringList before = stamps();

    ASSERT_EQ(RunCli(lab, {"config", "set", one, "port1.baudrate=9600"}).exitCode, 0);
    const CliResult drift = RunCli(lab, {"drift", dir, "--format", "json", "--timeout", "1"});
    EXPECT_EQ(drift.exitCode, 1) << drift.text();
    EXPECT_EQ(Device(drift, one).value("state").toString(), "drifted");
    EXPECT_EQ(Device(drift, one).value("changes").toArray(),
              QJsonArray{"port1.baudrate: 115200 -> 9600"});
    EXPECT_EQ(Device(drift, two).value("state").toString(), "same");

    const CliResult restored = RunCli(lab, {"restore", dir, "--format", "json"});
    EXPECT_EQ(restored.exitCode, 0) << restored.text();
    EXPECT_EQ(Device(restored, one).value("result").toString(), "applied");
    EXPECT_EQ(Device(restored, two).value("result").toString(), "unchanged");
    EXPECT_EQ(RunCli(lab, {"drift", dir, "--timeout", "1"}).exitCode, 0);

    // Nothing changed: nothing is rewritten, so a git history shows real changes only.
    const CliResult again = RunCli(lab, {"backup", dir, "--format", "json", "--timeout", "1"});
    EXPECT_EQ(Device(again, one).value("result").toString(), "unchanged") << again.text();
    EXPECT_EQ(stamps(), before);

    // A device silent during a backup keeps its file and is named.
    lab.startEmulator({"--devices", "2", "--ports", "1", "--mute", two});
    const CliResult silent = RunCli(lab, {"backup", dir, one, two, "--timeout", "1"});
    EXPECT_EQ(silent.exitCode, 1) << silent.text();
    EXPECT_TRUE(silent.err.contains(two + ": no answer to the search; its file was kept"))
        << silent.text();
    EXPECT_EQ(stamps(), before);
    EXPECT_EQ(ReadBackupFolder(dir).devices.size(), 2u);
}
