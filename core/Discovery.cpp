#include "core/Discovery.h"

#include <QSet>
#include <algorithm>

#include "protocol/Codecs.h"
#include "protocol/Errors.h"
#include "protocol/Frame.h"

namespace velomar {

bool IsDiscoveryReply(const QByteArray& datagram) {
    return ReplyLetter(datagram) == Letter::Discovery &&
           datagram.size() >= DiscoveryReply::kMinSize;
}

std::vector<FoundDevice> DiscoverySession::run(const DiscoveryOptions& options) {
    link_.discardReceived();
    lastAnswerAfter_ = {};
    QStringList targets = options.targets;
    if (targets.isEmpty() && !options.address.isEmpty()) targets << options.address;
    if (targets.isEmpty() && link_.unicast() && !options.untilMacs.empty()) {
        // Devices found before, perhaps behind a router that a broadcast does not cross.
        for (const QByteArray& mac : options.untilMacs) {
            const QString a = link_.addressOf(mac);
            if (a.isEmpty()) {
                targets.clear();
                break;
            }
            if (!targets.contains(a)) targets << a;
        }
    }
    const bool one = targets.size() == 1;
    const auto period =
        std::chrono::nanoseconds(std::chrono::seconds(1)) / std::max(options.rate, 1);
    const auto requested = DeviceLink::Clock::now();

    // Only a search that knows whom it waits for repeats its request: one for MACs, or at
    // one address. A range, like a broadcast, is asked once and waited for whole.
    const bool repeats = !options.untilMacs.empty() || one;
    const int tries = repeats ? options.retries.tries() : 1;
    const auto each = repeats ? options.retries.waitOfEach(options.timeout) : options.timeout;
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
        if (one && options.untilMacs.empty())
            return QStringLiteral("no device at %1").arg(targets.first());
        QStringList macs;
        for (const QByteArray& mac : options.untilMacs)
            if (!seen.contains(mac)) macs << MacToText(mac);
        return QStringLiteral("no answer from %1").arg(macs.join(QStringLiteral(", ")));
    };
    auto take = [&](Received&& received) {
        if (!IsDiscoveryReply(received.bytes)) return;
        // A device heard through two interfaces answers twice: the first answer counts.
        const QByteArray mac = received.bytes.mid(kMacOffset, kMacSize);
        if (seen.contains(mac)) return;
        seen.insert(mac);
        link_.rememberAddress(mac, received.sender);
        lastAnswerAfter_ = std::chrono::duration_cast<std::chrono::microseconds>(
            DeviceLink::Clock::now() - requested);
        if (options.onFound) {
            found.push_back(decoded(received));
            options.onFound(found.back());
        } else {
            answered.push_back(std::move(received));
        }
    };
    // One round of requests; with several addresses they are paced, and what arrives in
    // between is taken. Returns when the last was sent, or once the search is done.
    auto request = [&] {
        if (targets.isEmpty()) {
            link_.broadcast(DiscoveryRequest());
            return;
        }
        const auto start = DeviceLink::Clock::now();
        qsizetype refused = 0;
        for (qsizetype i = 0; i < targets.size() && !done(); ++i) {
            const auto due = start + period * i;
            while (!done()) {
                auto received = link_.next(due);
                if (!received) break;
                take(std::move(*received));
            }
            if (done()) break;
            try {
                link_.sendTo(DiscoveryRequest(), targets[i]);
            } catch (const Error&) {
                // One address of many the system refuses (no route, a broadcast address)
                // leaves the others to ask; only when it refuses them all is it an error.
                if (one || ++refused == targets.size()) throw;
            }
        }
    };
    request();
    auto sent = DeviceLink::Clock::now();
    int tried = 1;
    auto tryEnds = sent + (tries > 1 ? each : options.timeout);
    auto deadline = sent + options.timeout;
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
                const auto before = DeviceLink::Clock::now();
                request();
                // The time a round of paced requests took is not the devices' to answer in.
                const auto spent = DeviceLink::Clock::now() - before;
                deadline += spent;
                ++tried;
                tryEnds = tried == tries ? deadline : tryEnds + spent + each;
            } else {
                tryEnds = deadline;
            }
            continue;
        }
        take(std::move(*received));
    }
    found.reserve(found.size() + answered.size());
    for (const Received& r : answered) found.push_back(decoded(r));
    return found;
}

}  // namespace velomar
