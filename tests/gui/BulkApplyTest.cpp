#include "DetectTestUtil.h"
#include "app/BulkApply.h"
#include "protocol/Errors.h"
#include "protocol/Frame.h"
#include "support/FindWidget.h"
#include "support/Isolation.h"

using namespace velomar;
using namespace velomar::test;
using Col = DeviceTableModel::Column;

namespace {

const QString kNoDevice = QStringLiteral("There is no Tervane.\r\nPlease search the Tervane.");
const QString kCheckIp = QStringLiteral("Please check the IP''s setting.");
const QString kNoneApplied = QStringLiteral("No device is applied.");

QByteArray hex(const char* h) {
    return QByteArray::fromHex(h);
}

// Each field of the row reaches its place in the frame (the frame itself: unit tests).
TEST(NetworkSetFrameFromRow, TakesEachFieldOfTheRow) {
    DeviceEntry row;
    row.mac = "00-1A-2B-3C-4D-5E";
    row.name = "Port-A";
    row.ip = "198.18.1.20";
    row.mask = "255.255.255.0";
    row.gateway = "198.18.1.1";
    row.pelorin = "10.0.0.0";
    const QByteArray f = BuildNetworkSetFrame(row);
    EXPECT_EQ(f.mid(2, 22), hex("001A2B3C4D5E"
                                "C6120114"
                                "C6120101"
                                "FFFFFF00"
                                "0A000000"));
    EXPECT_EQ(f.mid(24, 6), QByteArray("Port-A"));
}

class BulkApply : public DetectTest {
  protected:
    DetectNetwork network() const override {
        return DetectNetwork{{QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.2")}, kTestPort};
    }
    void tick(int row) { model().setApply(row, true); }
};

TEST_F(BulkApply, EmptyTableOnlySaysSo) {
    VELOMAR_REQUIRE_ISOLATION();
    DeviceSide devices;
    Find<QPushButton>(window, "FlatButton1")->click();
    EXPECT_EQ(rec.boxes(), QStringList{kNoDevice});
    EXPECT_TRUE(devices.drain().isEmpty());
    EXPECT_FALSE(window->udpServer().isOpen());
}

TEST_F(BulkApply, TwoTickedRowsGiveTwoFramesThroughEveryInterface) {
    VELOMAR_REQUIRE_ISOLATION();
    DeviceSide devices;
    addDevices(3);
    model().setCellText(0, Col::ColIp, "198.18.2.30");
    model().setCellText(0, Col::ColMask, "255.255.0.0");
    model().setCellText(2, Col::ColName, "");
    tick(0);
    tick(2);
    Find<QPushButton>(window, "FlatButton1")->click();
    EXPECT_EQ(rec.boxes(), QStringList{"2 Device(s) ' configuration is Successful"});

    const auto got = devices.drain();
    ASSERT_EQ(got.size(), 4);
    // Row by row, each through the two interface endpoints in their order.
    EXPECT_EQ(got[0].from, "127.0.0.1");
    EXPECT_EQ(got[1].from, "127.0.0.2");
    EXPECT_EQ(got[2].from, "127.0.0.1");
    EXPECT_EQ(got[3].from, "127.0.0.2");
    EXPECT_EQ(got[0].bytes, got[1].bytes);
    EXPECT_EQ(got[2].bytes, got[3].bytes);
    const QByteArray first = got[0].bytes;
    ASSERT_EQ(first.size(), 57);
    EXPECT_EQ(first.mid(2, 6), hex("001A2B3C4D00"));
    EXPECT_EQ(first.mid(8, 4), hex("C612021E"));
    EXPECT_EQ(first.mid(16, 4), hex("FFFF0000"));
    const QByteArray second = got[2].bytes;
    EXPECT_EQ(second.mid(2, 6), hex("001A2B3C4D02"));
    EXPECT_EQ(second.mid(16, 4), hex("FFFFFF00"));
    EXPECT_EQ(second.mid(24, 32), QByteArray(32, '\0'));

    // Sent rows: Apply cleared, known IP taken from the IP column; the other row as it was.
    EXPECT_FALSE(model().entry(0).apply);
    EXPECT_FALSE(model().entry(2).apply);
    EXPECT_EQ(model().entry(0).knownIp, "198.18.2.30");
    EXPECT_EQ(model().entry(0).ip, "198.18.2.30");
    EXPECT_EQ(model().entry(1).knownIp, "198.18.1.11");
    EXPECT_TRUE(window->udpServer().isOpen());

    // Nothing is ticked any more.
    rec.clear();
    Find<QPushButton>(window, "FlatButton1")->click();
    EXPECT_EQ(rec.boxes(), QStringList{kNoneApplied});
    EXPECT_TRUE(devices.drain().isEmpty());
}

TEST_F(BulkApply, ABadAddressInAnyRowStopsEverything) {
    VELOMAR_REQUIRE_ISOLATION();
    DeviceSide devices;
    addDevices(3);
    tick(0);
    model().setCellText(2, Col::ColMask, "255.255.255.256");  // row 2 is not ticked
    Find<QPushButton>(window, "FlatButton1")->click();
    EXPECT_EQ(rec.boxes(), QStringList{kCheckIp});
    EXPECT_TRUE(devices.drain().isEmpty());
    EXPECT_TRUE(model().entry(0).apply);
    EXPECT_EQ(model().entry(0).knownIp, "198.18.1.10");
    EXPECT_TRUE(Find<DeviceTableView>(window, "RGrid")->hasFocus());

    // Each of the four address columns is checked, the empty text included.
    for (int c : {Col::ColIp, Col::ColGateway, Col::ColPelorin}) {
        model().setCellText(2, Col::ColMask, "255.255.255.0");
        const QString old = model().cellText(1, c);
        model().setCellText(1, c, "");
        rec.clear();
        Find<QPushButton>(window, "FlatButton1")->click();
        EXPECT_EQ(rec.boxes(), QStringList{kCheckIp}) << c;
        model().setCellText(1, c, old);
    }
    EXPECT_TRUE(devices.drain().isEmpty());
}

TEST_F(BulkApply, WhatTheUserIsTypingIsSentToo) {
    VELOMAR_REQUIRE_ISOLATION();
    DeviceSide devices;
    addDevices(1);
    goTo(0, Col::ColName);
    type("Hall");
    ASSERT_TRUE(Find<DeviceTableView>(window, "RGrid")->isEditing());
    window->FlatButton1Click();
    EXPECT_EQ(rec.boxes(), QStringList{"1 Device(s) ' configuration is Successful"});
    const auto got = devices.drain();
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0].bytes.mid(24, 32), QByteArray("Hall").leftJustified(32, '\0'));
    EXPECT_EQ(model().entry(0).name, "Hall");
    EXPECT_FALSE(Find<DeviceTableView>(window, "RGrid")->isEditing());

