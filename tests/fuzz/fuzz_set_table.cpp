// The command-line tool's network set table (set --from FILE.csv) on arbitrary files: the
// table is read and its rows checked against two devices that answered, as the tool does
// before it sends anything, with no network. A refused file is one of our errors; every
// row the checks pass builds a frame; and no address ends up held by two devices. The CSV
// reader's records, written again with the spreadsheet guard, read back exact, and what
// a shown text holds acts on no terminal.
#include <QHash>
#include <QSet>

#include "FuzzSupport.h"
#include "core/Csv.h"
#include "core/NetworkSet.h"
#include "core/NetworkSetJob.h"
#include "core/ShownText.h"
#include "protocol/Errors.h"

using namespace velomar;

namespace {
FoundDevice Device(const char* mac, const char* ip) {
    FoundDevice d;
    d.reply.mac = QByteArray::fromHex(mac);
    d.reply.ip = QByteArray::fromHex(ip);
    d.reply.mask = QByteArray::fromHex("ffffff00");
    d.texts = DecodeDiscoveryTexts(d.reply);
    return d;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<FoundDevice> found{Device("001a2b3c4d5e", "c612000a"),
                                                Device("001a2b3c4d5f", "c612000b")};
    const QByteArray bytes = fuzz::Bytes(data, size);
    try {
        for (const CsvRecord& r : ReadCsv(bytes, QStringLiteral("set.csv"))) {
            for (const QString& f : r.fields) {
                for (const QChar c : ShownText(f)) fuzz::Check(!IsEscapedWhenShown(c.unicode()));
                const QString guarded = SpreadsheetGuarded(f);
                fuzz::Check(guarded.isEmpty() || !QStringLiteral("=+-@\t\r").contains(guarded[0]));
            }
            // A record with a line break cannot be one line again; the reader never makes one.
            const auto again = ReadCsv(CsvLine(r.fields).toUtf8(), QStringLiteral("again.csv"));
            const bool blank = r.fields.join(QString()).trimmed().isEmpty() && r.fields.size() == 1;
            fuzz::Check(blank || (again.size() == 1 && again[0].fields == r.fields));
        }
    } catch (const Error&) {
    }
    std::vector<SetRow> rows;
    try {
        rows = ParseSetTable(bytes, QStringLiteral("set.csv"));
    } catch (const Error&) {
        return 0;
    }
    int line = 1;  // the header's line at least
    for (const SetRow& r : rows) {
        fuzz::Check(r.mac.size() == 6 && r.line > line);
        line = r.line;
    }
    std::vector<NetworkSetTexts> plan;
    const QStringList problems = CheckSetPlan(rows, found, plan);
    if (!problems.isEmpty()) {
        fuzz::Check(plan.empty());
        return 0;
    }
    // No problem: every row is for a device that answered, once, and nothing in it fails
    // while its frame is built.
    fuzz::Check(plan.size() == rows.size());
    QHash<QByteArray, QByteArray> ipAfter;
    for (const FoundDevice& d : found) ipAfter.insert(d.reply.mac, d.reply.ip);
    for (const NetworkSetTexts& t : plan) {
        fuzz::Check(BuildNetworkSetFrame(t).size() == 57);
        ipAfter.insert(MacTextToBytes(t.mac), AddressTextToBytes(t.ip));
    }
    fuzz::Check(ipAfter.size() == static_cast<qsizetype>(found.size()));
    const QList<QByteArray> ips = ipAfter.values();
    fuzz::Check(QSet<QByteArray>(ips.begin(), ips.end()).size() == ips.size());
    return 0;
}
