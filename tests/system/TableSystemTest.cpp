// The device table's network actions end to end: bulk apply, search by IP and the ARP
// entry of Web/Telnet, with the real main window, real port 2057 and tervane-emu in the lab.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include "app/UnitDetect.h"
#include "app/UnitSearchIP.h"
#include "support/FindWidget.h"
#include "support/LabWindow.h"

using namespace velomar;
using velomar::test::Find;
using velomar::test::Lab;
using Col = DeviceTableModel::Column;

namespace {

const char* kFleet = R"({"devices": [
  {"mac": "00-1A-2B-3C-4D-01", "model": "VM-2104", "version": "2.1.7", "name": "Lager Süd",
   "ip": "198.18.1.21", "gateway": "198.18.1.1", "mask": "255.255.0.0", "pelorin_ip": "198.18.1.200", "ports": 4},
  {"mac": "00-1A-2B-3C-4D-02", "model": "VM-2101", "version": "1.0.0", "name": "Port-A",
   "ip": "198.18.1.22", "gateway": "198.18.1.1", "mask": "255.255.0.0", "pelorin_ip": "0.0.0.0", "ports": 1},
  {"mac": "00-1A-2B-3C-4D-03", "model": "VM-2101", "version": "1.0.0", "name": "Spare",
   "ip": "198.18.1.23", "gateway": "198.18.1.1", "mask": "255.255.0.0", "pelorin_ip": "0.0.0.0", "ports": 1}
]})";

// Records everything, and really starts the ARP tool (only that).
class RealArpPlatform : public RecordingPlatform {
  public:
    explicit RealArpPlatform(Platform& real) : real_(real) {}
    void startProgram(const QString& program, const QStringList& arguments, bool hidden) override {
        RecordingPlatform::startProgram(program, arguments, hidden);
        if (program.endsWith(QLatin1String("arp"))) real_.startProgram(program, arguments, hidden);
    }
    QString findProgram(const QString& name) override { return real_.findProgram(name); }

  private:
    Platform& real_;
};

QString neighbours(const QString& address) {
    return velomar::emu::LabProcess::run(QStringLiteral("ip"),
                                         {QStringLiteral("neigh"), QStringLiteral("show"), address},
                                         3000)
        .output;
}

class TableSystem : public velomar::test::LabWindowTest {
  protected:
    std::optional<RealArpPlatform> arp;
};

}  // namespace

TEST_F(TableSystem, BulkApplySendsExactFramesAndTheNextSearchShowsTheNewSettings) {
    start({.fleet = kFleet, .lab = {.ifaces = 2}});
    ASSERT_TRUE(search(3)) << form->DeviceCount();
    const int first = rowOf("00-1A-2B-3C-4D-01");
    const int second = rowOf("00-1A-2B-3C-4D-02");
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);

    DeviceTableModel& table = form->devices();
    table.setCellText(first, Col::ColIp, "198.18.1.31");
    table.setCellText(first, Col::ColMask, "255.255.255.0");
    table.setCellText(first, Col::ColName, "");
    table.setApply(first, true);
    table.setCellText(second, Col::ColPelorin, "198.18.1.250");
    table.setCellText(second, Col::ColName, QString(11, QChar(0x20AC)));  // 33 bytes in UTF-8
    table.setApply(second, true);
    form->FlatButton1Click();
    ASSERT_EQ(rec.boxes(), QStringList{"2 Device(s) ' configuration is Successful"});

    // Two frames, each through both interfaces, in row order.
    ASSERT_TRUE(lab->waitFor([&] { return lab->received('S').size() == 4; }));
    const auto frames = lab->received('S');
    ASSERT_EQ(frames.size(), 4);
    const QByteArray one = frames[first < second ? 0 : 2].bytes;
    const QByteArray two = frames[first < second ? 2 : 0].bytes;
    EXPECT_EQ(frames[0].bytes, frames[1].bytes);
    EXPECT_EQ(frames[2].bytes, frames[3].bytes);
    EXPECT_NE(frames[0].peerAddress, frames[1].peerAddress);

    ASSERT_EQ(one.size(), 57);
    EXPECT_EQ(one.left(2), QByteArray("\x02S"));
    EXPECT_EQ(one.mid(2, 6), QByteArray::fromHex("001A2B3C4D01"));
    EXPECT_EQ(one.mid(8, 4), QByteArray::fromHex("C612011F"));
    EXPECT_EQ(one.mid(12, 4), QByteArray::fromHex("C6120101"));
    EXPECT_EQ(one.mid(16, 4), QByteArray::fromHex("FFFFFF00"));
    EXPECT_EQ(one.mid(20, 4), QByteArray::fromHex("C61201C8"));
    EXPECT_EQ(one.mid(24, 32), QByteArray(32, '\0'));
    EXPECT_EQ(one.at(56), '\x03');
    EXPECT_EQ(two.mid(2, 6), QByteArray::fromHex("001A2B3C4D02"));
    EXPECT_EQ(two.mid(20, 4), QByteArray::fromHex("C61201FA"));
    // Ten whole characters; the eleventh would not fit whole.
    EXPECT_EQ(two.mid(24, 32), QString(10, QChar(0x20AC)).toUtf8() + QByteArray(2, '\0'));

    // A second click has nothing to send.
    rec.clear();
    form->FlatButton1Click();
    EXPECT_EQ(rec.boxes(), QStringList{"No device is applied."});

    // The devices took the settings: a new search lists them.
    rec.clear();
    ASSERT_TRUE(search(3)) << form->DeviceCount();
    const int again = rowOf("00-1A-2B-3C-4D-01");
    ASSERT_GE(again, 0);
    EXPECT_EQ(shown(again, Col::ColIp), "198.18.1.31");
    EXPECT_EQ(shown(again, Col::ColMask), "255.255.255.0");
    EXPECT_EQ(shown(again, Col::ColName), "");
    const int other = rowOf("00-1A-2B-3C-4D-02");
    EXPECT_EQ(shown(other, Col::ColPelorin), "198.18.1.250");
    EXPECT_EQ(shown(other, Col::ColName), QString(10, QChar(0x20AC)));
    EXPECT_EQ(lab->received('S').size(), 4);
}

