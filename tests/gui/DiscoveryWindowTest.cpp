#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QThread>
#include <atomic>

#include "app/UnitDetect.h"
#include "net/ListeningEndpoint.h"
#include "net/UdpSocket.h"
#include "protocol/Frame.h"
#include "support/FindWidget.h"
#include "support/Isolation.h"
#include "support/RecordingPlatform.h"
#include "support/ReplyBuilder.h"
#include "support/SystemTexts.h"

using namespace velomar;
using velomar::test::Find;

namespace {

QByteArray reply(int macLast, const QByteArray& name = "dev", char letter = 'g') {
    return test::ReplyBuilder(macLast)
        .ip(0xC6120000 + macLast)
        .gateway("198.18.0.1")
        .mask("255.255.255.0")
        .name(name)
        .version("1.0.7")
        .model("VM2100-4")
        .letter(letter);
}

}  // namespace

TEST(MainWindow, CaptionsAndSize) {
    TFormDetect w(DetectNetwork{{}, 2057});
    EXPECT_EQ(w.windowTitle(), "Velomar v1.2");
    EXPECT_EQ(w.size(), QSize(977, 538));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_EQ(kAppTitle, "Velomar v1.1");
    EXPECT_EQ(Find<QLabel>(w, "lblcount")->text(), "");
    EXPECT_FALSE(Find<QFrame>(w, "PnlTime")->isVisibleTo(&w));
    EXPECT_EQ(w.DeviceCount(), 0);
    EXPECT_EQ(w.SelectedRow(), 0);
    const QList<QPushButton*> toolbar =
        Find<QWidget>(w, "FlatPanel1")->findChildren<QPushButton*>();
    QStringList captions;
    for (QPushButton* b : toolbar) captions << b->text();
    EXPECT_EQ(captions, (QStringList{"Search", "Search IP", "Configure", "Import", "Telnet", "Web",
                                     "Upgrade Firmware"}));
    EXPECT_EQ(Find<QPushButton>(w, "FlatButton1")->text(), "Apply");
    EXPECT_NE(Find<QPushButton>(w, "FlatButton1")->parentWidget(), Find<QWidget>(w, "FlatPanel1"));
}

TEST(MainWindow, OpensCentredOnItsScreen) {
    TFormDetect w(DetectNetwork{{}, 2057});
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QRect area = w.screen()->availableGeometry();
    const QRect frame = w.frameGeometry();
    // The frame is known only once the window shows: centred to within its thickness. Where
    // the window does not fit, its top left corner stays on the screen.
    const int slack = frame.height() - w.height();
    auto placed = [slack](int start, int room, int at, int size) {
        return size <= room ? std::abs(at + size / 2 - (start + room / 2)) <= slack : at == start;
    };
    const std::string where = QStringLiteral("at %1,%2 on %3x%4")
                                  .arg(frame.x())
                                  .arg(frame.y())
                                  .arg(area.width())
                                  .arg(area.height())
                                  .toStdString();
    EXPECT_TRUE(placed(area.left(), area.width(), frame.left(), frame.width())) << where;
    EXPECT_TRUE(placed(area.top(), area.height(), frame.top(), frame.height())) << where;
}

