#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "protocol/NetworkRecord.h"
#include "protocol/OperationRecord.h"
#include "protocol/SerialRecord.h"

namespace velomar {

// Everything the configuration dialog shows of one device: its network record and, per
// serial port, the operation and serial records, as the device sent them.
struct DeviceConfig {
    NetworkRecord network;
    std::vector<OperationRecord> operations;  // port order, network.portCount of them
    std::vector<SerialRecord> serials;

    // The frames Apply sends for the device `mac6` (letters 'N', 'O', 'U'; the reserved
    // byte 0, as the dialog sends it).
    QByteArray networkFrame(const QByteArray& mac6) const;
    QByteArray operationFrame(int port, const QByteArray& mac6) const;
    QByteArray serialFrame(int port, const QByteArray& mac6) const;
};

// The configuration file layout the dialog exports and imports: the 'N' frame, the 'O'
// frames of ports 0..PortCount-1, then the 'U' frames, back to back.
// Kept in this one place so that it can move to a shared codec in protocol/ as it stands.
QByteArray EncodeConfigFile(const DeviceConfig& config, const QByteArray& mac6);
// Throws Error naming `fileName` and the problem (too short for its port count, a record
// for a port the file does not have). Bytes after the last record are ignored, as the
// dialog ignores them.
DeviceConfig DecodeConfigFile(const QByteArray& bytes, const QString& fileName);

}  // namespace velomar
