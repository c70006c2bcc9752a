#include "core/ConfigSession.h"

#include <map>

#include "protocol/Codecs.h"
#include "protocol/Errors.h"
#include "protocol/Frame.h"

namespace velomar {

DeviceConfig ConfigSession::read(std::chrono::milliseconds timeout) {
    link_.discardReceived();
    for (char letter : {Letter::NetworkRequest, Letter::OperationRequest, Letter::SerialRequest}) {
        link_.broadcast(MacOnlyFrame(letter, mac_));
    }
    const auto deadline = DeviceLink::Clock::now() + timeout;
    DeviceConfig config;
    bool haveNetwork = false;
    std::map<int, OperationRecord> operations;
    std::map<int, SerialRecord> serials;
    auto complete = [&] {
        const int ports = config.network.portCount;
        return haveNetwork && int(operations.size()) >= ports && int(serials.size()) >= ports;
    };
    while (!complete()) {
        const auto r = link_.next(deadline);
        if (!r) break;
        const auto letter = ReplyLetter(r->bytes);
        if (!letter || FrameMac(r->bytes) != mac_) continue;
        if (*letter == Letter::NetworkReply) {
            if (const auto n = NetworkRecord::decode(r->bytes)) {
                config.network = *n;
                haveNetwork = true;
            }
        } else if (*letter == Letter::OperationReply) {
            if (const auto o = OperationRecord::decode(r->bytes)) operations[o->port] = *o;
        } else if (*letter == Letter::SerialReply) {
            if (const auto s = SerialRecord::decode(r->bytes)) serials[s->port] = *s;
        }
    }
    const QString mac = MacToText(mac_);
    if (!haveNetwork) {
        throw Error(QStringLiteral("%1 did not send its network record within %2 s")
                        .arg(mac)
                        .arg(timeout.count() / 1000.0));
    }
    const int ports = config.network.portCount;
    for (int p = 0; p < ports; ++p) {
        if (!operations.count(p) || !serials.count(p)) {
            throw Error(QStringLiteral("%1 did not send the %2 record of port %3 within %4 s")
                            .arg(mac, operations.count(p) ? QStringLiteral("serial")
                                                          : QStringLiteral("operation"))
                            .arg(p + 1)
                            .arg(timeout.count() / 1000.0));
        }
        config.operations.push_back(operations[p]);
        config.serials.push_back(serials[p]);
    }
    return config;
}

bool ConfigSession::writeAndApply(const DeviceConfig& config, bool network, bool operation,
                                  bool serial, std::chrono::milliseconds timeout) {
    link_.discardReceived();
    if (network) link_.broadcast(config.networkFrame(mac_));
    if (operation) {
        for (size_t p = 0; p < config.operations.size(); ++p)
            link_.broadcast(config.operationFrame(int(p), mac_));
    }
    if (serial) {
        for (size_t p = 0; p < config.serials.size(); ++p)
            link_.broadcast(config.serialFrame(int(p), mac_));
    }
    ApplyRequest apply;
    apply.mac = mac_;
    link_.broadcast(apply.encode());
    const auto deadline = DeviceLink::Clock::now() + timeout;
    while (const auto r = link_.next(deadline)) {
        if (ReplyLetter(r->bytes) == Letter::ApplyReply && FrameMac(r->bytes) == mac_) return true;
    }
    return false;
}

}  // namespace velomar