TEST(MainWindow, ReadHandlerListsNewDevicesOnceAndRoutesFirmwareReplies) {
    TFormDetect w(DetectNetwork{{}, 2057});
    // Straight into the read handler, as the listener thread would call it.
    w.UDPServerUDPRead(reply(1, "Port-A"), "198.18.0.2", 2057);
    w.UDPServerUDPRead(reply(1, "Port-A"), "198.18.1.2", 2057);  // same device, 2nd interface
    w.UDPServerUDPRead(reply(2), "198.18.0.3", 2057);
    w.UDPServerUDPRead(reply(3, "x", 'G'), "198.18.0.4", 2057);  // upper-case letter
    QByteArray noEtx = reply(4);
    noEtx[noEtx.size() - 1] = 0;
    w.UDPServerUDPRead(noEtx, "198.18.0.4", 2057);
    w.UDPServerUDPRead(DiscoveryRequest(), "198.18.0.1", 2057);          // our own request
    w.UDPServerUDPRead(reply(5).left(60) + "\x03", "198.18.0.5", 2057);  // short reply
    const QByteArray ack(
        "\x02"
        "f\x00\x1A\x2B\x3C\x4D\x01"
        "1\x00\x00\x03",
        12);
    w.UDPServerUDPRead(ack, "198.18.0.2", 2057);
    w.TakeReceivedDevices();

    EXPECT_EQ(w.DeviceCount(), 2);
    EXPECT_EQ(w.devices().rowCount(), 2);
    EXPECT_EQ(Find<QLabel>(w, "lblcount")->text(), "Current : 2");
    const auto& first = w.devices().entry(0);
    EXPECT_EQ(first.mac, "00-1A-2B-3C-4D-01");
    EXPECT_EQ(first.name, "Port-A");
    EXPECT_EQ(first.ip, "198.18.0.1");
    EXPECT_EQ(first.knownIp, "198.18.0.1");
    EXPECT_EQ(first.mask, "255.255.255.0");
    EXPECT_EQ(first.gateway, "198.18.0.1");
    EXPECT_FALSE(first.apply);
    EXPECT_EQ(w.devices().data(w.devices().index(0, DeviceTableModel::ColVersion), Qt::DisplayRole),
              "1.0.7");
    EXPECT_EQ(w.devices().data(w.devices().index(0, DeviceTableModel::ColModel), Qt::DisplayRole),
              "VM2100-4");
    // The firmware slot holds the whole 'f' datagram, flag raised.
    EXPECT_TRUE(w.firmwareReply().flag());
    EXPECT_EQ(w.firmwareReply().text(), ack);

    // A repeat of a listed device changes nothing, not even the label.
    Find<QLabel>(w, "lblcount")->setText("marker");
    w.UDPServerUDPRead(reply(2), "198.18.0.3", 2057);
    w.TakeReceivedDevices();
    EXPECT_EQ(Find<QLabel>(w, "lblcount")->text(), "marker");
}

TEST(MainWindow, StopTakesOverWhatArrivedBeforeTheClose) {
    VELOMAR_REQUIRE_ISOLATION();
    RecordingPlatform rec;
    ScopedPlatform scoped(&rec);
    // The window's only interface is loopback; a small device answers on it.
    TFormDetect w(DetectNetwork{{"127.0.0.1"}, 2057});
    w.StartSearch();
    EXPECT_TRUE(w.udpServer().isOpen());
    EXPECT_TRUE(Find<QFrame>(w, "PnlTime")->isVisibleTo(&w));
    EXPECT_FALSE(Find<QWidget>(w, "FlatPanel1")->isEnabled());
    EXPECT_TRUE(Find<QPushButton>(w, "FlatButton1")->isEnabled());
    EXPECT_EQ(w.SearchBaseline(), -1);

    UdpSocket device;
    device.bind("127.0.0.2", 0);
    device.sendTo(reply(9), "127.0.0.1", 2057);
    // No event is processed before the close: the close itself must take the reply over.
    QThread::msleep(100);
    w.FlatButton6Click();
    EXPECT_FALSE(w.udpServer().isOpen());
    EXPECT_EQ(w.DeviceCount(), 1);
    EXPECT_EQ(Find<QLabel>(w, "lblcount")->text(), "Current : 1");
    EXPECT_FALSE(Find<QFrame>(w, "PnlTime")->isVisibleTo(&w));
    EXPECT_TRUE(Find<QWidget>(w, "FlatPanel1")->isEnabled());
    EXPECT_TRUE(rec.boxes().isEmpty());
    // Anything posted before the close finds nothing left to add.
    QCoreApplication::processEvents();
    EXPECT_EQ(w.DeviceCount(), 1);
}

