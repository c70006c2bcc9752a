#include <QFrame>
#include <QLayout>
#include <QTimer>
#include <atomic>
#include <thread>

#include "DetectTestUtil.h"
#include "app/UnitSearchIP.h"
#include "net/UdpSocket.h"
#include "protocol/Frame.h"
#include "support/FindWidget.h"
#include "support/Isolation.h"

using namespace velomar;
using namespace velomar::test;

namespace {

const QString kStart = QStringLiteral("        Remain timeout = 10sec");

class Search : public DetectTest {
  protected:
    QString caption() { return Find<QLabel>(window, "PnlTimeCaption")->text(); }
    bool searching() {
        return Find<QFrame>(window, "PnlTime")->isVisible() &&
               Find<QTimer>(window, "TimerFIND")->isActive() &&
               !Find<QWidget>(window, "FlatPanel1")->isEnabled() &&
               !Find<QWidget>(window, "FlatPanel2")->isEnabled();
    }
    bool idle() {
        return !Find<QFrame>(window, "PnlTime")->isVisible() &&
               !Find<QTimer>(window, "TimerFIND")->isActive() &&
               Find<QWidget>(window, "FlatPanel1")->isEnabled() &&
               Find<QWidget>(window, "FlatPanel2")->isEnabled();
    }
    void ticks(int n) {
        for (int i = 0; i < n; ++i) window->TimerFINDTimer();
    }
    // Acts on the search-by-IP dialog once its modal loop runs.
    void whenDialogOpens(std::function<void(TFormSearchIP*)> act) {
        QTimer::singleShot(0, window.get(), [act] {
            auto* dialog = qobject_cast<TFormSearchIP*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            act(dialog);
        });
    }
    // Opens "Search IP", types the address and presses "Search".
    void searchIp(const QString& address) {
        whenDialogOpens([address](TFormSearchIP* d) {
            QTest::keyClicks(d->FlatEdit1, address);
            d->FlatSpeedButton1->click();
            // A refused address leaves the dialog open: leave it so the test goes on.
            if (d->isVisible()) d->FlatSpeedButton2->click();
        });
        Find<QPushButton>(window, "FlatButton3")->click();
    }
};

TEST_F(Search, CountdownPanelLooksAsDescribed) {
    QFrame* panel = Find<QFrame>(window, "PnlTime");
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(panel->size(), QSize(297, 55));
    EXPECT_EQ(panel->geometry().center(), window->rect().center());
    EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(232, 255, 255));
    EXPECT_TRUE(Find<QLabel>(window, "PnlTimeCaption")->alignment() & Qt::AlignLeft);
    EXPECT_EQ(Find<QTimer>(window, "TimerFIND")->interval(), 1000);
    EXPECT_EQ(Find<QPushButton>(window, "FlatButton6")->text(), "Stop");
    // Stop sits at the panel's right.
    panel->show();
    panel->layout()->activate();
    EXPECT_GT(Find<QPushButton>(window, "FlatButton6")->geometry().left(), panel->width() / 2);
}

TEST_F(Search, BroadcastSearchCountsDownTenTicksAndEndsQuietly) {
    VELOMAR_REQUIRE_ISOLATION();
    Find<QPushButton>(window, "FlatButton2")->click();
    EXPECT_TRUE(searching());
    EXPECT_EQ(caption(), kStart);
    EXPECT_EQ(window->SearchBaseline(), -1);
    EXPECT_TRUE(window->udpServer().isOpen());
    // "Apply" stands outside the toolbar and stays usable.
    EXPECT_TRUE(Find<QPushButton>(window, "FlatButton1")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(window, "FlatButton2")->isEnabled());
    EXPECT_FALSE(Find<DeviceTableView>(window, "RGrid")->isEnabled());
    for (int left = 9; left >= 1; --left) {
        window->TimerFINDTimer();
        EXPECT_EQ(caption(), QStringLiteral("        Remain timeout = %1sec").arg(left));
        EXPECT_TRUE(searching()) << left;
    }
    window->TimerFINDTimer();
    EXPECT_TRUE(idle());
    EXPECT_FALSE(window->udpServer().isOpen());
    EXPECT_TRUE(Find<QPushButton>(window, "FlatButton2")->isEnabled());
    EXPECT_TRUE(rec.boxes().isEmpty());
}

TEST_F(Search, StopEndsAtOnceAndTheNextSearchStartsFromTen) {
    VELOMAR_REQUIRE_ISOLATION();
    Find<QPushButton>(window, "FlatButton2")->click();
    ticks(3);
    EXPECT_EQ(caption(), "        Remain timeout = 7sec");
    Find<QPushButton>(window, "FlatButton6")->click();
    EXPECT_TRUE(idle());
    EXPECT_FALSE(window->udpServer().isOpen());
    Find<QPushButton>(window, "FlatButton2")->click();
    EXPECT_EQ(caption(), kStart);
    EXPECT_EQ(window->SearchCountdown(), 10);
    EXPECT_TRUE(searching());
    Find<QPushButton>(window, "FlatButton6")->click();
    EXPECT_TRUE(rec.boxes().isEmpty());
}

