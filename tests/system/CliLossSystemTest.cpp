// velomar-cli on a network that loses and reorders datagrams: every result it reports is
// true of the device, the reads and the network set are repeated (bounded, and said so),
// the apply and the firmware frames never are.
#include <gtest/gtest.h>

#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QSet>
#include <QtEndian>

#include "core/ConfigKeys.h"
#include "core/DeviceConfig.h"
#include "protocol/Firmware.h"
#include "support/CliRun.h"

using namespace velomar;
using namespace velomar::test;

namespace {

constexpr int kTries = 4;  // the first request and three repeats

QByteArray Held(Lab& lab, const QString& mac) {
    QFile f(lab.configFilePath(mac));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

DeviceConfig HeldConfig(Lab& lab, const QString& mac) {
    return DecodeConfigFile(Held(lab, mac), "held");
}

QString HeldValue(Lab& lab, const QString& mac, const QString& key) {
    for (const auto& [k, v] : ConfigValues(HeldConfig(lab, mac)))
        if (k == key) return v;
    return {};
}

int Count(const QList<LogEntry>& entries, qsizetype size) {
    int n = 0;
    for (const LogEntry& e : entries) n += e.bytes.size() == size;
    return n;
}

}  // namespace

TEST(CliLoss, ResultsStayTrueAndOnlyTheSafeRequestsAreRepeated) {
    VELOMAR_REQUIRE_LAB();
    Lab lab;
    lab.startEmulator({"--devices", "3", "--ports", "2", "--loss", "0.2", "--reorder", "--seed",
                       "11", "--interval", "0"});
    const QString mac = "00-1A-2B-00-00-01";
    QString said;  // what every run wrote on stderr

    // Reads: a configuration shown is the device's own, whatever was lost on the way.
    for (int i = 0; i < 4; ++i) {
        const QString file = lab.dir() + QString("/export%1.vlm").arg(i);
        const CliResult r = RunCli(lab, {"config", "export", mac, file, "--timeout", "2"});
        said += r.err;
        const int requests = Count(lab.received('N'), 9);
        EXPECT_LE(requests, kTries * (i + 1)) << "the network record was asked for unbounded";
        if (r.exitCode == 0) {
            QFile exported(file);
            ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
            EXPECT_EQ(exported.readAll().toHex(), Held(lab, mac).toHex()) << r.text();
        } else {
            EXPECT_EQ(r.exitCode, 1) << r.text();
            EXPECT_TRUE(r.err.contains("did not send")) << r.text();
        }
    }

    // A search lists only what answered, as it answered; a file loaded is applied only when
    // the device reads back so.
    const CliResult search = RunCli(lab, {"search", "--format", "json", "--timeout", "1"});
    for (const auto& d : search.json().value("devices").toArray()) {
        const QString m = d.toObject().value("mac").toString();
        EXPECT_EQ(d.toObject().value("ip").toString(),
                  QHostAddress(qFromBigEndian<quint32>(HeldConfig(lab, m).network.ip.constData()))
                      .toString());
    }
    const QString golden = lab.writeFile("golden.vlm", Held(lab, "00-1A-2B-00-00-03"));
    for (int i = 0; i < 2; ++i) {
        const CliResult r = RunCli(lab, {"config", "import", mac, golden, "--timeout", "2"});
        said += r.err;
        const bool holds =
            ConfigDifferences(HeldConfig(lab, mac),
                              DecodeConfigFile(Held(lab, "00-1A-2B-00-00-03"), "golden"))
                .isEmpty();
        if (r.exitCode == 0) {
            EXPECT_TRUE(holds) << "imported, but not held: " << r.text();
        }
    }

    // The network set: verified only when the device holds the new values.
    for (int i = 0; i < 3; ++i) {
        const QString ip = QString("198.18.16.%1").arg(60 + i);
        const int before = Count(lab.received('S'), 57);
        const CliResult r = RunCli(lab, {"set", "001A2B000002", "--ip", ip, "--format", "json",
                                         "--timeout", "2", "--verify-timeout", "6"});
        said += r.err;
        EXPECT_LE(Count(lab.received('S'), 57) - before, kTries);
        const QString result =
            r.json().value("devices").toArray().at(0).toObject().value("result").toString();
        const bool holds = HeldConfig(lab, "00-1A-2B-00-00-02").network.ip ==
                           QByteArray::fromHex(QString("c61210%1").arg(60 + i, 2, 16).toLatin1());
        if (r.exitCode == 0) {
            EXPECT_EQ(result, "verified") << r.text();
            EXPECT_TRUE(holds) << "reported verified, but the device does not hold " << r.text();
        } else {
            EXPECT_NE(result, "verified") << r.text();
        }
    }

    // A change written and applied: reported applied only when the device reads back so.
    for (const QString baud : {"9600", "19200", "38400"}) {
        const int applies = Count(lab.received('A'), 9);
        const CliResult r =
            RunCli(lab, {"config", "set", mac, "port2.baudrate=" + baud, "--timeout", "2"});
        said += r.err;
        if (r.err.contains("did not send")) continue;  // the first read failed: nothing sent
        EXPECT_EQ(Count(lab.received('A'), 9) - applies, 1) << "the apply was repeated";
        const bool holds = HeldValue(lab, mac, "port2.baudrate") == baud;
        if (r.exitCode == 0) {
            EXPECT_TRUE(r.err.contains("configuration applied and read back")) << r.text();
            EXPECT_TRUE(holds) << "reported applied, but the device does not hold " << r.text();
        } else {
            EXPECT_EQ(r.exitCode, 1) << r.text();
            EXPECT_TRUE(r.err.contains("written, not applied") || r.err.contains("reads back") ||
                        r.err.contains("not verified"))
                << r.text();
            if (r.err.contains("reads back otherwise")) {
                EXPECT_FALSE(holds) << r.text();
            }
        }
    }
    EXPECT_TRUE(said.contains("(repeat 1 of 3)")) << "no repeat was seen under 20 % loss:\n"
                                                  << said.toStdString();
}

// Firmware blocks are never repeated: a lost answer is a failure naming the step, and a
// success is an image the device holds whole.
TEST(CliLoss, FirmwareUnderLossSucceedsOnlyWhenTheImageArrivedWhole) {
    VELOMAR_REQUIRE_LAB();
    Lab lab;
    lab.startEmulator({"--devices", "1", "--loss", "0.05", "--seed", "3"});
    const QByteArray image(8 * kFirmwareBlockSize + 100, 'i');
    const QString path = lab.writeFile("fw.bin", image);
    int succeeded = 0;
    for (int i = 0; i < 3; ++i) {
        const int framesBefore = lab.received('F').size();
        const CliResult r =
            RunCli(lab, {"firmware", "001A2B000001", path, "--yes", "--timeout", "2"}, 90000);
        QList<std::int32_t> blocks;
        for (const LogEntry& e : lab.received('F').mid(framesBefore)) {
            if (const auto f = FirmwareFrame::decode(e.bytes)) blocks << f->block;
        }
        EXPECT_EQ(QSet<std::int32_t>(blocks.begin(), blocks.end()).size(), blocks.size())
            << "a firmware frame was sent twice";
        if (r.exitCode == 0) {
            ++succeeded;
            QFile stored(lab.firmwareImagePath("00-1A-2B-00-00-01"));
            ASSERT_TRUE(lab.waitFor([&] { return stored.exists(); }, 2000));
            ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
            EXPECT_TRUE(stored.readAll() == image);
            QFile::remove(stored.fileName());
        } else if (!r.err.contains("no answer from")) {
            EXPECT_EQ(r.exitCode, 1) << r.text();
            EXPECT_TRUE(r.err.contains("no answer to block") ||
                        r.err.contains("no answer to the final frame"))
                << r.text();
        }
    }
}

// The apply's answer lost: written, not applied. A device that keeps its settings: applied,
// but read back otherwise. Neither is a success.
TEST(CliLoss, AnApplyUnansweredOrNotTakenIsNoSuccess) {
    VELOMAR_REQUIRE_LAB();
    Lab lab;
    const QString mac = "00-1A-2B-00-00-01";
    lab.startEmulator({"--devices", "1", "--ports", "1", "--drop-reply", "a"});
    const CliResult lost = RunCli(lab, {"config", "set", mac, "web=Disable", "--timeout", "1"});
    EXPECT_EQ(lost.exitCode, 1) << lost.text();
    EXPECT_TRUE(lost.err.contains(
        "velomar-cli: 00-1A-2B-00-00-01: written, not applied: no answer to the apply request "
        "within 1 s (it is never repeated)"))
        << lost.text();
    EXPECT_EQ(lab.received('A').size(), 1);

    lab.startEmulator({"--devices", "1", "--ports", "1", "--ignore-set", mac});
    const CliResult kept = RunCli(lab, {"config", "set", mac, "port1.baudrate=9600"});
    EXPECT_EQ(kept.exitCode, 1) << kept.text();
    EXPECT_TRUE(
        kept.err.contains("00-1A-2B-00-00-01: applied, but it reads back otherwise (a "
                          "record written may have been lost): port1.baudrate: 9600 -> "
                          "115200"))
        << kept.text();
}
