// Discovery end to end: the real main window, real port 2057, tervane-emu in the lab.
#include <gtest/gtest.h>

#include <QLabel>
#include <QSet>
#include <cerrno>
#include <cstring>
#include <set>

#include "app/UnitDetect.h"
#include "net/UdpSocket.h"
#include "protocol/Frame.h"
#include "support/FindWidget.h"
#include "support/LabWindow.h"
#include "support/ReplyBuilder.h"

using namespace velomar;
using velomar::test::Find;
using velomar::test::Lab;
using DiscoverySystem = velomar::test::LabWindowTest;

namespace {

// Three devices with the awkward cases of the reply: a name with 2- and 3-byte UTF-8
// characters, a name filling all 32 bytes, version and model of full field width.
const char* kFleet = R"({"devices": [
  {"mac": "00-1A-2B-3C-4D-01", "model": "VM-2104", "version": "2.1.7", "name": "Lager Süd ✓",
   "ip": "198.18.50.11", "gateway": "198.18.50.1", "mask": "255.255.255.0", "pelorin_ip": "198.18.50.200",
   "ports": 4},
  {"mac": "00-1A-2B-3C-4D-02", "model": "ModelNameOf20Chars!!", "version": "10.20.30",
   "name": "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdef",
   "ip": "198.18.60.12", "gateway": "198.18.60.1", "mask": "255.255.0.0", "pelorin_ip": "0.0.0.0", "ports": 16},
  {"mac": "00-1A-2B-3C-4D-03", "model": "VM-2101", "version": "1.0.0", "name": "Port-A", "dhcp": true,
   "ip": "198.18.70.13", "gateway": "198.18.70.1", "mask": "255.255.255.128", "pelorin_ip": "198.18.70.9",
   "lan": {"ip": "192.0.2.1", "mask": "255.255.255.0", "bridge": "Disable"}, "ports": 1}
]})";

QStringList shownRow(TFormDetect& w, int row) {
    QStringList cells;
    for (int c = DeviceTableModel::ColModel; c <= DeviceTableModel::ColPelorin; ++c)
        cells << w.devices().data(w.devices().index(row, c), Qt::DisplayRole).toString();
    return cells;
}

// A discovery reply of a device the emulator does not have, sent from the workstation to
// its own port 2057: when it is listed, everything the emulator sent before it was read.
void sendSentinel(const QString& workstationAddress, quint8 lastMacByte) {
    UdpSocket s;
    s.sendTo(test::ReplyBuilder(lastMacByte, 0x001A2BFFFF00).version("9.9.9").model("sentinel"),
             workstationAddress, kDevicePort);
}

}  // namespace

TEST_F(DiscoverySystem, SearchListsEveryEmulatedDeviceWithItsTexts) {
    start({.fleet = kFleet});

    form->FlatButton2Click();
    ASSERT_TRUE(rec.boxes().isEmpty()) << rec.boxes().join("|").toStdString();
    EXPECT_TRUE(Find<QFrame>(form, "PnlTime")->isVisibleTo(form));
    ASSERT_TRUE(lab->waitFor([&] { return form->DeviceCount() == 3; }));

    EXPECT_EQ(shownRow(*form, 0),
              (QStringList{"VM-2104", "00-1A-2B-3C-4D-01", "2.1.7", "Lager Süd ✓", "198.18.50.11",
                           "255.255.255.0", "198.18.50.1", "198.18.50.200"}));
    // 32 letters without a NUL: the first 31; version and model cut to 7 and 16.
    EXPECT_EQ(shownRow(*form, 1), (QStringList{"ModelNameOf20Cha", "00-1A-2B-3C-4D-02", "10.20.3",
                                               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcde", "198.18.60.12",
                                               "255.255.0.0", "198.18.60.1", "0.0.0.0"}));
    EXPECT_EQ(shownRow(*form, 2),
              (QStringList{"VM-2101", "00-1A-2B-3C-4D-03", "1.0.0", "Port-A", "198.18.70.13",
                           "255.255.255.128", "198.18.70.1", "198.18.70.9"}));
    EXPECT_EQ(Find<QLabel>(form, "lblcount")->text(), "Current : 3");

    // One 3-byte request, from the workstation's one interface.
    const auto requests = lab->received('g');
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].bytes, QByteArray::fromHex("026703"));
    EXPECT_EQ(requests[0].peerAddress, lab->workstationAddress(1));
    EXPECT_TRUE(lab->waitFor([&] { return lab->sent('g').size() == 3; }));

    runOutCountdown();
    EXPECT_FALSE(Find<QFrame>(form, "PnlTime")->isVisibleTo(form));
    EXPECT_FALSE(form->udpServer().isOpen());
    EXPECT_EQ(form->DeviceCount(), 3);
}

