// velomar-cli search: the devices that answer, in every output format.
#include "cli/Cli.h"
#include "cli/Output.h"
#include "cli/Session.h"
#include "core/Csv.h"
#include "core/Problems.h"
#include "protocol/Address.h"
#include "protocol/Bytes.h"

namespace velomar::cli {

namespace {

const QStringList kSearchFormats{"table", "json", "ndjson", "csv"};

int Search(Context& c, const Arguments& a) {
    if (!a.positional.isEmpty()) throw UsageError(QStringLiteral("search takes no arguments"));
    const QString format = Format(a, kSearchFormats);
    DiscoveryOptions o;
    o.timeout = Seconds(a, "--timeout", 3);
    const QString ip = a.value("--ip");
    if (!ip.contains(u',') && !ip.contains(u'/')) {
        // One address is asked as it is: a device, or a broadcast address.
        o.address = ip;
        if (!o.address.isEmpty() && !IsValidIp(o.address)) {
            throw UsageError(QStringLiteral("--ip: \"%1\" is not an IPv4 address").arg(o.address));
        }
    } else {
        o.targets = Targets(a, "--ip");
    }
    o.rate = Rate(a);
    if (a.has("--expect")) {
        bool ok = false;
        o.expect = a.value("--expect").toInt(&ok);
        if (!ok || o.expect < 1)
            throw UsageError(QStringLiteral("--expect: \"%1\" is not a positive number")
                                 .arg(a.value("--expect")));
    }
    Session s(c);
    o.retries = s.retries();  // used only with --ip: a search of all waits its whole timeout
    const QList<LocalSubnet> subnets = LocalSubnets(s.link().localAddresses());
    // Lines written as devices answer show the problems known by then: a duplicate address
    // is flagged on the second device that holds it (the summary at the end has them all).
    std::vector<ProblemDevice> sofar;
    auto problemsNow = [&](const FoundDevice& d) {
        sofar.push_back({d.texts.mac, d.texts.ip});
        return DeviceProblems(sofar, subnets).back();
    };
    if (format == "ndjson") {
        o.onFound = [&](const FoundDevice& d) {
            const QStringList problems = problemsNow(d);
            c.out << JsonLine(DeviceJson(d, &problems)) << Qt::endl;
        };
    } else if (format == "csv") {
        c.out << CsvLine(DeviceCsvColumns()) << Qt::endl;
        o.onFound = [&](const FoundDevice& d) {
            c.out << CsvLine(DeviceCsv(d, problemsNow(d))) << Qt::endl;
        };
    }
    c.message(QStringLiteral("searching for %1 s...").arg(o.timeout.count() / 1000.0));
    DiscoverySession search(s.link());
    const std::vector<FoundDevice> found = search.run(o);
    if (!found.empty()) {
        c.message(QStringLiteral("%1 device(s) answered, the last %2 s after the request")
                      .arg(found.size())
                      .arg(search.lastAnswerAfter().count() / 1e6, 0, 'f', 3));
    }
    std::vector<ProblemDevice> all;
    for (const FoundDevice& d : found) all.push_back({d.texts.mac, d.texts.ip});
    const std::vector<QStringList> problems = DeviceProblems(all, subnets);
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
        for (size_t i = 0; i < found.size(); ++i)
            devices.append(DeviceJson(found[i], &problems[i]));
        c.out << Envelope(devices, errors);
    } else if (format == "table") {
        QList<QStringList> rows;
        for (size_t i = 0; i < found.size(); ++i) {
            const DeviceTexts& t = found[i].texts;
            rows << QStringList{UpToNul(t.model),
                                t.mac,
                                UpToNul(t.version),
                                t.name,
                                t.ip,
                                t.mask,
                                t.gateway,
                                t.pelorin,
                                found[i].localAddress,
                                problems[i].join(QStringLiteral("; "))};
        }
        if (!rows.isEmpty()) {
            PrintTable(c.out,
                       {"MODEL", "MAC", "VERSION", "NAME", "IP", "MASK", "GATEWAY", "PELORIN_IP",
                        "VIA", "PROBLEMS"},
                       rows);
        }
    }
    c.out.flush();
    c.message(QStringLiteral("%1 device(s) found").arg(found.size()));
    if (const QString summary = ProblemSummary(all, subnets); !summary.isEmpty())
        c.message(QStringLiteral("problems: %1").arg(summary));
    if (const auto lost = s.link().dropped(); lost && *lost > 0) {
        c.message(QStringLiteral("%1 replies were lost: this computer could not take them in time "
                                 "(see velomar-cli doctor)")
                      .arg(*lost));
    }
    return short_ ? kNotFound : kOk;
}

}  // namespace

const Command& SearchCommand() {
    static const Command command{
        "search",
        "[--ip LIST] [--rate N] [--timeout S] [--expect N] [--format table|json|ndjson|csv]",
        "Find the devices and show what each reports.",
        "Asks through every local address at once (or each address of LIST with --ip, one\n"
        "request per host of a range, --rate a second) and lists each device\n"
        "once: model, MAC, version, name, IP, mask, gateway, Pelorin IP, the local address it\n"
        "answered through and, in json, ndjson and csv, the raw fields as hex. Finding none is\n"
        "not an error unless --expect was given.",
        {{{"--ip"},
          "LIST",
          "Ask these addresses and ranges only (198.18.4.0/24,198.18.5.7); one address may be a "
          "broadcast address."},
         {{"--rate"}, "N", "Requests a second to a list of addresses (default 200)."},
         {{"--timeout"}, "S", "Seconds to wait for answers (default 3)."},
         {{"--expect"}, "N", "Stop once N devices answered; exit 4 when fewer did."},
         {{"--format"},
          "F",
          "table (default), json, ndjson (one object per device as it answers) or csv.",
          Completion::Choice,
          kSearchFormats}},
        Completion::None,
        &Search};
    return command;
}

}  // namespace velomar::cli
