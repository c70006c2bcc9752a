// The configuration dialog end to end: the real windows on real port 2057 against
// tervane-emu in the lab.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "app/UnitDetect.h"
#include "config/NetworkTab.h"
#include "config/PortGrids.h"
#include "config/UnitConfigure.h"
#include "protocol/Codecs.h"
#include "protocol/Frame.h"
#include "support/FindWidget.h"
#include "support/LabWindow.h"

using namespace velomar;
using velomar::test::Find;
using velomar::test::Lab;

namespace {

const QString kMac1 = QStringLiteral("00-1A-2B-3C-4D-01");
const QString kMac2 = QStringLiteral("00-1A-2B-3C-4D-02");

// Two devices behind one emulator, so that each hears the other's requests and answers
// only for itself; the dialog must take only its device's replies.
const char* kFleet = R"({"devices": [
  {"mac": "00-1A-2B-3C-4D-01", "model": "VM-2104", "version": "2.1.7", "name": "Hall 3",
   "ip": "198.18.50.11", "gateway": "198.18.50.1", "mask": "255.255.255.0", "dns": "198.18.50.53",
   "pelorin_ip": "198.18.50.200", "pelorin_port": 4000, "telnet": true, "web": false,
   "lan": {"ip": "198.18.51.1", "mask": "255.255.255.0", "bridge": "Disable"},
   "ports": [
     {"alias": "Line A", "operation": "RFC2217", "src_port": 10000, "type": "Modem",
      "dest_ip": "198.18.50.20", "dest_port": 1000, "alive": 60, "nodelay": true,
      "interface": "RS232", "baud": "115200", "data_bits": "8", "stop_bits": "1",
      "parity": "None", "flow": "RTS/CTS"},
     {"alias": "Line B", "operation": "TCP_Server", "src_port": 4001,
      "interface": "RS485E", "baud": "9600"},
     {"operation": "Disable"},
     {"operation": "Modbus_RTU", "src_port": 502}
   ]},
  {"mac": "00-1A-2B-3C-4D-02", "model": "VM-2101", "version": "1.0.0", "name": "Dock",
   "ip": "198.18.60.12", "gateway": "198.18.60.1", "mask": "255.255.0.0", "ports": 1}
]})";

// Every record of a four-port device has arrived.
bool allRecordsIn(TConfigForm& config) {
    if (!config.tabPanel1->isEnabled() || !config.tabPanel2->isEnabled() ||
        !config.tabPanel3->isEnabled() || config.PortCount() != 4)
        return false;
    for (int p = 0; p < 4; ++p) {
        if (config.operationGrid().isEmpty(p, OperationGridModel::No)) return false;
        if (config.serialGrid().isEmpty(p, SerialGridModel::No)) return false;
    }
    return true;
}

QStringList rowTexts(RecordGridModel& m, int row) {
    QStringList l;
    for (int c = 0; c < m.columnCount(); ++c)
        l << m.data(m.index(row, c), Qt::DisplayRole).toString();
    return l;
}

// The main window with the configuration dialog, over two devices behind one emulator.
class ConfigureSystem : public velomar::test::LabWindowTest {
  protected:
    void SetUp() override {
        LabWindowTest::SetUp();
        if (IsSkipped()) return;
        start({.fleet = kFleet});
        config.emplace(form);
        form->setConfigForm(&*config);
        form->show();
    }
    void TearDown() override {
        config.reset();
        LabWindowTest::TearDown();
    }
    // Searches, ends the countdown and selects the row of `mac`.
    bool searchAndSelect(const QString& mac) {
        const int r = search(2) ? rowOf(mac) : -1;
        if (r < 0) return false;
        Find<DeviceTableView>(form, "RGrid")
            ->setCurrentIndex(form->devices().index(r, DeviceTableModel::ColModel));
        return form->SelectedRow() == r;
    }
    std::optional<TConfigForm> config;
};

}  // namespace

