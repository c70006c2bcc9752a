#include "cli/Cli.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QSaveFile>
#include <QSet>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>

#include "cli/Help.h"
#include "core/ConfigKeys.h"
#include "core/ConfigSession.h"
#include "core/Csv.h"
#include "core/DeviceLink.h"
#include "core/Discovery.h"
#include "core/FirmwareTransfer.h"
#include "core/Mac.h"
#include "core/NetworkSetJob.h"
#include "core/ShownText.h"
#include "net/LocalAddresses.h"
#include "protocol/Bytes.h"
#include "protocol/Codecs.h"
#include "protocol/Firmware.h"

namespace velomar::cli {

using namespace std::chrono;

Context::Context() : out(stdout), err(stderr) {}

// Messages quote device names, file contents and values: shown with escapes, like every
// text that reaches a terminal.
void Context::message(const QString& text) {
    if (quiet) return;
    err << ShownText(text) << Qt::endl;
}

void Context::error(const QString& text) {
    err << "velomar-cli: " << ShownText(text) << Qt::endl;
}

void Context::line(const QString& text) {
    out << ShownText(text) << '\n';
}

namespace {

// Options each command takes; true for those with a value. Global ones are taken anywhere.
const QMap<QString, QMap<QString, bool>>& OptionSpecs() {
    static const QMap<QString, QMap<QString, bool>> specs{
        {QStringLiteral("search"),
         {{"--ip", true}, {"--timeout", true}, {"--expect", true}, {"--format", true}}},
        {QStringLiteral("interfaces"), {{"--format", true}}},
        {QStringLiteral("set"),
         {{"--ip", true},
          {"--mask", true},
          {"--gateway", true},
          {"--pelorin-ip", true},
          {"--name", true},
          {"--from", true},
          {"--dry-run", false},
          {"--report", true},
          {"--timeout", true},
          {"--verify-timeout", true},
          {"--format", true}}},
        {QStringLiteral("config show"), {{"--format", true}, {"--timeout", true}}},
        {QStringLiteral("config export"), {{"--timeout", true}}},
        {QStringLiteral("config import"), {{"--dry-run", false}, {"--timeout", true}}},
        {QStringLiteral("config diff"), {{"--timeout", true}}},
        {QStringLiteral("config set"), {{"--dry-run", false}, {"--timeout", true}}},
        {QStringLiteral("config keys"), {}},
        {QStringLiteral("firmware"), {{"--yes", false}, {"--timeout", true}, {"--format", true}}},
        {QStringLiteral("doctor"), {}},
    };
    return specs;
}

milliseconds Seconds(const Arguments& a, const QString& option, double fallback) {
    if (!a.has(option)) return milliseconds(qint64(fallback * 1000));
    bool ok = false;
    const double s = a.value(option).toDouble(&ok);
    if (!ok || s <= 0 || s > 3600) {
        throw UsageError(QStringLiteral("%1: \"%2\" is not a number of seconds (0-3600)")
                             .arg(option, a.value(option)));
    }
    return milliseconds(qint64(s * 1000));
}

QString Format(const Arguments& a, const QStringList& allowed) {
    const QString f = a.value(QStringLiteral("--format"), allowed.first());
    if (!allowed.contains(f)) {
        throw UsageError(
            QStringLiteral("--format: \"%1\" is not one of %2").arg(f, allowed.join(u'|')));
    }
    return f;
}

QByteArray Mac(const QString& text) {
    const auto mac = ParseMac(text);
    if (!mac) {
        throw UsageError(QStringLiteral("\"%1\" is not a MAC address (00-1A-2B-3C-4D-5E, "
                                        "00:1a:2b:3c:4d:5e or 001A2B3C4D5E)")
                             .arg(text));
    }
    return *mac;
}

QString Hex(const QByteArray& b) {
    return QString::fromLatin1(b.toHex());
}

QJsonObject DeviceJson(const FoundDevice& d) {
    const DeviceTexts& t = d.texts;
    const DiscoveryReply& r = d.reply;
    return QJsonObject{{"model", UpToNul(t.model)},
                       {"mac", t.mac},
                       {"version", UpToNul(t.version)},
                       {"name", t.name},
                       {"ip", t.ip},
                       {"mask", t.mask},
                       {"gateway", t.gateway},
                       {"pelorin_ip", t.pelorin},
                       {"local_address", d.localAddress},
                       {"raw", QJsonObject{{"model", Hex(r.model)},
                                           {"mac", Hex(r.mac)},
                                           {"version", Hex(r.version)},
                                           {"name", Hex(r.name)},
                                           {"ip", Hex(r.ip)},
                                           {"mask", Hex(r.mask)},
                                           {"gateway", Hex(r.gateway)},
                                           {"pelorin_ip", Hex(r.pelorin)}}}};
}

const QStringList kCsvColumns{
    "model",      "mac",           "version",       "name",    "ip",          "mask",     "gateway",
    "pelorin_ip", "local_address", "raw_model",     "raw_mac", "raw_version", "raw_name", "raw_ip",
    "raw_mask",   "raw_gateway",   "raw_pelorin_ip"};

// The texts as the table shows them; the raw_ columns keep the exact bytes.
QStringList DeviceCsv(const FoundDevice& d) {
    const QJsonObject o = DeviceJson(d);
    const QJsonObject raw = o.value("raw").toObject();
    QStringList f;
    for (const QString& c : kCsvColumns) {
        f << (c.startsWith("raw_") ? raw.value(c.mid(4)).toString()
                                   : ShownText(o.value(c).toString()));
    }
    return f;
}

// JSON keeps every text exact; the controls a terminal would act on travel as \u escapes.
QString JsonLine(const QJsonObject& o) {
    return QString::fromUtf8(TerminalSafeJson(QJsonDocument(o).toJson(QJsonDocument::Compact)));
}

// The envelope's keys in the order the documentation shows them (a QJsonObject would sort
// them): schema_version first, so that a reader sees the shape before the data.
QString Envelope(const QJsonArray& devices, const QJsonArray& errors) {
    auto member = [](const QJsonArray& list) {
        // A JSON string holds no raw line break, so indenting at each one is safe.
        return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented))
            .trimmed()
            .replace(QLatin1Char('\n'), QLatin1String("\n    "));
    };
    const QString text = QStringLiteral(
                             "{\n    \"schema_version\": 1,\n    \"devices\": %1,\n    "
                             "\"errors\": %2\n}\n")
                             .arg(member(devices), member(errors));
    return QString::fromUtf8(TerminalSafeJson(text.toUtf8()));
}

