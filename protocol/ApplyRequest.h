#pragma once

#include <QByteArray>
#include <optional>

#include "protocol/Frame.h"

namespace velomar {

// The 9-byte apply request 'A' (and the device's 'a' answer, which carries nothing else the
// program reads): STX, letter, MAC, ETX.
struct ApplyRequest {
    static constexpr int kSize = 9;

    char letter = Letter::ApplyRequest;
    QByteArray mac = QByteArray(6, '\0');

    QByteArray encode() const;
    // nullopt for a frame shorter than 9 bytes.
    static std::optional<ApplyRequest> decode(const QByteArray& frame);
};

}  // namespace velomar
