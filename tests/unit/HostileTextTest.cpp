// Texts a device or a file sends are anybody's: shown with escapes, kept exact where they
// are stored, and never a formula in a spreadsheet.
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include "core/Csv.h"
#include "core/NetworkSetJob.h"
#include "core/ShownText.h"
#include "protocol/DeviceName.h"

using namespace velomar;

namespace {
// ESC ] 0 ; owned BEL ESC [ 2 J, as a hostile device names itself.
const QString kTitleAndClear = QStringLiteral("\x1b]0;owned\a\x1b[2J=HYPERLINK(\"x\")");
}  // namespace

TEST(HostileText, ControlsAndBidiControlsShowAsEscapesAndNothingElseChanges) {
    EXPECT_EQ(ShownText(kTitleAndClear), R"(\x1b]0;owned\x07\x1b[2J=HYPERLINK("x"))");
    EXPECT_EQ(ShownText(QStringLiteral("a\tb\r\nc") + QChar(0x7F) + QChar(0x85) + QChar(0x9B)),
              R"(a\x09b\x0d\x0ac\x7f\x85\x9b)");
    // Overrides and isolates would reorder what stands around them.
    EXPECT_EQ(ShownText(QStringLiteral("abc") + QChar(0x202E) + "gpj.exe" + QChar(0x2066) +
                        QChar(0x2069) + QChar(0x2028)),
              R"(abc\u202egpj.exe\u2066\u2069\u2028)");
    for (const QString& plain : {QStringLiteral("Halle Süd ✓"), QStringLiteral("東京 ライン 3"),
                                 QStringLiteral("€ ± § \\x1b"), QString()}) {
        EXPECT_EQ(ShownText(plain), plain);
    }
}

TEST(HostileText, JsonKeepsTheExactTextButNoRawTerminalControl) {
    const QString name = kTitleAndClear + QChar(0x9B) + QChar(0x202E) + QStringLiteral("ä");
    const QByteArray json =
        TerminalSafeJson(QJsonDocument(QJsonObject{{"name", name}}).toJson(QJsonDocument::Compact));
    for (const QChar c : QString::fromUtf8(json))
        EXPECT_FALSE(IsEscapedWhenShown(c.unicode())) << int(c.unicode());
    EXPECT_TRUE(json.contains("\\u009b\\u202e\xc3\xa4"));
    EXPECT_EQ(QJsonDocument::fromJson(json).object().value("name").toString(), name);
    const QByteArray plain = R"({"name":"Süd"})";
    EXPECT_EQ(TerminalSafeJson(plain), plain);
}

TEST(HostileText, CsvCellsNeverStartAFormulaAndReadBackExact) {
    const QStringList cells{
        "=cmd|' /C calc'!A0", "+1",     "-2",    "@SUM(A1)", "\tx", "'=already",
        "''+twice",           "'plain", "plain", "a=b",      "",    "- \"x\", y"};
    const QString line = CsvLine(cells);
    for (const QString& f : line.split(u',')) {
        const QString cell = f.startsWith(u'"') ? f.mid(1) : f;
        EXPECT_FALSE(!cell.isEmpty() && QStringLiteral("=+-@\t\r").contains(cell[0]))
            << f.toStdString();
    }
    EXPECT_TRUE(line.startsWith(
        R"('=cmd|' /C calc'!A0,'+1,'-2,'@SUM(A1),'	x,''=already,'''+twice,'plain,plain,a=b,,"'- ""x"", y")"))
        << line.toStdString();
    const auto records = ReadCsv(line.toUtf8(), "list.csv");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].fields, cells);
}

// A list written by `search --format csv`, edited, is a set table: its other columns are
// taken, a guarded cell comes back, and an unedited name with escapes is the device's own.
TEST(HostileText, SearchListFeedsSetFromWithNamesExact) {
    const QString hostile = QStringLiteral("=x\x1b[2J");
    const QByteArray raw = EncodeDeviceName(hostile);
    const QString header =
        "model,mac,version,name,ip,mask,gateway,pelorin_ip,local_address,raw_model,raw_mac,"
        "raw_version,raw_name,raw_ip,raw_mask,raw_gateway,raw_pelorin_ip\n";
    auto row = [&](const QString& mac, const QString& name) {
        return CsvLine({"VM-2104", mac, "2.0.11", name, "198.18.16.5", "255.255.255.0",
                        "198.18.16.1", "0.0.0.0", "198.18.1.1", "564d", mac, "322e30",
                        QString::fromLatin1(raw.toHex()), "c6121005", "ffffff00", "c6121001",
                        "00000000"}) +
               '\n';
    };
    const QString shown = ShownText(DecodeDeviceName(raw));
    ASSERT_EQ(shown, R"(=x\x1b[2J)");
    const auto rows = ParseSetTable(
        (header + row("001a2b000001", shown) + row("001a2b000002", "Line 4 =ok")).toUtf8(),
        "fleet.csv");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].name, hostile) << "the unedited name lost its bytes";
    EXPECT_EQ(rows[1].name, "Line 4 =ok");
    EXPECT_EQ(rows[0].ip, "198.18.16.5");
    // Edited with the escape typed out: taken as typed.
    const auto edited =
        ParseSetTable((header + row("001a2b000001", R"(=y\x1b[2J)")).toUtf8(), "fleet.csv");
    EXPECT_EQ(edited[0].name, R"(=y\x1b[2J)");
}
