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
// lines starting with # are skipped. A field guarded against spreadsheets (see below) is
// read back as it was before the guard. Throws Error "FILE:LINE: problem".
std::vector<CsvRecord> ReadCsv(const QByteArray& data, const QString& fileName);

// A spreadsheet takes a cell that begins with =, +, -, @, a tab or a carriage return for a
// formula. The guard puts a ' before such a cell, and before one that already begins with
// 's followed by such a character, so that taking one ' off again gives the exact text.
QString SpreadsheetGuarded(const QString& text);
QString SpreadsheetUnguarded(const QString& text);

// A field as written: guarded, then quoted when it holds a comma, quote, line break or an
// outer blank, or begins with # or a byte-order mark.
QString CsvField(const QString& text);
QString CsvLine(const QStringList& fields);

}  // namespace velomar
