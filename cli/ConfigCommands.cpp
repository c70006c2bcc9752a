// velomar-cli config: one device's configuration read, saved, compared, loaded and changed,
// under the names of 'config keys'.
#include <QFile>
#include <optional>

#include "cli/Cli.h"
#include "cli/Output.h"
#include "cli/Session.h"
#include "core/ConfigKeys.h"
#include "protocol/Codecs.h"
#include "protocol/Mac.h"

namespace velomar::cli {

namespace {

using std::chrono::milliseconds;

QJsonObject ConfigJson(const QByteArray& mac, const DeviceConfig& config) {
    QJsonObject values;
    for (const auto& [k, v] : ConfigValues(config)) values.insert(k, v);
    return QJsonObject{
        {"mac", MacToText(mac)}, {"port_count", int(config.network.portCount)}, {"config", values}};
}

DeviceConfig ReadFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw UsageError(QStringLiteral("cannot open %1: %2").arg(path, f.errorString()));
    try {
        return DecodeConfigFile(f.readAll(), path);
    } catch (const Error& e) {
        throw UsageError(e.text());
    }
}

// The MAC, then exactly `n` more arguments.
QByteArray MacAnd(const Arguments& a, const QString& command, int n, const char* what) {
    if (a.positional.isEmpty()) throw UsageError(QStringLiteral("%1 needs a MAC").arg(command));
    const QByteArray mac = Mac(a.positional.first());
    if (n >= 0 && a.positional.size() - 1 != n)
        throw UsageError(QStringLiteral("%1 needs %2").arg(command, what));
    return mac;
}

int Show(Context& c, const Arguments& a) {
    const QByteArray mac = MacAnd(a, "config show", 0, "only a MAC");
    const QString format = Format(a, {"text", "json"});
    Session s(c, a);
    const DeviceConfig config = s.config(mac).read(Seconds(a, "--timeout", 3));
    if (format == "json") {
        c.out << Envelope(QJsonArray{ConfigJson(mac, config)}, {});
    } else {
        QList<QStringList> rows{{"port_count", QString::number(config.network.portCount)}};
        for (const auto& [k, v] : ConfigValues(config)) rows << QStringList{k, v};
        PrintTable(c.out, {"KEY", "VALUE"}, rows);
    }
    return kOk;
}

int Export(Context& c, const Arguments& a) {
    const QByteArray mac = MacAnd(a, "config export", 1, "a MAC and a file");
    const QString path = a.positional.at(1);
    Session s(c, a);
    const DeviceConfig config = s.config(mac).read(Seconds(a, "--timeout", 3));
    WriteFileWhole(path, EncodeConfigFile(config, mac), {});
    c.message(QStringLiteral("%1: %2 port(s) written to %3")
                  .arg(MacToText(mac))
                  .arg(config.network.portCount)
                  .arg(path));
    return kOk;
}

int Diff(Context& c, const Arguments& a) {
    const QByteArray mac = MacAnd(a, "config diff", 1, "a MAC and a file or a second MAC");
    const milliseconds timeout = Seconds(a, "--timeout", 3);
    const auto other = ParseMac(a.positional.at(1));
    std::optional<DeviceConfig> fromFile;
    if (!other) fromFile = ReadFile(a.positional.at(1));
    Session s(c, a);
    const DeviceConfig mine = s.config(mac).read(timeout);
    const DeviceConfig theirs = fromFile ? *fromFile : s.config(*other).read(timeout);
    for (const QString& d : ConfigDifferences(mine, theirs)) c.line(d);
    c.out.flush();
    return kOk;
}

// What the device said to a configuration written and applied, as the exit code.
int ReportApply(Context& c, const QByteArray& mac, const ApplyResult& applied,
                milliseconds timeout) {
    const QString m = MacToText(mac);
    switch (applied.outcome) {
        case ApplyOutcome::Applied:
            c.message(QStringLiteral("%1: configuration applied and read back").arg(m));
            return kOk;
        case ApplyOutcome::NotApplied:
            c.error(QStringLiteral("%1: written, not applied: no answer to the apply request "
                                   "within %2 s (it is never repeated); the device may still "
                                   "use its old configuration")
                        .arg(m)
                        .arg(timeout.count() / 1000.0));
            break;
        case ApplyOutcome::ReadsBackOtherwise:
            c.error(QStringLiteral("%1: applied, but it reads back otherwise (a record written "
                                   "may have been lost): %2")
                        .arg(m, applied.differences.join(QStringLiteral("; "))));
            break;
        case ApplyOutcome::NotReadBack:
            c.error(QStringLiteral("%1: applied, not verified: %2").arg(m, applied.message));
            break;
    }
    return kDeviceFailed;
}

// Reads the device, makes `target` of what it holds, prints the changes and, unless a dry
// run, writes and applies them. A whole file sends every record; single keys only the
// records they changed, as the dialog sends only changed tabs.
int Change(Context& c, const Arguments& a, const QByteArray& mac,
           const std::optional<DeviceConfig>& file,
           const QList<QPair<QString, QString>>& assignments) {
    const milliseconds timeout = Seconds(a, "--timeout", 3);
    Session s(c, a);
    ConfigSession session = s.config(mac);
    const DeviceConfig now = session.read(timeout);
    DeviceConfig target = file ? *file : now;
    for (const auto& [k, v] : assignments) {
        try {
            SetConfigValue(target, k, v);
        } catch (const Error& e) {
            throw UsageError(e.text());
        }
    }
    for (const QString& d : ConfigDifferences(now, target)) c.line(d);
    c.out.flush();
    if (a.has("--dry-run")) {
        c.message(QStringLiteral("dry run: nothing was sent"));
        return kOk;
    }
    bool network = true, operation = true, serial = true;
    if (!file) {
        network = target.networkFrame(mac) != now.networkFrame(mac);
        operation = serial = false;
        for (size_t p = 0; p < target.operations.size(); ++p) {
            operation =
                operation || target.operationFrame(int(p), mac) != now.operationFrame(int(p), mac);
            serial = serial || target.serialFrame(int(p), mac) != now.serialFrame(int(p), mac);
        }
        if (!network && !operation && !serial) {
            c.message(QStringLiteral("nothing to change"));
            return kOk;
        }
    }
    return ReportApply(c, mac, session.writeAndApply(target, network, operation, serial, timeout),
                       timeout);
}

int Import(Context& c, const Arguments& a) {
    const QByteArray mac = MacAnd(a, "config import", 1, "a MAC and a file");
    return Change(c, a, mac, ReadFile(a.positional.at(1)), {});
}

int SetKeys(Context& c, const Arguments& a) {
    const QByteArray mac = MacAnd(a, "config set", -1, "");
    const QStringList rest = a.positional.mid(1);
    if (rest.isEmpty()) throw UsageError(QStringLiteral("config set needs KEY=VALUE"));
    QList<QPair<QString, QString>> assignments;
    for (const QString& kv : rest) {
        const qsizetype eq = kv.indexOf(u'=');
        if (eq <= 0) throw UsageError(QStringLiteral("\"%1\" is not KEY=VALUE").arg(kv));
        assignments.append({kv.left(eq), kv.mid(eq + 1)});
    }
    // Keys checked before the device is asked, so a typo costs no exchange.
    for (const auto& [k, v] : assignments) {
        const QString name = k.contains(u'.') ? k.section(u'.', 1) : k;
        const bool perPort = k.contains(u'.');
        bool known = false;
        for (const ConfigKey& key : ConfigKeys())
            known = known || (key.name == name && key.perPort == perPort);
        if (!known)
            throw UsageError(
                QStringLiteral("unknown key \"%1\" (see velomar-cli config keys)").arg(k));
    }
    return Change(c, a, mac, std::nullopt, assignments);
}

int Keys(Context& c, const Arguments&) {
    QList<QStringList> rows;
    for (const ConfigKey& k : ConfigKeys())
        rows << QStringList{k.perPort ? "portN." + k.name : k.name, k.description};
    PrintTable(c.out, {"KEY", "VALUES"}, rows);
    return kOk;
}

const Option kTimeout{{"--timeout"}, "S", "Seconds to wait for the records (default 3)."};
const Option kDryRun{{"--dry-run"}, {}, "Print the changes; send nothing."};

}  // namespace

