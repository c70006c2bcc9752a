// velomar-cli end to end: the real executable in the lab's workstation namespace against
// tervane-emu, its output parsed and compared with what the emulator holds and logged.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>

#include "core/Csv.h"
#include "net/UdpSocket.h"
#include "support/CliRun.h"

using namespace velomar;
using namespace velomar::test;

namespace {

QJsonArray Devices(const CliResult& r) {
    return r.json().value("devices").toArray();
}

QStringList Macs(const QJsonArray& devices) {
    QStringList macs;
    for (const auto& d : devices) macs << d.toObject().value("mac").toString();
    macs.sort();
    return macs;
}

// What the fleet reports now, through the CLI itself.
QJsonObject DeviceNow(Lab& lab, const QString& mac) {
    const CliResult r = RunCli(lab, {"search", "--format", "json", "--timeout", "2"});
    for (const auto& d : Devices(r)) {
        if (d.toObject().value("mac").toString() == mac) return d.toObject();
    }
    return {};
}

}  // namespace

TEST(CliSystem, SearchGivesTheFleetInEveryFormatAndEndsAtExpect) {
    VELOMAR_REQUIRE_LAB();
    Lab lab;
    lab.startEmulator({"--devices", "3"});
    const QStringList fleet{"00-1A-2B-00-00-01", "00-1A-2B-00-00-02", "00-1A-2B-00-00-03"};

    const CliResult json = RunCli(lab, {"search", "--format", "json", "--timeout", "1"});
    ASSERT_EQ(json.exitCode, 0) << json.text();
    EXPECT_EQ(json.json().value("schema_version").toInt(), 1);
    EXPECT_TRUE(json.out.startsWith("{\n    \"schema_version\": 1,\n    \"devices\": [\n"))
        << "the envelope's keys are out of their documented order";
    EXPECT_TRUE(json.json().value("errors").toArray().isEmpty());
    EXPECT_EQ(Macs(Devices(json)), fleet);
    const QJsonObject first = DeviceNow(lab, fleet[0]);
    EXPECT_EQ(first.value("ip").toString(), "198.18.16.1");  // a foreign subnet: found anyway
    EXPECT_EQ(first.value("name").toString(), "Tervane-0001");
    EXPECT_EQ(first.value("local_address").toString(), lab.workstationAddress());
    EXPECT_EQ(first.value("raw").toObject().value("mac").toString(), "001a2b000001");
    EXPECT_EQ(first.value("raw").toObject().value("ip").toString(), "c6121001");

    const CliResult csv = RunCli(lab, {"search", "--format", "csv", "--timeout", "1"});
    ASSERT_EQ(csv.exitCode, 0) << csv.text();
    const auto records = ReadCsv(csv.out.toUtf8(), "stdout");
    ASSERT_EQ(records.size(), 4u) << csv.text();
    EXPECT_EQ(records[0].fields.mid(0, 9),
              (QStringList{"model", "mac", "version", "name", "ip", "mask", "gateway", "pelorin_ip",
                           "local_address"}));
    QStringList csvMacs;
    for (size_t i = 1; i < records.size(); ++i) csvMacs << records[i].fields[1];
    csvMacs.sort();
    EXPECT_EQ(csvMacs, fleet);

    const CliResult nd = RunCli(lab, {"search", "--format", "ndjson", "--timeout", "1"});
    EXPECT_EQ(nd.out.trimmed().split('\n').size(), 3) << nd.text();
    const CliResult table = RunCli(lab, {"--quiet", "search", "--timeout", "1"});
    for (const QString& mac : fleet) EXPECT_TRUE(table.out.contains(mac)) << table.text();
    EXPECT_TRUE(table.err.isEmpty()) << "--quiet still wrote: " << table.err.toStdString();

    // --expect ends the search once enough devices answered, long before the timeout.
    const CliResult early =
        RunCli(lab, {"search", "--expect", "3", "--timeout", "20", "--format", "json"});
    EXPECT_EQ(early.exitCode, 0) << early.text();
    EXPECT_LT(early.ms, 8000);

    // Nobody answers: the same shape, empty lists; exit 0 unless --expect asked.
    lab.stopEmulator();
    const CliResult none = RunCli(lab, {"search", "--format", "json", "--timeout", "0.5"});
    EXPECT_EQ(none.exitCode, 0) << none.text();
    EXPECT_TRUE(none.json().value("devices").isArray());
    EXPECT_TRUE(none.json().value("errors").isArray());
    EXPECT_TRUE(Devices(none).isEmpty());
    const CliResult missing = RunCli(lab, {"search", "--expect", "1", "--timeout", "0.5"});
    EXPECT_EQ(missing.exitCode, 4) << missing.text();
}

