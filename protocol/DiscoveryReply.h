#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace velomar {

// Discovery reply 'g' as it stands on the wire (at least 85 bytes; ETX last). Fields stay
// raw; texts() gives what the device table shows.
struct DiscoveryReply {
    static constexpr int kMinSize = 85;

    QByteArray mac = QByteArray(6, '\0');      // offset 2
    QByteArray ip = QByteArray(4, '\0');       // offset 8
    QByteArray gateway = QByteArray(4, '\0');  // offset 12
    QByteArray mask = QByteArray(4, '\0');     // offset 16
    QByteArray name = QByteArray(32, '\0');    // offset 20
    QByteArray pelorin = QByteArray(4, '\0');  // offset 52
    QByteArray version = QByteArray(8, '\0');  // offset 56
    QByteArray model = QByteArray(20, '\0');   // offset 64

    // A datagram shorter than 85 bytes is not a reply we can read: nullopt.
    static std::optional<DiscoveryReply> decode(const QByteArray& datagram);
    // 85 bytes: STX 'g' fields, byte 84 ETX.
    QByteArray encode() const;
};

// The eight texts of one device-table row, decoded from a reply.
struct DeviceTexts {
    QString model, mac, version, name, ip, mask, gateway, pelorin;
};

DeviceTexts DecodeDiscoveryTexts(const DiscoveryReply& reply);

}  // namespace velomar
