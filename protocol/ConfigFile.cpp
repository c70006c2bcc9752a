#include "protocol/ConfigFile.h"

#include "protocol/NetworkRecord.h"
#include "protocol/OperationRecord.h"
#include "protocol/SerialRecord.h"

namespace velomar {

namespace {
// The port count a file claims (-1 when it does not even hold the network frame) and the
// size that count needs.
struct Layout {
    int ports;
    qsizetype needed;
};

Layout layoutOf(const QByteArray& file) {
    if (file.size() < NetworkRecord::kSize) return {-1, NetworkRecord::kSize};
    const int ports = static_cast<unsigned char>(file[ConfigFile::kPortCountOffset]);
    return {ports, NetworkRecord::kSize +
                       qsizetype(ports) * (OperationRecord::kSize + SerialRecord::kSize)};
}
}  // namespace

QByteArray ConfigFile::encode() const {
    QByteArray file = network;
    for (const QByteArray& frame : operation) file += frame;
    for (const QByteArray& frame : serial) file += frame;
    return file;
}

std::optional<ConfigFile> ConfigFile::decode(const QByteArray& file) {
    const Layout layout = layoutOf(file);
    if (layout.ports < 0 || file.size() < layout.needed) return std::nullopt;
    ConfigFile c;
    c.network = file.left(NetworkRecord::kSize);
    c.operation.reserve(layout.ports);
    c.serial.reserve(layout.ports);
    qsizetype at = NetworkRecord::kSize;
    for (int i = 0; i < layout.ports; ++i, at += OperationRecord::kSize) {
        c.operation << file.mid(at, OperationRecord::kSize);
    }
    for (int i = 0; i < layout.ports; ++i, at += SerialRecord::kSize) {
        c.serial << file.mid(at, SerialRecord::kSize);
    }
    return c;
}

QString ConfigFile::shortfall(const QByteArray& file) {
    const Layout layout = layoutOf(file);
    if (layout.ports < 0) {
        return QStringLiteral("%1 bytes, shorter than a network record").arg(file.size());
    }
    if (file.size() < layout.needed) {
        return QStringLiteral("%1 bytes, %2 needed for %3 ports")
            .arg(file.size())
            .arg(layout.needed)
            .arg(layout.ports);
    }
    return {};
}

}  // namespace velomar
