#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>

#include "protocol/Frame.h"

namespace velomar {

// The operation mode of one serial port: 'O' from the program, 'o' from the device,
// 41 bytes. The alias stays raw (16 bytes, NUL fill and anything after the first NUL
// included) so an unedited alias goes back to the device byte for byte.
struct OperationRecord {
    static constexpr int kSize = 41;
    static constexpr int kAliasSize = 16;

    char letter = Letter::OperationRequest;           // offset 1
    QByteArray mac = QByteArray(6, '\0');             // offset 2
    std::uint8_t port = 0;                            // offset 8: 0-based port index
    std::uint8_t operation = 0;                       // offset 9: kOperationTexts
    std::uint16_t sourcePort = 0;                     // offset 10 (before the alias)
    QByteArray alias = QByteArray(kAliasSize, '\0');  // offset 12
    std::uint8_t type = 0;                            // offset 28: kOperationTypeTexts
    QByteArray destinationIp = QByteArray(4, '\0');   // offset 29
    std::uint16_t destinationPort = 0;                // offset 33
    std::uint16_t alive = 0;                          // offset 35
    std::uint16_t latency = 0;                        // offset 37
    std::uint8_t nodelay = 0;                         // offset 39: non-zero means checked

    bool nodelayChecked() const { return nodelay != 0; }

    // Always 41 bytes.
    QByteArray encode() const;
    // nullopt for a frame shorter than 41 bytes; letter and ETX are not examined.
    static std::optional<OperationRecord> decode(const QByteArray& frame);
};

}  // namespace velomar
