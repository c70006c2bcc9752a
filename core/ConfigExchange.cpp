#include "core/ConfigExchange.h"

#include "core/DeviceConfig.h"
#include "protocol/ApplyRequest.h"
#include "protocol/Frame.h"

namespace velomar {

QByteArray ConfigExchange::request(ConfigRecord record) const {
    switch (record) {
        case ConfigRecord::Network:
            return MacOnlyFrame(Letter::NetworkRequest, mac_);
        case ConfigRecord::Operation:
            return MacOnlyFrame(Letter::OperationRequest, mac_);
        case ConfigRecord::Serial:
            break;
    }
    return MacOnlyFrame(Letter::SerialRequest, mac_);
}

bool ConfigExchange::isOurs(const QByteArray& datagram) const {
    const QByteArray mac = FrameMac(datagram);
    return !mac.isEmpty() && mac == mac_;
}

std::optional<ConfigReply> ConfigExchange::take(const QByteArray& datagram) const {
    const auto letter = ReplyLetter(datagram);
    if (!letter || !isOurs(datagram)) return std::nullopt;
    switch (*letter) {
        case Letter::NetworkReply:
            if (auto n = NetworkRecord::decode(datagram)) return ConfigReply(std::move(*n));
            break;
        case Letter::OperationReply:
            if (auto o = OperationRecord::decode(datagram)) return ConfigReply(std::move(*o));
            break;
        case Letter::SerialReply:
            if (auto s = SerialRecord::decode(datagram)) return ConfigReply(std::move(*s));
            break;
        case Letter::ApplyReply:
            return ConfigReply(ApplyAnswer{});
        default:
            break;
    }
    return std::nullopt;
}

bool ConfigExchange::isApplyAnswer(const QByteArray& datagram) const {
    return ReplyLetter(datagram) == Letter::ApplyReply && isOurs(datagram);
}

QByteArray ConfigExchange::networkFrame(NetworkRecord record) const {
    record.letter = Letter::NetworkRequest;
    record.mac = mac_;
    record.reserved = 0;
    return record.encode();
}

QByteArray ConfigExchange::operationFrame(OperationRecord record, int port) const {
    record.letter = Letter::OperationRequest;
    record.mac = mac_;
    record.port = static_cast<std::uint8_t>(port);
    return record.encode();
}

QByteArray ConfigExchange::serialFrame(SerialRecord record, int port) const {
    record.letter = Letter::SerialRequest;
    record.mac = mac_;
    record.port = static_cast<std::uint8_t>(port);
    return record.encode();
}

std::vector<RecordWrite> ConfigExchange::writeOrder(bool network, bool operation, bool serial,
                                                    int ports) {
    std::vector<RecordWrite> writes;
    if (network) writes.push_back({ConfigRecord::Network, 0});
    if (operation) {
        for (int p = 0; p < ports; ++p) writes.push_back({ConfigRecord::Operation, p});
    }
    if (serial) {
        for (int p = 0; p < ports; ++p) writes.push_back({ConfigRecord::Serial, p});
    }
    return writes;
}

std::vector<QByteArray> ConfigExchange::writeFrames(const DeviceConfig& config, bool network,
                                                    bool operation, bool serial) const {
    std::vector<QByteArray> frames;
    const int ports = static_cast<int>(config.operations.size());
    for (const RecordWrite& w : writeOrder(network, operation, serial, ports)) {
        const auto at = static_cast<size_t>(w.port);
        switch (w.record) {
            case ConfigRecord::Network:
                frames.push_back(networkFrame(config.network));
                break;
            case ConfigRecord::Operation:
                frames.push_back(operationFrame(config.operations.at(at), w.port));
                break;
            case ConfigRecord::Serial:
                frames.push_back(serialFrame(config.serials.at(at), w.port));
                break;
        }
    }
    return frames;
}

QByteArray ConfigExchange::applyRequest() const {
    ApplyRequest apply;
    apply.mac = mac_;
    return apply.encode();
}

}  // namespace velomar
