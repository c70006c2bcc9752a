#include "config/NetworkTab.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStringDecoder>

#include "core/ShownText.h"
#include "platform/TextEntry.h"
#include "protocol/Bytes.h"
#include "protocol/Codecs.h"
#include "protocol/DeviceName.h"
#include "protocol/ValueLists.h"

namespace velomar {

namespace {
int indexFor(const QComboBox* box, int index) {
    return index >= 0 && index < box->count() ? index : -1;
}

std::uint8_t choiceByte(const QComboBox* box) {
    return box->currentIndex() < 0 ? kNoChoice : static_cast<std::uint8_t>(box->currentIndex());
}

QGroupBox* BoldGroup(const QString& title, QWidget* parent) {
    auto* g = new QGroupBox(title, parent);
    // Only the caption is bold; style sheets do not pass the font on to the fields.
    g->setStyleSheet(QStringLiteral("QGroupBox { font-weight: bold; }"));
    return g;
}

QLabel* MakeLabel(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

QLineEdit* MakeEdit(const char* name, const QString& caption, int length, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setAccessibleName(caption);
    e->setMaxLength(length);
    return e;
}

QComboBox* MakeCombo(const char* name, const QString& caption, const QStringList& items,
                     QWidget* parent) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setAccessibleName(caption);
    c->addItems(items);
    return c;
}

QFormLayout* MakeForm(QGroupBox* group) {
    auto* form = new QFormLayout(group);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setVerticalSpacing(5);
    form->setContentsMargins(10, 8, 10, 8);
    return form;
}

}  // namespace

NetworkTab::NetworkTab(QWidget* parent) : QWidget(parent) {
    buildUi();
}

void NetworkTab::buildUi() {
    setObjectName(QStringLiteral("tabPanel1"));
    setAccessibleName(QStringLiteral("Network"));
    buildWanGroup();
    buildServicesGroup();
    buildLanPanel();
    layOutColumns();
    connectHandlers();
}

QLineEdit* NetworkTab::addressEdit(const char* name, const QString& caption, QWidget* parent) {
    auto* e = MakeEdit(name, caption, kAddressLength, parent);
    FilterTyping(e, &NetworkTab::IPAddressTextKeyPress);
    FilterPastes(e, AddressCharacterPasses);
    connect(e, &QLineEdit::textChanged, this, [this] { IPTextChange(); });
    return e;
}

void NetworkTab::buildWanGroup() {
    WanGroup = BoldGroup(QStringLiteral("WAN(Main) Network"), this);
    WanGroup->setObjectName(QStringLiteral("WanGroup"));
    auto* wan = MakeForm(WanGroup);
    DeviceNameText =
        MakeEdit("DeviceNameText", QStringLiteral("Device Name"), kNameTypingLength, WanGroup);
    NetworkTypeCombo =
        MakeCombo("NetworkTypeCombo", QStringLiteral("Network Type"), kNetworkTypeTexts, WanGroup);
    IPAddressText = addressEdit("IPAddressText", QStringLiteral("IP Address"), WanGroup);
    SubnetMaskText = addressEdit("SubnetMaskText", QStringLiteral("Subnet Mask"), WanGroup);
    GatewayText = addressEdit("GatewayText", QStringLiteral("Gateway"), WanGroup);
    DNSText = addressEdit("DNSText", QStringLiteral("DNS"), WanGroup);
    IPAddressLabel = MakeLabel(QStringLiteral("IP Address"), IPAddressText, WanGroup);
    SubnetMaskLabel = MakeLabel(QStringLiteral("Subnet Mask"), SubnetMaskText, WanGroup);
    GatewayLabel = MakeLabel(QStringLiteral("Gateway"), GatewayText, WanGroup);
    DNSLabel = MakeLabel(QStringLiteral("DNS"), DNSText, WanGroup);
    wan->addRow(MakeLabel(QStringLiteral("Device Name"), DeviceNameText, WanGroup), DeviceNameText);
    wan->addRow(MakeLabel(QStringLiteral("Network Type"), NetworkTypeCombo, WanGroup),
                NetworkTypeCombo);
    wan->addRow(IPAddressLabel, IPAddressText);
    wan->addRow(SubnetMaskLabel, SubnetMaskText);
    wan->addRow(GatewayLabel, GatewayText);
    wan->addRow(DNSLabel, DNSText);
}

void NetworkTab::buildServicesGroup() {
    ServicesGroup = BoldGroup(QStringLiteral("Network Services"), this);
    ServicesGroup->setObjectName(QStringLiteral("ServicesGroup"));
    auto* services = MakeForm(ServicesGroup);
    PelorinIPText =
        addressEdit("PelorinIPText", QStringLiteral("Pelorin server IP address"), ServicesGroup);
    PelorinPortText = MakeEdit("PelorinPortText", QStringLiteral("Pelorin server port"),
                               kPortLength, ServicesGroup);
    FilterTyping(PelorinPortText, &NetworkTab::PelorinPortTextKeyPress);
    FilterPastes(PelorinPortText, PortCharacterPasses);
    PelorinPortText->setFixedWidth(58);
    auto* pelorinRow = new QHBoxLayout;
    pelorinRow->setSpacing(6);
    pelorinRow->addWidget(PelorinIPText, 1);
    pelorinRow->addWidget(PelorinPortText);
    services->addRow(MakeLabel(QStringLiteral("Pelorin"), PelorinIPText, ServicesGroup),
                     pelorinRow);
    TelnetCombo = MakeCombo("TelnetCombo", QStringLiteral("Telnet"), kServiceTexts, ServicesGroup);
    SSHCombo = MakeCombo("SSHCombo", QStringLiteral("SSH"), kServiceTexts, ServicesGroup);
    FTPCombo = MakeCombo("FTPCombo", QStringLiteral("FTP"), kServiceTexts, ServicesGroup);
    WEBCombo = MakeCombo("WEBCombo", QStringLiteral("WEB"), kServiceTexts, ServicesGroup);
    for (QComboBox* c : {TelnetCombo, SSHCombo, FTPCombo, WEBCombo}) {
        services->addRow(MakeLabel(c->accessibleName(), c, ServicesGroup), c);
    }
}

void NetworkTab::buildLanPanel() {
    // Shown only for devices that have the port.
    LANPortPanel = new QWidget(this);
    LANPortPanel->setObjectName(QStringLiteral("LANPortPanel"));
    LANPortPanel->setAccessibleName(QStringLiteral("LAN port"));
    auto* lanPanelLayout = new QVBoxLayout(LANPortPanel);
    lanPanelLayout->setContentsMargins(0, 0, 0, 0);
    LanGroup = BoldGroup(QStringLiteral("LAN(Sub) Network"), LANPortPanel);
    LanGroup->setObjectName(QStringLiteral("LanGroup"));
    lanPanelLayout->addWidget(LanGroup);
    auto* lan = MakeForm(LanGroup);
    BridgeCombo =
        MakeCombo("BridgeCombo", QStringLiteral("Network Bridge"), kBridgeTexts, LanGroup);
    BridgeCombo->setCurrentIndex(-1);
    IPAddressText2 = addressEdit("IPAddressText2", QStringLiteral("LAN IP Address"), LanGroup);
    SubnetMaskText2 = addressEdit("SubnetMaskText2", QStringLiteral("LAN Subnet Mask"), LanGroup);
    IPAddressLabel2 = MakeLabel(QStringLiteral("IP Address"), IPAddressText2, LanGroup);
    SubnetMaskLabel2 = MakeLabel(QStringLiteral("Subnet Mask"), SubnetMaskText2, LanGroup);
    lan->addRow(MakeLabel(QStringLiteral("Network Bridge"), BridgeCombo, LanGroup), BridgeCombo);
    lan->addRow(IPAddressLabel2, IPAddressText2);
    lan->addRow(SubnetMaskLabel2, SubnetMaskText2);
}

void NetworkTab::layOutColumns() {
    // Two columns: the WAN settings on the left; services and the LAN port on the right,
    // each column packed to the top.
    auto* columns = new QHBoxLayout(this);
    columns->setContentsMargins(8, 8, 8, 8);
    columns->setSpacing(10);
    auto* left = new QVBoxLayout;
    left->addWidget(WanGroup);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->setSpacing(8);
    right->addWidget(ServicesGroup);
    right->addWidget(LANPortPanel);
    right->addStretch(1);
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);
}