TEST(CliSystem, SetChangesDevicesAndVerifiesThemButABadPlanSendsNothing) {
    VELOMAR_REQUIRE_LAB();
    Lab lab;
    lab.startEmulator({"--devices", "3"});

    const CliResult one =
        RunCli(lab, {"set", "00:1a:2b:00:00:02", "--ip", "198.18.16.22", "--name", "Dock 2"});
    ASSERT_EQ(one.exitCode, 0) << one.text();
    EXPECT_TRUE(one.out.contains("verified")) << one.text();
    QJsonObject now = DeviceNow(lab, "00-1A-2B-00-00-02");
    EXPECT_EQ(now.value("ip").toString(), "198.18.16.22");
    EXPECT_EQ(now.value("name").toString(), "Dock 2");
    EXPECT_EQ(now.value("mask").toString(), "255.254.0.0");  // not given: kept
    const int framesBefore = lab.received('S').size();
    EXPECT_EQ(framesBefore, 1);

    // One bad row (an IP another device already has) and the whole file sends nothing.
    const QString bad = lab.writeFile("bad.csv",
                                      "mac,ip,name\n001A2B000001,198.18.16.30,A\n"
                                      "00-1A-2B-00-00-03,198.18.16.22,\n");
    const CliResult refused = RunCli(lab, {"set", "--from", bad});
    EXPECT_EQ(refused.exitCode, 2) << refused.text();
    EXPECT_TRUE(refused.err.contains(
        "bad.csv:3: 00-1A-2B-00-00-03: IP 198.18.16.22 would also be held by 00-1A-2B-00-00-02"))
        << refused.text();
    const QString good = lab.writeFile("good.csv",
                                       "mac,ip,name\n001A2B000001,198.18.16.31,\"Hall, east\"\n"
                                       "00-1A-2B-00-00-03,198.18.16.33,\n");
    const CliResult dry = RunCli(lab, {"set", "--from", good, "--dry-run"});
    EXPECT_EQ(dry.exitCode, 0) << dry.text();
    EXPECT_TRUE(dry.out.contains("00-1A-2B-00-00-03: ip 198.18.16.3 -> 198.18.16.33"))
        << dry.text();
    EXPECT_EQ(lab.received('S').size(), framesBefore) << "a refused plan or a dry run sent a frame";

    const QString report = lab.dir() + "/report.json";
    const CliResult batch = RunCli(lab, {"set", "--from", good, "--report", report});
    ASSERT_EQ(batch.exitCode, 0) << batch.text();
    QFile reportFile(report);
    ASSERT_TRUE(reportFile.open(QIODevice::ReadOnly));
    const QJsonArray results =
        QJsonDocument::fromJson(reportFile.readAll()).object().value("devices").toArray();
    ASSERT_EQ(results.size(), 2);
    for (const auto& r : results) EXPECT_EQ(r.toObject().value("result").toString(), "verified");
    EXPECT_EQ(DeviceNow(lab, "00-1A-2B-00-00-01").value("name").toString(), "Hall, east");
    EXPECT_EQ(DeviceNow(lab, "00-1A-2B-00-00-03").value("name").toString(), "Tervane-0003");
}

