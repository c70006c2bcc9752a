#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>
#include <vector>

#include "emulator/FirmwareReceiver.h"
#include "protocol/NetworkRecord.h"
#include "protocol/OperationRecord.h"
#include "protocol/SerialRecord.h"

namespace velomar::emu {

// What a device is made of: its identity and its three kinds of record. network.portCount
// is the port count byte (up to 255); ports without an entry in `operation` / `serial` get
// default settings.
struct DeviceSpec {
    QByteArray mac = QByteArray(6, '\0');
    QByteArray model;    // up to 20 bytes, NUL-filled on the wire
    QByteArray version;  // up to 8 bytes
    NetworkRecord network;
    std::vector<OperationRecord> operation;
    std::vector<SerialRecord> serial;
};

// One emulated device server: its applied records, the records written but not yet
// applied, and its firmware receiver. Records are held as the protocol's plain structs,
// which keep every raw byte, so what a client wrote is answered byte for byte.
class EmulatedDevice {
  public:
    explicit EmulatedDevice(const DeviceSpec& spec);

    const QByteArray& mac() const { return mac_; }
    QString macText() const;
    const QByteArray& version() const { return version_; }
    const QByteArray& model() const { return model_; }
    int portCount() const { return static_cast<int>(operation_.size()); }

    // Applied state.
    const NetworkRecord& network() const { return network_; }
    const OperationRecord& operation(int port) const {
        return operation_.at(static_cast<size_t>(port));
    }
    const SerialRecord& serial(int port) const { return serial_.at(static_cast<size_t>(port)); }
    bool hasPending() const;

    // Replies: 'g' (85 bytes), 'n' (81), 'o' (41) and 'u' (16) of one port, 'a' (9).
    QByteArray discoveryReply() const;
    QByteArray networkReply() const;
    QByteArray operationReply(int port) const;
    QByteArray serialReply(int port) const;
    QByteArray applyReply() const;

    // 'S': new IP, gateway, mask, Pelorin IP and name, in use at once.
    void applyNetworkSet(const QByteArray& frame57);
    // Writes ('N' 81, 'O' 41, 'U' 16 bytes): kept as pending until apply(). Returns whether
    // the frame was a write of this device's and was kept.
    bool storeWrite(const QByteArray& frame);
    // 'A': takes the pending records into use. A network record with another port count
    // resizes the ports (new ones get default settings); per-port writes for ports the
    // device then does not have are dropped.
    void apply();
    // Forgets the pending records, as a device that keeps its settings does.
    void discardPending();

    // The configuration file: the 'N' frame, the 'O' frames of ports 0..P-1, the 'U' frames.
    QByteArray configFile() const;
    // Loads such a file into the applied state (its MAC bytes and letters are not used;
    // each per-port record goes to the port it names). Throws std::invalid_argument when
    // the file is shorter than its port count requires.
    void loadConfigFile(const QByteArray& file);

    FirmwareReceiver& firmware() { return firmware_; }

    static OperationRecord defaultOperation(int port);
    static SerialRecord defaultSerial(int port);

  private:
    void resizePorts(int count);

    QByteArray mac_;
    QByteArray version_;
    QByteArray model_;
    NetworkRecord network_;
    std::vector<OperationRecord> operation_;
    std::vector<SerialRecord> serial_;
    std::optional<NetworkRecord> pendingNetwork_;
    std::map<int, OperationRecord> pendingOperation_;
    std::map<int, SerialRecord> pendingSerial_;
    FirmwareReceiver firmware_;
};

}  // namespace velomar::emu
