// velomar-cli drift: the fleet now against a backup folder, key by key.
#include "cli/Cli.h"
#include "cli/Fleet.h"
#include "cli/Output.h"
#include "cli/Session.h"
#include "core/ConfigKeys.h"
#include "core/FleetFiles.h"
#include "protocol/Bytes.h"
#include "protocol/Codecs.h"

namespace velomar::cli {

namespace {

struct Drift {
    QByteArray mac;
    QString state;  // same, drifted, new, missing, unreadable
    QStringList changes;
};

// What the backup's inventory said of the device and the search says now, beyond its
// configuration records: the firmware version and the model.
QStringList InventoryChanges(const QJsonObject& was, const FoundDevice& now) {
    QStringList out;
    const std::pair<const char*, QString> fields[] = {{"model", UpToNul(now.texts.model)},
                                                      {"version", UpToNul(now.texts.version)}};
    for (const auto& [key, value] : fields) {
        const QString old = was.value(key).toString();
        if (was.contains(key) && old != value)
            out << QStringLiteral("%1: %2 -> %3").arg(key, old, value);
    }
    return out;
}

int RunDrift(Context& c, const Arguments& a) {
    if (a.positional.isEmpty()) throw UsageError(QStringLiteral("drift needs a backup folder"));
    const QString dir = a.positional.first();
    const std::vector<QByteArray> named = MacArguments(a, 1);
    const QString format = Format(a, {"table", "json"});
    const auto timeout = Seconds(a, "--timeout", 3);
    const int parallel = Parallel(a, 8);
    const Backup backup = CheckedBackup(dir);

    Session s(c, a);
    const std::vector<FoundDevice> found = FindDevices(s, named, timeout);
    std::vector<QByteArray> macs;
    for (const FoundDevice& d : found) macs.push_back(d.reply.mac);
    const std::vector<ConfigRead> reads = ReadConfigs(s, macs, timeout, parallel);

    std::map<QByteArray, Drift> drifts;
    for (size_t i = 0; i < found.size(); ++i) {
        Drift& d = drifts[macs[i]];
        d.mac = macs[i];
        const auto was = backup.devices.find(macs[i]);
        if (was == backup.devices.end()) {
            d.state = "new";
        } else if (!reads[i].config) {
            d.state = "unreadable";
            d.changes << reads[i].error;
        } else {
            d.changes = ConfigDifferences(was->second.config, *reads[i].config) +
                        InventoryChanges(was->second.inventory, found[i]);
            d.state = d.changes.isEmpty() ? "same" : "drifted";
        }
    }
    for (const auto& [mac, device] : backup.devices) {
        const bool wanted =
            named.empty() || std::find(named.begin(), named.end(), mac) != named.end();
        if (wanted && !drifts.count(mac))
            drifts[mac] = {mac, "missing", {"no answer to the search"}};
    }
    for (const QByteArray& mac : named) {
        if (!drifts.count(mac))
            drifts[mac] = {mac, "missing", {"neither answering nor in the backup"}};
    }

    bool drifted = false;
    QJsonArray devices, errors;
    QList<QStringList> rows;
    for (const auto& [mac, d] : drifts) {
        drifted = drifted || d.state != "same";
        devices.append(QJsonObject{{"mac", MacToText(mac)},
                                   {"state", d.state},
                                   {"changes", QJsonArray::fromStringList(d.changes)}});
        if (d.state == "unreadable") errors.append(ErrorJson(MacToText(mac), d.changes.join("; ")));
        if (d.changes.isEmpty()) rows << QStringList{MacToText(mac), d.state, QString()};
        for (const QString& change : d.changes)
            rows << QStringList{MacToText(mac), d.state, change};
    }
    if (format == "json") {
        c.out << Envelope(devices, errors);
    } else {
        PrintTable(c.out, {"MAC", "STATE", "CHANGE"}, rows);
    }
    c.out.flush();
    return drifted ? kDeviceFailed : kOk;
}

}  // namespace

const Command& DriftCommand() {
    static const Command command{
        "drift",
        "DIR [MAC...] [--parallel N] [--timeout S] [--format table|json] [--ip LIST | --unicast] "
        "[--rate N]",
        "Show what changed on the devices since a backup.",
        "Reads each device's configuration now and compares it with DIR/<MAC>.vlm under the\n"
        "names of 'config keys' (old -> new), and its model and firmware version with\n"
        "DIR/inventory.json. Devices new since the backup and devices missing are named too.\n"
        "Exit 0 when nothing drifted, 1 when something did, as diff does; 2 for bad input.",
        FleetOptions("Devices read at once (default 8)."),
        Completion::File,
        &RunDrift};
    return command;
}

}  // namespace velomar::cli
