#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>
#include <vector>

#include "emulator/FirmwareReceiver.h"

namespace velomar::emu {

// What a device is made of, in readable form; turned into raw records once.
struct DeviceSpec {
    QByteArray mac = QByteArray(6, '\0');
    QByteArray model;    // up to 20 bytes, NUL-filled on the wire
    QByteArray version;  // up to 8 bytes
    QByteArray name;     // raw bytes of the 32-byte field (UTF-8 as a rule)
    QByteArray ip, gateway, mask, dns, pelorinIp;  // 4 bytes each
    int pelorinPort = 4000;
    bool dhcp = false;
    bool telnet = true, ssh = false, ftp = false, web = true;
    bool lanPort = false;
    int bridge = 0;  // list position: 0 "Enable", 1 "Disable"
    QByteArray lanIp, lanMask;
    quint8 reserved = 0, passThrough = 0;

    struct Port {
        int operation = 2;  // TCP_Server
        int srcPort = 4001;
        QByteArray alias;  // up to 16 raw bytes
        int type = 0;
        QByteArray destIp = QByteArray(4, '\0');
        int destPort = 0, alive = 0, latency = 0;
        bool nodelay = false;
        int interface = 0, baud = 10, dataBits = 3, stopBits = 0, parity = 0, flow = 0;
    };
    std::vector<Port> ports;
    // The port count byte; ports beyond `ports` get default settings. Up to 255.
    int portCount = 0;
};

// One emulated device server: its applied records, the records written but not yet
// applied, and its firmware receiver. Every record is held as the whole reply frame
// (lower-case letter, the device's MAC), so what a client wrote is answered byte for byte.
class EmulatedDevice {
  public:
    explicit EmulatedDevice(const DeviceSpec& spec);

    const QByteArray& mac() const { return mac_; }
    QString macText() const;
    const QByteArray& version() const { return version_; }
    const QByteArray& model() const { return model_; }
    int portCount() const { return static_cast<int>(operation_.size()); }

    // Applied state.
    const QByteArray& networkRecord() const { return network_; }
    const QByteArray& operationRecord(int port) const {
        return operation_.at(static_cast<size_t>(port));
    }
    const QByteArray& serialRecord(int port) const { return serial_.at(static_cast<size_t>(port)); }
    bool hasPending() const;

    // Replies.
    QByteArray discoveryReply() const;  // 85 bytes
    QByteArray applyReply() const;      // 'a', 9 bytes

    // 'S': new IP, gateway, mask, Pelorin IP and name, in use at once.
    void applyNetworkSet(const QByteArray& frame57);
    // Writes ('N' 81, 'O' 41, 'U' 16 bytes): kept as pending until apply(). A per-port
    // write for a port the device does not have is dropped; returns whether it was kept.
    bool storeWrite(const QByteArray& frame);
    // 'A': takes the pending records into use. A network record with another port count
    // resizes the ports (new ones get default settings).
    void apply();

    // The configuration file: the 'N' frame, the 'O' frames of ports 0..P-1, the 'U' frames.
    QByteArray configFile() const;
    // Loads such a file into the applied state (its MAC bytes and letters are not used).
    // Throws std::invalid_argument when the file is shorter than its port count requires.
    void loadConfigFile(const QByteArray& file);

    FirmwareReceiver& firmware() { return firmware_; }

    static QByteArray defaultOperationRecord(const QByteArray& mac, int port);
    static QByteArray defaultSerialRecord(const QByteArray& mac, int port);

  private:
    QByteArray asReply(QByteArray record, char letter) const;
    void resizePorts(int count);

    QByteArray mac_;
    QByteArray version_;
    QByteArray model_;
    QByteArray network_;
    std::vector<QByteArray> operation_;
    std::vector<QByteArray> serial_;
    std::optional<QByteArray> pendingNetwork_;
    std::map<int, QByteArray> pendingOperation_;
    std::map<int, QByteArray> pendingSerial_;
    FirmwareReceiver firmware_;
};

}  // namespace velomar::emu
