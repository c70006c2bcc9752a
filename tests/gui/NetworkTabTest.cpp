#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>

#include "ConfigTestUtil.h"

using namespace velomar;
using namespace velomar::test;

namespace {
class NetworkTabTest : public ConfigTest {
  protected:
    // Decodes a record straight into the tab (no MAC test) and lowers the flags, so a test
    // sees only what it does itself.
    void decode(const std::function<void(NetworkRecord&)>& edit = {}) {
        form->DecodeNetworkRecord(NetworkReply(edit));
    }
    QByteArray encode() { return form->EncodeNetworkRecord(); }
};
}  // namespace

TEST_F(NetworkTabTest, StartsInItsInitialState) {
    EXPECT_EQ(form->windowTitle(), "Configure");
    EXPECT_EQ(form->size(), QSize(793, 416));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->ProductLabel->text(), "N/A");
    EXPECT_EQ(form->MACLabel->text(), "N/A");
    EXPECT_EQ(form->VersionLabel->text(), "N/A");
    QStringList tabs;
    for (int i = 0; i < form->ConfigTab->count(); ++i) tabs << form->ConfigTab->tabText(i);
    EXPECT_EQ(tabs, (QStringList{"Network", "Operation Mode", "Serial Option"}));
    EXPECT_EQ(form->FlatButton9->text(), "Export");
    EXPECT_EQ(form->FlatButton1->text(), "Apply");
    EXPECT_EQ(form->FlatButton2->text(), "Cancel");
    EXPECT_TRUE(form->FlatButton1->isEnabled());
    for (QWidget* p : {static_cast<QWidget*>(form->tabPanel1), form->tabPanel2, form->tabPanel3})
        EXPECT_TRUE(p->isEnabled());
    EXPECT_FALSE(form->tabPanel1->isHidden());
    EXPECT_TRUE(form->tabPanel2->isHidden());
    EXPECT_TRUE(form->tabPanel3->isHidden());
    EXPECT_EQ(form->PortCount(), 0);
    EXPECT_FALSE(form->anyChanged());
    EXPECT_FALSE(form->configUdp().isOpen());

    EXPECT_EQ(tab().NetworkTypeCombo->currentText(), "Static IP");
    EXPECT_TRUE(tab().IPAddressText->isEnabled());
    for (QComboBox* c : {tab().TelnetCombo, tab().SSHCombo, tab().FTPCombo, tab().WEBCombo})
        EXPECT_EQ(c->currentText(), "Disable");
    EXPECT_EQ(tab().BridgeCombo->currentIndex(), -1);
    EXPECT_TRUE(tab().IPAddressText2->isEnabled());
    EXPECT_FALSE(tab().LANPortPanel->isHidden());
    EXPECT_EQ(op().rowCount(), 0);
    EXPECT_EQ(serial().rowCount(), 0);
    // Nothing decoded yet: the empty address edits do not convert.
    EXPECT_EQ(ErrorOf([&] { encode(); }), "'' is not a valid integer value");
}

TEST_F(NetworkTabTest, FieldsCarryTheirListsLimitsAndBuddies) {
    auto items = [](QComboBox* c) {
        QStringList l;
        for (int i = 0; i < c->count(); ++i) l << c->itemText(i);
        return l;
    };
    EXPECT_EQ(items(tab().NetworkTypeCombo), (QStringList{"Static IP", "DHCP"}));
    EXPECT_EQ(items(tab().WEBCombo), (QStringList{"Disable", "Enable"}));
    EXPECT_EQ(items(tab().BridgeCombo), (QStringList{"Enable", "Disable"}));
    for (QLineEdit* e :
         {tab().IPAddressText, tab().SubnetMaskText, tab().GatewayText, tab().DNSText,
          tab().PelorinIPText, tab().IPAddressText2, tab().SubnetMaskText2}) {
        EXPECT_EQ(e->maxLength(), 15) << e->objectName().toStdString();
    }
    EXPECT_EQ(tab().PelorinPortText->maxLength(), 5);
    EXPECT_EQ(tab().DeviceNameText->maxLength(), 15);
    // Every field is named, and its label is its buddy.
    for (QLineEdit* e : tab().findChildren<QLineEdit*>()) {
        EXPECT_FALSE(e->accessibleName().isEmpty()) << e->objectName().toStdString();
    }
    EXPECT_EQ(tab().IPAddressLabel->buddy(), tab().IPAddressText);
    EXPECT_EQ(tab().SubnetMaskLabel2->buddy(), tab().SubnetMaskText2);
    EXPECT_EQ(tab().WanGroup->title(), "WAN(Main) Network");
    EXPECT_EQ(tab().ServicesGroup->title(), "Network Services");
    EXPECT_EQ(tab().LanGroup->title(), "LAN(Sub) Network");
}

