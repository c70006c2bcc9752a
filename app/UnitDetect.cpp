#include "app/UnitDetect.h"

#include <QAction>
#include <QClipboard>
#include <QFontMetrics>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QShortcut>
#include <QTableView>
#include <algorithm>
#include <optional>

#include "app/BulkApply.h"
#include "app/DeviceListExport.h"
#include "app/DeviceWebTelnet.h"
#include "app/FirmwareUpgrade.h"
#include "app/UnitSearchIP.h"
#include "config/UnitConfigure.h"
#include "core/Discovery.h"
#include "core/Problems.h"
#include "net/LocalAddresses.h"
#include "platform/Platform.h"
#include "protocol/Bytes.h"
#include "protocol/Codecs.h"
#include "protocol/Frame.h"

namespace velomar {

DetectNetwork DetectNetwork::host() {
    return DetectNetwork{LocalIPv4Addresses(), kDevicePort};
}

TFormDetect::TFormDetect(const DetectNetwork& network, QWidget* parent)
    : QWidget(parent),
      devices_(std::make_unique<DeviceTableModel>()),
      endpoints_(network.localAddresses),
      localAddresses_(network.localAddresses) {
    udpServer_ =
        std::make_unique<ListeningEndpoint>([this](const QByteArray& d, const QString& a,
                                                   std::uint16_t p) { UDPServerUDPRead(d, a, p); },
                                            network.port);
    udpServer_->setReceiveBufferRequest(network.receiveBuffer, network.mayExceedCeiling);
    // The end of a burst: what arrived goes into the table now rather than at the next tick.
    udpServer_->onQuiet = [this] { inbox_->takeSoon(); };
    // A firmware reply goes into its slot straight from the listener: the transfer waits
    // for it before it sends the next block.
    udpServer_->takeDirectly = [this](const char* data, int length) {
        const QByteArray datagram = QByteArray::fromRawData(data, length);
        if (ReplyLetter(datagram) != Letter::FirmwareReply) return false;
        firmwareReply_.store(QByteArray(data, length));
        return true;
    };
    listenPort_ = network.port;
    buildUi();
    inbox_ = std::make_unique<ReplyInbox>(this, kTakeIntervalMs, [this] { TakeReceivedDevices(); });
}

TFormDetect::~TFormDetect() {
    udpServer_->close();
}

namespace {
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(caption);
    return b;
}
}  // namespace

void TFormDetect::buildUi() {
    placeWindow();
    buildToolbar();
    buildTablePanel();
    buildLabels();
    buildSearchPanel();
    buildFirmwarePanel();
    connectHandlers();
}

