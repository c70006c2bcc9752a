#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>

#include "protocol/Frame.h"

namespace velomar {

// The network settings record: 'N' from the program (write), 'n' from the device (reply),
// 81 bytes. Choices are list positions (kNoChoice for none); addresses, the name and the
// bytes the program only passes along stay raw.
struct NetworkRecord {
    static constexpr int kSize = 81;

    char letter = Letter::NetworkRequest;        // offset 1
    QByteArray mac = QByteArray(6, '\0');        // offset 2
    std::uint8_t networkType = 0;                // offset 8: kNetworkTypeTexts
    QByteArray ip = QByteArray(4, '\0');         // offset 9
    QByteArray gateway = QByteArray(4, '\0');    // offset 13 (before the mask)
    QByteArray mask = QByteArray(4, '\0');       // offset 17
    QByteArray dns = QByteArray(4, '\0');        // offset 21
    QByteArray name = QByteArray(32, '\0');      // offset 25, UTF-8, NUL-filled
    QByteArray pelorinIp = QByteArray(4, '\0');  // offset 57
    std::uint16_t pelorinPort = 0;               // offset 61, low byte first
    std::uint8_t telnet = 0;                     // offset 63: kServiceTexts
    std::uint8_t ssh = 0;                        // offset 64
    std::uint8_t ftp = 0;                        // offset 65
    std::uint8_t web = 0;                        // offset 66
    std::uint8_t lanPresent = 0;                 // offset 67: exactly 1 means a LAN port
    std::uint8_t bridge = 0;                     // offset 68: kBridgeTexts
    QByteArray lanIp = QByteArray(4, '\0');      // offset 69
    QByteArray lanMask = QByteArray(4, '\0');    // offset 73
    std::uint8_t reserved = 0;                   // offset 77, the program always sends 0
    std::uint8_t portCount = 0;                  // offset 78
    std::uint8_t passThrough = 0;                // offset 79, sent back as received

    bool hasLanPort() const { return lanPresent == 1; }

    // Always 81 bytes; fields of the wrong width are cut or NUL-filled.
    QByteArray encode() const;
    // The letter is taken as it stands and the ETX is not examined; a frame shorter than
    // 81 bytes gives nullopt, so nothing is read past its end.
    static std::optional<NetworkRecord> decode(const QByteArray& frame);
};

}  // namespace velomar