QJsonObject ErrorJson(const QString& mac, const QString& message) {
    QJsonObject o{{"message", message}};
    if (!mac.isEmpty()) o.insert("mac", mac);
    return o;
}

// Columns padded to their widest cell, every cell as ShownText shows it.
void PrintTable(QTextStream& out, const QStringList& header, const QList<QStringList>& cells) {
    QList<QStringList> rows;
    for (const QStringList& r : cells) {
        QStringList shown;
        for (const QString& cell : r) shown << ShownText(cell);
        rows << shown;
    }
    QList<int> width;
    for (const QString& h : header) width << int(h.size());
    for (const QStringList& r : rows) {
        for (int i = 0; i < r.size() && i < width.size(); ++i)
            width[i] = std::max(width[i], int(r[i].size()));
    }
    auto line = [&](const QStringList& cells) {
        QString l;
        for (int i = 0; i < cells.size(); ++i) {
            l += i + 1 < cells.size() ? cells[i].leftJustified(width[i] + 2) : cells[i];
        }
        out << l << '\n';
    };
    line(header);
    for (const QStringList& r : rows) line(r);
    out.flush();
}

class Session {
  public:
    Session(Context& c) : context_(c), link_(SelectedAddresses(c.interfaces)) {
        if (link_.localAddresses().isEmpty()) {
            context_.message(QStringLiteral("no local IPv4 address is up: broadcasts go nowhere"));
        }
        retries_.repeats = kRepeats;
        retries_.notice = [&c](const QString& text) { c.message(text); };
        link_.open();
    }
    DeviceLink& link() { return link_; }
    const Retries& retries() const { return retries_; }

    // The devices with these MACs (ending as soon as all answered).
    std::vector<FoundDevice> find(const std::vector<QByteArray>& macs, milliseconds timeout) {
        DiscoveryOptions o;
        o.timeout = timeout;
        o.untilMacs = macs;
        o.retries = retries_;
        return DiscoverySession(link_).run(o);
    }
    ConfigSession config(const QByteArray& mac) { return ConfigSession(link_, mac, retries_); }

  private:
    Context& context_;
    DeviceLink link_;
    Retries retries_;
};

// ---------------------------------------------------------------------------- search

