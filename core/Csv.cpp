#include "core/Csv.h"

#include "protocol/Errors.h"

namespace velomar {

namespace {
bool StartsFormula(QChar c) {
    return c == u'=' || c == u'+' || c == u'-' || c == u'@' || c == u'\t' || c == u'\r';
}

// The length of the run of 's at the start, when a formula character follows it; else -1.
qsizetype GuardQuotes(const QString& text) {
    qsizetype i = 0;
    while (i < text.size() && text[i] == u'\'') ++i;
    return i < text.size() && StartsFormula(text[i]) ? i : -1;
}

Error Problem(const QString& file, int line, const QString& text) {
    return Error(QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(text));
}
}  // namespace

std::vector<CsvRecord> ReadCsv(const QByteArray& data, const QString& fileName) {
    QString text = QString::fromUtf8(data);
    if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);
    std::vector<CsvRecord> out;
    const QStringList lines = text.split(u'\n');
    for (int n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        if (line.endsWith(u'\r')) line.chop(1);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith(u'#')) continue;
        CsvRecord record{n + 1, {}};
        QString field;
        bool quoted = false;
        bool wasQuoted = false;
        for (int i = 0; i < line.size(); ++i) {
            const QChar c = line[i];
            if (quoted) {
                if (c == u'"') {
                    if (i + 1 < line.size() && line[i + 1] == u'"') {
                        field += u'"';
                        ++i;
                    } else {
                        quoted = false;
                    }
                } else {
                    field += c;
                }
            } else if (c == u'"') {
                if (!field.trimmed().isEmpty() || wasQuoted) {
                    throw Problem(fileName, n + 1,
                                  QStringLiteral("a quote in the middle of field %1")
                                      .arg(record.fields.size() + 1));
                }
                field.clear();
                quoted = wasQuoted = true;
            } else if (c == u',') {
                record.fields << SpreadsheetUnguarded(wasQuoted ? field : field.trimmed());
                field.clear();
                wasQuoted = false;
            } else if (wasQuoted) {
                if (!c.isSpace()) {
                    throw Problem(fileName, n + 1,
                                  QStringLiteral("text after the closing quote of field %1")
                                      .arg(record.fields.size() + 1));
                }
            } else {
                field += c;
            }
        }
        if (quoted) throw Problem(fileName, n + 1, QStringLiteral("a quote is not closed"));
        record.fields << SpreadsheetUnguarded(wasQuoted ? field : field.trimmed());
        out.push_back(std::move(record));
    }
    return out;
}

QString SpreadsheetGuarded(const QString& text) {
    return GuardQuotes(text) >= 0 ? u'\'' + text : text;
}

QString SpreadsheetUnguarded(const QString& text) {
    return GuardQuotes(text) > 0 ? text.mid(1) : text;
}

QString CsvField(const QString& field) {
    const QString text = SpreadsheetGuarded(field);
    // A first cell that began with # or a byte-order mark would be read as a comment line
    // or lose the mark: quoted, it is read as it is.
    const bool quote = text.contains(u',') || text.contains(u'"') || text.contains(u'\n') ||
                       text.contains(u'\r') || text != text.trimmed() || text.startsWith(u'#') ||
                       text.startsWith(QChar(0xFEFF));
    if (!quote) return text;
    QString t = text;
    t.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + t + u'"';
}

QString CsvLine(const QStringList& fields) {
    QStringList out;
    for (const QString& f : fields) out << CsvField(f);
    return out.join(u',');
}

}  // namespace velomar
