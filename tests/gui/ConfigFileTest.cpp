#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "ConfigTestUtil.h"

using namespace velomar;
using namespace velomar::test;

namespace {
using Op = OperationGridModel;
using Se = SerialGridModel;

QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

class ConfigFileTest : public ConfigTest {
  protected:
    // Device A with `ports` ports, every record in, flags lowered.
    void fill(int ports) {
        form->MACLabel->setText(kMacA);
        form->DecodeNetworkRecord(NetworkReply(
            [&](NetworkRecord& n) { n.portCount = static_cast<std::uint8_t>(ports); }));
        for (int p = 0; p < ports; ++p) {
            form->DecodeOperationRecord(OperationReply(p, [&](OperationRecord& o) {
                o.sourcePort = static_cast<std::uint16_t>(4001 + p);
            }));
            form->DecodeSerialRecord(
                SerialReply(p, {0, static_cast<std::uint8_t>(6 + p), 3, 0, 0, 0}));
        }
        form->setAllChanged(false);
    }
    QString exportTo(const QString& name) {
        const QString path = dir.filePath(name);
        rec.fileAnswers.enqueue(path);
        form->FlatButton9Click();
        return path;
    }
    QTemporaryDir dir;
};
}  // namespace

TEST_F(ConfigFileTest, ExportOfATwoPortDeviceIsTheFramesOneAfterTheOther) {
    fill(2);
    const QByteArray file = readFile(exportTo("two.vlm"));
    ASSERT_EQ(file.size(), 195);
    EXPECT_EQ(file.mid(0, 81), form->EncodeNetworkRecord());
    EXPECT_EQ(file.mid(81, 41), form->EncodeOperationRecord(0));
    EXPECT_EQ(file.mid(122, 41), form->EncodeOperationRecord(1));
    EXPECT_EQ(file.mid(163, 16), form->EncodeSerialRecord(0));
    EXPECT_EQ(file.mid(179, 16), form->EncodeSerialRecord(1));
    EXPECT_EQ(QString(QChar(file.at(81 + 1))) + QChar(file.at(163 + 1)), "OU");
    EXPECT_EQ(file.at(78), 2);

    ASSERT_EQ(rec.events.size(), 1);
    const auto& dialog = rec.events.at(0).dialog;
    EXPECT_EQ(rec.events.at(0).kind, RecordingPlatform::Event::SaveFile);
    EXPECT_EQ(dialog.title, "Export configuration to file");
    EXPECT_EQ(dialog.defaultName, "default.vlm");
    EXPECT_EQ(dialog.defaultSuffix, "vlm");
    EXPECT_EQ(dialog.filters, (QStringList{"All files (*.*)", "Velomar files (*.vlm)"}));
    EXPECT_FALSE(form->anyChanged());
}

TEST_F(ConfigFileTest, NoPortsGiveTheNetworkRecordAloneAndImportLeavesNoRows) {
    fill(0);
    const QString path = exportTo("none.vlm");
    EXPECT_EQ(readFile(path).size(), 81);
    fill(3);
    form->ImportFromFile(path, "VM", kMacB, "1");
    EXPECT_EQ(op().rowCount(), 0);
    EXPECT_EQ(serial().rowCount(), 0);
}

TEST_F(ConfigFileTest, ExportThenImportThenExportGivesTheSameFile) {
    fill(4);
    form->operationGrid().setData(op().index(2, Op::PortAlias), "Mixer", Qt::EditRole);
    const QByteArray first = readFile(exportTo("a.vlm"));
    fill(1);
    form->ImportFromFile(dir.filePath("a.vlm"), "VM2100-4", kMacA, "1.0.7");
    EXPECT_EQ(readFile(exportTo("b.vlm")), first);
    EXPECT_EQ(first.size(), 81 + 57 * 4);
}

