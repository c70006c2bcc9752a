#pragma once

#include <QAtomicInt>
#include <QStringList>
#include <QTimer>
#include <QVector>
#include <QWidget>
#include <memory>

#include "app/DeviceTable.h"
#include "app/ReplyInbox.h"
#include "core/FirmwareReplySlot.h"
#include "core/FirmwareTransfer.h"
#include "net/InterfaceEndpoints.h"
#include "net/ListeningEndpoint.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;
class QFrame;

namespace velomar {

class TConfigForm;

// The main window's caption; message boxes carry kAppTitle instead.
inline const QString kMainWindowTitle = QStringLiteral("Velomar v1.2");

// Where the main window's endpoints live: the local addresses (read once) and the
// listening port. The product uses the host's addresses and 2057; tests may narrow them.
struct DetectNetwork {
    QStringList localAddresses;
    std::uint16_t port = 2057;
    // The listening endpoint's receive buffer: the largest the system allows, unless a
    // test or benchmark asks for what an ordinary workstation gets.
    int receiveBuffer = ListeningEndpoint::kDefaultReceiveBuffer;
    bool mayExceedCeiling = true;
    static DetectNetwork host();
};

// The main window.
class TFormDetect : public QWidget {
    Q_OBJECT
  public:
    explicit TFormDetect(const DetectNetwork& network = DetectNetwork::host(),
                         QWidget* parent = nullptr);
    // The configuration dialog is created after the main window and lives as long.
    void setConfigForm(TConfigForm* form) { configForm_ = form; }
    ~TFormDetect() override;

    // State other parts read.
    int DeviceCount() const { return devices_->rowCount(); }
    int SelectedRow() const { return selectedRow_; }
    int SearchBaseline() const { return searchBaseline_; }
    int SearchCountdown() const { return searchCountdown_; }
    DeviceTableModel& devices() { return *devices_; }
    ListeningEndpoint& udpServer() { return *udpServer_; }
    InterfaceEndpoints& interfaceEndpoints() { return endpoints_; }
    FirmwareReplySlot& firmwareReply() { return firmwareReply_; }
    TConfigForm* configForm() const { return configForm_; }
    // The clock of the firmware waits (the steady clock unless a test puts in its own).
    void setFirmwareClock(WaitClock* clock) { firmwareClock_ = clock ? clock : &steadyWaitClock(); }
    WaitClock& firmwareClock() const { return *firmwareClock_; }
    std::uint16_t listenPort() const { return listenPort_; }
    // The rows' changes are taken over (applied): the next change of any row ticks it again.
    void takeOverRowChanges() { editingRow_ = -1; }

    // Operations.
    void StartSearch();
    void SetSearching(bool on);
    void TimerFINDTimer();
    // Read handler of UDPServer; runs on its listener thread.
    void UDPServerUDPRead(const QByteArray& datagram, const QString& senderAddress,
                          std::uint16_t senderPort);
    void ClearDevices();
    // Web (tag 11) or Telnet (tag 12) for the selected row, after its ARP entry.
    void OpenDevice(int tag);
    // Device table handlers.
    void RGridRowEnter();
    void RGridAfterEdit();
    void RGridKeyPress(QChar& key);
    // Opens / closes UDPServer; closing also takes over every entry received before it.
    void OpenUDPServer();
    void CloseUDPServer();
    // Takes the entries the listener has decoded into the table (UI thread).
    void TakeReceivedDevices();
    // How often the table takes new entries while replies keep arriving; when they stop,
    // it takes them at once.
    static constexpr int kTakeIntervalMs = 250;

  public slots:
    void FlatButton1Click();   // "Apply"
    void FlatButton2Click();   // "Search"
    void FlatButton3Click();   // "Search IP"
    void FlatButton4Click();   // "Web" (tag 11) and "Telnet" (tag 12)
    void FlatButton6Click();   // "Stop"
    void FlatButton7Click();   // "Upgrade Firmware"
    void FlatButton8Click();   // "Configure"
    void FlatButton10Click();  // "Import"
    void RGridDblClick();

  private:
    // The window's features that work its components.
    friend class FirmwareUpgrade;
    friend void ApplyTickedRows(TFormDetect& window);

    // Named components; tests find them by their object names.
    QWidget* FlatPanel1 = nullptr;  // toolbar
    QWidget* FlatPanel2 = nullptr;  // table panel
    QFrame* FlatPanel3 = nullptr;   // firmware progress panel
    QFrame* PnlTime = nullptr;      // search countdown panel
    QLabel* PnlTimeCaption = nullptr;
    QLabel* lblcount = nullptr;
    QLabel* lblloss = nullptr;      // replies the system dropped during the last search
    QLabel* lblproblems = nullptr;  // under the table: shared and unreachable addresses
    QLabel* FUWait = nullptr;
    QProgressBar* UpdateProgress = nullptr;
    DeviceTableView* RGrid = nullptr;
    QTimer* TimerFIND = nullptr;
    QPushButton* FlatButton1 = nullptr;   // Apply
    QPushButton* FlatButton2 = nullptr;   // Search
    QPushButton* FlatButton3 = nullptr;   // Search IP
    QPushButton* FlatButton4 = nullptr;   // Web
    QPushButton* FlatButton5 = nullptr;   // Telnet
    QPushButton* FlatButton6 = nullptr;   // Stop
    QPushButton* FlatButton7 = nullptr;   // Upgrade Firmware
    QPushButton* FlatButton8 = nullptr;   // Configure
    QPushButton* FlatButton10 = nullptr;  // Import

    // The window in a few steps: its place, the toolbar, the table, the labels under it,
    // the two panels shown over it, and the handlers.
    void buildUi();
    void placeWindow();
    void buildToolbar();
    void buildTablePanel();
    void buildLabels();
    void buildSearchPanel();
    void buildFirmwarePanel();
    void connectHandlers();
    // The search's look: countdown panel, toolbar and table (no timer, no endpoint).
    void ShowSearching(bool on);
    // Steps shared by "Configure" and the double-click: the selected row's device into the
    // dialog, UDPServer closed. False when there is nothing to open (or the dialog is
    // already open without modality and was only brought forward).
    bool OpenConfigForm();
    void buildTable();
    // Reports a user change of a row once per editing of that row.
    void userChangedRow(int row);
    // Says under the table whether the search that just ended lost replies.
    void ReportLostReplies();
    void FlagProblems();
    // The table's context menu and Ctrl+C: copy the row, copy every row, save the list.
    void buildTableActions();
    void CopyRows(bool all);
    void SaveListAsCsv();

    TConfigForm* configForm_ = nullptr;
    std::unique_ptr<DeviceTableModel> devices_;
    InterfaceEndpoints endpoints_;
    QStringList localAddresses_;  // whose subnets a device's address should lie in
    std::unique_ptr<ListeningEndpoint> udpServer_;
    FirmwareReplySlot firmwareReply_;
    WaitClock* firmwareClock_ = &steadyWaitClock();

    int selectedRow_ = 0;
    int searchBaseline_ = 0;
    int searchCountdown_ = 0;
    // The row the user is changing: its first change ticked Apply; leaving it ends that.
    int editingRow_ = -1;
    std::uint16_t listenPort_ = 2057;

    // Discovery replies from the listener, until the UI thread takes them into the table.
    std::unique_ptr<ReplyInbox> inbox_;
    // The listening endpoint's drop count when the running search began.
    std::uint64_t dropsAtSearchStart_ = 0;
};

}  // namespace velomar
