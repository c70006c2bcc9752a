#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <cstdint>

#include "core/Discovery.h"

// Every form velomar-cli writes its data in: the JSON envelope and ndjson lines, tables,
// CSV, files written whole, and the progress on stderr. Texts from devices are shown with
// escapes in tables and CSV and kept exact in JSON (core/ShownText).
namespace velomar::cli {

struct Context;

// {"schema_version": 1, "devices": [...], "errors": [...]} with the keys in that order.
QString Envelope(const QJsonArray& devices, const QJsonArray& errors);
// One compact JSON object on one line.
QString JsonLine(const QJsonObject& object);
QJsonObject ErrorJson(const QString& mac, const QString& message);

// Columns padded to their widest cell, every cell as ShownText shows it.
void PrintTable(QTextStream& out, const QStringList& header, const QList<QStringList>& rows);

// A CSV document: the header, then the rows, each cell as ShownText shows it (and guarded
// against spreadsheet formulas by CsvLine).
QString CsvDocument(const QStringList& header, const QList<QStringList>& rows);

// A device found by a search: as JSON (texts exact, raw fields as hex) and as a CSV row.
QJsonObject DeviceJson(const FoundDevice& device);
const QStringList& DeviceCsvColumns();
QStringList DeviceCsv(const FoundDevice& device);

// Writes `bytes` to `path` whole or not at all; Error "cannot write ..." otherwise.
void WriteFileWhole(const QString& path, const QByteArray& bytes, const QString& what);

// A transfer's progress on stderr: a bar on a terminal, a line per tenth otherwise.
class ProgressShow {
  public:
    ProgressShow(Context& c, const QString& mac, std::int64_t total);
    void update(std::int64_t bytes);
    void finish();

  private:
    Context& c_;
    QString mac_;
    std::int64_t total_;
    bool terminal_;
    int lastTenth_ = -1;
};

}  // namespace velomar::cli
