// velomar-cli backup: every device's configuration into a folder, a file per device, each
// rewritten only when its bytes change (so the folder can be a git work tree).
#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include "cli/Cli.h"
#include "cli/Fleet.h"
#include "cli/Output.h"
#include "cli/Session.h"
#include "core/FleetFiles.h"
#include "protocol/Codecs.h"

namespace velomar::cli {

namespace {

// The inventory as it was, with the devices found now put in: a device that did not
// answer, or was not named, keeps its entry as it keeps its file.
QByteArray Inventory(const QString& path, const std::vector<FoundDevice>& found) {
    QMap<QString, QJsonObject> byMac;
    QFile old(path);
    if (old.open(QIODevice::ReadOnly)) {
        for (const auto& d :
             QJsonDocument::fromJson(old.readAll()).object().value("devices").toArray())
            byMac.insert(d.toObject().value("mac").toString(), d.toObject());
    }
    for (const FoundDevice& d : found) byMac.insert(d.texts.mac, DeviceJson(d));
    QJsonArray devices;
    for (const QJsonObject& o : byMac) devices.append(o);
    return Envelope(devices, {}).toUtf8();
}

int Backup(Context& c, const Arguments& a) {
    if (a.positional.isEmpty()) throw UsageError(QStringLiteral("backup needs a folder"));
    const QString dir = a.positional.first();
    const std::vector<QByteArray> named = MacArguments(a, 1);
    const QString format = Format(a, {"table", "json"});
    const auto timeout = Seconds(a, "--timeout", 3);
    const int parallel = Parallel(a, 8);
    if (!QDir().mkpath(dir)) throw UsageError(QStringLiteral("cannot make the folder %1").arg(dir));

    Session s(c, a);
    const std::vector<FoundDevice> found = FindDevices(s, named, timeout);
    std::vector<QByteArray> macs;
    for (const FoundDevice& d : found) macs.push_back(d.reply.mac);
    c.message(
        QStringLiteral("reading %1 device(s), %2 at a time...").arg(macs.size()).arg(parallel));
    const std::vector<ConfigRead> reads = ReadConfigs(s, macs, timeout, parallel);

    QJsonArray devices, errors;
    QList<QStringList> rows;
    auto result = [&](const QByteArray& mac, const QString& outcome, const QString& message) {
        const QString file = QDir(dir).filePath(BackupFileName(mac));
        devices.append(QJsonObject{
            {"mac", MacToText(mac)}, {"result", outcome}, {"file", file}, {"message", message}});
        if (!message.isEmpty()) errors.append(ErrorJson(MacToText(mac), message));
        rows << QStringList{MacToText(mac), outcome, file, message};
    };
    for (size_t i = 0; i < macs.size(); ++i) {
        if (!reads[i].config) {
            result(macs[i], "failed", reads[i].error + QStringLiteral("; its file was kept"));
            continue;
        }
        const QString file = QDir(dir).filePath(BackupFileName(macs[i]));
        result(macs[i],
               WriteIfChanged(file, EncodeConfigFile(*reads[i].config, macs[i])) ? "written"
                                                                                 : "unchanged",
               {});
    }
    for (const QByteArray& mac : named) {
        if (std::none_of(macs.begin(), macs.end(), [&](const QByteArray& m) { return m == mac; }))
            result(mac, "no answer", QStringLiteral("no answer to the search; its file was kept"));
    }
    WriteIfChanged(QDir(dir).filePath(kInventoryFile),
                   Inventory(QDir(dir).filePath(kInventoryFile), found));
    if (format == "json") {
        c.out << Envelope(devices, errors);
    } else {
        PrintTable(c.out, {"MAC", "RESULT", "FILE", "MESSAGE"}, rows);
    }
    c.out.flush();
    for (const auto& e : errors)
        c.error(e.toObject().value("mac").toString() + ": " +
                e.toObject().value("message").toString());
    return errors.isEmpty() ? kOk : kDeviceFailed;
}

}  // namespace

const Command& BackupCommand() {
    static const Command command{
        "backup",
        "DIR [MAC...] [--parallel N] [--timeout S] [--format table|json] [--ip LIST | --unicast] "
        "[--rate N]",
        "Save every device's configuration into a folder.",
        "Searches (or looks for the devices named), reads their configurations side by side and\n"
        "writes DIR/<MAC>.vlm per device in the window's configuration file format, and\n"
        "DIR/inventory.json (the search's JSON). A file is rewritten only when its bytes change,\n"
        "so DIR can be a git work tree whose history shows real changes only. A device that\n"
        "does not answer keeps its old file and is reported (exit 1).",
        FleetOptions("Devices read at once (default 8)."),
        Completion::File,
        &Backup};
    return command;
}

}  // namespace velomar::cli