TEST_F(ConfigFileTest, ImportRaisesTheFlagsSetsTheLabelsAndPlacesRowsByTheirPortIndex) {
    fill(2);
    QByteArray file = form->ConfigurationFile();
    // The operation records the other way round in the file: each still goes to its port.
    file = file.left(81) + file.mid(122, 41) + file.mid(81, 41) + file.mid(163);
    writeFile(dir.filePath("swapped.vlm"), file);
    fill(1);
    form->ConfigTab->setCurrentIndex(2);
    form->ImportFromFile(dir.filePath("swapped.vlm"), "VM-B", kMacB, "9.9");
    EXPECT_EQ(form->ProductLabel->text(), "VM-B");
    EXPECT_EQ(form->MACLabel->text(), kMacB);
    EXPECT_EQ(form->VersionLabel->text(), "9.9");
    EXPECT_TRUE(form->networkChanged() && form->operationChanged() && form->serialChanged());
    EXPECT_EQ(form->ConfigTab->currentIndex(), 0);
    EXPECT_FALSE(form->tabPanel1->isHidden());
    EXPECT_EQ(op().value(0, Op::SrcPort), "4001");
    EXPECT_EQ(op().value(1, Op::SrcPort), "4002");
    // Frames built now carry B's MAC.
    EXPECT_EQ(FrameMac(form->EncodeOperationRecord(1)), TargetMac(kMacB));
}

TEST_F(ConfigFileTest, AnExportThatCannotEncodeLeavesTheOldFileUntouched) {
    fill(2);
    const QString path = dir.filePath("keep.vlm");
    writeFile(path, "previous contents");
    form->DecodeNetworkRecord(
        NetworkReply([](NetworkRecord& n) { n.portCount = 2; }));  // empty rows
    rec.fileAnswers.enqueue(path);
    form->FlatButton9Click();
    EXPECT_EQ(rec.boxes(), QStringList{"'' is not a valid integer value."});
    EXPECT_EQ(readFile(path), "previous contents");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"keep.vlm"});
}

TEST_F(ConfigFileTest, CancelledExportWritesNothing) {
    fill(1);
    form->FlatButton9Click();  // no answer queued: cancelled
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(rec.boxes().isEmpty());
}

TEST_F(ConfigFileTest, ExportIntoAFolderThatDoesNotExistShowsTheReason) {
    fill(1);
    rec.fileAnswers.enqueue(dir.filePath("missing/x.vlm"));
    form->FlatButton9Click();
    ASSERT_EQ(rec.boxes().size(), 1);
    EXPECT_TRUE(
        rec.boxes().at(0).startsWith("Cannot create " + dir.filePath("missing/x.vlm") + ": "))
        << rec.boxes().at(0).toStdString();
}

TEST_F(ConfigFileTest, IncompleteOrMissingFilesChangeNothing) {
    fill(2);
    const QByteArray good = form->ConfigurationFile();
    form->MACLabel->setText(kMacA);
    for (const QByteArray& bytes : {good.left(194), good.left(80), QByteArray()}) {
        writeFile(dir.filePath("short.vlm"), bytes);
        EXPECT_EQ(
            ErrorOf([&] { form->ImportFromFile(dir.filePath("short.vlm"), "X", kMacB, "Y"); }),
            dir.filePath("short.vlm") + " is not a complete configuration file");
    }
    EXPECT_TRUE(ErrorOf([&] {
                    form->ImportFromFile(dir.filePath("nothing.vlm"), "X", kMacB, "Y");
                }).startsWith("Cannot open " + dir.filePath("nothing.vlm") + ": "));
    EXPECT_EQ(form->MACLabel->text(), kMacA);
    EXPECT_FALSE(form->anyChanged());
    EXPECT_EQ(op().value(1, Op::SrcPort), "4002");
}

