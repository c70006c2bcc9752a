#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <stdexcept>

#include "protocol/Errors.h"

namespace velomar::cli {

enum ExitCode { kOk = 0, kDeviceFailed = 1, kBadUsage = 2, kPortUnavailable = 3, kNotFound = 4 };

// Bad usage or bad input: a message, exit 2, nothing sent.
class UsageError : public Error {
  public:
    using Error::Error;
};

// The command line taken apart: the command's words, its options and plain arguments.
struct Arguments {
    QStringList positional;
    QMap<QString, QStringList> options;  // "--ip" -> values ("" for a flag)
    bool has(const QString& o) const { return options.contains(o); }
    QString value(const QString& o, const QString& fallback = {}) const {
        return options.contains(o) ? options.value(o).constLast() : fallback;
    }
};

struct Context {
    QStringList interfaces;  // what --interface asked for
    bool quiet = false;
    QTextStream out;
    QTextStream err;
    Context();
    void message(const QString& text);  // unless --quiet
    void error(const QString& text);    // always
    void line(const QString& text);     // one line of data on stdout, shown with escapes
};

int Run(const QStringList& arguments);

// The doctor's findings (cli/Doctor.cpp).
int RunDoctor(Context& context);

// Local addresses narrowed by --interface (names or addresses); UsageError for one that
// is not here.
QStringList SelectedAddresses(const QStringList& wanted);

}  // namespace velomar::cli
