#include "core/Discovery.h"

#include <QSet>
#include <algorithm>

#include "protocol/Frame.h"

namespace velomar {

std::vector<FoundDevice> DiscoverySession::run(const DiscoveryOptions& options) {
    link_.discardReceived();
    if (options.address.isEmpty()) {
        link_.broadcast(DiscoveryRequest());
    } else {
        link_.sendTo(DiscoveryRequest(), options.address);
    }
    const auto deadline = DeviceLink::Clock::now() + options.timeout;
    std::vector<FoundDevice> found;
    QSet<QByteArray> seen;
    auto done = [&] {
        if (options.expect > 0 && static_cast<int>(found.size()) >= options.expect) return true;
        if (options.untilMacs.empty()) return false;
        return std::all_of(options.untilMacs.begin(), options.untilMacs.end(),
                           [&](const QByteArray& mac) { return seen.contains(mac); });
    };
    while (!done()) {
        const auto received = link_.next(deadline);
        if (!received) break;
        if (ReplyLetter(received->bytes) != Letter::Discovery) continue;
        const auto reply = DiscoveryReply::decode(received->bytes);
        // A device heard through two interfaces answers twice: the first answer counts.
        if (!reply || seen.contains(reply->mac)) continue;
        seen.insert(reply->mac);
        FoundDevice device{*reply, DecodeDiscoveryTexts(*reply),
                           link_.localAddressFor(received->sender), received->sender};
        if (options.onFound) options.onFound(device);
        found.push_back(std::move(device));
    }
    return found;
}

}  // namespace velomar
