#include "config/UnitConfigure.h"

#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

#include "config/NetworkTab.h"
#include "config/PortGrids.h"
#include "net/LocalAddresses.h"
#include "platform/Platform.h"
#include "protocol/Bytes.h"
#include "protocol/Codecs.h"
#include "protocol/ConfigFile.h"
#include "protocol/Errors.h"
#include "protocol/Frame.h"
#include "protocol/NetworkRecord.h"
#include "protocol/OperationRecord.h"
#include "protocol/SerialRecord.h"

namespace velomar {

namespace {
constexpr int kWidth = 793;
constexpr int kHeight = 416;

// Whether a port grid can take a reply: the whole record, for one of its rows (the port
// index follows the MAC in both port records).
bool FitsPortGrid(const QByteArray& reply, int size, const RecordGridModel& grid) {
    return reply.size() >= size &&
           static_cast<std::uint8_t>(reply[kMacOffset + kMacSize]) < grid.rowCount();
}
}  // namespace

ConfigNetwork ConfigNetwork::host() {
    return ConfigNetwork{LocalIPv4Addresses(), kDevicePort, kDevicePort};
}

TConfigForm::TConfigForm(QWidget* parent, const ConfigNetwork& network)
    : QDialog(parent),
      network_(network),
      endpoints_(network.localAddresses),
      handOver_(this, [this](const QByteArray& d) { ConfigUDPUDPRead(d); }) {
    ConfigUDP = std::make_unique<ListeningEndpoint>(
        [this](const QByteArray& d, const QString&, std::uint16_t) { handOver_.deliver(d); },
        network.listenPort);
    // A listener waiting for the UI thread is let go before the close waits for it.
    ConfigUDP->onClosing = [this] { handOver_.cancel(); };
    buildUi();
}

TConfigForm::~TConfigForm() {
    ConfigUDP->close();
}

void TConfigForm::buildUi() {
    setObjectName(QStringLiteral("ConfigForm"));
    setWindowTitle(QStringLiteral("Configure"));
    setAccessibleName(QStringLiteral("Configure"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kWidth, kHeight);

    // Device identity on the left.
    auto* info = new QFrame(this);
    info->setObjectName(QStringLiteral("InfoPanel"));
    info->setAccessibleName(QStringLiteral("Device"));
    info->setFrameShape(QFrame::StyledPanel);
    info->setGeometry(8, 8, 150, kHeight - 16);
    auto* infoLayout = new QVBoxLayout(info);
    infoLayout->setContentsMargins(10, 14, 10, 12);
    infoLayout->setSpacing(4);
    auto addPair = [&](const char* name, const QString& caption) {
        auto* value = new QLabel(QStringLiteral("N/A"), info);
        value->setObjectName(QString::fromLatin1(name));
        value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        QFont bold = value->font();
        bold.setBold(true);
        value->setFont(bold);
        auto* label = new QLabel(caption, info);
        label->setBuddy(value);
        infoLayout->addWidget(label);
        infoLayout->addWidget(value);
        infoLayout->addSpacing(12);
        return value;
    };
    ProductLabel = addPair("ProductLabel", QStringLiteral("Model :"));
    MACLabel = addPair("MACLabel", QStringLiteral("MAC Address :"));
    VersionLabel = addPair("VersionLabel", QStringLiteral("Firmware Version :"));
    infoLayout->addStretch(1);

    ConfigTab = new QTabWidget(this);
    ConfigTab->setObjectName(QStringLiteral("ConfigTab"));
    ConfigTab->setAccessibleName(QStringLiteral("Configuration"));
    ConfigTab->setGeometry(166, 8, kWidth - 166 - 8, kHeight - 8 - 50);

    auto page = [&](QWidget* panel) {
        auto* p = new QWidget;
        auto* l = new QVBoxLayout(p);
        l->setContentsMargins(0, 0, 0, 0);
        l->addWidget(panel);
        return p;
    };
    auto gridPanel = [&](const char* name, const QString& caption, QTableView*& grid,
                         RecordGridModel* model, const char* gridName) {
        auto* p = new QWidget;
        p->setObjectName(QString::fromLatin1(name));
        p->setAccessibleName(caption);
        auto* l = new QVBoxLayout(p);
        l->setContentsMargins(2, 4, 2, 4);
        grid = MakeRecordGrid(model, caption, p);
        grid->setObjectName(QString::fromLatin1(gridName));
        l->addWidget(grid);
        return p;
    };

    tabPanel1 = new NetworkTab;
    opModel_ = new OperationGridModel(this);
    serialModel_ = new SerialGridModel(this);
    tabPanel2 =
        gridPanel("tabPanel2", QStringLiteral("Operation Mode"), OpGrid, opModel_, "OpGrid");
    tabPanel3 = gridPanel("tabPanel3", QStringLiteral("Serial Option"), SerialGrid, serialModel_,
                          "SerialGrid");
    ConfigTab->addTab(page(tabPanel1), QStringLiteral("Network"));
    ConfigTab->addTab(page(tabPanel2), QStringLiteral("Operation Mode"));
    ConfigTab->addTab(page(tabPanel3), QStringLiteral("Serial Option"));

    auto makeButton = [this](const char* name, const QString& caption, int x) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        // Enter in a field must not press a button behind the user's back.
        b->setAutoDefault(false);
        b->setDefault(false);
        b->setGeometry(x, kHeight - 8 - 32, 90, 32);
        return b;
    };
    FlatButton9 = makeButton("FlatButton9", QStringLiteral("Export"), 166);
    FlatButton1 = makeButton("FlatButton1", QStringLiteral("Apply"), kWidth - 8 - 90 - 8 - 90);
    FlatButton2 = makeButton("FlatButton2", QStringLiteral("Cancel"), kWidth - 8 - 90);

    connect(ConfigTab, &QTabWidget::currentChanged, this, &TConfigForm::ConfigTabTabChanged);
    connect(tabPanel1, &NetworkTab::changed, this, [this] { networkChanged_ = true; });
    connect(opModel_, &RecordGridModel::userChanged, this, &TConfigForm::OpGridValueChanged);
    connect(serialModel_, &RecordGridModel::userChanged, this,
            &TConfigForm::SerialGridValueChanged);
    connect(FlatButton1, &QPushButton::clicked, this, &TConfigForm::FlatButton1Click);
    connect(FlatButton2, &QPushButton::clicked, this, &TConfigForm::FlatButton2Click);
    connect(FlatButton9, &QPushButton::clicked, this, &TConfigForm::FlatButton9Click);
    ShowTabPanel(0);
}

QString TConfigForm::MacText() const {
    return MACLabel->text();
}

QByteArray TConfigForm::TargetMac() const {
    return velomar::TargetMac(MACLabel->text());
}

void TConfigForm::setAllChanged(bool on) {
    networkChanged_ = operationChanged_ = serialChanged_ = on;
}

QWidget* TConfigForm::panel(int kind) const {
    switch (kind) {
        case NetworkKind:
            return tabPanel1;
        case OperationKind:
            return tabPanel2;
        default:
            return tabPanel3;
    }
}

void TConfigForm::openConfigUdp() {
    if (ConfigUDP->isOpen()) return;
    ConfigUDP->setPort(network_.listenPort);
    handOver_.reset();
    ConfigUDP->open();
}

void TConfigForm::broadcast(const QByteArray& frame) {
    BroadcastFrame(endpoints_, frame, network_.devicePort);
}

void TConfigForm::OpenForDevice(const QString& model, const QString& macText,
                                const QString& version) {
    setAllChanged(false);
    ProductLabel->setText(model);
    MACLabel->setText(macText);
    VersionLabel->setText(version);
    RequestRecord(NetworkKind);
    RequestRecord(OperationKind);
    RequestRecord(SerialKind);
    ConfigTab->setCurrentIndex(0);
    // Selecting the tab that is already current emits nothing; the switch runs anyway.
    ConfigTabTabChanged(0);
}

void TConfigForm::RequestRecord(int kind) {
    static const char letters[] = {Letter::NetworkRequest, Letter::OperationRequest,
                                   Letter::SerialRequest};
    const QByteArray request = MacOnlyFrame(letters[kind], TargetMac());
    openConfigUdp();
    panel(kind)->setEnabled(false);
    broadcast(request);
}

void TConfigForm::ShowTabPanel(int index) {
    tabPanel1->setVisible(index == 0);
    tabPanel2->setVisible(index == 1);
    tabPanel3->setVisible(index == 2);
}

void TConfigForm::ConfigTabTabChanged(int index) {
    ShowTabPanel(index);
}

void TConfigForm::ConfigUDPUDPRead(const QByteArray& datagram) {
    const auto letter = ReplyLetter(datagram);
    if (!letter) return;
    const QByteArray mac = FrameMac(datagram);
    if (mac.isEmpty() || mac != TargetMac()) return;
    // A reply that cannot be placed (cut short, or for a port the grids do not have) is
    // dropped before its decoder would raise the error: a stream of them costs no exception
    // each. What still fails is dropped where it failed; the next reply is handled normally.
    try {
        switch (*letter) {
            case Letter::NetworkReply:
                if (datagram.size() < NetworkRecord::kSize) break;
                DecodeNetworkRecord(datagram);
                tabPanel1->setEnabled(true);
                FlatButton1->setEnabled(true);
                break;
            case Letter::OperationReply:
                if (!FitsPortGrid(datagram, OperationRecord::kSize, *opModel_)) break;
                DecodeOperationRecord(datagram);
                tabPanel2->setEnabled(true);
                FlatButton1->setEnabled(true);
                break;
            case Letter::SerialReply:
                if (!FitsPortGrid(datagram, SerialRecord::kSize, *serialModel_)) break;
                DecodeSerialRecord(datagram);
                tabPanel3->setEnabled(true);
                FlatButton1->setEnabled(true);
                break;
            case Letter::ApplyReply:
                FlatButton1->setEnabled(true);
                platform().showMessage(this,
                                       QStringLiteral("Configuration was successfully applied"));
                break;
            default:
                break;
        }
    } catch (const std::exception&) {
    }
}

void TConfigForm::DecodeNetworkRecord(const QByteArray& frame) {
    const auto record = NetworkRecord::decode(frame);
    if (!record) throw ShortRecordError(static_cast<int>(frame.size()));
    tabPanel1->ShowRecord(*record);
    portCount_ = record->portCount;
    passThrough_ = record->passThrough;
    opModel_->resetRows(portCount_);
    serialModel_->resetRows(portCount_);
}

QByteArray TConfigForm::EncodeNetworkRecord() const {
    const QByteArray mac = TargetMac();
    NetworkRecord r = tabPanel1->ReadRecord();
    r.mac = mac;
    r.reserved = 0;
    r.portCount = static_cast<std::uint8_t>(portCount_);
    r.passThrough = passThrough_;
    return r.encode();
}

void TConfigForm::DecodeOperationRecord(const QByteArray& frame) {
    opModel_->decode(frame);
}

QByteArray TConfigForm::EncodeOperationRecord(int port) const {
    return opModel_->encode(port, TargetMac());
}

void TConfigForm::DecodeSerialRecord(const QByteArray& frame) {
    serialModel_->decode(frame);
}

QByteArray TConfigForm::EncodeSerialRecord(int port) const {
    return serialModel_->encode(port, TargetMac());
}

void TConfigForm::SetNetworkType(int index) {
    tabPanel1->SetNetworkType(index);
}

void TConfigForm::SetBridgeMode(int index) {
    tabPanel1->SetBridgeMode(index);
}

int TConfigForm::BytesToInt(const QByteArray& bytes) {
    return WordAt(bytes);
}

void TConfigForm::OpGridValueChanged() {
    operationChanged_ = true;
}

void TConfigForm::SerialGridValueChanged() {
    serialChanged_ = true;
}

void TConfigForm::SendRecords(int kind) {
    if (kind == NetworkKind) {
        openConfigUdp();
        broadcast(EncodeNetworkRecord());
        return;
    }
    for (int port = 0; port < portCount_; ++port) {
        openConfigUdp();
        broadcast(kind == OperationKind ? EncodeOperationRecord(port) : EncodeSerialRecord(port));
    }
}

void TConfigForm::SendApply() {
    ApplyRequest request;
    request.mac = TargetMac();
    openConfigUdp();
    broadcast(request.encode());
}

void TConfigForm::FlatButton1Click() {
    RunGuarded(this, [this] {
        // Disabled until the device answers; an error below leaves it so.
        FlatButton1->setEnabled(false);
        bool sent = false;
        if (networkChanged_) {
            SendRecords(NetworkKind);
            sent = true;
        }
        if (operationChanged_) {
            SendRecords(OperationKind);
            sent = true;
        }
        if (serialChanged_) {
            SendRecords(SerialKind);
            sent = true;
        }
        if (sent) {
            SendApply();
        } else {
            FlatButton1->setEnabled(true);
        }
    });
}

void TConfigForm::FlatButton2Click() {
    close();
}

QByteArray TConfigForm::ConfigurationFile() const {
    ConfigFile file;
    file.network = EncodeNetworkRecord();
    for (int port = 0; port < portCount_; ++port) file.operation << EncodeOperationRecord(port);
    for (int port = 0; port < portCount_; ++port) file.serial << EncodeSerialRecord(port);
    return file.encode();
}

void TConfigForm::FlatButton9Click() {
    RunGuarded(this, [this] {
        const QString path = platform().saveFileName(
            this, FileDialogRequest{QStringLiteral("Export configuration to file"),
                                    QStringLiteral("default.vlm"),
                                    QStringLiteral("vlm"),
                                    {QStringLiteral("All files (*.*)"),
                                     QStringLiteral("Velomar files (*.vlm)")}});
        if (path.isEmpty()) return;
        // Every frame is built before the file is touched, and the file is written beside
        // the target and renamed over it: a record that does not encode, or a full disk,
        // never leaves a half-written file or destroys the one that was there.
        const QByteArray bytes = ConfigurationFile();
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            throw Error(QStringLiteral("Cannot create %1: %2").arg(path, file.errorString()));
        }
        if (file.write(bytes) != bytes.size() || !file.commit()) {
            throw Error(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
        }
    });
}

void TConfigForm::ImportFromFile(const QString& fileName, const QString& model,
                                 const QString& macText, const QString& version) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        throw Error(QStringLiteral("Cannot open %1: %2").arg(fileName, file.errorString()));
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        throw Error(QStringLiteral("Cannot read %1: %2").arg(fileName, file.errorString()));
    }
    file.close();
    const auto frames = ConfigFile::decode(bytes);
    if (!frames) {
        throw Error(QStringLiteral("%1 is not a complete configuration file").arg(fileName));
    }

    setAllChanged(true);
    ProductLabel->setText(model);
    MACLabel->setText(macText);
    VersionLabel->setText(version);
    // Record by record: one that does not decode stops the import where it stands.
    DecodeNetworkRecord(frames->network);
    for (const QByteArray& frame : frames->operation) DecodeOperationRecord(frame);
    for (const QByteArray& frame : frames->serial) DecodeSerialRecord(frame);
    ConfigTab->setCurrentIndex(0);
    ConfigTabTabChanged(0);
}

void TConfigForm::done(int result) {
    Q_UNUSED(result);
    ConfigUDP->close();
    QDialog::done(anyChanged() ? QDialog::Accepted : QDialog::Rejected);
}

bool TConfigForm::BringForwardIfOpen(QWidget* asker, const QString& macText, bool importing) {
    if (!isVisible()) return false;
    raise();
    activateWindow();
    if (importing) {
        platform().showMessage(
            asker, QStringLiteral("The configuration dialog is open for %1. Close it before you "
                                  "import a configuration.")
                       .arg(MacText()));
    } else if (macText != MacText()) {
        platform().showMessage(
            asker, QStringLiteral("The configuration dialog is open for %1. Close it before you "
                                  "configure another device.")
                       .arg(MacText()));
    }
    return true;
}

void TConfigForm::CheckDevicePortFree() const {
    if (isVisible() && ConfigUDP->isOpen()) {
        throw SocketError(
            QStringLiteral(
                "The configuration dialog is open and uses port %1. Close it, then try again")
                .arg(network_.listenPort));
    }
}

}  // namespace velomar