void TFormDetect::placeWindow() {
    setObjectName(QStringLiteral("FormDetect"));
    setWindowTitle(kMainWindowTitle);
    setAccessibleName(kMainWindowTitle);
    setFixedSize(977, 538);
    setWindowFlags(Qt::Window | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // Opens in the middle of its screen's free area; on a screen too small for it, its top
    // left corner (and so its title bar) stays on the screen.
    if (const QScreen* display = screen()) {
        const QRect area = display->availableGeometry();
        move(std::max(area.left(), area.left() + (area.width() - width()) / 2),
             std::max(area.top(), area.top() + (area.height() - height()) / 2));
    }
}

void TFormDetect::buildToolbar() {
    FlatPanel1 = new QWidget(this);
    FlatPanel1->setObjectName(QStringLiteral("FlatPanel1"));
    FlatPanel1->setAccessibleName(QStringLiteral("Toolbar"));
    FlatPanel1->setGeometry(8, 8, 860, 40);
    auto* bar = new QHBoxLayout(FlatPanel1);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(6);
    FlatButton2 = MakeButton(FlatPanel1, "FlatButton2", QStringLiteral("Search"));
    FlatButton3 = MakeButton(FlatPanel1, "FlatButton3", QStringLiteral("Search IP"));
    FlatButton8 = MakeButton(FlatPanel1, "FlatButton8", QStringLiteral("Configure"));
    FlatButton10 = MakeButton(FlatPanel1, "FlatButton10", QStringLiteral("Import"));
    FlatButton5 = MakeButton(FlatPanel1, "FlatButton5", QStringLiteral("Telnet"));
    FlatButton4 = MakeButton(FlatPanel1, "FlatButton4", QStringLiteral("Web"));
    FlatButton7 = MakeButton(FlatPanel1, "FlatButton7", QStringLiteral("Upgrade Firmware"));
    FlatButton4->setProperty("tag", 11);
    FlatButton5->setProperty("tag", 12);
    for (QPushButton* b : {FlatButton2, FlatButton3, FlatButton8, FlatButton10, FlatButton5,
                           FlatButton4, FlatButton7}) {
        b->setMinimumHeight(34);
        bar->addWidget(b);
    }
    bar->addStretch(1);

    FlatButton1 = MakeButton(this, "FlatButton1", QStringLiteral("Apply"));
    FlatButton1->setGeometry(977 - 8 - 95, 8, 95, 34);
}

void TFormDetect::buildTablePanel() {
    FlatPanel2 = new QWidget(this);
    FlatPanel2->setObjectName(QStringLiteral("FlatPanel2"));
    FlatPanel2->setAccessibleName(QStringLiteral("Device table panel"));
    FlatPanel2->setGeometry(8, 56, 961, 446);
    auto* tableLayout = new QVBoxLayout(FlatPanel2);
    tableLayout->setContentsMargins(0, 0, 0, 0);
    tableLayout->setSpacing(2);
    buildTable();
    buildTableActions();
    tableLayout->addWidget(RGrid);
    // Hidden until a search finds something wrong: then it takes a line under the table.
    lblproblems = new QLabel(FlatPanel2);
    lblproblems->setObjectName(QStringLiteral("lblproblems"));
    lblproblems->setAccessibleDescription(QStringLiteral("Address problems"));
    lblproblems->setStyleSheet(QStringLiteral("color: rgb(160, 0, 0);"));
    lblproblems->hide();
    tableLayout->addWidget(lblproblems);
}

void TFormDetect::buildLabels() {
    lblcount = new QLabel(this);
    lblcount->setObjectName(QStringLiteral("lblcount"));
    // A label's accessible name would replace the count it shows: readers get the text as
    // its name and this as what it is.
    lblcount->setAccessibleDescription(QStringLiteral("Device count"));
    lblcount->setGeometry(10, 508, 300, 22);

    lblloss = new QLabel(this);
    lblloss->setObjectName(QStringLiteral("lblloss"));
    lblloss->setGeometry(320, 508, 649, 22);
    lblloss->setStyleSheet(QStringLiteral("color: rgb(160, 0, 0);"));
}

void TFormDetect::buildSearchPanel() {
    PnlTime = new QFrame(this);
    PnlTime->setObjectName(QStringLiteral("PnlTime"));
    PnlTime->setAccessibleName(QStringLiteral("Search countdown"));
    PnlTime->setFrameShape(QFrame::Box);
    PnlTime->setAutoFillBackground(true);
    QPalette pal = PnlTime->palette();
    pal.setColor(QPalette::Window, QColor(232, 255, 255));
    pal.setColor(QPalette::WindowText, Qt::black);
    PnlTime->setPalette(pal);
    PnlTime->setGeometry((977 - 297) / 2, (538 - 55) / 2, 297, 55);
    auto* timeLayout = new QHBoxLayout(PnlTime);
    PnlTimeCaption = new QLabel(PnlTime);
    PnlTimeCaption->setObjectName(QStringLiteral("PnlTimeCaption"));
    PnlTimeCaption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    timeLayout->addWidget(PnlTimeCaption, 1);
    FlatButton6 = MakeButton(PnlTime, "FlatButton6", QStringLiteral("Stop"));
    timeLayout->addWidget(FlatButton6);
    PnlTime->hide();

    TimerFIND = new QTimer(this);
    TimerFIND->setObjectName(QStringLiteral("TimerFIND"));
    TimerFIND->setInterval(1000);
}

void TFormDetect::buildFirmwarePanel() {
    FlatPanel3 = new QFrame(this);
    FlatPanel3->setObjectName(QStringLiteral("FlatPanel3"));
    FlatPanel3->setAccessibleName(QStringLiteral("Firmware progress"));
    FlatPanel3->setFrameShape(QFrame::Box);
    FlatPanel3->setAutoFillBackground(true);
    FlatPanel3->setGeometry((977 - 420) / 2, (538 - 90) / 2, 420, 90);
    auto* progressLayout = new QVBoxLayout(FlatPanel3);
    FUWait = new QLabel(QStringLiteral("Waiting For Complete..."), FlatPanel3);
    FUWait->setObjectName(QStringLiteral("FUWait"));
    FUWait->setAlignment(Qt::AlignCenter);
    UpdateProgress = new QProgressBar(FlatPanel3);
    UpdateProgress->setObjectName(QStringLiteral("UpdateProgress"));
    UpdateProgress->setAccessibleName(QStringLiteral("Firmware progress"));
    progressLayout->addWidget(FUWait);
    progressLayout->addWidget(UpdateProgress);
    FlatPanel3->hide();
}

void TFormDetect::connectHandlers() {
    connect(TimerFIND, &QTimer::timeout, this, &TFormDetect::TimerFINDTimer);
    connect(FlatButton1, &QPushButton::clicked, this, &TFormDetect::FlatButton1Click);
    connect(FlatButton2, &QPushButton::clicked, this, &TFormDetect::FlatButton2Click);
    connect(FlatButton3, &QPushButton::clicked, this, &TFormDetect::FlatButton3Click);
    connect(FlatButton4, &QPushButton::clicked, this, &TFormDetect::FlatButton4Click);
    connect(FlatButton5, &QPushButton::clicked, this, &TFormDetect::FlatButton4Click);
    connect(FlatButton6, &QPushButton::clicked, this, &TFormDetect::FlatButton6Click);
    connect(FlatButton7, &QPushButton::clicked, this, &TFormDetect::FlatButton7Click);
    connect(FlatButton8, &QPushButton::clicked, this, &TFormDetect::FlatButton8Click);
    connect(FlatButton10, &QPushButton::clicked, this, &TFormDetect::FlatButton10Click);
}

void TFormDetect::buildTable() {
    RGrid = new DeviceTableView(FlatPanel2);
    RGrid->setObjectName(QStringLiteral("RGrid"));
    RGrid->setAccessibleName(QStringLiteral("Device table"));
    RGrid->setModel(devices_.get());
    RGrid->verticalHeader()->setVisible(false);
    RGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    RGrid->verticalHeader()->setMinimumSectionSize(20);
    RGrid->verticalHeader()->setDefaultSectionSize(20);
    QHeaderView* header = RGrid->horizontalHeader();
    header->setFixedHeight(21);
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignCenter);
    header->setStyleSheet(QStringLiteral(
        "QHeaderView::section { background-color: rgb(223, 223, 223); color: rgb(85, 85, 85);"
        " font-weight: bold; border: none; border-right: 1px solid rgb(160, 160, 160);"
        " border-bottom: 1px solid rgb(160, 160, 160); padding: 0px 2px; }"));
    const int widths[] = {107, 119, 80, 150, 107, 103, 106, 98, 87};
    for (int c = 0; c <= DeviceTableModel::ColApply; ++c) RGrid->setColumnWidth(c, widths[c]);
    for (int c = DeviceTableModel::ColHidden0; c < DeviceTableModel::ColumnCount; ++c)
        RGrid->setColumnHidden(c, true);
    RGrid->setShowGrid(true);
    RGrid->setGridStyle(Qt::SolidLine);
    // Light green selection with black text, in every state, so the selected device stays
    // visible while another control has the focus.
    QPalette pal = RGrid->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::Base, Qt::white);
        pal.setColor(group, QPalette::Text, Qt::black);
        pal.setColor(group, QPalette::Highlight, QColor(204, 255, 204));
        pal.setColor(group, QPalette::HighlightedText, Qt::black);
    }
    // While a search runs the table is disabled: the selection stays green, only paler.
    pal.setColor(QPalette::Disabled, QPalette::Highlight, QColor(226, 240, 226));
    pal.setColor(QPalette::Disabled, QPalette::HighlightedText, QColor(120, 120, 120));
    RGrid->setPalette(pal);
    // A MAC address has to fit the 119 pixels of its column (with the cell's margins).
    QFont tableFont = RGrid->font();
    while (tableFont.pointSizeF() > 6.5 && QFontMetrics(tableFont).horizontalAdvance(
                                               QStringLiteral("00-0A-BB-CC-DD-EE")) > 119 - 10) {
        tableFont.setPointSizeF(tableFont.pointSizeF() - 0.5);
    }
    RGrid->setFont(tableFont);

    RGrid->cellDelegate()->keyFilter = [this](QChar& key, int) { RGridKeyPress(key); };
    connect(RGrid->cellDelegate(), &DeviceCellDelegate::userChangedRow, this,
            &TFormDetect::userChangedRow);
    connect(devices_.get(), &DeviceTableModel::applyToggledByUser, this,
            &TFormDetect::userChangedRow);
    connect(RGrid, &DeviceTableView::viewportDoubleClicked, this, &TFormDetect::RGridDblClick);
    connect(RGrid, &DeviceTableView::rowOpened, this, &TFormDetect::RGridDblClick);
    // F5 searches, as in a browser; the button says so.
    auto* search = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(search, &QShortcut::activated, this, [this] {
        if (FlatButton2->isEnabled() && FlatButton2->isVisible()) FlatButton2->click();
    });
    FlatButton2->setToolTip(QStringLiteral("Search (F5)"));
    connect(RGrid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { RGridRowEnter(); });
}