// A device that takes the frame but keeps its settings is reported as such, not as verified;
// the frame is sent again a bounded number of times, and each time said so.
TEST(CliSystem, ASetTheDeviceDoesNotShowIsSentButUnverified) {
    VELOMAR_REQUIRE_LAB();
    Lab lab;
    lab.startEmulator({"--devices", "1", "--ignore-set", "00-1A-2B-00-00-01"});
    const CliResult r = RunCli(lab, {"set", "001A2B000001", "--ip", "198.18.16.50",
                                     "--verify-timeout", "6", "--format", "json"});
    EXPECT_EQ(r.exitCode, 1) << r.text();
    const QJsonObject result = Devices(r).at(0).toObject();
    EXPECT_EQ(result.value("result").toString(), "sent-but-unverified") << r.text();
    EXPECT_EQ(result.value("message").toString(),
              "sent; the device did not answer with the new values in time");
    EXPECT_EQ(lab.received('S').size(), 4);
    EXPECT_TRUE(
        r.err.contains("00-1A-2B-00-00-01: the new values did not show yet; sending the "
                       "network set again (repeat 3 of 3)"))
        << r.text();
    EXPECT_EQ(DeviceNow(lab, "00-1A-2B-00-00-01").value("ip").toString(), "198.18.16.1");
}

TEST(CliSystem, ConfigExportImportAndSetRoundTrip) {
    VELOMAR_REQUIRE_LAB();
    Lab lab;
    lab.startEmulator({"--devices", "2"});
    const QString mac = "00-1A-2B-00-00-02";
    const QString file = lab.dir() + "/d2.vlm";

    const CliResult shown = RunCli(lab, {"config", "show", "001a2b000002", "--format", "json"});
    ASSERT_EQ(shown.exitCode, 0) << shown.text();
    const QJsonObject before = Devices(shown).at(0).toObject();
    EXPECT_EQ(before.value("port_count").toInt(), 2);
    EXPECT_EQ(before.value("config").toObject().value("port2.src_port").toString(), "4002");

    ASSERT_EQ(RunCli(lab, {"config", "export", mac, file}).exitCode, 0);
    QFile exported(file), held(lab.configFilePath(mac));
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly) && held.open(QIODevice::ReadOnly));
    EXPECT_EQ(exported.readAll().toHex(), held.readAll().toHex())
        << "the export differs from the device's own file";

    const CliResult set =
        RunCli(lab, {"config", "set", mac, "port1.baudrate=9600", "web=Disable", "name=Line 4"});
    ASSERT_EQ(set.exitCode, 0) << set.text();
    EXPECT_EQ(lab.received('A').size(), 1);
    const CliResult diff = RunCli(lab, {"config", "diff", mac, file});
    EXPECT_EQ(diff.out.trimmed().split('\n').size(), 3) << diff.text();
    EXPECT_TRUE(diff.out.contains("port1.baudrate: 9600 -> 115200")) << diff.text();

    const CliResult dry = RunCli(lab, {"config", "import", mac, file, "--dry-run"});
    EXPECT_TRUE(dry.out.contains("web: Disable -> Enable")) << dry.text();
    EXPECT_EQ(lab.received('A').size(), 1) << "a dry run applied";
    const CliResult imported = RunCli(lab, {"config", "import", mac, file});
    ASSERT_EQ(imported.exitCode, 0) << imported.text();
    EXPECT_EQ(Devices(RunCli(lab, {"config", "show", mac, "--format", "json"})).at(0).toObject(),
              before);

    // Bad input is named and nothing goes out.
    const CliResult badValue = RunCli(lab, {"config", "set", mac, "port1.baudrate=9601"});
    EXPECT_EQ(badValue.exitCode, 2);
    EXPECT_TRUE(badValue.err.contains("port1.baudrate: \"9601\" is not one of")) << badValue.text();
    const CliResult badKey = RunCli(lab, {"config", "set", mac, "colour=blue"});
    EXPECT_EQ(badKey.exitCode, 2);
    const CliResult shortFile =
        RunCli(lab, {"config", "import", mac, lab.writeFile("short.vlm", QByteArray(40, 'x'))});
    EXPECT_EQ(shortFile.exitCode, 2);
    EXPECT_TRUE(shortFile.err.contains("short.vlm is not a complete configuration file"))
        << shortFile.text();
    EXPECT_EQ(lab.received('A').size(), 2) << "bad input was applied";
}