TEST_F(ConfigFileTest, ARecordThatDoesNotDecodeStopsTheImportWithItsError) {
    fill(2);
    QByteArray file = form->ConfigurationFile();
    file[81 + 41 + 8] = 5;  // the second operation record names port 5
    writeFile(dir.filePath("bad.vlm"), file);
    EXPECT_EQ(ErrorOf([&] { form->ImportFromFile(dir.filePath("bad.vlm"), "X", kMacB, "Y"); }),
              "Cells row bounds error[5]");
    EXPECT_EQ(op().value(0, Op::SrcPort), "4001");  // decoded before the failure
}

namespace {
// "Import" on the main window, with the dialog on the same test port.
class ImportWiringTest : public WindowAndDialogTest {
  protected:
    void SetUp() override {
        WindowAndDialogTest::SetUp();
        if (IsSkipped()) return;
        addDevices(2);
        select(1);
        // A file of a two-port device.
        form->DecodeNetworkRecord(NetworkReply([](NetworkRecord& n) { n.portCount = 2; }));
        for (int p = 0; p < 2; ++p) {
            form->DecodeOperationRecord(OperationReply(p));
            form->DecodeSerialRecord(SerialReply(p, {0, 6, 3, 0, 0, 0}));
        }
        path = dir.filePath("a.vlm");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(form->ConfigurationFile());
    }
    QTemporaryDir dir;
    QString path;
};
}  // namespace

TEST_F(ImportWiringTest, CancelledFileDialogReadsNothingAndLeavesThePortClosed) {
    window->OpenUDPServer();
    window->FlatButton10Click();
    ASSERT_EQ(rec.events.size(), 1);
    EXPECT_EQ(rec.events.at(0).kind, RecordingPlatform::Event::OpenFile);
    EXPECT_EQ(rec.events.at(0).dialog.title, "Import Configuration from file");
    EXPECT_EQ(rec.events.at(0).dialog.filters,
              (QStringList{"All files (*.*)", "Velomar files (*.vlm)"}));
    EXPECT_EQ(rec.events.at(0).dialog.defaultName, "default.vlm");
    EXPECT_FALSE(window->udpServer().isOpen());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(window->DeviceCount(), 2);
}

TEST_F(ImportWiringTest, ImportThenCancelStillSearchesAgain) {
    rec.fileAnswers.enqueue(path);
    const QString mac = window->devices().cellText(1, DeviceTableModel::ColMac);
    bool modal = false;
    QTimer::singleShot(0, form, [&] {
        modal = form->isVisible() && form->isModal();
        form->FlatButton2Click();
    });
    window->FlatButton10Click();
    EXPECT_TRUE(modal);
    EXPECT_EQ(form->MACLabel->text(), mac);
    EXPECT_EQ(form->result(), QDialog::Accepted);
    EXPECT_EQ(window->DeviceCount(), 0);
    EXPECT_TRUE(window->udpServer().isOpen());
    EXPECT_TRUE(rec.boxes().isEmpty()) << rec.boxes().join('|').toStdString();
    window->SetSearching(false);
}

TEST_F(ImportWiringTest, AnIncompleteFileShowsItsMessageAndNoDialog) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    QByteArray bytes(100, '\0');
    bytes[78] = 2;  // two ports claimed, 195 bytes needed
    f.write(bytes);
    f.close();
    rec.fileAnswers.enqueue(path);
    window->FlatButton10Click();
    EXPECT_EQ(rec.boxes(), QStringList{path + " is not a complete configuration file."});
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(window->DeviceCount(), 2);
}

TEST_F(ImportWiringTest, ImportWhileTheDialogIsOpenWithoutModalityIsRefused) {
    window->RGridDblClick();
    form->networkTab().DNSText->setText("198.18.9.9");
    rec.fileAnswers.enqueue(path);
    window->FlatButton10Click();
    ASSERT_EQ(rec.boxes().size(), 1);
    EXPECT_TRUE(rec.boxes().at(0).endsWith("Close it before you import a configuration."));
    EXPECT_EQ(rec.fileAnswers.size(), 1);  // no file dialog
    EXPECT_EQ(form->networkTab().DNSText->text(), "198.18.9.9");
    form->FlatButton2Click();
}
