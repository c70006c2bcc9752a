#pragma once

#include <QByteArray>
#include <optional>
#include <variant>
#include <vector>

#include "protocol/NetworkRecord.h"
#include "protocol/OperationRecord.h"
#include "protocol/SerialRecord.h"

namespace velomar {

struct DeviceConfig;

// The records of a device's configuration, in the order they are requested and written.
enum class ConfigRecord { Network, Operation, Serial };

// The device's 'a' answer to an apply; it carries nothing but the MAC.
struct ApplyAnswer {};

// A reply of the device, decoded into the record it fills.
using ConfigReply = std::variant<NetworkRecord, OperationRecord, SerialRecord, ApplyAnswer>;

// One record to write: which one and, for the per-port records, the port index.
struct RecordWrite {
    ConfigRecord record;
    int port = 0;
};

// What goes over the wire in the configuration exchange with one device, addressed by MAC,
// without a socket or a widget: the dialog and ConfigSession both build their frames and
// read the device's replies here, each sending and waiting in its own way.
class ConfigExchange {
  public:
    explicit ConfigExchange(QByteArray mac6) : mac_(std::move(mac6)) {}
    const QByteArray& mac() const { return mac_; }

    // The request for one record: STX, 'N', 'O' or 'U', the MAC, ETX.
    QByteArray request(ConfigRecord record) const;

    // The reply decoded into the record it fills, or the apply's answer. Nothing for a
    // datagram that is no reply (ReplyLetter), carries no MAC or another one, has a letter
    // of none of the four replies, or is shorter than its record (the answer to an apply
    // needs only its MAC). The port a record names is not checked: the receiver knows how
    // many it has.
    std::optional<ConfigReply> take(const QByteArray& datagram) const;
    bool isApplyAnswer(const QByteArray& datagram) const;

    // A record written back: the record as given with the request letter, this MAC and,
    // for the network record, the reserved byte 0; a per-port record gets `port`.
    QByteArray networkFrame(NetworkRecord record) const;
    QByteArray operationFrame(OperationRecord record, int port) const;
    QByteArray serialFrame(SerialRecord record, int port) const;

    // The writes in the order they are sent: the network record, then the operation
    // records, then the serial records, port by port.
    static std::vector<RecordWrite> writeOrder(bool network, bool operation, bool serial,
                                               int ports);
    // The frames of writeOrder for a whole configuration (its operation records give the
    // number of ports).
    std::vector<QByteArray> writeFrames(const DeviceConfig& config, bool network, bool operation,
                                        bool serial) const;

    // The 9-byte 'A' frame that makes the device take what was written.
    QByteArray applyRequest() const;

  private:
    bool isOurs(const QByteArray& datagram) const;

    QByteArray mac_;
};

}  // namespace velomar
