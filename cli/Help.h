#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include "cli/Command.h"

// The help texts of velomar-cli, written from the command table: what --help prints, the
// manual page and the bash completion, so that none of them disagrees with the parser.
namespace velomar::cli {

// Requests that change nothing (a search for given devices, the record requests, the network
// set) are sent again this many times when no answer came in their share of the wait; the
// apply and the firmware frames never are.
constexpr int kRepeats = 3;

// The options taken before or after any command.
const QList<Option>& GlobalOptions();
// "--ip, --mask A" as the help shows an option.
QString OptionFlags(const Option& option);

QString GlobalHelp();
QString CommandHelpText(const Command& command);
// The manual page (roff) from the same texts.
QString ManPage(const QString& version);
// The bash completion from the same table.
QString BashCompletion();

}  // namespace velomar::cli