TEST_F(NetworkTabTest, DecodesEveryControlAndSendsItBack) {
    decode();
    EXPECT_EQ(tab().IPAddressText->text(), "198.18.1.10");
    EXPECT_EQ(tab().GatewayText->text(), "198.18.1.1");
    EXPECT_EQ(tab().SubnetMaskText->text(), "255.255.255.0");
    EXPECT_EQ(tab().DNSText->text(), "198.18.1.53");
    EXPECT_EQ(tab().DeviceNameText->text(), "abc");
    EXPECT_EQ(tab().PelorinIPText->text(), "198.18.1.2");
    EXPECT_EQ(tab().PelorinPortText->text(), "4000");
    EXPECT_EQ(tab().TelnetCombo->currentText(), "Enable");
    EXPECT_EQ(tab().SSHCombo->currentText(), "Disable");
    EXPECT_EQ(tab().FTPCombo->currentText(), "Enable");
    EXPECT_EQ(tab().BridgeCombo->currentText(), "Disable");
    EXPECT_EQ(tab().IPAddressText2->text(), "198.18.2.1");
    EXPECT_EQ(form->PortCount(), 4);
    EXPECT_EQ(op().rowCount(), 4);
    EXPECT_EQ(serial().rowCount(), 4);

    const QByteArray frame = encode();
    ASSERT_EQ(frame.size(), 81);
    QByteArray expected = NetworkReply();
    expected[1] = 'N';
    // The label still reads "N/A": six zero bytes of MAC.
    expected.replace(2, 6, QByteArray(6, '\0'));
    EXPECT_EQ(frame, expected);
    EXPECT_EQ(frame.mid(61, 2), Bytes({0xA0, 0x0F}));
    EXPECT_EQ(frame.mid(25, 32), QByteArray("abc") + QByteArray(29, '\0'));
}

TEST_F(NetworkTabTest, DhcpDisablesTheWanAddressesAndStillSendsThem) {
    decode([](NetworkRecord& n) { n.networkType = 1; });
    EXPECT_EQ(tab().NetworkTypeCombo->currentText(), "DHCP");
    for (QWidget* w :
         {static_cast<QWidget*>(tab().IPAddressText), static_cast<QWidget*>(tab().DNSText),
          static_cast<QWidget*>(tab().IPAddressLabel), static_cast<QWidget*>(tab().GatewayLabel)})
        EXPECT_FALSE(w->isEnabled());
    EXPECT_EQ(tab().IPAddressText->text(), "198.18.1.10");
    const QByteArray frame = encode();
    EXPECT_EQ(frame.at(8), 1);
    EXPECT_EQ(frame.mid(9, 4), Bytes({198, 18, 1, 10}));

    decode([](NetworkRecord& n) { n.networkType = 7; });  // not 1: enabled, no item
    EXPECT_TRUE(tab().IPAddressText->isEnabled());
    EXPECT_EQ(tab().NetworkTypeCombo->currentIndex(), -1);
    EXPECT_EQ(static_cast<unsigned char>(encode().at(8)), 0xFF);
}

