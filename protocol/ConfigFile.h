#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace velomar {

// A configuration file holds the frames Apply sends, one after the other: the network
// frame (81 bytes), the operation frames of ports 0..P-1 (41 bytes each), then their serial
// frames (16 bytes each), P being the port count byte of the network frame. Whatever follows
// the last serial frame is not read. The frames are not decoded here: each goes to the
// decoder of its record as it stands.
struct ConfigFile {
    static constexpr int kPortCountOffset = 78;

    QByteArray network;
    QList<QByteArray> operation;
    QList<QByteArray> serial;

    // The frames one after the other.
    QByteArray encode() const;
    // nullopt for a file shorter than the network frame or than its port count needs.
    static std::optional<ConfigFile> decode(const QByteArray& file);
    // Why decode refuses a file ("80 bytes, shorter than a network record", "100 bytes,
    // 195 needed for 2 ports"); empty for a file it accepts.
    static QString shortfall(const QByteArray& file);
};

}  // namespace velomar