TEST_F(ConfigureSystem, ConfigureShowsTheEmulatedDeviceOnAllThreeTabs) {
    ASSERT_TRUE(searchAndSelect(kMac1));

    bool arrived = false;
    QStringList network, op0, op3, serial0, serial1;
    int opRows = 0, serialRows = 0;
    QTimer::singleShot(0, &*config, [&] {
        arrived = lab->waitFor([&] { return allRecordsIn(*config); });
        NetworkTab& t = config->networkTab();
        network = QStringList{t.DeviceNameText->text(),     t.NetworkTypeCombo->currentText(),
                              t.IPAddressText->text(),      t.SubnetMaskText->text(),
                              t.GatewayText->text(),        t.DNSText->text(),
                              t.PelorinIPText->text(),      t.PelorinPortText->text(),
                              t.TelnetCombo->currentText(), t.WEBCombo->currentText(),
                              t.BridgeCombo->currentText(), t.IPAddressText2->text()};
        opRows = config->operationGrid().rowCount();
        serialRows = config->serialGrid().rowCount();
        op0 = rowTexts(config->operationGrid(), 0);
        op3 = rowTexts(config->operationGrid(), 3);
        serial0 = rowTexts(config->serialGrid(), 0);
        serial1 = rowTexts(config->serialGrid(), 1);
        config->FlatButton2Click();
    });
    form->FlatButton8Click();
    ASSERT_TRUE(arrived);
    EXPECT_TRUE(rec.boxes().isEmpty()) << rec.boxes().join("|").toStdString();
    EXPECT_EQ(config->ProductLabel->text(), "VM-2104");
    EXPECT_EQ(config->VersionLabel->text(), "2.1.7");
    EXPECT_EQ(network, (QStringList{"Hall 3", "Static IP", "198.18.50.11", "255.255.255.0",
                                    "198.18.50.1", "198.18.50.53", "198.18.50.200", "4000",
                                    "Enable", "Disable", "Disable", "198.18.51.1"}));
    EXPECT_EQ(opRows, 4);
    EXPECT_EQ(serialRows, 4);
    EXPECT_EQ(op0, (QStringList{"1", "Line A", "RFC2217", "10000", "Modem", "198.18.50.20", "1000",
                                "60", "0", ""}));
    EXPECT_EQ(op3.at(0), "4");
    EXPECT_EQ(op3.mid(2, 2), (QStringList{"Modbus_RTU", "502"}));
    EXPECT_EQ(serial0, (QStringList{"1", "RS232", "115200", "8", "1", "None", "RTS/CTS"}));
    EXPECT_EQ(serial1.mid(0, 3), (QStringList{"2", "RS485E", "9600"}));

    // The three requests, byte for byte, as the emulator heard them (once per interface).
    const QByteArray mac = TargetMac(kMac1);
    QList<QByteArray> requests;
    for (const auto& e : lab->emulatorLog()) {
        if (e.in && e.bytes.size() == 9 && FrameMac(e.bytes) == mac) requests << e.bytes;
    }
    EXPECT_EQ(requests, (QList<QByteArray>{MacOnlyFrame('N', mac), MacOnlyFrame('O', mac),
                                           MacOnlyFrame('U', mac)}));

    // The decoded name raised the network flag: closing gave OK and a new search started.
    EXPECT_EQ(config->result(), QDialog::Accepted);
    EXPECT_FALSE(config->configUdp().isOpen());
    EXPECT_TRUE(Find<QFrame>(form, "PnlTime")->isVisibleTo(form));
    EXPECT_TRUE(lab->waitFor([&] { return form->DeviceCount() == 2; }));
    runOutCountdown();
}

