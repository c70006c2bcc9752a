#pragma once

#include <QList>
#include <QPair>
#include <QString>

// The help texts of velomar-cli: what --help prints and what the manual page is made of,
// so the two never disagree.
namespace velomar::cli {

// Requests that change nothing (a search for given devices, the record requests, the network
// set) are sent again this many times when no answer came in their share of the wait; the
// apply and the firmware frames never are.
constexpr int kRepeats = 3;

struct CommandHelp {
    QString name;      // "search", "config show"
    QString synopsis;  // arguments after the name
    QString summary;   // one line
    QString details;   // paragraphs, may be empty
    QList<QPair<QString, QString>> options;
};

const QList<CommandHelp>& Commands();
const CommandHelp* FindCommand(const QString& name);
QString GlobalHelp();
QString CommandHelpText(const CommandHelp& command);
// The manual page (roff) from the same texts.
QString ManPage(const QString& version);

}  // namespace velomar::cli
