#pragma once

#include <QWidget>

#include "protocol/NetworkRecord.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;

namespace velomar {

// The controls of the "Network" tab (the dialog's tabPanel1) and their binding to the
// network record. Every change that counts as an edit is reported by changed(); the dialog
// turns it into its network-changed flag.
class NetworkTab : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kAddressLength = 15;
    static constexpr int kNameTypingLength = 15;
    static constexpr int kPortLength = 5;

    explicit NetworkTab(QWidget* parent = nullptr);

    // Steps 1-8 of the record's decoding: every control and the LAN panel's visibility.
    // Edits whose text changes report it, as typing would; list selections don't. A name
    // shorter than its 32 bytes always counts as a change (its NUL fill differs from any
    // text the edit can hold).
    void ShowRecord(const NetworkRecord& record);
    // The record as the controls hold it (letter 'N'; MAC, reserved, port count and
    // pass-through are the caller's). Throws the conversion error of the first address or
    // port text that does not convert, or that is out of range.
    NetworkRecord ReadRecord() const;

    void SetNetworkType(int index);
    void SetBridgeMode(int index);

    // Handlers.
    void NetworkTypeComboChange();
    void BridgeComboChange();
    void IPTextChange();
    void DeviceNameTextChange();
    void PelorinPortTextChange();
    // Key filters: return false (discard) for a character the field does not take.
    static bool IPAddressTextKeyPress(QChar key);
    static bool PelorinPortTextKeyPress(QChar key);

    // Controls, named as the form names them.
    QGroupBox* WanGroup = nullptr;
    QGroupBox* ServicesGroup = nullptr;
    QWidget* LANPortPanel = nullptr;
    QGroupBox* LanGroup = nullptr;
    QLineEdit* DeviceNameText = nullptr;
    QComboBox* NetworkTypeCombo = nullptr;
    QLineEdit* IPAddressText = nullptr;
    QLineEdit* SubnetMaskText = nullptr;
    QLineEdit* GatewayText = nullptr;
    QLineEdit* DNSText = nullptr;
    QLabel* IPAddressLabel = nullptr;
    QLabel* SubnetMaskLabel = nullptr;
    QLabel* GatewayLabel = nullptr;
    QLabel* DNSLabel = nullptr;
    QLineEdit* PelorinIPText = nullptr;
    QLineEdit* PelorinPortText = nullptr;
    QComboBox* TelnetCombo = nullptr;
    QComboBox* SSHCombo = nullptr;
    QComboBox* FTPCombo = nullptr;
    QComboBox* WEBCombo = nullptr;
    QComboBox* BridgeCombo = nullptr;
    QLineEdit* IPAddressText2 = nullptr;
    QLineEdit* SubnetMaskText2 = nullptr;
    QLabel* IPAddressLabel2 = nullptr;
    QLabel* SubnetMaskLabel2 = nullptr;

  signals:
    void changed();

  private:
    // The tab in a few steps: the WAN group, the services, the LAN port, the two columns
    // they stand in, and the handlers.
    void buildUi();
    void buildWanGroup();
    void buildServicesGroup();
    void buildLanPanel();
    void layOutColumns();
    void connectHandlers();
    // An address field: its key and paste filters, and IPTextChange on every change.
    QLineEdit* addressEdit(const char* name, const QString& caption, QWidget* parent);
    void setDeviceName(const QString& text);

    // The name the last record held (up to its first NUL), sent back unless the user
    // changed what the field shows of it.
    QString receivedName_;
};

}  // namespace velomar
