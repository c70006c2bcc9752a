// velomar-cli set: the network settings of one device or of a table of them, checked whole
// before anything is sent and verified by searching again.
#include <QFile>

#include "cli/Cli.h"
#include "cli/Output.h"
#include "cli/Session.h"
#include "core/NetworkSetJob.h"

namespace velomar::cli {

namespace {

using std::chrono::milliseconds;

QJsonObject ResultJson(const SetResult& r) {
    return QJsonObject{{"mac", r.texts.mac},
                       {"ip", r.texts.ip},
                       {"mask", r.texts.mask},
                       {"gateway", r.texts.gateway},
                       {"pelorin_ip", r.texts.pelorin},
                       {"name", r.texts.name},
                       {"result", OutcomeText(r.outcome)},
                       {"message", r.message}};
}

// The results as the JSON envelope, the same on stdout and in a .json report.
QString ResultsEnvelope(const std::vector<SetResult>& results) {
    QJsonArray devices, errors;
    for (const SetResult& r : results) {
        devices.append(ResultJson(r));
        if (r.outcome != SetOutcome::Verified) errors.append(ErrorJson(r.texts.mac, r.message));
    }
    return Envelope(devices, errors);
}

void WriteSetReport(const QString& path, const std::vector<SetResult>& results) {
    QList<QStringList> rows;
    for (const SetResult& r : results) {
        rows << QStringList{r.texts.mac,     r.texts.ip,   r.texts.mask,           r.texts.gateway,
                            r.texts.pelorin, r.texts.name, OutcomeText(r.outcome), r.message};
    }
    WriteReport(path, ResultsEnvelope(results),
                {"mac", "ip", "mask", "gateway", "pelorin_ip", "name", "result", "message"}, rows);
}

std::vector<SetRow> RowsFromFile(const Arguments& a) {
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
    std::vector<SetRow> rows;
    try {
        rows = ParseSetTable(f.readAll(), path);
    } catch (const UsageError&) {
        throw;
    } catch (const Error& e) {
        throw UsageError(e.text());
    }
    if (rows.empty()) throw UsageError(QStringLiteral("%1: no device rows").arg(path));
    return rows;
}

SetRow RowFromOptions(const Arguments& a) {
    if (a.positional.size() != 1)
        throw UsageError(QStringLiteral("set needs one MAC (or --from FILE.csv)"));
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
    return row;
}

void PrintPlan(Context& c, const std::vector<NetworkSetTexts>& plan,
               const std::vector<FoundDevice>& found) {
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
        c.line(
            t.mac + QStringLiteral(": ") +
            (changes.isEmpty() ? QStringLiteral("no change") : changes.join(QStringLiteral(", "))));
    }
    c.out.flush();
}

int Set(Context& c, const Arguments& a) {
    const QString format = Format(a, {"table", "json"});
    const milliseconds timeout = Seconds(a, "--timeout", 3);
    const milliseconds verifyTimeout = Seconds(a, "--verify-timeout", 10);
    const std::vector<SetRow> rows =
        a.has("--from") ? RowsFromFile(a) : std::vector<SetRow>{RowFromOptions(a)};
    CheckReportOption(a);
    Session s(c, a, QStringLiteral("--search-ip"));
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
        PrintPlan(c, plan, found);
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
    QList<QStringList> table;
    for (const SetResult& r : results) {
        allVerified = allVerified && r.outcome == SetOutcome::Verified;
        table << QStringList{r.texts.mac, OutcomeText(r.outcome), r.texts.ip, r.texts.name,
                             r.message};
    }
    if (format == "json") {
        c.out << ResultsEnvelope(results);
    } else {
        PrintTable(c.out, {"MAC", "RESULT", "IP", "NAME", "MESSAGE"}, table);
    }
    c.out.flush();
    if (a.has("--report")) WriteSetReport(a.value("--report"), results);
    return allVerified ? kOk : kDeviceFailed;
}

}  // namespace

const Command& SetCommand() {
    static const Command command{
        "set",
        "MAC [--ip A] [--mask M] [--gateway G] [--pelorin-ip P] [--name TEXT]\n"
        "set --from FILE.csv [--dry-run] [--report FILE]\n"
        "(either form) [--timeout S] [--verify-timeout S] [--format table|json]\n"
        "(either form) [--search-ip LIST | --unicast] [--rate N]",
        "Change the network settings of one device or of many.",
        "Values not given keep the device's current ones (read by a search first). Every row\n"
        "is checked before anything is sent: addresses, MACs that did not answer, a MAC listed\n"
        "twice, an IP that two devices would hold. The CSV file has a header line naming its\n"
        "columns: mac, and any of ip, mask, gateway, pelorin_ip, name; an empty cell keeps the\n"
        "device's value. After sending, each device is searched for again until it answers\n"
        "with its new values: verified, sent-but-unverified or failed.",
        QList<Option>{
            {{"--ip", "--mask", "--gateway", "--pelorin-ip"}, "A", "New addresses."},
            {{"--name"}, "TEXT", "New name (cut at 32 bytes of UTF-8)."},
            {{"--from"}, "FILE.csv", "One row per device.", Completion::File},
            {{"--dry-run"}, {}, "Print the plan; send nothing."},
            {{"--report"},
             "FILE",
             "Write the results as CSV or JSON (by the file's extension).",
             Completion::File},
            {{"--timeout"}, "S", "Seconds for the search before (default 3)."},
            {{"--verify-timeout"}, "S", "Seconds to wait for the new values (default 10)."},
            {{"--format"},
             "F",
             "table (default) or json for the results.",
             Completion::Choice,
             {"table", "json"}}} +
            UnicastOptions(QStringLiteral("--search-ip")),
        Completion::None,
        &Set};
    return command;
}

}  // namespace velomar::cli
