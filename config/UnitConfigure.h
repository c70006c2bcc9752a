#pragma once

#include <QDialog>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "core/ConfigExchange.h"
#include "net/BlockingHandOver.h"
#include "net/InterfaceEndpoints.h"
#include "net/ListeningEndpoint.h"

class QLabel;
class QPushButton;
class QTabWidget;
class QTableView;

namespace velomar {

class NetworkTab;
class OperationGridModel;
class SerialGridModel;

// Where the dialog's endpoints live: the local addresses it sends through (read once), the
// port ConfigUDP listens on and the port requests go to. The product uses the host's
// addresses and 2057 both ways; tests may narrow them.
struct ConfigNetwork {
    QStringList localAddresses;
    std::uint16_t listenPort = 2057;
    std::uint16_t devicePort = 2057;
    static ConfigNetwork host();
};

// The configuration dialog of one device. Created hidden at start-up and kept for the
// whole run; every opening reuses it.
class TConfigForm : public QDialog {
    Q_OBJECT
  public:
    explicit TConfigForm(QWidget* parent = nullptr,
                         const ConfigNetwork& network = ConfigNetwork::host());
    ~TConfigForm() override;

    // Opening and requests.
    void OpenForDevice(const QString& model, const QString& macText, const QString& version);
    void RequestRecord(ConfigRecord record);
    void ShowTabPanel(int index);
    void ConfigTabTabChanged(int index);
    // Read handler of ConfigUDP, on the UI thread, one whole datagram at a time. Never
    // throws: a datagram that cannot be handled is dropped where it failed.
    void ConfigUDPUDPRead(const QByteArray& datagram);

    // Records <-> tabs. Decoders take a whole frame and throw on one they cannot place;
    // encoders return a whole frame or throw.
    void DecodeNetworkRecord(const QByteArray& frame);
    QByteArray EncodeNetworkRecord() const;
    void DecodeOperationRecord(const QByteArray& frame);
    QByteArray EncodeOperationRecord(int port) const;
    void DecodeSerialRecord(const QByteArray& frame);
    QByteArray EncodeSerialRecord(int port) const;
    // One byte gives its value, two bytes the low byte first.
    static int BytesToInt(const QByteArray& bytes);

    // Apply.
    void SendApply();

    // Configuration file. The file holds the frames Apply would send, one after the other:
    // the 'N' frame, the 'O' frames of ports 0..PortCount-1, then the 'U' frames.
    QByteArray ConfigurationFile() const;
    // Reads a configuration file into the dialog for the device given by the three texts,
    // with every changed flag raised. The file is read and checked whole before anything
    // in the dialog changes; a file that cannot be read, or is shorter than its port count
    // needs, throws with the file's name and nothing is changed.
    void ImportFromFile(const QString& fileName, const QString& model, const QString& macText,
                        const QString& version);

    // When the dialog is already open without modality (after a double-click) it is not
    // opened again: it keeps its device and what the user typed and comes to the front;
    // asked for another device, it tells the user to close it first. Returns true when
    // it was open.
    // An import never goes into the open dialog (it would replace what the user typed).
    bool BringForwardIfOpen(QWidget* asker, const QString& macText, bool importing = false);
    // Throws when the dialog is open and holds the device port, so that the main window
    // never fights it for the port (and never clears its table for a search that cannot
    // start).
    void CheckDevicePortFree() const;

    // State.
    int PortCount() const { return portCount_; }
    bool networkChanged() const { return networkChanged_; }
    bool operationChanged() const { return operationChanged_; }
    bool serialChanged() const { return serialChanged_; }
    bool anyChanged() const { return networkChanged_ || operationChanged_ || serialChanged_; }
    // Raises or lowers all three changed flags.
    void setAllChanged(bool on);
    QString MacText() const;
    QByteArray TargetMac() const;
    ListeningEndpoint& configUdp() { return *ConfigUDP; }
    InterfaceEndpoints& interfaceEndpoints() { return endpoints_; }
    NetworkTab& networkTab() { return *tabPanel1; }
    OperationGridModel& operationGrid() { return *opModel_; }
    SerialGridModel& serialGrid() { return *serialModel_; }

  public slots:
    void FlatButton1Click();  // "Apply"
    void FlatButton2Click();  // "Cancel"
    void FlatButton9Click();  // "Export"
    void OpGridValueChanged();
    void SerialGridValueChanged();

  public:
    // Every way of closing ends here (FormClose): ConfigUDP is closed and the result is OK
    // when a changed flag is raised.
    void done(int result) override;

    // Named components.
    QLabel* ProductLabel = nullptr;
    QLabel* MACLabel = nullptr;
    QLabel* VersionLabel = nullptr;
    QTabWidget* ConfigTab = nullptr;
    NetworkTab* tabPanel1 = nullptr;
    QWidget* tabPanel2 = nullptr;
    QWidget* tabPanel3 = nullptr;
    QTableView* OpGrid = nullptr;
    QTableView* SerialGrid = nullptr;
    QPushButton* FlatButton9 = nullptr;  // Export
    QPushButton* FlatButton1 = nullptr;  // Apply
    QPushButton* FlatButton2 = nullptr;  // Cancel

  private:
    void ShowDevice(const QString& model, const QString& macText, const QString& version);
    // The dialog in a few steps: the device's identity, the three tabs, the buttons and
    // the handlers.
    void buildUi();
    void buildIdentityPanel();
    void buildTabs();
    void buildButtons();
    void connectHandlers();
    // The exchange with the device the MAC label names.
    ConfigExchange exchange() const { return ConfigExchange(TargetMac()); }
    void showNetworkRecord(const NetworkRecord& record);
    QByteArray encodeWrite(const RecordWrite& write) const;
    void sendWrites(const std::vector<RecordWrite>& writes);
    void openConfigUdp();
    void broadcast(const QByteArray& frame);
    QWidget* panel(ConfigRecord record) const;

    ConfigNetwork network_;
    InterfaceEndpoints endpoints_;
    BlockingHandOver handOver_;
    std::unique_ptr<ListeningEndpoint> ConfigUDP;
    OperationGridModel* opModel_ = nullptr;
    SerialGridModel* serialModel_ = nullptr;

    bool networkChanged_ = false;
    bool operationChanged_ = false;
    bool serialChanged_ = false;
    int portCount_ = 0;
    std::uint8_t passThrough_ = 0;
};

}  // namespace velomar
