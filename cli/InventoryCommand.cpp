// velomar-cli inventory: the devices that answer as an Ansible dynamic inventory, so that
// playbooks over several sites can name them, grouped by model and by local subnet.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>

#include "cli/Cli.h"
#include "cli/Fleet.h"
#include "cli/Session.h"
#include "protocol/Bytes.h"

namespace velomar::cli {

namespace {

// A group name Ansible takes: letters, digits and underscores.
QString GroupName(const QString& kind, const QString& value) {
    static const QRegularExpression other(QStringLiteral("[^A-Za-z0-9_]"));
    QString v = value;
    v.replace(other, QStringLiteral("_"));
    return kind + u'_' + (v.isEmpty() ? QStringLiteral("unknown") : v);
}

int Inventory(Context& c, const Arguments& a) {
    if (!a.positional.isEmpty()) throw UsageError(QStringLiteral("inventory takes no arguments"));
    if (a.has("--list") == a.has("--host"))
        throw UsageError(QStringLiteral("inventory needs either --list or --host NAME"));
    const auto timeout = Seconds(a, "--timeout", 3);
    Session s(c, a);
    QJsonObject hostvars;
    QMap<QString, QStringList> groups;
    for (const FoundDevice& d : FindDevices(s, {}, timeout)) {
        const DeviceTexts& t = d.texts;
        const QString model = UpToNul(t.model);
        const QString subnet = s.link().localNetworkOf(d.localAddress);
        hostvars.insert(t.mac, QJsonObject{{"tervane_mac", t.mac},
                                           {"tervane_model", model},
                                           {"tervane_version", UpToNul(t.version)},
                                           {"tervane_name", t.name},
                                           {"tervane_ip", t.ip},
                                           {"tervane_answered_from", d.sender},
                                           {"tervane_local_address", d.localAddress},
                                           {"tervane_local_subnet", subnet}});
        groups[GroupName(QStringLiteral("model"), model)] << t.mac;
        groups[GroupName(QStringLiteral("subnet"), subnet)] << t.mac;
    }
    if (a.has("--host")) {
        const QString name = a.value("--host");
        c.out << QJsonDocument(hostvars.value(name).toObject()).toJson();
        c.out.flush();
        if (hostvars.contains(name)) return kOk;
        c.error(QStringLiteral("%1 did not answer").arg(name));
        return kNotFound;
    }
    QJsonObject inventory;
    for (auto it = groups.cbegin(); it != groups.cend(); ++it)
        inventory.insert(it.key(), QJsonObject{{"hosts", QJsonArray::fromStringList(it.value())}});
    inventory.insert("all", QJsonObject{{"children", QJsonArray::fromStringList(groups.keys())}});
    inventory.insert("_meta", QJsonObject{{"hostvars", hostvars}});
    c.out << QJsonDocument(inventory).toJson();
    c.out.flush();
    return kOk;
}

}  // namespace

const Command& InventoryCommand() {
    static const Command command{
        "inventory",
        "--list | --host NAME [--ip LIST] [--rate N] [--timeout S]",
        "Print the devices that answer as an Ansible dynamic inventory.",
        "Each device is a host named by its MAC, in a group per model (model_VM2100) and per\n"
        "local subnet it answered through (subnet_198_18_1_0_24); _meta.hostvars give its MAC,\n"
        "model, version, name, IP, the address it answered from and the local address and\n"
        "subnet it answered through (tervane_*). contrib/ansible/velomar_inventory is the\n"
        "executable Ansible runs.",
        QList<Option>{
            {{"--list"}, {}, "Every device and group (what Ansible asks first)."},
            {{"--host"}, "NAME", "One device's variables ({} and exit 4 when it did not answer)."},
            {{"--timeout"}, "S", "Seconds for the search (default 3)."}} +
            SearchTargetOptions(),
        Completion::None,
        &Inventory};
    return command;
}

}  // namespace velomar::cli
