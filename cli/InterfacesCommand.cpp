// velomar-cli interfaces: the local addresses a search goes through.
#include <QNetworkInterface>

#include "cli/Cli.h"
#include "cli/Output.h"
#include "cli/Session.h"

namespace velomar::cli {

namespace {

int Interfaces(Context& c, const Arguments& a) {
    const QString format = Format(a, {"table", "json"});
    const QStringList selected = SelectedAddresses(c.interfaces);
    QJsonArray devices;
    QList<QStringList> rows;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry& e : i.addressEntries()) {
            const QString ip = e.ip().toString();
            if (!selected.contains(ip)) continue;
            const QString broadcast = e.broadcast().isNull() ? QString() : e.broadcast().toString();
            rows << QStringList{i.name(), ip, e.netmask().toString(), broadcast};
            devices.append(QJsonObject{{"interface", i.name()},
                                       {"address", ip},
                                       {"mask", e.netmask().toString()},
                                       {"broadcast", broadcast}});
        }
    }
    if (format == "json") {
        c.out << Envelope(devices, {});
    } else {
        PrintTable(c.out, {"INTERFACE", "ADDRESS", "MASK", "BROADCAST"}, rows);
    }
    return kOk;
}

}  // namespace

const Command& InterfacesCommand() {
    static const Command command{
        "interfaces",
        "[--format table|json]",
        "List the local IPv4 addresses a search goes through.",
        {},
        {{{"--format"}, "F", "table (default) or json.", Completion::Choice, {"table", "json"}}},
        Completion::None,
        &Interfaces};
    return command;
}

}  // namespace velomar::cli