int Search(Context& c, const Arguments& a) {
    if (!a.positional.isEmpty()) throw UsageError(QStringLiteral("search takes no arguments"));
    const QString format = Format(a, {"table", "json", "ndjson", "csv"});
    DiscoveryOptions o;
    o.timeout = Seconds(a, "--timeout", 3);
    o.address = a.value("--ip");
    if (!o.address.isEmpty() && !IsValidIp(o.address)) {
        throw UsageError(QStringLiteral("--ip: \"%1\" is not an IPv4 address").arg(o.address));
    }
    if (a.has("--expect")) {
        bool ok = false;
        o.expect = a.value("--expect").toInt(&ok);
        if (!ok || o.expect < 1)
            throw UsageError(QStringLiteral("--expect: \"%1\" is not a positive number")
                                 .arg(a.value("--expect")));
    }
    Session s(c);
    o.retries = s.retries();  // used only with --ip: a search of all waits its whole timeout
    if (format == "ndjson") {
        o.onFound = [&](const FoundDevice& d) { c.out << JsonLine(DeviceJson(d)) << Qt::endl; };
    } else if (format == "csv") {
        c.out << CsvLine(kCsvColumns) << Qt::endl;
        o.onFound = [&](const FoundDevice& d) { c.out << CsvLine(DeviceCsv(d)) << Qt::endl; };
    }
    c.message(QStringLiteral("searching for %1 s...").arg(o.timeout.count() / 1000.0));
    DiscoverySession search(s.link());
    const std::vector<FoundDevice> found = search.run(o);
    if (!found.empty()) {
        c.message(QStringLiteral("%1 device(s) answered, the last %2 s after the request")
                      .arg(found.size())
                      .arg(search.lastAnswerAfter().count() / 1e6, 0, 'f', 3));
    }
    QJsonArray errors;
    const bool short_ = o.expect > 0 && int(found.size()) < o.expect;
    if (short_) {
        const QString m =
            QStringLiteral("%1 device(s) found, %2 expected").arg(found.size()).arg(o.expect);
        c.error(m);
        errors.append(ErrorJson({}, m));
    }
    if (format == "json") {
        QJsonArray devices;
        for (const FoundDevice& d : found) devices.append(DeviceJson(d));
        c.out << Envelope(devices, errors);
    } else if (format == "table") {
        QList<QStringList> rows;
        for (const FoundDevice& d : found) {
            const DeviceTexts& t = d.texts;
            rows << QStringList{UpToNul(t.model), t.mac,     UpToNul(t.version),
                                t.name,           t.ip,      t.mask,
                                t.gateway,        t.pelorin, d.localAddress};
        }
        if (!rows.isEmpty()) {
            PrintTable(
                c.out,
                {"MODEL", "MAC", "VERSION", "NAME", "IP", "MASK", "GATEWAY", "PELORIN_IP", "VIA"},
                rows);
        }
    }
    c.out.flush();
    c.message(QStringLiteral("%1 device(s) found").arg(found.size()));
    if (const auto lost = s.link().dropped(); lost && *lost > 0) {
        c.message(QStringLiteral("%1 replies were lost: this computer could not take them in time "
                                 "(see velomar-cli doctor)")
                      .arg(*lost));
    }
    return short_ ? kNotFound : kOk;
}

// ---------------------------------------------------------------------------- interfaces

int Interfaces(Context& c, const Arguments& a) {
    const QString format = Format(a, {"table", "json"});
    const QStringList selected = SelectedAddresses(c.interfaces);
    QJsonArray devices;
    QList<QStringList> rows;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry& e : i.addressEntries()) {
            const QString ip = e.ip().toString();
            if (!selected.contains(ip)) continue;
            const QString broadcast = e.broadcast().isNull() ? QString() : e.broadcast().toString();
            rows << QStringList{i.name(), ip, e.netmask().toString(), broadcast};
            devices.append(QJsonObject{{"interface", i.name()},
                                       {"address", ip},
                                       {"mask", e.netmask().toString()},
                                       {"broadcast", broadcast}});
        }
    }
    if (format == "json") {
        c.out << Envelope(devices, {});
    } else {
        PrintTable(c.out, {"INTERFACE", "ADDRESS", "MASK", "BROADCAST"}, rows);
    }
    return kOk;
}

// ---------------------------------------------------------------------------- set