void NetworkTab::connectHandlers() {
    connect(DeviceNameText, &QLineEdit::textChanged, this, [this] { DeviceNameTextChange(); });
    // The typing limit never cuts a longer name the device sent; see setDeviceName.
    connect(DeviceNameText, &QLineEdit::textEdited, this, [this](const QString& text) {
        DeviceNameText->setMaxLength(std::max<int>(kNameTypingLength, text.size()));
    });
    connect(PelorinPortText, &QLineEdit::textChanged, this, [this] { PelorinPortTextChange(); });
    connect(NetworkTypeCombo, &QComboBox::currentIndexChanged, this,
            [this] { NetworkTypeComboChange(); });
    connect(BridgeCombo, &QComboBox::currentIndexChanged, this, [this] { BridgeComboChange(); });
}

void NetworkTab::setDeviceName(const QString& text) {
    DeviceNameText->setMaxLength(std::max<int>(kNameTypingLength, text.size()));
    DeviceNameText->setText(text);
}

void NetworkTab::SetNetworkType(int index) {
    {
        // Selecting from code is not the user's choice: no handler runs.
        const QSignalBlocker block(NetworkTypeCombo);
        NetworkTypeCombo->setCurrentIndex(indexFor(NetworkTypeCombo, index));
    }
    const bool enabled = index != 1;
    for (QWidget* w :
         {static_cast<QWidget*>(IPAddressText), static_cast<QWidget*>(SubnetMaskText),
          static_cast<QWidget*>(GatewayText), static_cast<QWidget*>(DNSText),
          static_cast<QWidget*>(IPAddressLabel), static_cast<QWidget*>(SubnetMaskLabel),
          static_cast<QWidget*>(GatewayLabel), static_cast<QWidget*>(DNSLabel)}) {
        w->setEnabled(enabled);
    }
}

