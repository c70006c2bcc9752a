#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include "core/DeviceRows.h"
#include "core/Discovery.h"

// Every form velomar-cli writes its data in: the JSON envelope and ndjson lines, tables,
// CSV and files written whole. Texts from devices are shown with
// escapes in tables and CSV and kept exact in JSON (core/ShownText).
namespace velomar::cli {

struct Arguments;
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

// --report FILE: UsageError unless it ends in .csv or .json (checked before anything is
// sent). WriteReport writes the JSON envelope or the CSV document by that ending.
void CheckReportOption(const Arguments& a);
void WriteReport(const QString& path, const QString& envelope, const QStringList& header,
                 const QList<QStringList>& rows);

// Writes `bytes` to `path` whole or not at all; Error "cannot write ..." otherwise.
void WriteFileWhole(const QString& path, const QByteArray& bytes, const QString& what);

}  // namespace velomar::cli