void TFormDetect::RGridRowEnter() {
    const QModelIndex current = RGrid->currentIndex();
    selectedRow_ = current.isValid() ? current.row() : 0;
    // Leaving a row takes its changes over; the next change to any row is a new editing.
    editingRow_ = -1;
}

void TFormDetect::userChangedRow(int row) {
    if (row == editingRow_) return;
    editingRow_ = row;
    RGridAfterEdit();
}

void TFormDetect::RGridAfterEdit() {
    const QModelIndex current = RGrid->currentIndex();
    if (current.isValid() && current.row() < devices_->count())
        devices_->setApply(current.row(), true);
}

void TFormDetect::RGridKeyPress(QChar& key) {
    if (!DeviceTableModel::keyPasses(RGrid->currentIndex().column(), key)) key = QChar();
}

void TFormDetect::OpenUDPServer() {
    if (configForm_) configForm_->CheckDevicePortFree();
    udpServer_->open();
}

void TFormDetect::CloseUDPServer() {
    udpServer_->close();
    // The listener has ended: whatever it received before the close belongs to the table
    // now, and nothing can arrive after this returns.
    TakeReceivedDevices();
}

void TFormDetect::ClearDevices() {
    devices_->clearDevices();
    lblloss->clear();
    lblproblems->clear();
    lblproblems->hide();
    selectedRow_ = 0;
    editingRow_ = -1;
    RGrid->viewport()->update();
}