void NetworkTab::SetBridgeMode(int index) {
    {
        const QSignalBlocker block(BridgeCombo);
        BridgeCombo->setCurrentIndex(indexFor(BridgeCombo, index));
    }
    const bool enabled = index != 0;
    for (QWidget* w :
         {static_cast<QWidget*>(IPAddressText2), static_cast<QWidget*>(SubnetMaskText2),
          static_cast<QWidget*>(IPAddressLabel2), static_cast<QWidget*>(SubnetMaskLabel2)}) {
        w->setEnabled(enabled);
    }
}

void NetworkTab::NetworkTypeComboChange() {
    SetNetworkType(NetworkTypeCombo->currentIndex());
    emit changed();
}

void NetworkTab::BridgeComboChange() {
    SetBridgeMode(BridgeCombo->currentIndex());
    emit changed();
}

void NetworkTab::IPTextChange() {
    emit changed();
}

void NetworkTab::DeviceNameTextChange() {
    emit changed();
}

void NetworkTab::PelorinPortTextChange() {
    emit changed();
}

bool NetworkTab::IPAddressTextKeyPress(QChar key) {
    return AddressCharacterPasses(key);
}

bool NetworkTab::PelorinPortTextKeyPress(QChar key) {
    return PortCharacterPasses(key);
}

void NetworkTab::ShowRecord(const NetworkRecord& r) {
    SetNetworkType(r.networkType);
    IPAddressText->setText(BytesToIp(r.ip));
    GatewayText->setText(BytesToIp(r.gateway));
    SubnetMaskText->setText(BytesToIp(r.mask));
    DNSText->setText(BytesToIp(r.dns));

    // The whole field is decoded; a field that is not valid UTF-8 (a character cut at its
    // end, say) gives an empty name. What shows ends at the first NUL.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString whole = utf8.decode(r.name);
    if (utf8.hasError()) whole.clear();
    // Control characters show as escapes; the name goes back as it came unless edited.
    receivedName_ = UpToNul(whole);
    setDeviceName(ShownText(receivedName_));
    // The device's text still carries its NUL fill, which no edit text equals: a name
    // shorter than the field is a change like any other written text.
    if (whole.contains(QChar(0))) DeviceNameTextChange();

    PelorinIPText->setText(BytesToIp(r.pelorinIp));
    PelorinPortText->setText(QString::number(r.pelorinPort));
    TelnetCombo->setCurrentIndex(indexFor(TelnetCombo, r.telnet));
    SSHCombo->setCurrentIndex(indexFor(SSHCombo, r.ssh));
    FTPCombo->setCurrentIndex(indexFor(FTPCombo, r.ftp));
    WEBCombo->setCurrentIndex(indexFor(WEBCombo, r.web));
    LANPortPanel->setHidden(!r.hasLanPort());
    SetBridgeMode(r.bridge);
    IPAddressText2->setText(BytesToIp(r.lanIp));
    SubnetMaskText2->setText(BytesToIp(r.lanMask));
}

NetworkRecord NetworkTab::ReadRecord() const {
    NetworkRecord r;
    r.letter = Letter::NetworkRequest;
    r.networkType = choiceByte(NetworkTypeCombo);
    r.ip = IpToBytesStrict(IPAddressText->text());
    r.gateway = IpToBytesStrict(GatewayText->text());
    r.mask = IpToBytesStrict(SubnetMaskText->text());
    r.dns = IpToBytesStrict(DNSText->text());
    const QString name = DeviceNameText->text();
    r.name = EncodeDeviceName(name == ShownText(receivedName_) ? receivedName_ : name);
    r.pelorinIp = IpToBytesStrict(PelorinIPText->text());
    r.pelorinPort = WordAt(WordToBytesStrict(PelorinPortText->text()));
    r.telnet = choiceByte(TelnetCombo);
    r.ssh = choiceByte(SSHCombo);
    r.ftp = choiceByte(FTPCombo);
    r.web = choiceByte(WEBCombo);
    // Hidden or not, the LAN controls are sent as they stand.
    r.lanPresent = LANPortPanel->isHidden() ? 0 : 1;
    r.bridge = choiceByte(BridgeCombo);
    r.lanIp = IpToBytesStrict(IPAddressText2->text());
    r.lanMask = IpToBytesStrict(SubnetMaskText2->text());
    return r;
}

}  // namespace velomar
