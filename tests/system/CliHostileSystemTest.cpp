// Device texts are anybody's: through every output of velomar-cli, a name or alias that
// carries terminal controls or a spreadsheet formula arrives harmless, and stays exact in
// JSON and on the device.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include "core/ShownText.h"
#include "support/CliRun.h"

using namespace velomar;
using namespace velomar::test;

namespace {

// ESC ] 0 ; owned BEL ESC [ 2 J: retitles the terminal and clears the screen.
const QString kTitleAndClear = QStringLiteral("\x1b]0;owned\a\x1b[2J=HYPERLINK(\"x\")");
const QString kShownTitleAndClear = QStringLiteral(R"(\x1b]0;owned\x07\x1b[2J=HYPERLINK("x"))");
const QString kFormula = QStringLiteral("=cmd|' /C calc'!A0");

// Whether a text would act on a terminal: a control other than the line break, or a
// bidirectional override.
bool ActsOnATerminal(const QString& text) {
    for (const QChar c : text) {
        if (c != u'\n' && IsEscapedWhenShown(c.unicode())) return true;
    }
    return false;
}

void ExpectHarmless(const CliResult& r, const char* what) {
    EXPECT_FALSE(ActsOnATerminal(r.out)) << what << " stdout:\n" << r.text();
    EXPECT_FALSE(ActsOnATerminal(r.err)) << what << " stderr:\n" << r.text();
}

QString NameOf(const CliResult& search, const QString& mac) {
    for (const auto& d : search.json().value("devices").toArray()) {
        if (d.toObject().value("mac").toString() == mac)
            return d.toObject().value("name").toString();
    }
    return QStringLiteral("(not found)");
}

}  // namespace

TEST(CliHostile, NoDeviceTextReachesATerminalOrASpreadsheetAsACommand) {
    VELOMAR_REQUIRE_LAB();
    Lab lab;
    const QJsonObject hostile{{"mac", "00-1A-2B-00-00-01"},
                              {"name", kTitleAndClear},
                              {"ports", QJsonArray{QJsonObject{{"alias_hex", "1b5b386d9b78"}}}}};
    const QJsonObject formula{
        {"mac", "00-1A-2B-00-00-02"}, {"name", kFormula}, {"ip", "198.18.16.2"}};
    const QString fleet = lab.writeFile(
        "fleet.json",
        QJsonDocument(QJsonObject{{"devices", QJsonArray{hostile, formula}}}).toJson());
    lab.startEmulator({"--fleet", fleet});

    const CliResult table = RunCli(lab, {"search", "--timeout", "1"});
    ASSERT_EQ(table.exitCode, 0) << table.text();
    ExpectHarmless(table, "search");
    EXPECT_TRUE(table.out.contains(kShownTitleAndClear)) << table.text();

    const CliResult csv = RunCli(lab, {"search", "--format", "csv", "--timeout", "1"});
    ExpectHarmless(csv, "search --format csv");
    EXPECT_TRUE(csv.out.contains(",'" + kFormula + ",")) << csv.text();
    QString quoted = kShownTitleAndClear;  // quoted: it holds a quote
    EXPECT_TRUE(csv.out.contains(",\"" + quoted.replace("\"", "\"\"") + "\",")) << csv.text();

    const CliResult json = RunCli(lab, {"search", "--format", "json", "--timeout", "1"});
    ExpectHarmless(json, "search --format json");
    EXPECT_EQ(NameOf(json, "00-1A-2B-00-00-01"), kTitleAndClear) << "JSON lost the exact name";
    const CliResult nd = RunCli(lab, {"search", "--format", "ndjson", "--timeout", "1"});
    ExpectHarmless(nd, "search --format ndjson");
    QStringList names;
    for (const QString& line : nd.out.trimmed().split('\n'))
        names << QJsonDocument::fromJson(line.toUtf8()).object().value("name").toString();
    EXPECT_TRUE(names.contains(kTitleAndClear)) << nd.text();

    const CliResult show = RunCli(lab, {"config", "show", "001A2B000001"});
    ASSERT_EQ(show.exitCode, 0) << show.text();
    ExpectHarmless(show, "config show");
    EXPECT_TRUE(show.out.contains(R"(\x1b[8m\x9bx)")) << show.text();

    const CliResult firmware = RunCli(
        lab, {"firmware", "001A2B000001", lab.writeFile("fw.bin", QByteArray(300, 'f')), "--yes"});
    EXPECT_EQ(firmware.exitCode, 0) << firmware.text();
    ExpectHarmless(firmware, "firmware");
    EXPECT_TRUE(firmware.err.contains(kShownTitleAndClear)) << firmware.text();

    const QString report = lab.dir() + "/report.csv";
    const CliResult set =
        RunCli(lab, {"set", "001A2B000002", "--mask", "255.255.0.0", "--report", report});
    ASSERT_EQ(set.exitCode, 0) << set.text();
    ExpectHarmless(set, "set");
    QFile reportFile(report);
    ASSERT_TRUE(reportFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(reportFile.readAll().contains(",'" + kFormula.toUtf8() + ","))
        << "report unguarded";

    // The list the search wrote, edited, is fed back: the names stay the devices' own.
    QString list = csv.out;
    list.replace("198.18.16.2,", "198.18.16.42,");
    const CliResult fed = RunCli(lab, {"set", "--from", lab.writeFile("fleet.csv", list.toUtf8())});
    ASSERT_EQ(fed.exitCode, 0) << fed.text();
    const CliResult after = RunCli(lab, {"search", "--format", "json", "--timeout", "1"});
    EXPECT_EQ(NameOf(after, "00-1A-2B-00-00-01"), kTitleAndClear);
    EXPECT_EQ(NameOf(after, "00-1A-2B-00-00-02"), kFormula);
    EXPECT_TRUE(after.out.contains("\"ip\": \"198.18.16.42\"")) << after.text();
}