const Command& ConfigShowCommand() {
    static const Command command{
        "config show",
        "MAC [--format text|json] [--timeout S] [--ip LIST | --unicast] [--rate N]",
        "Show a device's configuration under the names of 'config keys'.",
        {},
        QList<Option>{
            {{"--format"}, "F", "text (default) or json.", Completion::Choice, {"text", "json"}},
            kTimeout} +
            UnicastOptions(),
        Completion::None,
        &Show};
    return command;
}

const Command& ConfigExportCommand() {
    static const Command command{
        "config export",
        "MAC FILE.vlm [--timeout S] [--ip LIST | --unicast] [--rate N]",
        "Save a device's configuration in the window's configuration file format.",
        {},
        QList<Option>{kTimeout} + UnicastOptions(),
        Completion::File,
        &Export};
    return command;
}

const Command& ConfigImportCommand() {
    static const Command command{
        "config import",
        "MAC FILE.vlm [--dry-run] [--timeout S] [--ip LIST | --unicast] [--rate N]",
        "Load a configuration file into a device and apply it.",
        "The file is read and checked whole, the device's configuration is read, the changes\n"
        "are printed; then every record is sent, applied, and the device read again: it is\n"
        "applied once it answered the apply and reads back as written.",
        QList<Option>{kDryRun, kTimeout} + UnicastOptions(),
        Completion::File,
        &Import};
    return command;
}

const Command& ConfigDiffCommand() {
    static const Command command{
        "config diff",
        "MAC FILE.vlm | MAC MAC2 [--timeout S] [--ip LIST | --unicast] [--rate N]",
        "Show how a device's configuration differs from a file or another device.",
        {},
        QList<Option>{kTimeout} + UnicastOptions(),
        Completion::File,
        &Diff};
    return command;
}

const Command& ConfigSetCommand() {
    static const Command command{
        "config set",
        "MAC KEY=VALUE... [--dry-run] [--timeout S] [--ip LIST | --unicast] [--rate N]",
        "Change single settings and apply them.",
        "Network keys as listed by 'config keys'; port keys as portN.KEY (ports from 1).\n"
        "Every value is checked before anything is sent.",
        QList<Option>{kDryRun, kTimeout} + UnicastOptions(),
        Completion::None,
        &SetKeys};
    return command;
}

const Command& ConfigKeysCommand() {
    static const Command command{
        "config keys",    {},   "List the configuration keys and their values.", {}, {},
        Completion::None, &Keys};
    return command;
}

}  // namespace velomar::cli