TEST(CliSystem, FirmwareReachesTwoDevicesAndARefusedBlockIsNamed) {
    VELOMAR_REQUIRE_LAB();
    Lab lab;
    lab.startEmulator({"--devices", "2"});
    QByteArray image(20000, '\0');
    QRandomGenerator(2057).fillRange(reinterpret_cast<quint32*>(image.data()), image.size() / 4);
    const QString path = lab.writeFile("fw.bin", image);

    const CliResult r = RunCli(
        lab, {"firmware", "001A2B000001", "00:1A:2B:00:00:02", path, "--format", "json"}, 60000);
    ASSERT_EQ(r.exitCode, 0) << r.text();
    for (const QString mac : {"00-1A-2B-00-00-01", "00-1A-2B-00-00-02"}) {
        QFile stored(lab.firmwareImagePath(mac));
        ASSERT_TRUE(lab.waitFor([&] { return stored.exists(); }, 2000)) << mac.toStdString();
        ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
        EXPECT_TRUE(stored.readAll() == image) << mac.toStdString();
    }
    EXPECT_EQ(Devices(r).at(1).toObject().value("version_after").toString(), "1.4.1");
    EXPECT_TRUE(r.err.contains("100%")) << "no progress lines on stderr";

    lab.startEmulator({"--devices", "2", "--refuse-block", "2"});
    const CliResult refused = RunCli(lab, {"firmware", "001A2B000002", path}, 60000);
    EXPECT_EQ(refused.exitCode, 1) << refused.text();
    EXPECT_TRUE(refused.err.contains("00-1A-2B-00-00-02: the device refused block 2"))
        << refused.text();
}