void WriteReport(const QString& path, const std::vector<SetResult>& results) {
    QByteArray bytes;
    if (path.endsWith(".json", Qt::CaseInsensitive)) {
        QJsonArray devices;
        QJsonArray errors;
        for (const SetResult& r : results) {
            devices.append(QJsonObject{{"mac", r.texts.mac},
                                       {"ip", r.texts.ip},
                                       {"mask", r.texts.mask},
                                       {"gateway", r.texts.gateway},
                                       {"pelorin_ip", r.texts.pelorin},
                                       {"name", r.texts.name},
                                       {"result", OutcomeText(r.outcome)},
                                       {"message", r.message}});
            if (r.outcome != SetOutcome::Verified) errors.append(ErrorJson(r.texts.mac, r.message));
        }
        bytes = Envelope(devices, errors).toUtf8();
    } else if (path.endsWith(".csv", Qt::CaseInsensitive)) {
        QString t =
            CsvLine({"mac", "ip", "mask", "gateway", "pelorin_ip", "name", "result", "message"}) +
            '\n';
        for (const SetResult& r : results) {
            QStringList cells{
                r.texts.mac,     r.texts.ip,   r.texts.mask,           r.texts.gateway,
                r.texts.pelorin, r.texts.name, OutcomeText(r.outcome), r.message};
            for (QString& cell : cells) cell = ShownText(cell);
            t += CsvLine(cells) + '\n';
        }
        bytes = t.toUtf8();
    } else {
        throw UsageError(QStringLiteral("--report: \"%1\" should end in .csv or .json").arg(path));
    }
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        throw Error(QStringLiteral("cannot write the report %1: %2").arg(path, f.errorString()));
    }
}

int Set(Context& c, const Arguments& a) {
    const QString format = Format(a, {"table", "json"});
    const milliseconds timeout = Seconds(a, "--timeout", 3);
    const milliseconds verifyTimeout = Seconds(a, "--verify-timeout", 10);
    std::vector<SetRow> rows;
    if (a.has("--from")) {
        if (!a.positional.isEmpty()) throw UsageError(QStringLiteral("set --from takes no MAC"));
        for (const char* o : {"--ip", "--mask", "--gateway", "--pelorin-ip", "--name"}) {
            if (a.has(o))
                throw UsageError(
                    QStringLiteral("set --from takes its values from the file, not %1").arg(o));
        }
        const QString path = a.value("--from");
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            throw UsageError(QStringLiteral("cannot open %1: %2").arg(path, f.errorString()));
        try {
            rows = ParseSetTable(f.readAll(), path);
        } catch (const UsageError&) {
            throw;
        } catch (const Error& e) {
            throw UsageError(e.text());
        }
        if (rows.empty()) throw UsageError(QStringLiteral("%1: no device rows").arg(path));
    } else {
        if (a.positional.size() != 1)
            throw UsageError(QStringLiteral("set needs one MAC (or --from FILE.csv)"));
        if (a.has("--report") || a.has("--dry-run")) {
            // Allowed for one device as well.
        }
        SetRow row;
        row.macText = a.positional.first();
        row.mac = Mac(row.macText);
        auto opt = [&](const char* o) -> std::optional<QString> {
            return a.has(o) ? std::optional<QString>(a.value(o)) : std::nullopt;
        };
        row.ip = opt("--ip");
        row.mask = opt("--mask");
        row.gateway = opt("--gateway");
        row.pelorin = opt("--pelorin-ip");
        row.name = opt("--name");
        if (!row.ip && !row.mask && !row.gateway && !row.pelorin && !row.name) {
            throw UsageError(QStringLiteral(
                "set: nothing to change (give --ip, --mask, --gateway, --pelorin-ip or --name)"));
        }
        rows.push_back(row);
    }
    if (a.has("--report")) {
        const QString r = a.value("--report");
        if (!r.endsWith(".csv", Qt::CaseInsensitive) && !r.endsWith(".json", Qt::CaseInsensitive)) {
            throw UsageError(QStringLiteral("--report: \"%1\" should end in .csv or .json").arg(r));
        }
    }
    Session s(c);
    std::vector<QByteArray> macs;
    for (const SetRow& r : rows) macs.push_back(r.mac);
    c.message(QStringLiteral("searching for %1 device(s)...").arg(macs.size()));
    const std::vector<FoundDevice> found = s.find(macs, timeout);
    std::vector<NetworkSetTexts> plan;
    const QStringList problems = CheckSetPlan(rows, found, plan);
    if (!problems.isEmpty()) {
        const QString where = a.has("--from") ? a.value("--from") + u':' : QString();
        for (const QString& p : problems) c.error(where + p);
        c.error(QStringLiteral("nothing was sent"));
        return kBadUsage;
    }
    if (a.has("--dry-run")) {
        QHash<QByteArray, const FoundDevice*> now;
        for (const FoundDevice& d : found) now.insert(d.reply.mac, &d);
        for (const NetworkSetTexts& t : plan) {
            const DeviceTexts& d = now.value(MacTextToBytes(t.mac))->texts;
            QStringList changes;
            auto cmp = [&](const char* key, const QString& from, const QString& to) {
                if (from != to) changes << QStringLiteral("%1 %2 -> %3").arg(key, from, to);
            };
            cmp("ip", d.ip, t.ip);
            cmp("mask", d.mask, t.mask);
            cmp("gateway", d.gateway, t.gateway);
            cmp("pelorin_ip", d.pelorin, t.pelorin);
            cmp("name", d.name, t.name);
            c.line(t.mac + QStringLiteral(": ") +
                   (changes.isEmpty() ? QStringLiteral("no change")
                                      : changes.join(QStringLiteral(", "))));
        }
        c.out.flush();
        c.message(QStringLiteral("dry run: nothing was sent"));
        return kOk;
    }
    c.message(
        QStringLiteral("sending to %1 device(s), then waiting up to %2 s for their new values...")
            .arg(plan.size())
            .arg(verifyTimeout.count() / 1000.0));
    const std::vector<SetResult> results =
        RunNetworkSets(s.link(), plan, verifyTimeout, s.retries());
    bool allVerified = true;
    QJsonArray devices, errors;
    QList<QStringList> table;
    for (const SetResult& r : results) {
        allVerified = allVerified && r.outcome == SetOutcome::Verified;
        devices.append(QJsonObject{{"mac", r.texts.mac},
                                   {"ip", r.texts.ip},
                                   {"mask", r.texts.mask},
                                   {"gateway", r.texts.gateway},
                                   {"pelorin_ip", r.texts.pelorin},
                                   {"name", r.texts.name},
                                   {"result", OutcomeText(r.outcome)},
                                   {"message", r.message}});
        if (r.outcome != SetOutcome::Verified) errors.append(ErrorJson(r.texts.mac, r.message));
        table << QStringList{r.texts.mac, OutcomeText(r.outcome), r.texts.ip, r.texts.name,
                             r.message};
    }
    if (format == "json") {
        c.out << Envelope(devices, errors);
    } else {
        PrintTable(c.out, {"MAC", "RESULT", "IP", "NAME", "MESSAGE"}, table);
    }
    c.out.flush();
    if (a.has("--report")) WriteReport(a.value("--report"), results);
    return allVerified ? kOk : kDeviceFailed;
}

