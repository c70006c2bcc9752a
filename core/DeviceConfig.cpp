#include "core/DeviceConfig.h"

#include "core/ConfigExchange.h"
#include "protocol/ConfigFile.h"
#include "protocol/Errors.h"

namespace velomar {

QByteArray DeviceConfig::networkFrame(const QByteArray& mac6) const {
    return ConfigExchange(mac6).networkFrame(network);
}

QByteArray DeviceConfig::operationFrame(int port, const QByteArray& mac6) const {
    return ConfigExchange(mac6).operationFrame(operations.at(static_cast<size_t>(port)), port);
}

QByteArray DeviceConfig::serialFrame(int port, const QByteArray& mac6) const {
    return ConfigExchange(mac6).serialFrame(serials.at(static_cast<size_t>(port)), port);
}

QByteArray EncodeConfigFile(const DeviceConfig& config, const QByteArray& mac6) {
    ConfigFile file;
    file.network = config.networkFrame(mac6);
    for (size_t p = 0; p < config.operations.size(); ++p)
        file.operation << config.operationFrame(int(p), mac6);
    for (size_t p = 0; p < config.serials.size(); ++p)
        file.serial << config.serialFrame(int(p), mac6);
    return file.encode();
}

DeviceConfig DecodeConfigFile(const QByteArray& bytes, const QString& fileName) {
    // The layout is the file codec's, shared with the window and the emulator.
    const std::optional<ConfigFile> file = ConfigFile::decode(bytes);
    if (!file) {
        throw Error(QStringLiteral("%1 is not a complete configuration file: %2")
                        .arg(fileName, ConfigFile::shortfall(bytes)));
    }
    const auto network = NetworkRecord::decode(file->network);
    const int ports = network->portCount;
    DeviceConfig c;
    c.network = *network;
    c.operations.resize(ports);
    c.serials.resize(ports);
    const qsizetype serialStart = NetworkRecord::kSize + qsizetype(ports) * OperationRecord::kSize;
    for (int i = 0; i < ports; ++i) {
        const qsizetype at = NetworkRecord::kSize + qsizetype(i) * OperationRecord::kSize;
        const auto o = OperationRecord::decode(file->operation[i]);
        if (o->port >= ports) {
            throw Error(QStringLiteral("%1: the operation record at byte %2 is for port %3, but "
                                       "the file has %4 ports")
                            .arg(fileName)
                            .arg(at)
                            .arg(o->port + 1)
                            .arg(ports));
        }
        c.operations[o->port] = *o;
    }
    for (int i = 0; i < ports; ++i) {
        const qsizetype at = serialStart + qsizetype(i) * SerialRecord::kSize;
        const auto s = SerialRecord::decode(file->serial[i]);
        if (s->port >= ports) {
            throw Error(QStringLiteral("%1: the serial record at byte %2 is for port %3, but the "
                                       "file has %4 ports")
                            .arg(fileName)
                            .arg(at)
                            .arg(s->port + 1)
                            .arg(ports));
        }
        c.serials[s->port] = *s;
    }
    return c;
}

}  // namespace velomar
