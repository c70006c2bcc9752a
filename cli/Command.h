#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace velomar::cli {

struct Context;

// The command line taken apart: the command's plain arguments and its options.
struct Arguments {
    QStringList positional;
    QMap<QString, QStringList> options;  // "--ip" -> values ("" for a flag)
    bool has(const QString& o) const { return options.contains(o); }
    QString value(const QString& o, const QString& fallback = {}) const {
        return options.contains(o) ? options.value(o).constLast() : fallback;
    }
};

// What the shell may offer for an option's value or a plain argument.
enum class Completion { None, File, Interface, Choice };

// One line of a command's options: one or more names that share a value and a help text
// ("--ip, --mask, --gateway, --pelorin-ip A").
struct Option {
    QStringList names = {};
    QString value = {};  // the value's name in the help; empty for a flag
    QString help = {};
    Completion completion = Completion::None;
    QStringList choices = {};  // Completion::Choice
};

// A command of velomar-cli: everything the parser, --help, the manual page and the shell's
// completion need, and the handler. A command of a group ("config show") is named by two
// words. The registry (Commands()) lists them all; a new command is a file of its own that
// defines one and a line in the registry.
struct Command {
    QString name = {};      // "search", "config show"
    QString synopsis = {};  // arguments after the name
    QString summary = {};   // one line
    QString details = {};   // paragraphs, may be empty
    QList<Option> options = {};
    Completion arguments = Completion::None;  // what the plain arguments are
    int (*run)(Context&, const Arguments&) = nullptr;

    const Option* option(const QString& name) const;
    QString group() const { return name.section(u' ', 0, 0); }
};

// Every command, in the order the help lists them.
const QList<const Command*>& Commands();
const Command* FindCommand(const QString& name);
// Whether `word` names a group of commands ("config").
bool IsGroup(const QString& word);
QStringList GroupMembers(const QString& group);

// The commands, each defined in its own file.
const Command& SearchCommand();
const Command& InterfacesCommand();
const Command& SetCommand();
const Command& ConfigShowCommand();
const Command& ConfigExportCommand();
const Command& ConfigImportCommand();
const Command& ConfigDiffCommand();
const Command& ConfigSetCommand();
const Command& ConfigKeysCommand();
const Command& FirmwareCommand();
const Command& BackupCommand();
const Command& DriftCommand();
const Command& RestoreCommand();
const Command& DoctorCommand();
const Command& InventoryCommand();

}  // namespace velomar::cli