// ---------------------------------------------------------------------------- config

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

int Config(Context& c, const QString& sub, const Arguments& a) {
    const milliseconds timeout = Seconds(a, "--timeout", 3);
    if (sub == "keys") {
        QList<QStringList> rows;
        for (const ConfigKey& k : ConfigKeys())
            rows << QStringList{k.perPort ? "portN." + k.name : k.name, k.description};
        PrintTable(c.out, {"KEY", "VALUES"}, rows);
        return kOk;
    }
    if (a.positional.isEmpty()) throw UsageError(QStringLiteral("config %1 needs a MAC").arg(sub));
    const QByteArray mac = Mac(a.positional.first());
    const QStringList rest = a.positional.mid(1);
    auto expectArgs = [&](int n, const char* what) {
        if (rest.size() != n) throw UsageError(QStringLiteral("config %1 needs %2").arg(sub, what));
    };
    if (sub == "show") {
        expectArgs(0, "only a MAC");
        const QString format = Format(a, {"text", "json"});
        Session s(c);
        const DeviceConfig config = s.config(mac).read(timeout);
        if (format == "json") {
            c.out << Envelope(QJsonArray{ConfigJson(mac, config)}, {});
        } else {
            QList<QStringList> rows{{"port_count", QString::number(config.network.portCount)}};
            for (const auto& [k, v] : ConfigValues(config)) rows << QStringList{k, v};
            PrintTable(c.out, {"KEY", "VALUE"}, rows);
        }
        return kOk;
    }
    if (sub == "export") {
        expectArgs(1, "a MAC and a file");
        Session s(c);
        const DeviceConfig config = s.config(mac).read(timeout);
        const QByteArray bytes = EncodeConfigFile(config, mac);
        QSaveFile f(rest.first());
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
            throw Error(QStringLiteral("cannot write %1: %2").arg(rest.first(), f.errorString()));
        }
        c.message(QStringLiteral("%1: %2 port(s) written to %3")
                      .arg(MacToText(mac))
                      .arg(config.network.portCount)
                      .arg(rest.first()));
        return kOk;
    }
    if (sub == "diff") {
        expectArgs(1, "a MAC and a file or a second MAC");
        const auto other = ParseMac(rest.first());
        std::optional<DeviceConfig> fromFile;
        if (!other) fromFile = ReadFile(rest.first());
        Session s(c);
        const DeviceConfig mine = s.config(mac).read(timeout);
        const DeviceConfig theirs = fromFile ? *fromFile : s.config(*other).read(timeout);
        for (const QString& d : ConfigDifferences(mine, theirs)) c.line(d);
        c.out.flush();
        return kOk;
    }
    if (sub == "import" || sub == "set") {
        std::optional<DeviceConfig> file;
        QList<QPair<QString, QString>> assignments;
        if (sub == "import") {
            expectArgs(1, "a MAC and a file");
            file = ReadFile(rest.first());
        } else {
            if (rest.isEmpty()) throw UsageError(QStringLiteral("config set needs KEY=VALUE"));
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
        }
        Session s(c);
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
        const QStringList changes = ConfigDifferences(now, target);
        for (const QString& d : changes) c.line(d);
        c.out.flush();
        if (a.has("--dry-run")) {
            c.message(QStringLiteral("dry run: nothing was sent"));
            return kOk;
        }
        bool network = true, operation = true, serial = true;
        if (!file) {
            // Only the records a key changed go out, as the dialog sends only changed tabs.
            network = target.networkFrame(mac) != now.networkFrame(mac);
            operation = serial = false;
            for (size_t p = 0; p < target.operations.size(); ++p) {
                operation = operation ||
                            target.operationFrame(int(p), mac) != now.operationFrame(int(p), mac);
                serial = serial || target.serialFrame(int(p), mac) != now.serialFrame(int(p), mac);
            }
            if (!network && !operation && !serial) {
                c.message(QStringLiteral("nothing to change"));
                return kOk;
            }
        }
        const ApplyResult applied =
            session.writeAndApply(target, network, operation, serial, timeout);
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
    throw UsageError(QStringLiteral("unknown config command \"%1\"").arg(sub));
}

