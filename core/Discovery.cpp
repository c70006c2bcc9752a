#include "core/Discovery.h"

#include <QSet>
#include <algorithm>

#include "protocol/Codecs.h"
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
    auto request = [&] {
        if (options.address.isEmpty()) {
            link_.broadcast(DiscoveryRequest());
        } else {
            link_.sendTo(DiscoveryRequest(), options.address);
        }
    };
    request();
    // Only a search that knows whom it waits for repeats its request.
    const bool repeats = !options.untilMacs.empty() || !options.address.isEmpty();
    const int tries = repeats ? options.retries.tries() : 1;
    const auto each = repeats ? options.retries.waitOfEach(options.timeout) : options.timeout;
    const auto deadline = requested + options.timeout;
    int tried = 1;
    auto tryEnds = requested + (tries > 1 ? each : options.timeout);
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
    auto missing = [&] {
        if (!options.address.isEmpty() && options.untilMacs.empty())
            return QStringLiteral("no device at %1").arg(options.address);
        QStringList macs;
        for (const QByteArray& mac : options.untilMacs)
            if (!seen.contains(mac)) macs << MacToText(mac);
        return QStringLiteral("no answer from %1").arg(macs.join(QStringLiteral(", ")));
    };
    while (!done()) {
        auto received = link_.next(std::min(tryEnds, deadline));
        if (!received) {
            if (DeviceLink::Clock::now() >= deadline) break;
            // A search at one address that found somebody waits out its timeout as it is.
            const bool wanting = !options.untilMacs.empty() || seen.isEmpty();
            if (tried < tries && wanting) {
                options.retries.tell(QStringLiteral("%1 within %2 s; searching again")
                                         .arg(missing())
                                         .arg(each.count() / 1000.0),
                                     tried);
                request();
                ++tried;
                tryEnds = tried == tries ? deadline : tryEnds + each;
            } else {
                tryEnds = deadline;
            }
            continue;
        }
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