TEST_F(Search, DialogLooksAsDescribed) {
    whenDialogOpens([](TFormSearchIP* d) {
        EXPECT_EQ(d->windowTitle(), "Search by IP");
        EXPECT_TRUE(d->isModal());
        EXPECT_EQ(d->size(), QSize(429, 180));
        EXPECT_EQ(d->palette().color(QPalette::Window), QColor(Qt::white));
        EXPECT_EQ(d->Label1->text(), "IP address");
        EXPECT_EQ(d->Label1->buddy(), d->FlatEdit1);
        EXPECT_TRUE(d->FlatEdit1->text().isEmpty());
        EXPECT_EQ(d->FlatEdit1->maxLength(), 32767);
        EXPECT_EQ(d->focusWidget(), d->FlatEdit1);
        EXPECT_EQ(d->FlatSpeedButton1->text(), "Search");
        EXPECT_EQ(d->FlatSpeedButton2->text(), "Cancel");
        d->FlatSpeedButton2->click();
    });
    Find<QPushButton>(window, "FlatButton3")->click();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(window->findChildren<TFormSearchIP*>().size(), 0);  // discarded
}

TEST_F(Search, DialogRefusesEmptyAndInvalidAddressesAndStaysOpen) {
    addDevices(2);
    whenDialogOpens([this](TFormSearchIP* d) {
        d->FlatSpeedButton1->click();
        EXPECT_TRUE(d->isVisible());
        EXPECT_TRUE(rec.boxes().isEmpty());
        QTest::keyClicks(d->FlatEdit1, "192.168.1.300");
        d->FlatSpeedButton1->click();
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(rec.boxes(), QStringList{"IP is not valid."});
        EXPECT_EQ(d->focusWidget(), d->FlatEdit1);
        // Enter, on its release, does what "Search" does.
        QTest::keyClick(d->FlatEdit1, Qt::Key_Return);
        EXPECT_EQ(rec.boxes(), (QStringList{"IP is not valid.", "IP is not valid."}));
        EXPECT_TRUE(d->isVisible());
        d->FlatSpeedButton2->click();
    });
    Find<QPushButton>(window, "FlatButton3")->click();
    // Cancel changes nothing.
    EXPECT_EQ(window->DeviceCount(), 2);
    EXPECT_TRUE(idle());
    EXPECT_FALSE(window->udpServer().isOpen());
}

TEST_F(Search, EnterInTheDialogStartsTheSearch) {
    VELOMAR_REQUIRE_ISOLATION();
    addDevices(3);
    whenDialogOpens([](TFormSearchIP* d) {
        QTest::keyClicks(d->FlatEdit1, "127.0.0.9");
        QTest::keyClick(d->FlatEdit1, Qt::Key_Return);
    });
    Find<QPushButton>(window, "FlatButton3")->click();
    EXPECT_TRUE(rec.boxes().isEmpty());
    EXPECT_TRUE(searching());
    EXPECT_EQ(window->DeviceCount(), 0);
    EXPECT_EQ(window->SearchBaseline(), 0);
    EXPECT_EQ(caption(), kStart);
    // Nobody answered: the end of this search says so.
    ticks(10);
    EXPECT_TRUE(idle());
    EXPECT_EQ(rec.boxes(), QStringList{"There is no tervane."});
}

TEST_F(Search, SearchIpStoppedEarlyEndsWithoutMessage) {
    VELOMAR_REQUIRE_ISOLATION();
    searchIp("127.0.0.9");
    ASSERT_TRUE(searching());
    ticks(4);
    Find<QPushButton>(window, "FlatButton6")->click();
    EXPECT_TRUE(idle());
    EXPECT_TRUE(rec.boxes().isEmpty());
}

TEST_F(Search, BroadcastAddressIsRefusedAndNoSearchStarts) {
    VELOMAR_REQUIRE_ISOLATION();
    addDevices(2);
    searchIp("255.255.255.255");
    ASSERT_EQ(rec.events.size(), 1);
    EXPECT_EQ(rec.events[0].kind, RecordingPlatform::Event::Error);
    EXPECT_TRUE(rec.events[0].text.endsWith('.'));
    // The table was emptied before the send, the endpoint stays open, no search state.
    EXPECT_EQ(window->DeviceCount(), 0);
    EXPECT_TRUE(idle());
    EXPECT_TRUE(window->udpServer().isOpen());
    EXPECT_EQ(window->findChildren<TFormSearchIP*>().size(), 0);
    // A blank inside passes the dialog's test but cannot be sent either.
    rec.clear();
    searchIp("127.0.0 9");
    ASSERT_EQ(rec.events.size(), 1);
    EXPECT_EQ(rec.events[0].kind, RecordingPlatform::Event::Error);
    EXPECT_TRUE(idle());
}

// A device on a loopback address of the test's own namespace answers the unicast query.
TEST_F(Search, DeviceAnsweringTheQueryIsListedAndNoMessageFollows) {
    VELOMAR_REQUIRE_ISOLATION();
    UdpSocket device;
    device.bind(QStringLiteral("127.0.0.2"), kDevicePort);
    std::atomic<bool> broadcastBit{true};
    QByteArray query;
    std::thread responder([&] {
        if (device.waitReadable(5000) != UdpSocket::WaitResult::Readable) return;
        QString from;
        std::uint16_t fromPort = 0;
        bool truncated = false;
        query = device.receive(8192, &from, &fromPort, &truncated);
        device.sendTo(DeviceReply(5), from, fromPort);
    });
    searchIp("127.0.0.2");
    responder.join();
    EXPECT_EQ(query, DiscoveryRequest());
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->DeviceCount() == 1; }, 5000));
    ticks(10);
    EXPECT_EQ(window->DeviceCount(), 1);
    EXPECT_EQ(text(0, DeviceTableModel::ColMac), "00-1A-2B-3C-4D-05");
    EXPECT_TRUE(rec.boxes().isEmpty());
}

}  // namespace