// ---------------------------------------------------------------------------- firmware

class ProgressShow {
  public:
    ProgressShow(Context& c, const QString& mac, std::int64_t total)
        : c_(c), mac_(mac), total_(std::max<std::int64_t>(total, 1)), terminal_(isatty(2)) {}
    void update(std::int64_t bytes) {
        if (c_.quiet) return;
        const int percent = int(bytes * 100 / total_);
        if (terminal_) {
            const int filled = percent * 30 / 100;
            c_.err << "\r" << mac_ << " [" << QString(filled, u'#') << QString(30 - filled, u'.')
                   << "] " << percent << "%";
            c_.err.flush();
        } else if (percent / 10 != lastTenth_) {
            lastTenth_ = percent / 10;
            c_.err << mac_ << ": " << percent << "% (" << bytes << " of " << total_ << " bytes)"
                   << Qt::endl;
        }
    }
    void finish() {
        if (terminal_ && !c_.quiet) c_.err << Qt::endl;
    }

  private:
    Context& c_;
    QString mac_;
    std::int64_t total_;
    bool terminal_;
    int lastTenth_ = -1;
};

int Firmware(Context& c, const Arguments& a) {
    const QString format = Format(a, {"table", "json"});
    if (a.positional.size() < 2)
        throw UsageError(QStringLiteral("firmware needs at least one MAC and an image"));
    const QString image = a.positional.last();
    std::vector<QByteArray> macs;
    for (const QString& m : a.positional.mid(0, a.positional.size() - 1)) {
        const QByteArray mac = Mac(m);
        if (std::find(macs.begin(), macs.end(), mac) == macs.end()) macs.push_back(mac);
    }
    const milliseconds timeout = Seconds(a, "--timeout", 3);
    try {
        OpenFirmwareImage(image);  // unreadable or too large: refused before anything is sent
    } catch (const Error& e) {
        throw UsageError(e.text());
    }
    Session s(c);
    const std::vector<FoundDevice> found = s.find(macs, timeout);
    QHash<QByteArray, FoundDevice> byMac;
    for (const FoundDevice& d : found) byMac.insert(d.reply.mac, d);
    QStringList missing;
    for (const QByteArray& m : macs) {
        if (!byMac.contains(m)) missing << MacToText(m);
    }
    if (!missing.isEmpty()) {
        c.error(QStringLiteral("no answer from %1; nothing was sent")
                    .arg(missing.join(QStringLiteral(", "))));
        return kBadUsage;
    }
    for (const QByteArray& m : macs) {
        const DeviceTexts& t = byMac.value(m).texts;
        c.message(QStringLiteral("%1  %2  version %3  %4")
                      .arg(t.mac, UpToNul(t.model), UpToNul(t.version), t.name));
    }
    if (!a.has("--yes") && isatty(0)) {
        c.err << QStringLiteral("Upgrade %1 device(s) with %2? [y/N] ").arg(macs.size()).arg(image);
        c.err.flush();
        char answer[16] = {};
        if (!fgets(answer, sizeof answer, stdin) || (answer[0] != 'y' && answer[0] != 'Y')) {
            c.message(QStringLiteral("nothing was sent"));
            return kOk;
        }
    }
    struct Outcome {
        QString mac, model, before, after, result, message;
    };
    std::vector<Outcome> outcomes;
    for (const QByteArray& mac : macs) {
        const DeviceTexts& t = byMac.value(mac).texts;
        Outcome o{t.mac, UpToNul(t.model), UpToNul(t.version), {}, {}, {}};
        const std::int64_t size = FirmwareFileSize(image);
        ProgressShow progress(c, t.mac, size);
        int blocksAccepted = 0;
        FirmwareTransferHooks hooks;
        hooks.send = [&](const QByteArray& frame) { s.link().broadcast(frame); };
        hooks.progress = [&](std::int64_t bytes) {
            ++blocksAccepted;
            progress.update(bytes);
        };
        FirmwareReplySlot& slot = s.link().firmwareSlot();
        slot.clear();
        FirmwareResult result = FirmwareResult::Failed;
        try {
            const auto file = OpenFirmwareImage(image);
            FirmwareTransfer transfer(slot, steadyWaitClock(), std::move(hooks));
            result = transfer.run(*file, image, mac);
        } catch (const Error& e) {
            o.message = e.text();
        }
        progress.finish();
        const std::int64_t blocks = (size + kFirmwareBlockSize - 1) / kFirmwareBlockSize;
        if (result == FirmwareResult::Succeeded) {
            o.result = "succeeded";
        } else {
            o.result = "failed";
            if (o.message.isEmpty()) {
                const FirmwareReply last = FirmwareReply::decode(s.link().lastFirmwareReply());
                const bool answered = last.block == blocksAccepted && !last.accepted();
                if (blocksAccepted < blocks) {
                    o.message =
                        answered ? QStringLiteral("the device refused block %1").arg(blocksAccepted)
                                 : QStringLiteral("no answer to block %1 within %2 s")
                                       .arg(blocksAccepted)
                                       .arg(kFirmwareBlockReplyWait.count());
                } else {
                    o.message =
                        answered ? QStringLiteral("the device refused the final frame (block %1)")
                                       .arg(blocksAccepted)
                                 : QStringLiteral("no answer to the final frame within %1 s")
                                       .arg(kFirmwareFinalReplyWait.count());
                }
            }
            c.error(QStringLiteral("%1: %2").arg(o.mac, o.message));
        }
        outcomes.push_back(o);
    }
    // What the devices report now.
    const std::vector<FoundDevice> after = s.find(macs, timeout);
    for (Outcome& o : outcomes) {
        for (const FoundDevice& d : after) {
            if (d.texts.mac == o.mac) o.after = UpToNul(d.texts.version);
        }
    }
    bool allOk = true;
    QJsonArray devices, errors;
    QList<QStringList> rows;
    for (const Outcome& o : outcomes) {
        allOk = allOk && o.result == "succeeded";
        devices.append(QJsonObject{{"mac", o.mac},
                                   {"model", o.model},
                                   {"version_before", o.before},
                                   {"version_after", o.after},
                                   {"result", o.result},
                                   {"message", o.message}});
        if (o.result != "succeeded") errors.append(ErrorJson(o.mac, o.message));
        rows << QStringList{o.mac,    o.model,
                            o.before, o.after.isEmpty() ? "(no answer)" : o.after,
                            o.result, o.message};
    }
    if (format == "json") {
        c.out << Envelope(devices, errors);
    } else {
        PrintTable(c.out, {"MAC", "MODEL", "BEFORE", "NOW", "RESULT", "MESSAGE"}, rows);
    }
    c.out.flush();
    return allOk ? kOk : kDeviceFailed;
}

}  // namespace