void TFormDetect::StartSearch() {
    // Refused before the table is cleared when the open configuration dialog holds the port.
    if (configForm_) configForm_->CheckDevicePortFree();
    ClearDevices();
    OpenUDPServer();
    dropsAtSearchStart_ = udpServer_->dropped().value_or(0);
    // The window shows the search before the request leaves: painting it while a burst of
    // replies arrives would take the CPU from the listener.
    ShowSearching(true);
    if (isVisible()) repaint();
    try {
        BroadcastFrame(endpoints_, DiscoveryRequest(), kDevicePort);
    } catch (...) {
        ShowSearching(false);
        throw;
    }
    searchBaseline_ = -1;
    SetSearching(true);
}

void TFormDetect::ShowSearching(bool on) {
    searchCountdown_ = 10;
    PnlTimeCaption->setText(QStringLiteral("        Remain timeout = 10sec"));
    PnlTime->setVisible(on);
    FlatPanel1->setEnabled(!on);
    FlatPanel2->setEnabled(!on);
}

void TFormDetect::SetSearching(bool on) {
    ShowSearching(on);
    if (on) {
        TimerFIND->start();
    } else {
        TimerFIND->stop();
    }
    if (on) {
        OpenUDPServer();
    } else {
        CloseUDPServer();
        ReportLostReplies();
        FlagProblems();
    }
}

