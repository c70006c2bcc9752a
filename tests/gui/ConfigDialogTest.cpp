#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QThread>

#include "ConfigTestUtil.h"
#include "protocol/Frame.h"

using namespace velomar;
using namespace velomar::test;

namespace {
// Runs the event loop until cond holds or a generous bound passes; the bound only stops a
// broken build from hanging, no result depends on it.
template <typename F>
bool Eventually(F cond) {
    for (int i = 0; i < 1000 && !cond(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return cond();
}

class ConfigDialogTest : public ConfigTest {
  protected:
    void SetUp() override {
        VELOMAR_REQUIRE_ISOLATION();
        ConfigTest::SetUp();
    }
    bool panelsEnabled(bool a, bool b, bool c) {
        return form->tabPanel1->isEnabled() == a && form->tabPanel2->isEnabled() == b &&
               form->tabPanel3->isEnabled() == c;
    }
};

// The dialog sends through the loopback address to a sink on its device port.
class ConfigWireTest : public ConfigSinkTest {
  protected:
    ConfigWireTest() : ConfigSinkTest({"127.0.0.1"}) {}
};
}  // namespace

// A model or version is the device's text: no markup, no controls.
TEST_F(ConfigDialogTest, DeviceLabelsShowHostileTextsPlainWithEscapes) {
    form->OpenForDevice("<a href=\"x\">VM</a>\x1b[5m", kMacA, QString("1.0") + QChar(0x202E));
    EXPECT_EQ(form->ProductLabel->text(), R"(<a href="x">VM</a>\x1b[5m)");
    EXPECT_EQ(form->ProductLabel->textFormat(), Qt::PlainText);
    EXPECT_EQ(form->VersionLabel->text(), R"(1.0\u202e)");
}

TEST_F(ConfigDialogTest, OpeningSetsLabelsLowersFlagsAndDisablesEveryPanel) {
    form->ConfigTab->setCurrentIndex(2);
    form->setAllChanged(true);
    form->FlatButton1->setEnabled(false);
    form->OpenForDevice("VM2100-4", kMacA, "1.0.7");
    EXPECT_EQ(form->ProductLabel->text(), "VM2100-4");
    EXPECT_EQ(form->MACLabel->text(), kMacA);
    EXPECT_EQ(form->VersionLabel->text(), "1.0.7");
    EXPECT_FALSE(form->anyChanged());
    EXPECT_TRUE(panelsEnabled(false, false, false));
    EXPECT_EQ(form->ConfigTab->currentIndex(), 0);
    EXPECT_FALSE(form->tabPanel1->isHidden());
    EXPECT_TRUE(form->tabPanel2->isHidden());
    EXPECT_TRUE(form->tabPanel3->isHidden());
    EXPECT_TRUE(form->configUdp().isOpen());
    // Opening leaves the Apply button as it was.
    EXPECT_FALSE(form->FlatButton1->isEnabled());
}

TEST_F(ConfigDialogTest, TabSwitchingShowsOnePanel) {
    form->ConfigTab->setCurrentIndex(1);
    EXPECT_TRUE(form->tabPanel1->isHidden());
    EXPECT_FALSE(form->tabPanel2->isHidden());
    form->ConfigTab->setCurrentIndex(2);
    EXPECT_FALSE(form->tabPanel3->isHidden());
    EXPECT_TRUE(form->tabPanel2->isHidden());
}

TEST_F(ConfigDialogTest, EachReplyEnablesItsPanelAndApply) {
    form->OpenForDevice("VM2100-4", kMacA, "1.0.7");
    form->FlatButton1->setEnabled(false);
    form->ConfigUDPUDPRead(NetworkReply());
    EXPECT_TRUE(panelsEnabled(true, false, false));
    EXPECT_TRUE(form->FlatButton1->isEnabled());
    EXPECT_EQ(tab().IPAddressText->text(), "198.18.1.10");

    form->FlatButton1->setEnabled(false);
    form->ConfigUDPUDPRead(OperationReply(2));
    EXPECT_TRUE(panelsEnabled(true, true, false));
    EXPECT_TRUE(form->FlatButton1->isEnabled());
    EXPECT_EQ(op().value(2, OperationGridModel::Operation), "RFC2217");

    form->FlatButton1->setEnabled(false);
    form->ConfigUDPUDPRead(SerialReply(0, {0, 10, 3, 0, 0, 2}));
    EXPECT_TRUE(panelsEnabled(true, true, true));
    EXPECT_TRUE(form->FlatButton1->isEnabled());
    EXPECT_TRUE(rec.boxes().isEmpty());
}

TEST_F(ConfigDialogTest, RepliesThatAreNotForUsChangeNothing) {
    form->OpenForDevice("VM2100-4", kMacA, "1.0.7");
    form->FlatButton1->setEnabled(false);
    QByteArray noEtx = NetworkReply();
    noEtx[80] = 0x00;
    QByteArray upper = NetworkReply();
    upper[1] = 'N';  // our own write coming back
    const QByteArray tooShortForMac = Bytes({0x02, 'n', 0x00, 0x1A, 0x2B, 0x03});
    for (const QByteArray& d :
         {NetworkReply({}, kMacB), noEtx, upper, DiscoveryRequest(), tooShortForMac,
          MacOnlyFrame('N', TargetMac(kMacA)), ApplyReply(kMacB), QByteArray(),
          NetworkReply().left(79) + "\x03"}) {
        form->ConfigUDPUDPRead(d);
    }
    EXPECT_TRUE(panelsEnabled(false, false, false));
    EXPECT_FALSE(form->FlatButton1->isEnabled());
    EXPECT_EQ(tab().IPAddressText->text(), "");
    EXPECT_EQ(form->PortCount(), 0);
    EXPECT_TRUE(rec.boxes().isEmpty());
}

TEST_F(ConfigDialogTest, ASecondReplyOverwritesTheFirst) {
    openWithNetwork();
    form->ConfigUDPUDPRead(OperationReply(1));
    form->ConfigUDPUDPRead(OperationReply(1, [](OperationRecord& o) { o.operation = 3; }));
    EXPECT_EQ(op().value(1, OperationGridModel::Operation), "TCP_Client");
    form->ConfigUDPUDPRead(NetworkReply([](NetworkRecord& n) { n.dns = Bytes({1, 1, 1, 1}); }));
    EXPECT_EQ(tab().DNSText->text(), "1.1.1.1");
    // The second network record emptied the rows again.
    EXPECT_TRUE(op().isEmpty(1, OperationGridModel::Operation));
}

TEST_F(ConfigDialogTest, PerPortRepliesBeforeTheNetworkReplyUseTheRowsThereAre) {
    // No rows yet: the 'o' is dropped, silently, and its panel stays disabled.
    form->OpenForDevice("VM2100-4", kMacA, "1.0.7");
    form->ConfigUDPUDPRead(OperationReply(0));
    EXPECT_TRUE(panelsEnabled(false, false, false));
    EXPECT_TRUE(rec.boxes().isEmpty());

    // Rows left from before: the 'o' fills one, then the 'n' clears them all.
    form->ConfigUDPUDPRead(NetworkReply());
    form->OpenForDevice("VM2100-4", kMacA, "1.0.7");
    form->ConfigUDPUDPRead(OperationReply(3));
    EXPECT_TRUE(panelsEnabled(false, true, false));
    EXPECT_EQ(op().value(3, OperationGridModel::No), "4");
    form->ConfigUDPUDPRead(NetworkReply([](NetworkRecord& n) { n.portCount = 2; }));
    EXPECT_EQ(op().rowCount(), 2);
    EXPECT_TRUE(op().isEmpty(1, OperationGridModel::No));
}

TEST_F(ConfigDialogTest, AFailingDecoderDropsTheRestSilently) {
    openWithNetwork();
    // Port 4 of four: nothing placed, panel not enabled.
    form->ConfigUDPUDPRead(OperationReply(4));
    EXPECT_FALSE(form->tabPanel2->isEnabled());
    // A bad baud-rate code: the interface is placed, the panel stays disabled.
    form->ConfigUDPUDPRead(SerialReply(1, {1, 14, 3, 0, 0, 0}));
    EXPECT_EQ(serial().value(1, SerialGridModel::Interface), "RS422");
    EXPECT_TRUE(serial().isEmpty(1, SerialGridModel::Baudrate));
    EXPECT_FALSE(form->tabPanel3->isEnabled());
    EXPECT_TRUE(rec.boxes().isEmpty());
    // The next datagram is handled normally.
    form->ConfigUDPUDPRead(SerialReply(1, {1, 13, 3, 0, 0, 0}));
    EXPECT_TRUE(form->tabPanel3->isEnabled());
}

TEST_F(ConfigDialogTest, ApplyReplyFromTheTargetShowsTheMessage) {
    openWithNetwork();
    form->FlatButton1->setEnabled(false);
    form->ConfigUDPUDPRead(ApplyReply(kMacB));
    EXPECT_FALSE(form->FlatButton1->isEnabled());
    EXPECT_TRUE(rec.boxes().isEmpty());
    // Any 'a' of the target counts, asked for or not.
    form->ConfigUDPUDPRead(ApplyReply());
    EXPECT_TRUE(form->FlatButton1->isEnabled());
    EXPECT_EQ(rec.boxes(), QStringList{"Configuration was successfully applied"});
    EXPECT_EQ(rec.events.at(0).kind, RecordingPlatform::Event::Message);
}

TEST_F(ConfigDialogTest, ClosingGivesOkOnlyWithARaisedFlag) {
    form->show();
    form->OpenForDevice("VM2100-4", kMacA, "1.0.7");
    form->FlatButton2Click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_FALSE(form->configUdp().isOpen());

    // The network reply's short name raises the flag: closing now reports OK, also by the
    // window's close box.
    form->show();
    openWithNetwork();
    form->close();
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_FALSE(form->configUdp().isOpen());
}

TEST_F(ConfigDialogTest, OpeningForAnotherDeviceKeepsTheOldValuesUntilItsRecordsArrive) {
    openWithNetwork(kMacA);
    form->ConfigUDPUDPRead(OperationReply(2, {}, kMacA));
    form->OpenForDevice("VM2100-2", kMacB, "2.0.0");
    EXPECT_EQ(tab().IPAddressText->text(), "198.18.1.10");
    EXPECT_EQ(form->PortCount(), 4);
    EXPECT_EQ(op().value(2, OperationGridModel::Operation), "RFC2217");
    EXPECT_TRUE(panelsEnabled(false, false, false));
    // A late reply of A is no longer taken.
    form->ConfigUDPUDPRead(NetworkReply({}, kMacA));
    EXPECT_FALSE(form->tabPanel1->isEnabled());
    form->ConfigUDPUDPRead(NetworkReply(
        [](NetworkRecord& n) {
            n.ip = Bytes({198, 18, 3, 3});
            n.portCount = 2;
        },
        kMacB));
    EXPECT_TRUE(form->tabPanel1->isEnabled());
    EXPECT_EQ(tab().IPAddressText->text(), "198.18.3.3");
    EXPECT_EQ(op().rowCount(), 2);
}

TEST_F(ConfigDialogTest, RepliesArriveThroughConfigUdpOnTheUiThread) {
    form->OpenForDevice("VM2100-4", kMacA, "1.0.7");
    UdpSocket device;
    device.bind("127.0.0.1", 0);
    device.sendTo(NetworkReply(), "127.0.0.1", kListenPort);
    device.sendTo(OperationReply(1), "127.0.0.1", kListenPort);
    ASSERT_TRUE(Eventually([&] { return form->tabPanel2->isEnabled(); }));
    EXPECT_TRUE(form->tabPanel1->isEnabled());
    EXPECT_EQ(op().value(1, OperationGridModel::SrcPort), "10000");
}

TEST_F(ConfigDialogTest, ClosingWhileTheListenerWaitsNeitherHangsNorActsLater) {
    form->show();
    form->OpenForDevice("VM2100-4", kMacA, "1.0.7");
    UdpSocket device;
    device.bind("127.0.0.1", 0);
    device.sendTo(NetworkReply(), "127.0.0.1", kListenPort);
    // Give the listener time to take the datagram and wait for the UI thread, which does
    // not turn its loop until after the close.
    QThread::msleep(100);
    form->FlatButton2Click();
    EXPECT_FALSE(form->configUdp().isOpen());
    QCoreApplication::processEvents();
    EXPECT_FALSE(form->tabPanel1->isEnabled());
    EXPECT_EQ(tab().IPAddressText->text(), "");
    // Reopened, the endpoint hands datagrams over again.
    form->OpenForDevice("VM2100-4", kMacA, "1.0.7");
    device.sendTo(NetworkReply(), "127.0.0.1", kListenPort);
    EXPECT_TRUE(Eventually([&] { return form->tabPanel1->isEnabled(); }));
}

TEST_F(ConfigWireTest, OpeningSendsTheThreeRequestsInOrder) {
    form->OpenForDevice("VM2100-4", kMacA, "1.0.7");
    const QByteArray mac = TargetMac(kMacA);
    EXPECT_EQ(sink->drain(), (QList<QByteArray>{MacOnlyFrame('N', mac), MacOnlyFrame('O', mac),
                                                MacOnlyFrame('U', mac)}));
    EXPECT_EQ(MacOnlyFrame('N', mac), Bytes({0x02, 'N', 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x03}));
}

TEST_F(ConfigWireTest, PortHeldElsewhereStopsTheOpeningWithTheSocketError) {
    UdpSocket holder;
    holder.bind("0.0.0.0", kListenPort);
    form->setAllChanged(true);
    const QString error = ErrorOf([&] { form->OpenForDevice("VM2100-4", kMacA, "1.0.7"); });
    EXPECT_NE(error, "<no error>");
    EXPECT_EQ(form->MACLabel->text(), kMacA);
    EXPECT_FALSE(form->anyChanged());
    EXPECT_TRUE(sink->drain().isEmpty());
}
