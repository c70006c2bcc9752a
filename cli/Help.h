#pragma once

#include <QList>
#include <QPair>
#include <QString>

// The help texts of velomar-cli: what --help prints and what the manual page is made of,
// so the two never disagree.
namespace velomar::cli {

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
