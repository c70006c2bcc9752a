#include "core/ConfigSession.h"

#include <map>

#include "core/ConfigExchange.h"
#include "protocol/Codecs.h"
#include "protocol/Errors.h"

namespace velomar {

DeviceConfig ConfigSession::read(std::chrono::milliseconds timeout) {
    const ConfigExchange exchange(mac_);
    link_.discardReceived();
    for (ConfigRecord record :
         {ConfigRecord::Network, ConfigRecord::Operation, ConfigRecord::Serial})
        link_.broadcast(exchange.request(record));
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
        const auto reply = exchange.take(r->bytes);
        if (!reply) continue;
        if (const auto* n = std::get_if<NetworkRecord>(&*reply)) {
            config.network = *n;
            haveNetwork = true;
        } else if (const auto* o = std::get_if<OperationRecord>(&*reply)) {
            operations[o->port] = *o;
        } else if (const auto* s = std::get_if<SerialRecord>(&*reply)) {
            serials[s->port] = *s;
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
    const ConfigExchange exchange(mac_);
    link_.discardReceived();
    for (const QByteArray& frame : exchange.writeFrames(config, network, operation, serial))
        link_.broadcast(frame);
    link_.broadcast(exchange.applyRequest());
    const auto deadline = DeviceLink::Clock::now() + timeout;
    while (const auto r = link_.next(deadline)) {
        if (exchange.isApplyAnswer(r->bytes)) return true;
    }
    return false;
}

}  // namespace velomar
