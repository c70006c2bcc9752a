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
#include "core/ShownText.h"
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

// Whether a port grid has the row a record is for.
bool FitsPortGrid(int port, const RecordGridModel& grid) {
    return port >= 0 && port < grid.rowCount();
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

namespace {
// One of the device's identity labels, under its caption.
QLabel* AddIdentity(QVBoxLayout* column, const char* name, const QString& caption,
                    QWidget* parent) {
    auto* value = new QLabel(QStringLiteral("N/A"), parent);
    value->setObjectName(QString::fromLatin1(name));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    value->setTextFormat(Qt::PlainText);
    QFont bold = value->font();
    bold.setBold(true);
    value->setFont(bold);
    auto* label = new QLabel(caption, parent);
    label->setBuddy(value);
    column->addWidget(label);
    column->addWidget(value);
    column->addSpacing(12);
    return value;
}

QWidget* TabPage(QWidget* panel) {
    auto* p = new QWidget;
    auto* l = new QVBoxLayout(p);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(panel);
    return p;
}

QWidget* GridPanel(const char* name, const QString& caption, QTableView*& grid,
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
}
}  // namespace

void TConfigForm::buildUi() {
    setObjectName(QStringLiteral("ConfigForm"));
    setWindowTitle(QStringLiteral("Configure"));
    setAccessibleName(QStringLiteral("Configure"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(kWidth, kHeight);
    buildIdentityPanel();
    buildTabs();
    buildButtons();
    connectHandlers();
    ShowTabPanel(0);
}

void TConfigForm::buildIdentityPanel() {
    // Device identity on the left.
    auto* info = new QFrame(this);
    info->setObjectName(QStringLiteral("InfoPanel"));
    info->setAccessibleName(QStringLiteral("Device"));
    info->setFrameShape(QFrame::StyledPanel);
    info->setGeometry(8, 8, 150, kHeight - 16);
    auto* infoLayout = new QVBoxLayout(info);
    infoLayout->setContentsMargins(10, 14, 10, 12);
    infoLayout->setSpacing(4);
    ProductLabel = AddIdentity(infoLayout, "ProductLabel", QStringLiteral("Model :"), info);
    MACLabel = AddIdentity(infoLayout, "MACLabel", QStringLiteral("MAC Address :"), info);
    VersionLabel =
        AddIdentity(infoLayout, "VersionLabel", QStringLiteral("Firmware Version :"), info);
    infoLayout->addStretch(1);
}

void TConfigForm::buildTabs() {
    ConfigTab = new QTabWidget(this);
    ConfigTab->setObjectName(QStringLiteral("ConfigTab"));
    ConfigTab->setAccessibleName(QStringLiteral("Configuration"));
    ConfigTab->setGeometry(166, 8, kWidth - 166 - 8, kHeight - 8 - 50);
    tabPanel1 = new NetworkTab;
    opModel_ = new OperationGridModel(this);
    serialModel_ = new SerialGridModel(this);
    tabPanel2 =
        GridPanel("tabPanel2", QStringLiteral("Operation Mode"), OpGrid, opModel_, "OpGrid");
    tabPanel3 = GridPanel("tabPanel3", QStringLiteral("Serial Option"), SerialGrid, serialModel_,
                          "SerialGrid");
    ConfigTab->addTab(TabPage(tabPanel1), QStringLiteral("Network"));
    ConfigTab->addTab(TabPage(tabPanel2), QStringLiteral("Operation Mode"));
    ConfigTab->addTab(TabPage(tabPanel3), QStringLiteral("Serial Option"));
}

void TConfigForm::buildButtons() {
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
}

void TConfigForm::connectHandlers() {
    connect(ConfigTab, &QTabWidget::currentChanged, this, &TConfigForm::ConfigTabTabChanged);
    connect(tabPanel1, &NetworkTab::changed, this, [this] { networkChanged_ = true; });
    connect(opModel_, &RecordGridModel::userChanged, this, &TConfigForm::OpGridValueChanged);
    connect(serialModel_, &RecordGridModel::userChanged, this,
            &TConfigForm::SerialGridValueChanged);
    connect(FlatButton1, &QPushButton::clicked, this, &TConfigForm::FlatButton1Click);
    connect(FlatButton2, &QPushButton::clicked, this, &TConfigForm::FlatButton2Click);
    connect(FlatButton9, &QPushButton::clicked, this, &TConfigForm::FlatButton9Click);
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

QWidget* TConfigForm::panel(ConfigRecord record) const {
    switch (record) {
        case ConfigRecord::Network:
            return tabPanel1;
        case ConfigRecord::Operation:
            return tabPanel2;
        case ConfigRecord::Serial:
            break;
    }
    return tabPanel3;
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

// The device's own texts: plain text with escapes, never markup or terminal controls.
void TConfigForm::ShowDevice(const QString& model, const QString& macText, const QString& version) {
    ProductLabel->setText(ShownText(model));
    MACLabel->setText(macText);
    VersionLabel->setText(ShownText(version));
}

void TConfigForm::OpenForDevice(const QString& model, const QString& macText,
                                const QString& version) {
    setAllChanged(false);
    ShowDevice(model, macText, version);
    RequestRecord(ConfigRecord::Network);
    RequestRecord(ConfigRecord::Operation);
    RequestRecord(ConfigRecord::Serial);
    ConfigTab->setCurrentIndex(0);
    // Selecting the tab that is already current emits nothing; the switch runs anyway.
    ConfigTabTabChanged(0);
}

void TConfigForm::RequestRecord(ConfigRecord record) {
    const QByteArray request = exchange().request(record);
    openConfigUdp();
    panel(record)->setEnabled(false);
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
    // Only replies of our device, each long enough for its record, get here. A record for
    // a port the grids do not have is dropped before it is shown, where it would raise an
    // error: a stream of them costs no exception each. What still fails is dropped where it
    // failed; the next reply is handled normally.
    const std::optional<ConfigReply> reply = exchange().take(datagram);
    if (!reply) return;
    try {
        if (const auto* network = std::get_if<NetworkRecord>(&*reply)) {
            showNetworkRecord(*network);
            tabPanel1->setEnabled(true);
            FlatButton1->setEnabled(true);
        } else if (const auto* operation = std::get_if<OperationRecord>(&*reply)) {
            if (!FitsPortGrid(operation->port, *opModel_)) return;
            opModel_->show(*operation);
            tabPanel2->setEnabled(true);
            FlatButton1->setEnabled(true);
        } else if (const auto* serial = std::get_if<SerialRecord>(&*reply)) {
            if (!FitsPortGrid(serial->port, *serialModel_)) return;
            serialModel_->show(*serial);
            tabPanel3->setEnabled(true);
            FlatButton1->setEnabled(true);
        } else {
            FlatButton1->setEnabled(true);
            platform().showMessage(this, QStringLiteral("Configuration was successfully applied"));
        }
    } catch (const std::exception&) {
    }
}

void TConfigForm::DecodeNetworkRecord(const QByteArray& frame) {
    const auto record = NetworkRecord::decode(frame);
    if (!record) throw ShortRecordError(static_cast<int>(frame.size()));
    showNetworkRecord(*record);
}

void TConfigForm::showNetworkRecord(const NetworkRecord& record) {
    tabPanel1->ShowRecord(record);
    portCount_ = record.portCount;
    passThrough_ = record.passThrough;
    opModel_->resetRows(portCount_);
    serialModel_->resetRows(portCount_);
}

QByteArray TConfigForm::EncodeNetworkRecord() const {
    const ConfigExchange x = exchange();
    NetworkRecord r = tabPanel1->ReadRecord();
    r.portCount = static_cast<std::uint8_t>(portCount_);
    r.passThrough = passThrough_;
    return x.networkFrame(r);
}

void TConfigForm::DecodeOperationRecord(const QByteArray& frame) {
    opModel_->decode(frame);
}

QByteArray TConfigForm::EncodeOperationRecord(int port) const {
    const ConfigExchange x = exchange();
    return x.operationFrame(opModel_->record(port), port);
}

void TConfigForm::DecodeSerialRecord(const QByteArray& frame) {
    serialModel_->decode(frame);
}

QByteArray TConfigForm::EncodeSerialRecord(int port) const {
    const ConfigExchange x = exchange();
    return x.serialFrame(serialModel_->record(port), port);
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

QByteArray TConfigForm::encodeWrite(const RecordWrite& write) const {
    switch (write.record) {
        case ConfigRecord::Network:
            return EncodeNetworkRecord();
        case ConfigRecord::Operation:
            return EncodeOperationRecord(write.port);
        case ConfigRecord::Serial:
            break;
    }
    return EncodeSerialRecord(write.port);
}

void TConfigForm::sendWrites(const std::vector<RecordWrite>& writes) {
    // Each frame is made just before it goes: one that does not encode stops the writes
    // there, after the frames before it were sent.
    for (const RecordWrite& write : writes) {
        openConfigUdp();
        broadcast(encodeWrite(write));
    }
}

void TConfigForm::SendApply() {
    const QByteArray request = exchange().applyRequest();
    openConfigUdp();
    broadcast(request);
}

void TConfigForm::FlatButton1Click() {
    RunGuarded(this, [this] {
        // Disabled until the device answers; an error below leaves it so.
        FlatButton1->setEnabled(false);
        sendWrites(ConfigExchange::writeOrder(networkChanged_, operationChanged_, serialChanged_,
                                              portCount_));
        // A raised flag applies even when the device has no port to write.
        if (anyChanged()) {
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
    ShowDevice(model, macText, version);
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