TEST_F(DiscoverySystem, DeviceHeardThroughTwoInterfacesIsListedOnce) {
    start({.emulator = {"--devices", "1"}, .lab = {.ifaces = 2}});
    ASSERT_EQ(form->interfaceEndpoints().size(), 2);

    form->FlatButton2Click();
    ASSERT_TRUE(rec.boxes().isEmpty()) << rec.boxes().join("|").toStdString();
    // The request left once through each interface, and the device answered each copy.
    ASSERT_TRUE(lab->waitFor([&] { return lab->sent('g').size() == 2; }));
    const auto requests = lab->received('g');
    ASSERT_EQ(requests.size(), 2);
    std::set<QString> peers;
    for (const auto& r : requests) {
        EXPECT_EQ(r.bytes, QByteArray::fromHex("026703"));
        peers.insert(r.peerAddress);
    }
    EXPECT_EQ(peers, (std::set<QString>{lab->workstationAddress(1), lab->workstationAddress(2)}));

    // Once the sentinel is listed, both copies of the reply have been through the table.
    sendSentinel(lab->workstationAddress(1), 1);
    ASSERT_TRUE(lab->waitFor([&] { return form->DeviceCount() >= 2; }));
    EXPECT_EQ(form->DeviceCount(), 2);
    EXPECT_EQ(shown(0, DeviceTableModel::ColMac), "00-1A-2B-00-00-01");
    EXPECT_EQ(shown(1, DeviceTableModel::ColMac), "00-1A-2B-FF-FF-01");
    EXPECT_EQ(Find<QLabel>(form, "lblcount")->text(), "Current : 2");
    runOutCountdown();
}

TEST_F(DiscoverySystem, SecondInstanceSearchReportsThePortAndSendsNothing) {
    start({.emulator = {"--devices", "3"}});

    // The copy that will fail has rows from an earlier search of its own.
    TFormDetect& second = *form;
    ASSERT_TRUE(search(3));
    ASSERT_FALSE(second.udpServer().isOpen());

    // Another copy searches and holds port 2057.
    TFormDetect first;
    first.FlatButton2Click();
    ASSERT_TRUE(first.udpServer().isOpen());
    ASSERT_TRUE(rec.boxes().isEmpty()) << rec.boxes().join("|").toStdString();

    second.FlatButton2Click();
    ASSERT_EQ(rec.events.size(), 1);
    EXPECT_EQ(rec.events[0].kind, RecordingPlatform::Event::Error);
    EXPECT_TRUE(rec.events[0].text.contains(QString::fromLocal8Bit(std::strerror(EADDRINUSE))))
        << rec.events[0].text.toStdString();
    // The table was emptied before the port failed; no search state.
    EXPECT_EQ(second.DeviceCount(), 0);
    EXPECT_EQ(second.devices().count(), 0);
    EXPECT_FALSE(Find<QFrame>(second, "PnlTime")->isVisibleTo(&second));
    EXPECT_TRUE(Find<QWidget>(second, "FlatPanel1")->isEnabled());
    EXPECT_FALSE(second.udpServer().isOpen());

    // Nothing left: a marker sent now reaches the emulator after anything the failed
    // search could have sent, and only the two real searches' requests are before it.
    UdpSocket marker;
    marker.sendTo(MacOnlyFrame(Letter::NetworkRequest, QByteArray::fromHex("001A2B000001")),
                  lab->deviceAddress(1), kDevicePort);
    ASSERT_TRUE(lab->waitFor([&] { return lab->received('N').size() == 1; }));
    EXPECT_EQ(lab->received('g').size(), 2);
    runOutCountdown(first);
}
