#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace velomar {

struct CsvRecord {
    int line = 0;  // 1-based
    QStringList fields;
};

// Comma-separated records, one per line (UTF-8, a BOM allowed, CRLF or LF). Fields may be
// quoted, with "" for a quote inside; a quoted field does not span lines. Blank lines and
// lines starting with # are skipped. Throws Error "FILE:LINE: problem".
std::vector<CsvRecord> ReadCsv(const QByteArray& data, const QString& fileName);

// A field as written: quoted when it holds a comma, quote, line break or outer blank.
QString CsvField(const QString& text);
QString CsvLine(const QStringList& fields);

}  // namespace velomar