void TFormDetect::buildTableActions() {
    auto add = [this](const QString& text, const std::function<void()>& run) {
        auto* a = new QAction(text, RGrid);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(a, &QAction::triggered, this, [this, run] { RunGuarded(this, run); });
        RGrid->addAction(a);
        return a;
    };
    add(QStringLiteral("Copy"), [this] { CopyRows(false); })->setShortcut(QKeySequence::Copy);
    add(QStringLiteral("Copy all rows"), [this] { CopyRows(true); });
    add(QStringLiteral("Save list as CSV\u2026"), [this] { SaveListAsCsv(); });
    // The menu opens on a right click, the menu key and Shift+F10.
    RGrid->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TFormDetect::CopyRows(bool all) {
    if (DeviceCount() == 0) return;
    QList<int> rows;
    for (int row = all ? 0 : selectedRow_; row < (all ? DeviceCount() : selectedRow_ + 1); ++row)
        rows << row;
    QGuiApplication::clipboard()->setText(RowsAsText(*devices_, rows));
}

void TFormDetect::SaveListAsCsv() {
    const QString path = platform().saveFileName(
        this, FileDialogRequest{
                  QStringLiteral("Save list as CSV"),
                  QStringLiteral("devices.csv"),
                  QStringLiteral("csv"),
                  {QStringLiteral("All files (*.*)"), QStringLiteral("CSV files (*.csv)")}});
    if (path.isEmpty()) return;
    const QByteArray bytes = ListAsCsv(*devices_);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw Error(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
}

void TFormDetect::FlagProblems() {
    std::vector<ProblemDevice> rows;
    for (int row = 0; row < DeviceCount(); ++row) {
        const DeviceEntry& e = devices_->entry(row);
        rows.push_back({UpToNul(e.mac), UpToNul(e.ip)});
    }
    const QList<LocalSubnet> subnets = LocalSubnets(localAddresses_);
    devices_->setProblems(DeviceProblems(rows, subnets));
    const QString summary = ProblemSummary(rows, subnets);
    lblproblems->setText(summary);
    lblproblems->setVisible(!summary.isEmpty());
}

void TFormDetect::ReportLostReplies() {
    // Only where the system counts its drops; a search without loss says nothing.
    const std::optional<std::uint64_t> dropped = udpServer_->dropped();
    if (!dropped || *dropped <= dropsAtSearchStart_) {
        lblloss->clear();
        return;
    }
    const std::uint64_t lost = *dropped - dropsAtSearchStart_;
    lblloss->setText(
        QStringLiteral("%1 %2 lost: this computer could not take them in time. "
                       "A new Search may find more devices.")
            .arg(lost)
            .arg(lost == 1 ? QStringLiteral("reply was") : QStringLiteral("replies were")));
}

void TFormDetect::TimerFINDTimer() {
    --searchCountdown_;
    PnlTimeCaption->setText(QStringLiteral("        Remain timeout = %1sec").arg(searchCountdown_));
    PnlTime->repaint();
    if (searchCountdown_ == 0) {
        SetSearching(false);
        if (udpServer_->isOpen()) CloseUDPServer();
        if (searchBaseline_ != -1 && searchBaseline_ == DeviceCount()) {
            platform().showMessage(this, QStringLiteral("There is no tervane."));
        }
    }
}

void TFormDetect::UDPServerUDPRead(const QByteArray& datagram, const QString&, std::uint16_t) {
    const auto letter = ReplyLetter(datagram);
    if (!letter) return;
    if (*letter == Letter::FirmwareReply) {
        firmwareReply_.store(datagram);
        return;
    }
    if (IsDiscoveryReply(datagram)) inbox_->put(datagram);
}

void TFormDetect::TakeReceivedDevices() {
    const QVector<QByteArray> batch = inbox_->takeAll();
    if (batch.isEmpty()) return;
    const int added = devices_->addReplies(batch);
    if (added == 0) return;
    lblcount->setText(QStringLiteral("Current : %1").arg(DeviceCount()));
    // The first row becomes the current one, as the table shows it selected.
    if (!RGrid->currentIndex().isValid())
        RGrid->setCurrentIndex(devices_->index(0, DeviceTableModel::ColName));
}

void TFormDetect::FlatButton2Click() {
    RunGuarded(this, [this] { StartSearch(); });
}

void TFormDetect::FlatButton3Click() {
    RunGuarded(this, [this] {
        auto dialog = std::make_unique<TFormSearchIP>(this);
        if (dialog->exec() != QDialog::Accepted) return;
        const QString address = dialog->address();
        ClearDevices();
        searchBaseline_ = DeviceCount();
        OpenUDPServer();
        dropsAtSearchStart_ = udpServer_->dropped().value_or(0);
        // Sent from the listening endpoint itself, so the answer comes back to port 2057;
        // without broadcast permission a broadcast address is refused by the system.
        udpServer_->setBroadcast(false);
        udpServer_->sendTo(DiscoveryRequest(), address, kDevicePort);
        dialog.reset();
        SetSearching(true);
    });
}

void TFormDetect::FlatButton6Click() {
    RunGuarded(this, [this] { SetSearching(false); });
}

// The buttons below get their behaviour with the features they belong to.
void TFormDetect::FlatButton1Click() {
    RunGuarded(this, [this] { ApplyTickedRows(*this); });
}

void TFormDetect::FlatButton4Click() {
    const QObject* button = sender();
    const int tag = button ? button->property("tag").toInt() : 0;
    RunGuarded(this, [this, tag] { OpenDevice(tag); });
}

void TFormDetect::OpenDevice(int tag) {
    if (DeviceCount() == 0) {
        platform().showMessage(
            this, QStringLiteral("There is no Tervane.\r\nPlease search the Tervane."));
        return;
    }
    OpenDeviceWebOrTelnet(this, devices_->entry(selectedRow_), tag);
}

void TFormDetect::FlatButton7Click() {
    FirmwareUpgrade(*this).run();
}

bool TFormDetect::OpenConfigForm() {
    if (DeviceCount() == 0 || selectedRow_ < 0 || !configForm_) return false;
    auto text = [this](int column) { return UpToNul(devices_->cellText(selectedRow_, column)); };
    const QString mac = text(DeviceTableModel::ColMac);
    if (configForm_->BringForwardIfOpen(this, mac)) return false;
    CloseUDPServer();
    configForm_->OpenForDevice(text(DeviceTableModel::ColModel), mac,
                               text(DeviceTableModel::ColVersion));
    return true;
}

void TFormDetect::FlatButton8Click() {
    RunGuarded(this, [this] {
        if (!OpenConfigForm()) return;
        if (configForm_->exec() == QDialog::Accepted) StartSearch();
    });
}

void TFormDetect::FlatButton10Click() {
    RunGuarded(this, [this] {
        if (DeviceCount() == 0 || selectedRow_ < 0 || !configForm_) return;
        auto text = [this](int column) {
            return UpToNul(devices_->cellText(selectedRow_, column));
        };
        const QString mac = text(DeviceTableModel::ColMac);
        if (configForm_->BringForwardIfOpen(this, mac, true)) return;
        CloseUDPServer();
        const QString path = platform().openFileName(
            this, FileDialogRequest{QStringLiteral("Import Configuration from file"),
                                    QStringLiteral("default.vlm"),
                                    QStringLiteral("vlm"),
                                    {QStringLiteral("All files (*.*)"),
                                     QStringLiteral("Velomar files (*.vlm)")}});
        if (path.isEmpty()) return;
        configForm_->ImportFromFile(path, text(DeviceTableModel::ColModel), mac,
                                    text(DeviceTableModel::ColVersion));
        if (configForm_->exec() == QDialog::Accepted) StartSearch();
    });
}

void TFormDetect::RGridDblClick() {
    RunGuarded(this, [this] {
        if (!OpenConfigForm()) return;
        configForm_->setModal(false);
        configForm_->show();
    });
}

}  // namespace velomar
