#include "DetectTestUtil.h"
#include "platform/DeviceAccess.h"
#include "support/FindWidget.h"
#include "support/Isolation.h"

using namespace velomar;
using namespace velomar::test;
using Col = DeviceTableModel::Column;
using Event = RecordingPlatform::Event;

namespace {

const QString kEdited =
    QStringLiteral("You do not apply the new ip. so, This time use the previous IP");

// What the buttons start, as each system does it: on Windows the ARP entry takes the MAC
// with dashes and Telnet is telnet.exe in a console of its own, with no terminal to find.
#ifdef _WIN32
const bool kWindows = true;
#else
const bool kWindows = false;
#endif

QString arpRun(const QString& ip, QString mac) {
    if (!kWindows) mac.replace(u'-', u':');
    return QStringLiteral("run arp -s|%1|%2 hidden").arg(ip, mac);
}

QString telnetRun(const QString& ip) {
    return kWindows ? QStringLiteral("run telnet.exe %1").arg(ip)
                    : QStringLiteral("run x-terminal-emulator -e|telnet|%1").arg(ip);
}

class WebTelnet : public DetectTest {
  protected:
    void SetUp() override {
        DetectTest::SetUp();
        rec.installedPrograms = {"arp", "x-terminal-emulator", "telnet"};
    }
    QPushButton* web() { return Find<QPushButton>(window, "FlatButton4"); }
    QPushButton* telnet() { return Find<QPushButton>(window, "FlatButton5"); }
    // The events as short texts, in order.
    QStringList trail() {
        QStringList out;
        for (const Event& e : rec.events) {
            switch (e.kind) {
                case Event::Program:
                    out << QStringLiteral("run %1 %2%3")
                               .arg(e.text, e.arguments.join(u'|'), e.hidden ? " hidden" : "");
                    break;
                case Event::Sleep:
                    out << QStringLiteral("sleep %1").arg(e.milliseconds);
                    break;
                case Event::Url:
                    out << "url " + e.text;
                    break;
                case Event::Message:
                    out << "message " + e.text;
                    break;
                case Event::Error:
                    out << "error " + e.text;
                    break;
                default:
                    out << "other";
            }
        }
        return out;
    }
};

TEST_F(WebTelnet, ButtonsCarryTheirTags) {
    EXPECT_EQ(web()->text(), "Web");
    EXPECT_EQ(web()->property("tag").toInt(), 11);
    EXPECT_EQ(telnet()->text(), "Telnet");
    EXPECT_EQ(telnet()->property("tag").toInt(), 12);
}

TEST_F(WebTelnet, EmptyTableGivesOnlyTheMessage) {
    web()->click();
    telnet()->click();
    EXPECT_EQ(trail(), (QStringList{"message There is no Tervane.\r\nPlease search the Tervane.",
                                    "message There is no Tervane.\r\nPlease search the Tervane."}));
}

TEST_F(WebTelnet, UneditedRowOpensTheSameAddressWithoutMessage) {
    addDevices(3);
    goTo(1, Col::ColName);
    web()->click();
    EXPECT_EQ(trail(), (QStringList{arpRun("198.18.1.11", "00-1A-2B-3C-4D-01"), "sleep 2000",
                                    "url http://198.18.1.11"}));
    rec.clear();
    telnet()->click();
    EXPECT_EQ(trail(), (QStringList{arpRun("198.18.1.11", "00-1A-2B-3C-4D-01"), "sleep 2000",
                                    telnetRun("198.18.1.11")}));
}

TEST_F(WebTelnet, EditedUnappliedIpWarnsAndUsesTheKnownIp) {
    addDevices(1);
    goTo(0, Col::ColIp);
    type("198.18.9.9");
    commit();
    ASSERT_EQ(text(0, Col::ColIp), "198.18.9.9");
    // The box is modal: nothing may be launched before it is closed.
    QStringList whenBoxShown;
    rec.onBox = [&](const Event&) { whenBoxShown = trail(); };
    telnet()->click();
    EXPECT_EQ(trail(), (QStringList{arpRun("198.18.9.9", "00-1A-2B-3C-4D-00"), "sleep 2000",
                                    "message " + kEdited, telnetRun("198.18.1.10")}));
    EXPECT_EQ(whenBoxShown.size(), 3);
    rec.clear();
    web()->click();
    EXPECT_EQ(trail().last(), "url http://198.18.1.10");
    EXPECT_EQ(trail()[2], "message " + kEdited);
}

TEST_F(WebTelnet, OtherTagStopsAfterTheMessageStep) {
    addDevices(1);
    web()->setProperty("tag", 13);
    web()->click();
    EXPECT_EQ(trail(), (QStringList{arpRun("198.18.1.10", "00-1A-2B-3C-4D-00"), "sleep 2000"}));
    rec.clear();
    model().setCellText(0, Col::ColIp, "198.18.7.7");
    web()->click();
    EXPECT_EQ(trail(), (QStringList{arpRun("198.18.7.7", "00-1A-2B-3C-4D-00"), "sleep 2000",
                                    "message " + kEdited}));
}

TEST_F(WebTelnet, NoTerminalInstalledStartsNothingAfterTheArpEntry) {
    rec.installedPrograms = {"arp"};
    addDevices(1);
    telnet()->click();
    QStringList expected{arpRun("198.18.1.10", "00-1A-2B-3C-4D-00"), "sleep 2000"};
    // Windows needs no terminal: telnet.exe opens its own console.
    if (kWindows) expected << telnetRun("198.18.1.10");
    EXPECT_EQ(trail(), expected);
}

TEST_F(WebTelnet, ShellCharactersReachTheProgramsAsOnePlainArgument) {
    addDevices(1);
    const QString odd = QStringLiteral("1.2.3.4';$(x)%|");  // 15 characters: kept whole
    model().setCellText(0, Col::ColIp, odd);
    model().setCellText(0, Col::ColKnownIp, odd);
    telnet()->click();
    ASSERT_EQ(rec.events.size(), 3);
    EXPECT_EQ(rec.events[0].arguments,
              (QStringList{"-s", odd, kWindows ? "00-1A-2B-3C-4D-00" : "00:1A:2B:3C:4D:00"}));
    EXPECT_EQ(rec.events[2].arguments.last(), odd);
}

class WebTelnetAfterApply : public WebTelnet {
  protected:
    DetectNetwork network() const override {
        return DetectNetwork{{QStringLiteral("127.0.0.1")}, kTestPort};
    }
};

TEST_F(WebTelnetAfterApply, KnownIpIsTheAppliedAddress) {
    VELOMAR_REQUIRE_ISOLATION();
    addDevices(1);
    goTo(0, Col::ColIp);
    type("198.18.3.3");
    commit();
    Find<QPushButton>(window, "FlatButton1")->click();
    ASSERT_EQ(rec.boxes(), QStringList{"1 Device(s) ' configuration is Successful"});
    rec.clear();
    web()->click();
    EXPECT_EQ(trail(), (QStringList{arpRun("198.18.3.3", "00-1A-2B-3C-4D-00"), "sleep 2000",
                                    "url http://198.18.3.3"}));
}

}  // namespace