TEST_F(ConfigureSystem, EditApplyAndReopenShowsWhatTheDeviceTookIntoUse) {
    ASSERT_TRUE(searchAndSelect(kMac1));

    form->RGridDblClick();
    ASSERT_TRUE(config->isVisible());
    ASSERT_TRUE(lab->waitFor([&] { return allRecordsIn(*config); }));
    OperationGridModel& op = config->operationGrid();
    SerialGridModel& serial = config->serialGrid();
    op.setData(op.index(1, OperationGridModel::Operation), "UDP_Client", Qt::EditRole);
    serial.setData(serial.index(1, SerialGridModel::Baudrate), "921600", Qt::EditRole);
    ASSERT_TRUE(config->operationChanged());
    ASSERT_TRUE(config->serialChanged());

    QTest::mouseClick(config->FlatButton1, Qt::LeftButton);
    EXPECT_FALSE(config->FlatButton1->isEnabled());
    ASSERT_TRUE(lab->waitFor([&] { return !rec.boxes().isEmpty(); }));
    EXPECT_EQ(rec.boxes(), QStringList{"Configuration was successfully applied"});
    EXPECT_TRUE(config->FlatButton1->isEnabled());

    // What the device received, in order: N, O0..O3, U0..U3, A.
    QStringList writes;
    for (const auto& e : lab->received()) {
        if (e.bytes.size() > 9 || e.letter == 'A') {
            QString s(QChar(e.letter));
            if (e.letter == 'O' || e.letter == 'U') s += QString::number(e.bytes.at(8));
            writes << s;
        }
    }
    EXPECT_EQ(writes, (QStringList{"N", "O0", "O1", "O2", "O3", "U0", "U1", "U2", "U3", "A"}));

    config->FlatButton2Click();
    EXPECT_EQ(config->result(), QDialog::Accepted);
    // A double-click is not followed by a search; reopened, the device reports the new values.
    EXPECT_FALSE(Find<QFrame>(form, "PnlTime")->isVisibleTo(form));
    form->RGridDblClick();
    ASSERT_TRUE(lab->waitFor([&] {
        return allRecordsIn(*config) && op.value(1, OperationGridModel::Operation) == "UDP_Client";
    }));
    EXPECT_EQ(serial.value(1, SerialGridModel::Baudrate), "921600");
    EXPECT_EQ(serial.value(1, SerialGridModel::Interface), "RS485E");
    EXPECT_EQ(op.value(0, OperationGridModel::Operation), "RFC2217");
    EXPECT_EQ(config->networkTab().DeviceNameText->text(), "Hall 3");
    config->FlatButton2Click();
}

TEST_F(ConfigureSystem, FileExportedFromOneDeviceImportedAndAppliedToAnother) {
    ASSERT_TRUE(searchAndSelect(kMac1));

    // Export what device 1 reports: byte for byte the device's own configuration file.
    form->RGridDblClick();
    ASSERT_TRUE(lab->waitFor([&] { return allRecordsIn(*config); }));
    const QString path = lab->dir() + "/hall3.vlm";
    rec.fileAnswers.enqueue(path);
    config->FlatButton9Click();
    config->FlatButton2Click();
    ASSERT_TRUE(rec.boxes().isEmpty()) << rec.boxes().join("|").toStdString();
    QFile exported(path);
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    const QByteArray file = exported.readAll();
    QFile own(lab->configFilePath(kMac1));
    ASSERT_TRUE(own.open(QIODevice::ReadOnly));
    EXPECT_EQ(file, own.readAll());
    ASSERT_EQ(file.size(), 81 + 57 * 4);

    // Import it for device 2 and apply: every frame carries device 2's MAC.
    ASSERT_TRUE(searchAndSelect(kMac2));
    const int before = static_cast<int>(lab->received().size());
    rec.fileAnswers.enqueue(path);
    bool applied = false;
    QTimer::singleShot(0, &*config, [&] {
        QTest::mouseClick(config->FlatButton1, Qt::LeftButton);
        applied = lab->waitFor([&] { return !rec.boxes().isEmpty(); });
        config->FlatButton2Click();
    });
    form->FlatButton10Click();
    ASSERT_TRUE(applied);
    EXPECT_EQ(rec.boxes(), QStringList{"Configuration was successfully applied"});
    QStringList writes;
    const QList<velomar::test::LogEntry> received = lab->received();
    for (int i = before; i < received.size(); ++i) {
        const auto& e = received.at(i);
        if (e.letter == 'g') continue;
        EXPECT_EQ(FrameMac(e.bytes), TargetMac(kMac2)) << e.letter;
        writes << QString(QChar(e.letter));
    }
    EXPECT_EQ(writes.join(""), "NOOOOUUUUA");
    // The device took the file into use: its own file is ours with its MAC.
    QFile taken(lab->configFilePath(kMac2));
    ASSERT_TRUE(taken.open(QIODevice::ReadOnly));
    QByteArray expected = file;
    for (int at = 0; at < expected.size();) {
        expected.replace(at + 2, 6, TargetMac(kMac2));
        at += at == 0 ? 81 : (at < 81 + 41 * 4 ? 41 : 16);
    }
    EXPECT_EQ(taken.readAll(), expected);
    // Always OK after an import: a new search runs.
    EXPECT_TRUE(Find<QFrame>(form, "PnlTime")->isVisibleTo(form));
    EXPECT_TRUE(lab->waitFor([&] { return form->DeviceCount() == 2; }));
    runOutCountdown();
}
