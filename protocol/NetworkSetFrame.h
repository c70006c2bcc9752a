#pragma once

#include <QByteArray>
#include <optional>

namespace velomar {

// The 57-byte network set frame 'S' of the bulk apply. Unlike the discovery reply, the
// Pelorin IP comes before the name.
struct NetworkSetFrame {
    static constexpr int kSize = 57;

    QByteArray mac = QByteArray(6, '\0');      // offset 2
    QByteArray ip = QByteArray(4, '\0');       // offset 8
    QByteArray gateway = QByteArray(4, '\0');  // offset 12
    QByteArray mask = QByteArray(4, '\0');     // offset 16
    QByteArray pelorin = QByteArray(4, '\0');  // offset 20
    QByteArray name = QByteArray(32, '\0');    // offset 24, NUL-filled

    QByteArray encode() const;
    static std::optional<NetworkSetFrame> decode(const QByteArray& frame);
};

}  // namespace velomar
