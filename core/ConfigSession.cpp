#include "core/ConfigSession.h"

#include <map>

#include "core/ConfigExchange.h"
#include "core/ConfigKeys.h"
#include "protocol/Codecs.h"
#include "protocol/Errors.h"

namespace velomar {

namespace {
QString RecordName(ConfigRecord record) {
    switch (record) {
        case ConfigRecord::Network:
            return QStringLiteral("network record");
        case ConfigRecord::Operation:
            return QStringLiteral("operation records");
        case ConfigRecord::Serial:
            break;
    }
    return QStringLiteral("serial records");
}

// The records of one device as they come in, in any order.
struct Gathered {
    bool haveNetwork = false;
    NetworkRecord network;
    std::map<int, OperationRecord> operations;
    std::map<int, SerialRecord> serials;

    int ports() const { return int(network.portCount); }
    // Records of the device's own ports, whatever else it sends.
    template <typename Records>
    int held(const Records& records) const {
        int n = 0;
        for (int p = 0; p < ports(); ++p) n += int(records.count(p));
        return n;
    }
    bool complete() const {
        return haveNetwork && held(operations) == ports() && held(serials) == ports();
    }
    // Without the network record the number of ports is not known: a kind of which nothing
    // came is asked for again.
    std::vector<ConfigRecord> missing() const {
        std::vector<ConfigRecord> out;
        if (!haveNetwork) out.push_back(ConfigRecord::Network);
        if (haveNetwork ? held(operations) < ports() : operations.empty())
            out.push_back(ConfigRecord::Operation);
        if (haveNetwork ? held(serials) < ports() : serials.empty())
            out.push_back(ConfigRecord::Serial);
        return out;
    }
    void take(const ConfigReply& reply) {
        if (const auto* n = std::get_if<NetworkRecord>(&reply)) {
            network = *n;
            haveNetwork = true;
        } else if (const auto* o = std::get_if<OperationRecord>(&reply)) {
            operations[o->port] = *o;
        } else if (const auto* s = std::get_if<SerialRecord>(&reply)) {
            serials[s->port] = *s;
        }
    }
    // The whole configuration, or Error naming the first record that did not come.
    DeviceConfig result(const QString& mac, std::chrono::milliseconds timeout) const {
        if (!haveNetwork) {
            throw Error(QStringLiteral("%1 did not send its network record within %2 s")
                            .arg(mac)
                            .arg(timeout.count() / 1000.0));
        }
        DeviceConfig config;
        config.network = network;
        for (int p = 0; p < ports(); ++p) {
            if (!operations.count(p) || !serials.count(p)) {
                throw Error(QStringLiteral("%1 did not send the %2 record of port %3 within %4 s")
                                .arg(mac, operations.count(p) ? QStringLiteral("serial")
                                                              : QStringLiteral("operation"))
                                .arg(p + 1)
                                .arg(timeout.count() / 1000.0));
            }
            config.operations.push_back(operations.at(p));
            config.serials.push_back(serials.at(p));
        }
        return config;
    }
};

// "network record, operation records and serial records"
QString RecordNames(const std::vector<ConfigRecord>& records) {
    QStringList names;
    for (ConfigRecord record : records) names << RecordName(record);
    const QString last = names.takeLast();
    return names.isEmpty() ? last : names.join(QStringLiteral(", ")) + " and " + last;
}

}  // namespace

DeviceConfig ConfigSession::read(std::chrono::milliseconds timeout) {
    const ConfigExchange exchange(mac_);
    link_.discardReceived(mac_);
    for (ConfigRecord record :
         {ConfigRecord::Network, ConfigRecord::Operation, ConfigRecord::Serial})
        link_.broadcast(exchange.request(record));
    TrySchedule tries(retries_, timeout);
    Gathered got;
    while (!got.complete()) {
        if (const auto r = link_.next(tries.waitUntil(), mac_)) {
            if (const auto reply = exchange.take(r->bytes)) got.take(*reply);
            continue;
        }
        if (tries.over()) break;
        const auto again = got.missing();
        const int repeat = tries.nextRepeat();
        if (repeat == 0 || again.empty()) {
            tries.waitToTheEnd();
            continue;
        }
        retries_.tell(QStringLiteral("%1: no %2 within %3 s; asking again")
                          .arg(MacToText(mac_), RecordNames(again))
                          .arg(tries.each().count() / 1000.0),
                      repeat);
        for (ConfigRecord record : again) link_.broadcast(exchange.request(record));
        tries.repeated();
    }
    return got.result(MacToText(mac_), timeout);
}

ApplyResult ConfigSession::writeAndApply(const DeviceConfig& config, bool network, bool operation,
                                         bool serial, std::chrono::milliseconds timeout) {
    const ConfigExchange exchange(mac_);
    link_.discardReceived(mac_);
    for (const QByteArray& frame : exchange.writeFrames(config, network, operation, serial))
        link_.broadcast(frame);
    link_.broadcast(exchange.applyRequest());
    const auto deadline = DeviceLink::Clock::now() + timeout;
    bool answered = false;
    while (const auto r = link_.next(deadline, mac_)) {
        if (exchange.isApplyAnswer(r->bytes)) {
            answered = true;
            break;
        }
    }
    ApplyResult result;
    if (!answered) return result;
    // The writes have no answer of their own: only reading the device again tells whether
    // each of them arrived before the apply.
    try {
        const DeviceConfig now = read(timeout);
        result.differences = ConfigDifferences(config, now);
        result.outcome =
            result.differences.isEmpty() ? ApplyOutcome::Applied : ApplyOutcome::ReadsBackOtherwise;
    } catch (const Error& e) {
        result.outcome = ApplyOutcome::NotReadBack;
        result.message = e.text();
    }
    return result;
}

}  // namespace velomar
