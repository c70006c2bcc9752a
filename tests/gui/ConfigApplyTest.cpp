#include <QPushButton>

#include "ConfigTestUtil.h"
#include "protocol/Frame.h"

using namespace velomar;
using namespace velomar::test;

namespace {
using Op = OperationGridModel;
using Se = SerialGridModel;

// Two interface endpoints on the loopback network of the test's namespace; every frame
// the dialog sends reaches the sink once through each.
class ConfigApplyTest : public ConfigSinkTest {
  protected:
    ConfigApplyTest() : ConfigSinkTest({"127.0.0.1", "127.0.0.2"}) {}
    // Opened for device A with all four ports' records in; the requests drained and the
    // flags lowered.
    void openFilled(int ports = 4) {
        form->OpenForDevice("VM2100-4", kMacA, "1.0.7");
        form->ConfigUDPUDPRead(NetworkReply(
            [&](NetworkRecord& n) { n.portCount = static_cast<std::uint8_t>(ports); }));
        for (int p = 0; p < ports; ++p) {
            form->ConfigUDPUDPRead(OperationReply(p));
            form->ConfigUDPUDPRead(SerialReply(p, {0, 6, 3, 0, 0, 0}));
        }
        form->setAllChanged(false);
        sink->drain();
    }
    // The letter and port index of each frame, one entry per frame and endpoint.
    static QStringList summary(const QList<QByteArray>& frames) {
        QStringList out;
        for (const QByteArray& f : frames) {
            QString s(QChar(f.at(1)));
            if (f.at(1) == 'O' || f.at(1) == 'U') s += QString::number(f.at(8));
            out << s;
        }
        return out;
    }
};
}  // namespace

TEST_F(ConfigApplyTest, NothingChangedSendsNothing) {
    openFilled();
    form->FlatButton1Click();
    EXPECT_TRUE(sink->drain().isEmpty());
    EXPECT_TRUE(form->FlatButton1->isEnabled());
    EXPECT_TRUE(rec.boxes().isEmpty());
}

TEST_F(ConfigApplyTest, AfterANetworkRecordApplySendsItAndTheApplyRequest) {
    form->OpenForDevice("VM2100-4", kMacA, "1.0.7");
    form->ConfigUDPUDPRead(NetworkReply());
    sink->drain();
    ASSERT_TRUE(form->networkChanged());
    form->FlatButton1Click();
    const QList<QByteArray> frames = sink->drain();
    EXPECT_EQ(summary(frames), (QStringList{"N", "N", "A", "A"}));
    QByteArray expectedN = NetworkReply();
    expectedN[1] = 'N';
    EXPECT_EQ(frames.at(0), expectedN);
    EXPECT_EQ(frames.at(3), Bytes({0x02, 'A', 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x03}));
    EXPECT_FALSE(form->FlatButton1->isEnabled());
    EXPECT_TRUE(rec.boxes().isEmpty());

    // The device's answer ends the wait; flags stay, so the next click sends again.
    form->ConfigUDPUDPRead(ApplyReply());
    EXPECT_TRUE(form->FlatButton1->isEnabled());
    EXPECT_EQ(rec.boxes(), QStringList{"Configuration was successfully applied"});
    EXPECT_TRUE(form->networkChanged());
    form->FlatButton1Click();
    EXPECT_EQ(sink->drain().size(), 4);
}

TEST_F(ConfigApplyTest, OneEditedCellSendsTheRecordsOfAllPorts) {
    openFilled();
    form->operationGrid().setData(form->operationGrid().index(2, Op::Latency), "5", Qt::EditRole);
    form->FlatButton1Click();
    const QList<QByteArray> frames = sink->drain();
    EXPECT_EQ(summary(frames),
              (QStringList{"O0", "O0", "O1", "O1", "O2", "O2", "O3", "O3", "A", "A"}));
    EXPECT_EQ(frames.at(4).mid(37, 2), Bytes({5, 0}));
    EXPECT_EQ(frames.at(0).size(), 41);
}

TEST_F(ConfigApplyTest, AllKindsOfAFourPortDeviceGoOutInOrder) {
    openFilled();
    form->setAllChanged(true);
    form->FlatButton1Click();
    const QList<QByteArray> frames = sink->drain();
    EXPECT_EQ(summary(frames),
              (QStringList{"N",  "N",  "O0", "O0", "O1", "O1", "O2", "O2", "O3", "O3",
                           "U0", "U0", "U1", "U1", "U2", "U2", "U3", "U3", "A",  "A"}));
    for (const QByteArray& f : frames) EXPECT_EQ(FrameMac(f), TargetMac(kMacA));
    EXPECT_EQ(frames.at(10).size(), 16);
}

TEST_F(ConfigApplyTest, TwoSerialPortsGiveExactlyTwoSerialFrames) {
    openFilled(2);
    form->serialGrid().setData(form->serialGrid().index(0, Se::Parity), "Even", Qt::EditRole);
    form->FlatButton1Click();
    const QList<QByteArray> frames = sink->drain();
    EXPECT_EQ(summary(frames), (QStringList{"U0", "U0", "U1", "U1", "A", "A"}));
    EXPECT_EQ(frames.at(0).at(13), 2);
}

TEST_F(ConfigApplyTest, AnEncoderFailureStopsTheClickWhereItFailed) {
    openFilled();
    form->setAllChanged(true);
    form->operationGrid().setData(form->operationGrid().index(2, Op::DestIp), "10.0.0.999",
                                  Qt::EditRole);
    form->FlatButton1Click();
    EXPECT_EQ(summary(sink->drain()), (QStringList{"N", "N", "O0", "O0", "O1", "O1"}));
    EXPECT_EQ(rec.boxes(),
              QStringList{"'10.0.0.999' is not a valid IP address: each of its four numbers must "
                          "be 0 to 255."});
    EXPECT_EQ(rec.events.at(0).kind, RecordingPlatform::Event::Error);
    EXPECT_FALSE(form->FlatButton1->isEnabled());
}

TEST_F(ConfigApplyTest, ASocketFailureIsShownAndNothingIsSent) {
    openFilled();
    form->show();
    form->FlatButton2Click();  // closes ConfigUDP
    UdpSocket holder;
    holder.bind("0.0.0.0", kListenPort);
    form->setAllChanged(true);
    form->FlatButton1Click();
    EXPECT_TRUE(sink->drain().isEmpty());
    ASSERT_EQ(rec.boxes().size(), 1);
    EXPECT_EQ(rec.events.at(0).kind, RecordingPlatform::Event::Error);
    EXPECT_FALSE(form->FlatButton1->isEnabled());
}