QStringList SelectedAddresses(const QStringList& wanted) {
    const QStringList local = LocalIPv4Addresses();
    if (wanted.isEmpty()) return local;
    QStringList out;
    for (const QString& w : wanted) {
        QStringList matched;
        if (local.contains(w)) {
            matched << w;
        } else {
            const QNetworkInterface i = QNetworkInterface::interfaceFromName(w);
            for (const QNetworkAddressEntry& e : i.addressEntries()) {
                if (local.contains(e.ip().toString())) matched << e.ip().toString();
            }
        }
        if (matched.isEmpty()) {
            throw UsageError(QStringLiteral("--interface: \"%1\" is neither a local interface that "
                                            "is up nor one of its IPv4 addresses (%2)")
                                 .arg(w, local.isEmpty() ? QStringLiteral("none here")
                                                         : local.join(QStringLiteral(", "))));
        }
        for (const QString& m : matched) {
            if (!out.contains(m)) out << m;
        }
    }
    // In the system's order, as a search without --interface goes.
    QStringList ordered;
    for (const QString& l : local) {
        if (out.contains(l)) ordered << l;
    }
    return ordered;
}

int Run(const QStringList& arguments) {
    Context c;
    try {
        // Global options anywhere; the command is the first plain word (two for config).
        QStringList words;
        Arguments a;
        bool help = false;
        QStringList rest = arguments.mid(1);
        QString command;
        const QMap<QString, bool>* spec = nullptr;
        for (int i = 0; i < rest.size(); ++i) {
            QString arg = rest[i];
            QString inlineValue;
            bool hasInline = false;
            if (arg.startsWith("--") && arg.contains(u'=')) {
                inlineValue = arg.section(u'=', 1);
                arg = arg.section(u'=', 0, 0);
                hasInline = true;
            }
            auto takeValue = [&]() {
                if (hasInline) return inlineValue;
                if (i + 1 >= rest.size())
                    throw UsageError(QStringLiteral("%1 needs a value").arg(arg));
                return rest[++i];
            };
            if (arg == "--help" || arg == "-h") {
                help = true;
            } else if (arg == "--version") {
                c.out << "velomar-cli " << QCoreApplication::applicationVersion() << Qt::endl;
                return kOk;
            } else if (arg == "--quiet" || arg == "-q") {
                c.quiet = true;
            } else if (arg == "--interface") {
                c.interfaces << takeValue();
            } else if (arg == "--") {
                a.positional += rest.mid(i + 1);
                break;
            } else if (arg.startsWith('-') && arg.size() > 1) {
                if (!spec)
                    throw UsageError(
                        QStringLiteral("unknown option %1 (before the command)").arg(arg));
                if (!spec->contains(arg))
                    throw UsageError(QStringLiteral("%1 does not take %2").arg(command, arg));
                a.options[arg] << (spec->value(arg) ? takeValue() : QString());
            } else if (command.isEmpty()) {
                command = arg;
                if (command == "config") {
                    if (i + 1 < rest.size() && !rest[i + 1].startsWith('-'))
                        command += ' ' + rest[++i];
                }
                if (command != "config" && !OptionSpecs().contains(command)) {
                    throw UsageError(QStringLiteral("unknown command \"%1\"").arg(command));
                }
                spec =
                    OptionSpecs().contains(command) ? &*OptionSpecs().constFind(command) : nullptr;
            } else {
                a.positional << arg;
            }
        }
        if (command.isEmpty()) {
            if (help) {
                c.out << GlobalHelp();
                return kOk;
            }
            c.err << GlobalHelp();
            return kBadUsage;
        }
        if (command == "config" && !help) {
            throw UsageError(
                QStringLiteral("config needs show, export, import, diff, set or keys"));
        }
        if (help) {
            if (command == "config") {
                for (const CommandHelp& h : Commands()) {
                    if (h.name.startsWith("config ")) c.out << CommandHelpText(h) << '\n';
                }
            } else {
                c.out << CommandHelpText(*FindCommand(command));
            }
            return kOk;
        }
        if (command == "search") return Search(c, a);
        if (command == "interfaces") return Interfaces(c, a);
        if (command == "set") return Set(c, a);
        if (command == "firmware") return Firmware(c, a);
        if (command == "doctor") return RunDoctor(c);
        return Config(c, command.section(' ', 1), a);
    } catch (const UsageError& e) {
        c.error(e.text());
        c.err << "Try 'velomar-cli --help'." << Qt::endl;
        return kBadUsage;
    } catch (const PortInUseError& e) {
        c.error(e.text());
        return kPortUnavailable;
    } catch (const Error& e) {
        c.error(e.text());
        return kDeviceFailed;
    }
}

}  // namespace velomar::cli