TEST_F(NetworkTabTest, BridgeEnableDisablesTheLanAddresses) {
    decode([](NetworkRecord& n) { n.bridge = 0; });
    EXPECT_EQ(tab().BridgeCombo->currentText(), "Enable");
    EXPECT_FALSE(tab().IPAddressText2->isEnabled());
    EXPECT_FALSE(tab().SubnetMaskLabel2->isEnabled());
    decode([](NetworkRecord& n) { n.bridge = 1; });
    EXPECT_EQ(tab().BridgeCombo->currentText(), "Disable");
    EXPECT_TRUE(tab().IPAddressText2->isEnabled());
    EXPECT_TRUE(tab().SubnetMaskLabel2->isEnabled());
}

TEST_F(NetworkTabTest, HiddenLanPanelStillSendsItsValues) {
    for (int present : {0, 2}) {
        decode([&](NetworkRecord& n) { n.lanPresent = static_cast<std::uint8_t>(present); });
        EXPECT_TRUE(tab().LANPortPanel->isHidden()) << present;
        const QByteArray frame = encode();
        EXPECT_EQ(frame.at(67), 0);
        EXPECT_EQ(frame.at(68), 1);
        EXPECT_EQ(frame.mid(69, 8), Bytes({198, 18, 2, 1, 255, 255, 255, 0}));
    }
    decode();
    EXPECT_FALSE(tab().LANPortPanel->isHidden());
    EXPECT_EQ(encode().at(67), 1);
}

TEST_F(NetworkTabTest, ReservedByteIsZeroedAndPassThroughKept) {
    decode([](NetworkRecord& n) {
        n.reserved = 0x5A;
        n.passThrough = 0x07;
    });
    const QByteArray frame = encode();
    EXPECT_EQ(frame.at(77), 0x00);
    EXPECT_EQ(frame.at(78), 4);
    EXPECT_EQ(frame.at(79), 0x07);
    EXPECT_EQ(frame.at(80), 0x03);
}

TEST_F(NetworkTabTest, NoBridgeItemTravelsAsFF) {
    for (QLineEdit* e : tab().findChildren<QLineEdit*>()) e->setText("1.2.3.4");
    tab().PelorinPortText->setText("80");
    const QByteArray frame = encode();
    ASSERT_EQ(frame.size(), 81);
    EXPECT_EQ(static_cast<unsigned char>(frame.at(68)), 0xFF);
    EXPECT_EQ(frame.at(67), 1);
    EXPECT_EQ(frame.at(78), 0);
}

TEST_F(NetworkTabTest, FullLengthNameIsShownWholeAndSentBackWhole) {
    const QByteArray name("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345");
    decode([&](NetworkRecord& n) { n.name = name; });
    EXPECT_EQ(tab().DeviceNameText->text(), QString::fromLatin1(name));
    EXPECT_EQ(encode().mid(25, 32), name);
}

TEST_F(NetworkTabTest, AHostileNameShowsEscapedAndGoesBackAsItCameUnlessEdited) {
    const QByteArray name = QByteArray("\x1b[2J\xe2\x80\xaeLine\x07").leftJustified(32, '\0');
    decode([&](NetworkRecord& n) { n.name = name; });
    EXPECT_EQ(tab().DeviceNameText->text(), R"(\x1b[2J\u202eLine\x07)");
    EXPECT_EQ(encode().mid(25, 32), name);
    tab().DeviceNameText->setText("Line");
    EXPECT_EQ(encode().mid(25, 32), QByteArray("Line").leftJustified(32, '\0'));
}

TEST_F(NetworkTabTest, NameIsCutAtAWholeUtf8Character) {
    decode();
    // Fifteen three-byte characters are 45 bytes: ten fit in 32.
    tab().DeviceNameText->setText(QString(15, QChar(0x20AC)));
    const QByteArray field = encode().mid(25, 32);
    EXPECT_EQ(field.left(30), QString(10, QChar(0x20AC)).toUtf8());
    EXPECT_EQ(field.mid(30), QByteArray(2, '\0'));
}

TEST_F(NetworkTabTest, NameThatIsNotUtf8ShowsEmpty) {
    decode([](NetworkRecord& n) {
        n.name = QByteArray(31, 'a') + QByteArray("\xE2", 1);  // a character cut at the end
    });
    EXPECT_EQ(tab().DeviceNameText->text(), "");
}

