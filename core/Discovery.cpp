#include "core/Discovery.h"

#include <QSet>
#include <algorithm>

#include "protocol/Frame.h"

namespace velomar {

bool IsDiscoveryReply(const QByteArray& datagram) {
    return ReplyLetter(datagram) == Letter::Discovery &&
           datagram.size() >= DiscoveryReply::kMinSize;
}

std::vector<FoundDevice> DiscoverySession::run(const DiscoveryOptions& options) {
    link_.discardReceived();
    lastAnswerAfter_ = {};
    const auto requested = DeviceLink::Clock::now();
    if (options.address.isEmpty()) {
        link_.broadcast(DiscoveryRequest());
    } else {
        link_.sendTo(DiscoveryRequest(), options.address);
    }
    const auto deadline = DeviceLink::Clock::now() + options.timeout;
    // While replies arrive only the MAC is read: decoding waits until the search ends,
    // unless each device is wanted as it answers.
    std::vector<Received> answered;
    std::vector<FoundDevice> found;
    QSet<QByteArray> seen;
    auto decoded = [&](const Received& r) {
        const DiscoveryReply reply = *DiscoveryReply::decode(r.bytes);
        return FoundDevice{reply, DecodeDiscoveryTexts(reply), link_.localAddressFor(r.sender),
                           r.sender};
    };
    auto done = [&] {
        if (options.expect > 0 && seen.size() >= options.expect) return true;
        if (options.untilMacs.empty()) return false;
        return std::all_of(options.untilMacs.begin(), options.untilMacs.end(),
                           [&](const QByteArray& mac) { return seen.contains(mac); });
    };
    while (!done()) {
        auto received = link_.next(deadline);
        if (!received) break;
        if (!IsDiscoveryReply(received->bytes)) continue;
        // A device heard through two interfaces answers twice: the first answer counts.
        const QByteArray mac = received->bytes.mid(kMacOffset, kMacSize);
        if (seen.contains(mac)) continue;
        seen.insert(mac);
        lastAnswerAfter_ = std::chrono::duration_cast<std::chrono::microseconds>(
            DeviceLink::Clock::now() - requested);
        if (options.onFound) {
            found.push_back(decoded(*received));
            options.onFound(found.back());
        } else {
            answered.push_back(std::move(*received));
        }
    }
    found.reserve(found.size() + answered.size());
    for (const Received& r : answered) found.push_back(decoded(r));
    return found;
}

}  // namespace velomar
