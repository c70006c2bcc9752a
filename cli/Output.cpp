#include "cli/Output.h"

#include <QJsonDocument>
#include <QSaveFile>

#include "cli/Cli.h"
#include "core/Csv.h"
#include "core/ShownText.h"
#include "protocol/Bytes.h"

namespace velomar::cli {

QString Envelope(const QJsonArray& devices, const QJsonArray& errors) {
    auto member = [](const QJsonArray& list) {
        // A JSON string holds no raw line break, so indenting at each one is safe.
        return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Indented))
            .trimmed()
            .replace(QLatin1Char('\n'), QLatin1String("\n    "));
    };
    // A QJsonObject would sort the keys: schema_version first, so that a reader sees the
    // shape before the data.
    const QString text = QStringLiteral(
                             "{\n    \"schema_version\": 1,\n    \"devices\": %1,\n    "
                             "\"errors\": %2\n}\n")
                             .arg(member(devices), member(errors));
    return QString::fromUtf8(TerminalSafeJson(text.toUtf8()));
}

QString JsonLine(const QJsonObject& o) {
    return QString::fromUtf8(TerminalSafeJson(QJsonDocument(o).toJson(QJsonDocument::Compact)));
}

QJsonObject ErrorJson(const QString& mac, const QString& message) {
    QJsonObject o{{"message", message}};
    if (!mac.isEmpty()) o.insert("mac", mac);
    return o;
}

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
    auto line = [&](const QStringList& row) {
        QString l;
        for (int i = 0; i < row.size(); ++i) {
            l += i + 1 < row.size() ? row[i].leftJustified(width[i] + 2) : row[i];
        }
        out << l << '\n';
    };
    line(header);
    for (const QStringList& r : rows) line(r);
    out.flush();
}

QString CsvDocument(const QStringList& header, const QList<QStringList>& rows) {
    QString t = CsvLine(header) + u'\n';
    for (QStringList cells : rows) {
        for (QString& cell : cells) cell = ShownText(cell);
        t += CsvLine(cells) + u'\n';
    }
    return t;
}

void CheckReportOption(const Arguments& a) {
    if (!a.has("--report")) return;
    const QString r = a.value("--report");
    if (!r.endsWith(".csv", Qt::CaseInsensitive) && !r.endsWith(".json", Qt::CaseInsensitive))
        throw UsageError(QStringLiteral("--report: \"%1\" should end in .csv or .json").arg(r));
}

void WriteReport(const QString& path, const QString& envelope, const QStringList& header,
                 const QList<QStringList>& rows) {
    const QString text =
        path.endsWith(".json", Qt::CaseInsensitive) ? envelope : CsvDocument(header, rows);
    WriteFileWhole(path, text.toUtf8(), QStringLiteral("the report "));
}

void WriteFileWhole(const QString& path, const QByteArray& bytes, const QString& what) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        throw Error(QStringLiteral("cannot write %1%2: %3").arg(what, path, f.errorString()));
    }
}

}  // namespace velomar::cli
