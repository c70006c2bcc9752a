#pragma once

#include <QByteArray>
#include <array>
#include <cstdint>
#include <optional>

#include "protocol/Frame.h"

namespace velomar {

// The line settings of one serial port: 'U' from the program, 'u' from the device,
// 16 bytes. Each setting is the position of its text in the lists of ValueLists.h.
struct SerialRecord {
    static constexpr int kSize = 16;
    static constexpr int kSettingCount = 6;
    enum Setting { Interface, Baudrate, DataBit, StopBit, Parity, FlowControl };

    char letter = Letter::SerialRequest;   // offset 1
    QByteArray mac = QByteArray(6, '\0');  // offset 2
    std::uint8_t port = 0;                 // offset 8: 0-based port index
    // Offsets 9..14 in the order of Setting (kSerialSettingTexts).
    std::array<std::uint8_t, kSettingCount> settings{};

    // Always 16 bytes.
    QByteArray encode() const;
    // nullopt for a frame shorter than 16 bytes; letter and ETX are not examined.
    static std::optional<SerialRecord> decode(const QByteArray& frame);
};

}  // namespace velomar
