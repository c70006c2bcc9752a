#include "core/NetworkSetJob.h"

#include <QHash>
#include <QSet>
#include <map>
#include <thread>

#include "core/Csv.h"
#include "core/ShownText.h"
#include "protocol/Codecs.h"
#include "protocol/DeviceName.h"
#include "protocol/Errors.h"
#include "protocol/Mac.h"
#include "protocol/NetworkSetFrame.h"

namespace velomar {

namespace {

const QStringList kColumns{QStringLiteral("mac"),        QStringLiteral("ip"),
                           QStringLiteral("mask"),       QStringLiteral("gateway"),
                           QStringLiteral("pelorin_ip"), QStringLiteral("name")};

// The other columns of a list written by `search --format csv`: such a list, edited, is a
// set table. raw_name tells an unedited name from one typed with escapes in it.
const QStringList kSearchColumns{QStringLiteral("model"),          QStringLiteral("version"),
                                 QStringLiteral("local_address"),  QStringLiteral("raw_model"),
                                 QStringLiteral("raw_mac"),        QStringLiteral("raw_version"),
                                 QStringLiteral("raw_name"),       QStringLiteral("raw_ip"),
                                 QStringLiteral("raw_mask"),       QStringLiteral("raw_gateway"),
                                 QStringLiteral("raw_pelorin_ip"), QStringLiteral("problems")};
constexpr int kRawName = 6;

// The name a search list shows as `shown`, when `rawHex` holds the bytes it was shown from.
std::optional<QString> UneditedName(const QString& shown, const QString& rawHex) {
    const QByteArray raw = QByteArray::fromHex(rawHex.toLatin1());
    if (raw.size() != kDeviceNameSize || raw.toHex() != rawHex.toLower().toLatin1()) return {};
    const QString name = DecodeDeviceName(raw);
    if (ShownText(name) != shown) return {};
    return name;
}

QString Where(const SetRow& row) {
    return row.line > 0 ? QStringLiteral("%1: %2: ").arg(row.line).arg(row.macText)
                        : QStringLiteral("%1: ").arg(row.macText);
}

// The table's check, then the conversion the frame makes, so that nothing passes here
// that would fail while sending.
QString AddressProblem(const QString& label, const QString& text) {
    if (!IsValidIp(text))
        return QStringLiteral("%1 \"%2\" is not an IPv4 address").arg(label, text);
    try {
        AddressTextToBytes(text);
    } catch (const Error&) {
        return QStringLiteral("%1 \"%2\" is not an IPv4 address").arg(label, text);
    }
    return {};
}

}  // namespace

std::vector<SetRow> ParseSetTable(const QByteArray& data, const QString& fileName) {
    const std::vector<CsvRecord> records = ReadCsv(data, fileName);
    if (records.empty()) throw Error(QStringLiteral("%1: no header line").arg(fileName));
    const CsvRecord& header = records.front();
    std::map<int, int> columnOf;  // field index -> kColumns index
    int rawNameField = -1;
    QSet<QString> seen;
    for (int i = 0; i < header.fields.size(); ++i) {
        const QString name = header.fields[i].toLower();
        const int c = static_cast<int>(kColumns.indexOf(name));
        const int other = static_cast<int>(kSearchColumns.indexOf(name));
        if (c < 0 && other >= 0) {
            if (seen.contains(name)) {
                throw Error(QStringLiteral("%1:%2: column \"%3\" appears twice")
                                .arg(fileName)
                                .arg(header.line)
                                .arg(name));
            }
            seen.insert(name);
            if (other == kRawName) rawNameField = i;
            continue;
        }
        if (c < 0) {
            throw Error(QStringLiteral("%1:%2: unknown column \"%3\" (known: %4)")
                            .arg(fileName)
                            .arg(header.line)
                            .arg(header.fields[i], kColumns.join(QStringLiteral(", "))));
        }
        for (const auto& [field, known] : columnOf) {
            if (known == c) {
                throw Error(QStringLiteral("%1:%2: column \"%3\" appears twice")
                                .arg(fileName)
                                .arg(header.line)
                                .arg(name));
            }
        }
        columnOf[i] = c;
    }
    bool hasMac = false;
    for (const auto& [field, c] : columnOf) hasMac = hasMac || c == 0;
    if (!hasMac) {
        throw Error(QStringLiteral("%1:%2: the header has no \"mac\" column")
                        .arg(fileName)
                        .arg(header.line));
    }
    std::vector<SetRow> rows;
    for (size_t r = 1; r < records.size(); ++r) {
        const CsvRecord& rec = records[r];
        if (rec.fields.size() != header.fields.size()) {
            throw Error(QStringLiteral("%1:%2: %3 fields where the header has %4")
                            .arg(fileName)
                            .arg(rec.line)
                            .arg(rec.fields.size())
                            .arg(header.fields.size()));
        }
        SetRow row;
        row.line = rec.line;
        for (const auto& [field, c] : columnOf) {
            const QString value = rec.fields[field];
            if (c == 0) {
                row.macText = value;
                const auto mac = ParseMac(value);
                if (!mac) {
                    throw Error(QStringLiteral("%1:%2: \"%3\" is not a MAC address")
                                    .arg(fileName)
                                    .arg(rec.line)
                                    .arg(value));
                }
                row.mac = *mac;
                continue;
            }
            if (value.isEmpty()) continue;
            std::optional<QString>* targets[] = {nullptr,      &row.ip,      &row.mask,
                                                 &row.gateway, &row.pelorin, &row.name};
            *targets[c] = value;
            if (c == 5 && rawNameField >= 0) {
                if (const auto exact = UneditedName(value, rec.fields[rawNameField]))
                    row.name = *exact;
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

QStringList CheckSetPlan(const std::vector<SetRow>& rows, const std::vector<FoundDevice>& found,
                         std::vector<NetworkSetTexts>& plan) {
    QStringList problems;
    QHash<QByteArray, const FoundDevice*> byMac;
    for (const FoundDevice& d : found) byMac.insert(d.reply.mac, &d);
    QHash<QByteArray, const SetRow*> rowOf;
    std::vector<NetworkSetTexts> texts;
    for (const SetRow& row : rows) {
        if (const SetRow* first = rowOf.value(row.mac)) {
            problems << Where(row) + QStringLiteral("the device is listed again (first on line %1)")
                                         .arg(first->line);
            continue;
        }
        rowOf.insert(row.mac, &row);
        const FoundDevice* device = byMac.value(row.mac);
        if (!device) {
            problems << Where(row) + QStringLiteral("no device with this MAC answered the search");
            continue;
        }
        const DeviceTexts& now = device->texts;
        NetworkSetTexts t{MacToText(row.mac),
                          row.ip.value_or(now.ip),
                          row.mask.value_or(now.mask),
                          row.gateway.value_or(now.gateway),
                          row.pelorin.value_or(now.pelorin),
                          row.name.value_or(now.name)};
        const std::pair<QString, QString> addresses[] = {{QStringLiteral("IP"), t.ip},
                                                         {QStringLiteral("mask"), t.mask},
                                                         {QStringLiteral("gateway"), t.gateway},
                                                         {QStringLiteral("Pelorin IP"), t.pelorin}};
        bool ok = true;
        for (const auto& [label, value] : addresses) {
            const QString p = AddressProblem(label, value);
            if (!p.isEmpty()) {
                problems << Where(row) + p;
                ok = false;
            }
        }
        if (EncodeDeviceName(t.name).size() != kDeviceNameSize) ok = false;
        if (ok) texts.push_back(t);
    }
    // Every device's address once all rows are applied: none may be held twice.
    QHash<QByteArray, QByteArray> ipAfter;
    for (const FoundDevice& d : found) ipAfter.insert(d.reply.mac, d.reply.ip);
    for (const NetworkSetTexts& t : texts)
        ipAfter.insert(MacTextToBytes(t.mac), AddressTextToBytes(t.ip));
    QHash<QByteArray, QList<QByteArray>> holders;
    for (auto it = ipAfter.cbegin(); it != ipAfter.cend(); ++it) holders[it.value()] << it.key();
    for (const SetRow& row : rows) {
        if (!rowOf.contains(row.mac) || rowOf.value(row.mac) != &row || !byMac.contains(row.mac))
            continue;
        const QByteArray ip = ipAfter.value(row.mac);
        if (ip.isEmpty()) continue;
        QStringList others;
        for (const QByteArray& mac : holders.value(ip)) {
            if (mac != row.mac) others << MacToText(mac);
        }
        if (!others.isEmpty()) {
            others.sort();
            problems << Where(row) + QStringLiteral("IP %1 would also be held by %2")
                                         .arg(BytesToIp(ip), others.join(QStringLiteral(", ")));
        }
    }
    if (problems.isEmpty()) plan = std::move(texts);
    return problems;
}

QString OutcomeText(SetOutcome outcome) {
    switch (outcome) {
        case SetOutcome::Verified:
            return QStringLiteral("verified");
        case SetOutcome::SentUnverified:
            return QStringLiteral("sent-but-unverified");
        case SetOutcome::Failed:
            break;
    }
    return QStringLiteral("failed");
}

bool ReplyHolds(const DiscoveryReply& reply, const QByteArray& setFrame) {
    const auto f = NetworkSetFrame::decode(setFrame);
    return f && reply.mac == f->mac && reply.ip == f->ip && reply.mask == f->mask &&
           reply.gateway == f->gateway && reply.pelorin == f->pelorin && reply.name == f->name;
}

std::vector<SetResult> RunNetworkSets(DeviceLink& link, const std::vector<NetworkSetTexts>& plan,
                                      std::chrono::milliseconds verifyTimeout,
                                      const Retries& retries) {
    std::vector<SetResult> results;
    std::vector<QByteArray> frames;
    for (const NetworkSetTexts& t : plan) {
        SetResult r{t, SetOutcome::SentUnverified, {}};
        QByteArray frame;
        try {
            frame = BuildNetworkSetFrame(t);
            link.broadcast(frame);
        } catch (const Error& e) {
            r.outcome = SetOutcome::Failed;
            r.message = e.text();
            frame.clear();
        }
        results.push_back(r);
        frames.push_back(frame);
    }
    using namespace std::chrono;
    const auto deadline = DeviceLink::Clock::now() + verifyTimeout;
    int repeated = 0;
    for (bool first = true;; first = false) {
        std::vector<QByteArray> pending;
        for (size_t i = 0; i < results.size(); ++i) {
            if (results[i].outcome == SetOutcome::SentUnverified)
                pending.push_back(MacTextToBytes(results[i].texts.mac));
        }
        const auto left = duration_cast<milliseconds>(deadline - DeviceLink::Clock::now());
        if (pending.empty() || left <= milliseconds::zero()) break;
        // A round that did not show a device's new values: its 'S' may have been lost. It
        // sets the same values again, so it is sent again, a bounded number of times.
        if (!first && repeated < retries.repeats) {
            QStringList macs;
            for (size_t i = 0; i < results.size(); ++i) {
                if (results[i].outcome != SetOutcome::SentUnverified) continue;
                link.broadcast(frames[i]);
                macs << results[i].texts.mac;
            }
            ++repeated;
            retries.tell(QStringLiteral("%1: the new values did not show yet; sending the "
                                        "network set again")
                             .arg(macs.join(QStringLiteral(", "))),
                         repeated);
        }
        // Short rounds: a device that restarts its network answers a later request.
        DiscoveryOptions search;
        search.timeout = std::min(left, milliseconds(1000));
        search.untilMacs = pending;
        if (link.unicast()) {
            // Behind a router the device is asked where it answered from and at its new IP,
            // where it answers once its network restarted.
            for (size_t i = 0; i < results.size(); ++i) {
                if (results[i].outcome != SetOutcome::SentUnverified) continue;
                const QString was = link.addressOf(MacTextToBytes(results[i].texts.mac));
                for (const QString& a : {was, results[i].texts.ip})
                    if (!a.isEmpty() && !search.targets.contains(a)) search.targets << a;
            }
        }
        std::vector<FoundDevice> found;
        try {
            found = DiscoverySession(link).run(search);
        } catch (const Error&) {
            // A search that cannot be sent now may be sent in the next round.
        }
        if (found.size() < pending.size() || !found.empty()) {
            // Not every device shows its new values yet: give it a moment before asking again.
            std::this_thread::sleep_for(std::min(milliseconds(250), left));
        }
        for (const FoundDevice& d : found) {
            for (size_t i = 0; i < results.size(); ++i) {
                if (results[i].outcome == SetOutcome::SentUnverified &&
                    ReplyHolds(d.reply, frames[i])) {
                    results[i].outcome = SetOutcome::Verified;
                }
            }
        }
    }
    for (SetResult& r : results) {
        if (r.outcome == SetOutcome::SentUnverified) {
            r.message =
                QStringLiteral("sent; the device did not answer with the new values in time");
        }
    }
    return results;
}

}  // namespace velomar