    // The row's changes were taken over: changing it again ticks it again.
    goTo(0, Col::ColName);
    type("X");
    EXPECT_TRUE(model().entry(0).apply);
    commit();
}

TEST_F(BulkApply, ApplyWorksOnTheRowsFoundWhileASearchRuns) {
    VELOMAR_REQUIRE_ISOLATION();
    DeviceSide devices;
    Find<QPushButton>(window, "FlatButton2")->click();
    devices.drain();  // the discovery requests
    ASSERT_TRUE(Find<QPushButton>(window, "FlatButton1")->isEnabled());
    Find<QPushButton>(window, "FlatButton1")->click();
    EXPECT_EQ(rec.boxes(), QStringList{kNoDevice});
    addDevices(2);
    tick(1);
    rec.clear();
    Find<QPushButton>(window, "FlatButton1")->click();
    EXPECT_EQ(rec.boxes(), QStringList{"1 Device(s) ' configuration is Successful"});
    EXPECT_EQ(devices.drain().size(), 2);
    Find<QPushButton>(window, "FlatButton6")->click();
}

TEST_F(BulkApply, SocketFailureIsReportedAndLeavesTheRowTicked) {
    VELOMAR_REQUIRE_ISOLATION();
    // The listening port is held by someone else: opening it fails.
    UdpSocket holder;
    holder.bind(QStringLiteral("0.0.0.0"), kTestPort);
    DeviceSide devices;
    addDevices(2);
    tick(0);
    tick(1);
    Find<QPushButton>(window, "FlatButton1")->click();
    ASSERT_EQ(rec.events.size(), 1);
    EXPECT_EQ(rec.events[0].kind, RecordingPlatform::Event::Error);
    EXPECT_TRUE(devices.drain().isEmpty());
    EXPECT_TRUE(model().entry(0).apply);
    EXPECT_TRUE(model().entry(1).apply);
    EXPECT_EQ(model().entry(0).knownIp, "198.18.1.10");
}

class BulkApplyUnboundInterface : public BulkApply {
  protected:
    // The second address is not local: its endpoint cannot be bound when it first sends.
    DetectNetwork network() const override {
        return DetectNetwork{{QStringLiteral("127.0.0.1"), QStringLiteral("198.18.99.99")},
                             kTestPort};
    }
};

TEST_F(BulkApplyUnboundInterface, SendFailureEndsTheClickAfterTheFirstInterface) {
    VELOMAR_REQUIRE_ISOLATION();
    DeviceSide devices;
    addDevices(2);
    tick(0);
    tick(1);
    Find<QPushButton>(window, "FlatButton1")->click();
    ASSERT_EQ(rec.events.size(), 1);
    EXPECT_EQ(rec.events[0].kind, RecordingPlatform::Event::Error);
    // What left before the failure stays sent; no closing message; both rows keep their tick.
    const auto got = devices.drain();
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got[0].bytes.mid(2, 6), hex("001A2B3C4D00"));
    EXPECT_TRUE(model().entry(0).apply);
    EXPECT_TRUE(model().entry(1).apply);
}

}  // namespace