TEST_F(NetworkTabTest, OutOfRangeNumbersAreRefusedNamingTheText) {
    decode();
    tab().GatewayText->setText("10.0.0.300");
    EXPECT_EQ(ErrorOf([&] { encode(); }),
              "'10.0.0.300' is not a valid IP address: each of its four numbers must be 0 to 255");
    tab().GatewayText->setText("10.0.0.1");
    tab().PelorinPortText->setText("65536");
    EXPECT_EQ(ErrorOf([&] { encode(); }),
              "'65536' is not a valid port number: it must be 0 to 65535");
    tab().PelorinPortText->setText("");
    EXPECT_EQ(ErrorOf([&] { encode(); }), "'' is not a valid integer value");
    tab().PelorinPortText->setText("65535");
    tab().SubnetMaskText2->setText("255.255.0");
    EXPECT_EQ(ErrorOf([&] { encode(); }), "'' is not a valid integer value");
    tab().SubnetMaskText2->setText("255.2x5.0.0");
    EXPECT_EQ(ErrorOf([&] { encode(); }), "'2x5' is not a valid integer value");
}

TEST_F(NetworkTabTest, KeyFiltersLetThroughOnlyTheirCharacters) {
    form->show();
    tab().IPAddressText->clear();
    QTest::keyClicks(tab().IPAddressText, "19a2.1 68-%'x.1");
    EXPECT_EQ(tab().IPAddressText->text(), "192.168%'.1");
    QTest::keyClick(tab().IPAddressText, Qt::Key_Backspace);
    EXPECT_EQ(tab().IPAddressText->text(), "192.168%'.");
    tab().PelorinPortText->clear();
    QTest::keyClicks(tab().PelorinPortText, "4.0a0%0");
    EXPECT_EQ(tab().PelorinPortText->text(), "400%0");
    // The name has no filter.
    tab().DeviceNameText->clear();
    QTest::keyClicks(tab().DeviceNameText, "a.b-c d");
    EXPECT_EQ(tab().DeviceNameText->text(), "a.b-c d");
}

TEST_F(NetworkTabTest, PastesKeepOnlyWhatTheKeyFiltersLetThrough) {
    form->show();
    // Letters go before the length cut: the whole address arrives.
    tab().IPAddressText->clear();
    QApplication::clipboard()->setText("25x5.2y55.abc255.0");
    QTest::keyClick(tab().IPAddressText, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(tab().IPAddressText->text(), "255.255.255.0");

    // The context menu's Paste, into the port (no dot).
    tab().PelorinPortText->clear();
    QApplication::clipboard()->setText("6z5.5y3w5");
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, {2, 2}, {2, 2});
    QApplication::sendEvent(tab().PelorinPortText, &menuKey);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    for (QAction* a : menu->actions()) {
        if (a->text().startsWith("&Paste")) a->trigger();
    }
    menu->close();
    EXPECT_EQ(tab().PelorinPortText->text(), "65535");

    // A drop.
    tab().DNSText->clear();
    QMimeData dragged;
    dragged.setText("19q8.18.1.53");
    QDragEnterEvent enter({2, 2}, Qt::CopyAction, &dragged, Qt::LeftButton, {});
    QApplication::sendEvent(tab().DNSText, &enter);
    QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &dragged, Qt::LeftButton, {});
    QApplication::sendEvent(tab().DNSText, &drop);
    EXPECT_EQ(tab().DNSText->text(), "198.18.1.53");
}

TEST_F(NetworkTabTest, TypingStopsAtFifteenButALongerReceivedNameStaysWhole) {
    form->show();
    tab().DeviceNameText->clear();
    QTest::keyClicks(tab().DeviceNameText, "0123456789ABCDEFGHIJ");
    EXPECT_EQ(tab().DeviceNameText->text(), "0123456789ABCDE");
    decode([](NetworkRecord& n) { n.name = QByteArray(32, 'x'); });
    EXPECT_EQ(tab().DeviceNameText->text(), QString(32, 'x'));
    QTest::keyClick(tab().DeviceNameText, 'y');
    EXPECT_EQ(tab().DeviceNameText->text(), QString(32, 'x'));
}