TEST(CliSystem, HeldPortAndBadUsageGiveTheirExitCodes) {
    VELOMAR_REQUIRE_LAB();
    Lab lab;
    lab.startEmulator({"--devices", "1"});
    {
        // This test's thread lives in the workstation namespace: the port is held there.
        UdpSocket holder;
        holder.bind("0.0.0.0", 2057);
        const CliResult search = RunCli(lab, {"search", "--timeout", "0.5"});
        EXPECT_EQ(search.exitCode, 3) << search.text();
        EXPECT_TRUE(
            search.err.contains("port 2057 is in use by another program (perhaps Velomar's window "
                                "or another velomar-cli)"))
            << search.text();
        const CliResult doctor = RunCli(lab, {"doctor"});
        EXPECT_EQ(doctor.exitCode, 3) << doctor.text();
        EXPECT_TRUE(
            doctor.out.contains(QString("(pid %1)").arg(QCoreApplication::applicationPid())))
            << doctor.text();
        EXPECT_TRUE(doctor.out.contains("198.18.1.1 on lan1 can broadcast")) << doctor.text();
    }
    EXPECT_EQ(RunCli(lab, {"set", "00-1A-2B-00-00-1", "--ip", "198.18.16.9"}).exitCode, 2);
    EXPECT_EQ(RunCli(lab, {"set", "001A2B000001", "--ip", "198.18.16.256"}).exitCode, 2);
    EXPECT_EQ(RunCli(lab, {"set", "001A2B0000FF", "--ip", "198.18.16.9"}).exitCode, 2);
    EXPECT_EQ(RunCli(lab, {"frobnicate"}).exitCode, 2);
    EXPECT_EQ(RunCli(lab, {"--interface", "nowhere0", "search"}).exitCode, 2);
    EXPECT_EQ(lab.received('S').size(), 0) << "bad input sent a frame";
    const CliResult help = RunCli(lab, {"set", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: velomar-cli set")) << help.text();
    // The parser's words, as the command table drives it.
    const std::pair<QStringList, QString> refused[] = {
        {{"config"}, "velomar-cli: config needs show, export, import, diff, set or keys\n"},
        {{"config", "show", "001A2B000001", "--dry-run"},
         "velomar-cli: config show does not take --dry-run\n"},
        {{"--bogus", "search"}, "velomar-cli: unknown option --bogus (before the command)\n"},
        {{"config", "frob"}, "velomar-cli: unknown command \"config frob\"\n"},
        {{"search", "--timeout"}, "velomar-cli: --timeout needs a value\n"}};
    for (const auto& [arguments, message] : refused) {
        const CliResult r = RunCli(lab, arguments);
        EXPECT_EQ(r.exitCode, 2) << r.text();
        EXPECT_TRUE(r.err.startsWith(message)) << r.text();
    }
    const CliResult group = RunCli(lab, {"config", "--help"});
    EXPECT_EQ(group.out.count("Usage: velomar-cli config "), 6) << group.text();
}

// Two devices on one address and one outside the workstation's subnet are named per device
// in every format and summed up on stderr; a tidy fleet shows nothing.
TEST(CliSystem, SearchFlagsSharedAndUnreachableAddresses) {
    VELOMAR_REQUIRE_LAB();
    Lab lab;
    auto fleet = [&](const QStringList& ips) {
        QJsonArray devices;
        for (int i = 0; i < ips.size(); ++i)
            devices.append(
                QJsonObject{{"mac", QString("00-1A-2B-00-00-0%1").arg(i + 1)}, {"ip", ips[i]}});
        return lab.writeFile("fleet.json",
                             QJsonDocument(QJsonObject{{"devices", devices}}).toJson());
    };
    lab.startEmulator({"--fleet", fleet({"198.18.1.20", "198.18.1.20", "198.18.16.5"})});
    const CliResult json = RunCli(lab, {"search", "--format", "json", "--timeout", "1"});
    QMap<QString, QJsonArray> problems;
    for (const auto& d : Devices(json))
        problems[d.toObject().value("mac").toString()] = d.toObject().value("problems").toArray();
    EXPECT_EQ(problems.value("00-1A-2B-00-00-01"),
              QJsonArray{"IP 198.18.1.20 is also held by 00-1A-2B-00-00-02"});
    EXPECT_EQ(problems.value("00-1A-2B-00-00-03"),
              QJsonArray{"198.18.16.5 is outside this computer's subnets"});
    EXPECT_TRUE(
        json.err.contains("problems: 2 devices share 198.18.1.20; 1 device is outside this "
                          "computer's subnets"))
        << json.text();
    const CliResult table = RunCli(lab, {"search", "--timeout", "1"});
    EXPECT_TRUE(table.out.section('\n', 0, 0).endsWith("PROBLEMS")) << table.text();
    const CliResult csv = RunCli(lab, {"search", "--format", "csv", "--timeout", "1"});
    EXPECT_TRUE(csv.out.contains(",198.18.16.5 is outside this computer's subnets\n"))
        << csv.text();

    lab.startEmulator({"--fleet", fleet({"198.18.1.20", "198.18.1.21"})});
    const CliResult tidy = RunCli(lab, {"search", "--format", "json", "--timeout", "1"});
    for (const auto& d : Devices(tidy))
        EXPECT_TRUE(d.toObject().value("problems").toArray().isEmpty());
    EXPECT_FALSE(tidy.err.contains("problems:")) << tidy.text();
}
