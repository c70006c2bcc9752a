// velomar-cli restore: each device's own file from a backup folder, imported with the checks
// of config import.
#include <QDir>
#include <mutex>

#include "cli/Cli.h"
#include "cli/Fleet.h"
#include "cli/Output.h"
#include "cli/Session.h"
#include "core/ConfigKeys.h"
#include "core/FleetFiles.h"
#include "protocol/Codecs.h"

namespace velomar::cli {

namespace {

struct Restored {
    QByteArray mac;
    QString result;  // applied, unchanged, would change, failed, no answer
    QString message;
    QStringList changes;
};

QString ApplyMessage(const ApplyResult& r, std::chrono::milliseconds timeout) {
    switch (r.outcome) {
        case ApplyOutcome::Applied:
            return {};
        case ApplyOutcome::NotApplied:
            return QStringLiteral(
                       "written, not applied: no answer to the apply request within %1 s")
                .arg(timeout.count() / 1000.0);
        case ApplyOutcome::ReadsBackOtherwise:
            return QStringLiteral("applied, but it reads back otherwise: %1")
                .arg(r.differences.join(QStringLiteral("; ")));
        case ApplyOutcome::NotReadBack:
            break;
    }
    return QStringLiteral("applied, not verified: %1").arg(r.message);
}

int RunRestore(Context& c, const Arguments& a) {
    if (a.positional.isEmpty()) throw UsageError(QStringLiteral("restore needs a backup folder"));
    const QString dir = a.positional.first();
    std::vector<QByteArray> macs = MacArguments(a, 1);
    const QString format = Format(a, {"table", "json"});
    const auto timeout = Seconds(a, "--timeout", 3);
    const int parallel = Parallel(a, 1);
    const Backup backup = CheckedBackup(dir);
    for (const QByteArray& mac : macs) {
        if (!backup.devices.count(mac))
            throw UsageError(
                QStringLiteral("%1: no %2 in %3").arg(MacToText(mac), BackupFileName(mac), dir));
    }
    if (macs.empty()) {
        for (const auto& [mac, device] : backup.devices) macs.push_back(mac);
    }
    if (macs.empty()) throw UsageError(QStringLiteral("%1: no device files").arg(dir));

    Session s(c, a);
    const std::vector<FoundDevice> found = s.find(macs, timeout);
    std::vector<Restored> results(macs.size());
    RunInParallel(int(macs.size()), parallel, [&](int i) {
        Restored& r = results[size_t(i)];
        r.mac = macs[size_t(i)];
        if (std::none_of(found.begin(), found.end(),
                         [&](const FoundDevice& d) { return d.reply.mac == r.mac; })) {
            r.result = "no answer";
            r.message = QStringLiteral("no answer to the search; nothing was sent");
            return;
        }
        const DeviceConfig& file = backup.devices.at(r.mac).config;
        try {
            ConfigSession session = s.config(r.mac);
            r.changes = ConfigDifferences(session.read(timeout), file);
            if (r.changes.isEmpty()) {
                r.result = "unchanged";
            } else if (a.has("--dry-run")) {
                r.result = "would change";
            } else {
                const ApplyResult applied = session.writeAndApply(file, true, true, true, timeout);
                r.message = ApplyMessage(applied, timeout);
                r.result = r.message.isEmpty() ? "applied" : "failed";
            }
        } catch (const Error& e) {
            r.result = "failed";
            r.message = e.text();
        }
    });

    bool ok = true;
    QJsonArray devices, errors;
    QList<QStringList> rows;
    for (const Restored& r : results) {
        const bool good =
            r.result == "applied" || r.result == "unchanged" || r.result == "would change";
        ok = ok && good;
        devices.append(QJsonObject{{"mac", MacToText(r.mac)},
                                   {"result", r.result},
                                   {"changes", QJsonArray::fromStringList(r.changes)},
                                   {"message", r.message}});
        if (!good) {
            errors.append(ErrorJson(MacToText(r.mac), r.message));
            c.error(MacToText(r.mac) + ": " + r.message);
        }
        rows << QStringList{MacToText(r.mac), r.result, QString::number(r.changes.size()),
                            r.message};
    }
    if (format == "json") {
        c.out << Envelope(devices, errors);
    } else {
        PrintTable(c.out, {"MAC", "RESULT", "CHANGES", "MESSAGE"}, rows);
    }
    c.out.flush();
    if (a.has("--dry-run")) c.message(QStringLiteral("dry run: nothing was sent"));
    return ok ? kOk : kDeviceFailed;
}

}  // namespace

const Command& RestoreCommand() {
    static const Command command{
        "restore",
        "DIR [MAC...] [--dry-run] [--parallel N] [--timeout S] [--format table|json]\n"
        "[--ip LIST | --unicast] [--rate N]",
        "Load each device's own file from a backup folder and apply it.",
        "Every file is checked whole before anything is sent, as config import does; each\n"
        "device (those named, or every one with a file) is read, and only a device whose\n"
        "configuration differs is written and applied, then read back. One result per device.",
        QList<Option>{{{"--dry-run"}, {}, "Say what would change; send nothing."}} +
            FleetOptions("Devices restored at once (default 1)."),
        Completion::File,
        &RunRestore};
    return command;
}

}  // namespace velomar::cli