TEST_F(NetworkTabTest, ChangedFlagFollowsTheDecodeRule) {
    // A name shorter than its field always raises the flag.
    decode();
    EXPECT_TRUE(form->networkChanged());
    form->setAllChanged(false);
    decode();
    EXPECT_TRUE(form->networkChanged());

    // A full-length name and every text as the edits hold it: no change.
    const auto full = [](NetworkRecord& n) { n.name = QByteArray(32, 'n'); };
    decode(full);
    form->setAllChanged(false);
    decode(full);
    EXPECT_FALSE(form->networkChanged());
    // A list byte differing alone is not a text change.
    decode([&](NetworkRecord& n) {
        full(n);
        n.networkType = 1;
        n.bridge = 0;
        n.telnet = 0;
    });
    EXPECT_FALSE(form->networkChanged());
    // One differing text is.
    decode([&](NetworkRecord& n) {
        full(n);
        n.dns = Bytes({9, 9, 9, 9});
    });
    EXPECT_TRUE(form->networkChanged());
    EXPECT_FALSE(form->operationChanged());
    EXPECT_FALSE(form->serialChanged());
}

TEST_F(NetworkTabTest, UserChoicesRaiseTheFlagExceptForServices) {
    form->show();
    decode([](NetworkRecord& n) { n.name = QByteArray(32, 'n'); });
    form->setAllChanged(false);
    for (QComboBox* c : {tab().TelnetCombo, tab().SSHCombo, tab().FTPCombo, tab().WEBCombo}) {
        c->setFocus();
        QTest::keyClick(c, Qt::Key_Up);
        QTest::keyClick(c, Qt::Key_Down);
    }
    EXPECT_EQ(tab().SSHCombo->currentText(), "Enable");
    EXPECT_FALSE(form->anyChanged());

    tab().NetworkTypeCombo->setFocus();
    QTest::keyClick(tab().NetworkTypeCombo, Qt::Key_Down);
    EXPECT_EQ(tab().NetworkTypeCombo->currentText(), "DHCP");
    EXPECT_FALSE(tab().GatewayText->isEnabled());
    EXPECT_TRUE(form->networkChanged());

    form->setAllChanged(false);
    tab().BridgeCombo->setFocus();
    QTest::keyClick(tab().BridgeCombo, Qt::Key_Up);
    EXPECT_EQ(tab().BridgeCombo->currentText(), "Enable");
    EXPECT_FALSE(tab().IPAddressText2->isEnabled());
    EXPECT_TRUE(form->networkChanged());

    form->setAllChanged(false);
    QTest::keyClicks(tab().PelorinPortText, "1");
    EXPECT_TRUE(form->networkChanged());
}

TEST_F(NetworkTabTest, EveryDecodeGivesTheGridsFreshEmptyRows) {
    decode();
    op().place(1, OperationGridModel::Operation, "TCP_Server");
    decode([](NetworkRecord& n) { n.portCount = 2; });
    EXPECT_EQ(op().rowCount(), 2);
    EXPECT_TRUE(op().isEmpty(1, OperationGridModel::Operation));
    decode([](NetworkRecord& n) { n.portCount = 0; });
    EXPECT_EQ(op().rowCount(), 0);
    EXPECT_EQ(serial().rowCount(), 0);
    EXPECT_EQ(form->PortCount(), 0);
}

TEST_F(NetworkTabTest, AShortRecordIsNotDecoded) {
    const QByteArray shortReply = NetworkReply().left(79) + "\x03";
    EXPECT_NE(ErrorOf([&] { form->DecodeNetworkRecord(shortReply); }), "<no error>");
    EXPECT_EQ(tab().IPAddressText->text(), "");
    EXPECT_EQ(form->PortCount(), 0);
}

TEST(ConfigCodec, BytesToIntReadsLowByteFirst) {
    EXPECT_EQ(TConfigForm::BytesToInt(Bytes({0xFF})), 255);
    EXPECT_EQ(TConfigForm::BytesToInt(Bytes({0xA0, 0x0F})), 4000);
    EXPECT_EQ(TConfigForm::BytesToInt(Bytes({0x00, 0x01})), 256);
}
