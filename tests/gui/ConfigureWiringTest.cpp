#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "ConfigTestUtil.h"
#include "support/FindWidget.h"

using namespace velomar;
using namespace velomar::test;

namespace {
class ConfigureWiringTest : public WindowAndDialogTest {
  protected:
    QString macOf(int row) { return window->devices().cellText(row, DeviceTableModel::ColMac); }
    // What the user does while the modal dialog runs, then "Cancel".
    void whileModal(std::function<void()> action) {
        QTimer::singleShot(0, form, [this, action] {
            seenModal = form->isVisible() && form->isModal();
            if (action) action();
            form->FlatButton2Click();
        });
    }

    bool seenModal = false;
};
}  // namespace

TEST_F(ConfigureWiringTest, ConfigureWithoutDevicesDoesNothing) {
    window->FlatButton8Click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->MACLabel->text(), "N/A");
    EXPECT_FALSE(form->configUdp().isOpen());
    EXPECT_TRUE(rec.boxes().isEmpty());
}

TEST_F(ConfigureWiringTest, ConfigureClosedWithAChangeSearchesAgain) {
    addDevices(3);
    select(1);
    window->OpenUDPServer();
    const QString mac = macOf(1);
    whileModal([&] { form->ConfigUDPUDPRead(NetworkReply({}, mac)); });
    window->FlatButton8Click();
    EXPECT_TRUE(seenModal);
    EXPECT_EQ(form->MACLabel->text(), mac);
    EXPECT_EQ(form->ProductLabel->text(), "VM-2100");
    EXPECT_EQ(form->VersionLabel->text(), "1.2.3");
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_FALSE(form->configUdp().isOpen());
    // A new search: table cleared, UDPServer open, countdown running.
    EXPECT_EQ(window->DeviceCount(), 0);
    EXPECT_TRUE(window->udpServer().isOpen());
    EXPECT_TRUE(Find<QFrame>(window, "PnlTime")->isVisibleTo(window.get()));
    EXPECT_TRUE(rec.boxes().isEmpty());
    window->SetSearching(false);
}

TEST_F(ConfigureWiringTest, ConfigureClosedUnchangedLeavesTheTableAndThePortClosed) {
    addDevices(2);
    select(0);
    window->OpenUDPServer();
    whileModal({});
    window->FlatButton8Click();
    EXPECT_TRUE(seenModal);
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_EQ(window->DeviceCount(), 2);
    EXPECT_FALSE(window->udpServer().isOpen());
    EXPECT_FALSE(Find<QFrame>(window, "PnlTime")->isVisibleTo(window.get()));
}

TEST_F(ConfigureWiringTest, DoubleClickOpensWithoutModalityAndNeverSearches) {
    addDevices(2);
    select(1);
    window->OpenUDPServer();
    window->RGridDblClick();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isModal());
    EXPECT_FALSE(window->udpServer().isOpen());
    EXPECT_TRUE(form->configUdp().isOpen());
    form->ConfigUDPUDPRead(NetworkReply({}, macOf(1)));
    form->FlatButton2Click();
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(window->DeviceCount(), 2);
    EXPECT_FALSE(window->udpServer().isOpen());
}

TEST_F(ConfigureWiringTest, DoubleClickAnywhereInTheTableOpensTheSelectedDevice) {
    QWidget* viewport = Find<DeviceTableView>(window, "RGrid")->viewport();
    const QPoint below(viewport->width() / 2, viewport->height() - 5);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, below);
    EXPECT_FALSE(form->isVisible()) << "nothing listed, nothing to open";
    EXPECT_TRUE(rec.events.isEmpty());

    addDevices(3);
    select(1);
    ASSERT_FALSE(Find<DeviceTableView>(window, "RGrid")->indexAt(below).isValid());
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, below);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isModal());
    EXPECT_EQ(form->MACLabel->text(), macOf(1));
    form->FlatButton2Click();

    // On a cell: that row's device.
    const QModelIndex cell = window->devices().index(2, DeviceTableModel::ColName);
    QTest::mouseDClick(viewport, Qt::LeftButton, {},
                       Find<DeviceTableView>(window, "RGrid")->visualRect(cell).center());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->MACLabel->text(), macOf(2));
    form->FlatButton2Click();
}

TEST_F(ConfigureWiringTest, ConfigureWhileOpenWithoutModalityKeepsWhatWasTyped) {
    addDevices(2);
    select(0);
    window->RGridDblClick();
    form->ConfigUDPUDPRead(NetworkReply({}, macOf(0)));
    form->networkTab().GatewayText->setText("198.18.1.254");

    // The same device: the dialog only comes forward.
    window->FlatButton8Click();
    window->RGridDblClick();
    EXPECT_TRUE(rec.boxes().isEmpty());
    // Another device: the user is told why nothing else happens.
    select(1);
    window->FlatButton8Click();
    ASSERT_EQ(rec.boxes().size(), 1);
    EXPECT_EQ(rec.boxes().at(0),
              QStringLiteral("The configuration dialog is open for %1. Close it before you "
                             "configure another device.")
                  .arg(macOf(0)));
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isModal());
    EXPECT_EQ(form->MACLabel->text(), macOf(0));
    EXPECT_EQ(form->networkTab().GatewayText->text(), "198.18.1.254");
    EXPECT_TRUE(form->networkChanged());
    EXPECT_TRUE(form->configUdp().isOpen());
    form->FlatButton2Click();
}

TEST_F(ConfigureWiringTest, SearchWhileTheDialogHoldsThePortIsRefusedWithAMessage) {
    addDevices(2);
    select(0);
    window->RGridDblClick();
    window->FlatButton2Click();  // "Search"
    ASSERT_EQ(rec.boxes().size(), 1);
    EXPECT_EQ(rec.boxes().at(0),
              "The configuration dialog is open and uses port 42060. Close it, then try again.");
    EXPECT_EQ(rec.events.at(0).kind, RecordingPlatform::Event::Error);
    EXPECT_EQ(window->DeviceCount(), 2);  // the table was not cleared
    EXPECT_FALSE(window->udpServer().isOpen());
    EXPECT_TRUE(form->configUdp().isOpen());
    EXPECT_TRUE(form->isVisible());

    form->FlatButton2Click();
    window->FlatButton2Click();
    EXPECT_EQ(rec.boxes().size(), 1);
    EXPECT_TRUE(window->udpServer().isOpen());
    window->SetSearching(false);
}