TEST_F(TableSystem, BadMaskInAnUntickedRowSendsNothing) {
    start({.fleet = kFleet});
    ASSERT_TRUE(search(3)) << form->DeviceCount();
    form->devices().setApply(0, true);
    form->devices().setCellText(2, Col::ColMask, "255.255.0");
    form->FlatButton1Click();
    EXPECT_EQ(rec.boxes(), QStringList{"Please check the IP''s setting."});
    // A marker after the click: once it is logged, anything the click sent would be too.
    form->devices().setCellText(2, Col::ColMask, "255.255.0.0");
    rec.clear();
    form->FlatButton2Click();
    ASSERT_TRUE(lab->waitFor([&] { return lab->received('g').size() == 2; }));
    EXPECT_TRUE(lab->received('S').isEmpty());
    runOutCountdown();
}

TEST_F(TableSystem, SearchByIpListsTheDeviceAtThatAddress) {
    start({.emulator = {"--devices", "1"}});
    const QString address = lab->deviceAddress(1);
    QTimer::singleShot(0, form, [address] {
        auto* dialog = qobject_cast<TFormSearchIP*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->FlatEdit1->setText(address);
        dialog->FlatSpeedButton1->click();
    });
    Find<QPushButton>(form, "FlatButton3")->click();
    ASSERT_TRUE(rec.boxes().isEmpty()) << rec.boxes().join('|').toStdString();
    ASSERT_TRUE(lab->waitFor([&] { return form->DeviceCount() == 1; }));
    runOutCountdown();
    EXPECT_TRUE(rec.boxes().isEmpty());
    // One unicast query from port 2057 of the workstation.
    const auto queries = lab->received('g');
    ASSERT_EQ(queries.size(), 1);
    EXPECT_EQ(queries[0].bytes, QByteArray::fromHex("026703"));
    EXPECT_EQ(queries[0].peer, lab->workstationAddress(1) + ":2057");
}

TEST_F(TableSystem, WebAddsAStaticArpEntryForTheRow) {
    Platform& real = platform();
    if (real.findProgram(QStringLiteral("arp")).isEmpty()) GTEST_SKIP() << "no arp tool here";
    start({.fleet = kFleet, .platform = &arp.emplace(real)});
    ASSERT_TRUE(search(3)) << form->DeviceCount();
    // An address on the workstation's own link, so that the entry can be made.
    const int row = rowOf("00-1A-2B-3C-4D-02");
    Find<DeviceTableView>(form, "RGrid")->setCurrentIndex(form->devices().index(row, Col::ColName));
    ASSERT_EQ(form->SelectedRow(), row);
    const QString ip = form->devices().cellText(row, Col::ColIp);
    Find<QPushButton>(form, "FlatButton4")->click();
    EXPECT_TRUE(lab->waitFor([&] { return neighbours(ip).contains(QLatin1String("PERMANENT")); }))
        << neighbours(ip).toStdString();
    EXPECT_TRUE(neighbours(ip).contains(QLatin1String("lladdr 00:1a:2b:3c:4d:02")))
        << neighbours(ip).toStdString();
    ASSERT_EQ(arp->events.size(), 3);
    EXPECT_EQ(arp->events[1].milliseconds, 2000);
    EXPECT_EQ(arp->events[2].text, "http://" + ip);
}