TEST(MainWindow, SecondCopyCannotOpenThePortAndSaysSo) {
    VELOMAR_REQUIRE_ISOLATION();
    RecordingPlatform rec;
    ScopedPlatform scoped(&rec);
    ListeningEndpoint firstCopy([](const QByteArray&, const QString&, std::uint16_t) {});
    firstCopy.open();

    TFormDetect w(DetectNetwork{{"127.0.0.1"}, 2057});
    w.UDPServerUDPRead(reply(1), "127.0.0.2", 2057);
    w.TakeReceivedDevices();
    ASSERT_EQ(w.DeviceCount(), 1);
    w.FlatButton2Click();
    ASSERT_EQ(rec.boxes().size(), 1);
    EXPECT_TRUE(rec.boxes()[0].contains(test::kAddressInUse)) << rec.boxes()[0].toStdString();
    EXPECT_TRUE(rec.boxes()[0].endsWith('.'));
    EXPECT_EQ(rec.events[0].kind, RecordingPlatform::Event::Error);
    // The table was emptied first; no search state; nothing was sent.
    EXPECT_EQ(w.DeviceCount(), 0);
    EXPECT_EQ(w.devices().rowCount(), 0);
    EXPECT_FALSE(Find<QFrame>(w, "PnlTime")->isVisibleTo(&w));
    EXPECT_TRUE(Find<QWidget>(w, "FlatPanel1")->isEnabled());
    EXPECT_FALSE(w.interfaceEndpoints().at(0).isBound());
}

TEST(MainWindow, RepliesTheSystemDroppedAreReportedWithTheTrueCount) {
    VELOMAR_REQUIRE_ISOLATION();
    RecordingPlatform rec;
    ScopedPlatform scoped(&rec);
    UdpSocket device;
    device.bind("127.0.0.2", 0);
    {
        // A small fleet that answers at a device's pace loses nothing and says nothing.
        TFormDetect w(DetectNetwork{{"127.0.0.1"}, 2057});
        w.FlatButton2Click();
        for (int n = 1; n <= 12; ++n) device.sendTo(reply(n), "127.0.0.1", 2057);
        QThread::msleep(50);
        w.FlatButton6Click();
        EXPECT_EQ(w.DeviceCount(), 12);
        EXPECT_EQ(Find<QLabel>(w, "lblloss")->text(), "");
    }
    DetectNetwork network{{"127.0.0.1"}, 2057};
    // The smallest queue the system gives: a burst overflows it however fast we drain.
    network.receiveBuffer = 1024;
    network.mayExceedCeiling = false;
    TFormDetect w(network);
    w.FlatButton2Click();
    constexpr int kBurst = 2000;
    for (int n = 0; n < kBurst; ++n) {
        QByteArray d = reply(n % 256);
        d[6] = static_cast<char>(n / 256);  // MAC 00-1A-2B-3C-hh-ll: kBurst distinct devices
        device.sendTo(d, "127.0.0.1", 2057);
    }
    QThread::msleep(200);
    w.FlatButton6Click();
    const auto lost = w.udpServer().dropped();
#ifdef _WIN32
    // Winsock does not tell how many it dropped: no count, and no line claiming one.
    EXPECT_FALSE(lost.has_value());
    EXPECT_EQ(Find<QLabel>(w, "lblloss")->text(), "");
    return;
#endif
    ASSERT_TRUE(lost.has_value());
    ASSERT_GT(*lost, 0u);
    EXPECT_EQ(w.DeviceCount() + static_cast<int>(*lost), kBurst);
    EXPECT_EQ(Find<QLabel>(w, "lblloss")->text(),
              QStringLiteral("%1 replies were lost: this computer could not take them in "
                             "time. A new Search may find more devices.")
                  .arg(*lost));
    // The count itself stays as it always reads.
    EXPECT_EQ(Find<QLabel>(w, "lblcount")->text(),
              QStringLiteral("Current : %1").arg(w.DeviceCount()));
    EXPECT_TRUE(rec.boxes().isEmpty());
    // The next search starts without the old line.
    w.FlatButton2Click();
    EXPECT_EQ(Find<QLabel>(w, "lblloss")->text(), "");
    w.FlatButton6Click();
}
