#include "cli/Command.h"

namespace velomar::cli {

const QList<const Command*>& Commands() {
    static const QList<const Command*> commands{
        &SearchCommand(),       &InterfacesCommand(),   &SetCommand(),        &ConfigShowCommand(),
        &ConfigExportCommand(), &ConfigImportCommand(), &ConfigDiffCommand(), &ConfigSetCommand(),
        &ConfigKeysCommand(),   &FirmwareCommand(),     &BackupCommand(),     &DriftCommand(),
        &RestoreCommand(),      &InventoryCommand(),    &DoctorCommand(),
    };
    return commands;
}

const Option* Command::option(const QString& flag) const {
    for (const Option& o : options) {
        if (o.names.contains(flag)) return &o;
    }
    return nullptr;
}

const Command* FindCommand(const QString& name) {
    for (const Command* c : Commands()) {
        if (c->name == name) return c;
    }
    return nullptr;
}

QStringList GroupMembers(const QString& group) {
    QStringList out;
    for (const Command* c : Commands()) {
        if (c->name.startsWith(group + u' ')) out << c->name.section(u' ', 1);
    }
    return out;
}

bool IsGroup(const QString& word) {
    return !GroupMembers(word).isEmpty();
}

}  // namespace velomar::cli
