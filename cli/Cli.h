#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <stdexcept>

#include "cli/Command.h"
#include "protocol/Errors.h"

namespace velomar::cli {

enum ExitCode { kOk = 0, kDeviceFailed = 1, kBadUsage = 2, kPortUnavailable = 3, kNotFound = 4 };

// Bad usage or bad input: a message, exit 2, nothing sent.
class UsageError : public Error {
  public:
    using Error::Error;
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

// Local addresses narrowed by --interface (names or addresses); UsageError for one that
// is not here.
QStringList SelectedAddresses(const QStringList& wanted);

}  // namespace velomar::cli
