#include "core/ConfigKeys.h"

#include <QMap>
#include <QSet>
#include <functional>

#include "protocol/Bytes.h"
#include "protocol/Codecs.h"
#include "protocol/DeviceName.h"
#include "protocol/Errors.h"
#include "protocol/ValueLists.h"

namespace velomar {

namespace {

struct Field {
    ConfigKey key;
    // Network keys get port -1.
    std::function<QString(const DeviceConfig&, int port)> get;
    std::function<void(DeviceConfig&, int port, const QString&)> set;
};

QString Choice(const QStringList& list, std::uint8_t code) {
    return code < list.size() ? list[code] : QStringLiteral("unknown(%1)").arg(code);
}

std::uint8_t ChoiceCode(const QStringList& list, const QString& text) {
    const std::uint8_t code = ListPosition(list, text);
    if (code == kNoChoice) {
        throw Error(
            QStringLiteral("\"%1\" is not one of: %2").arg(text, list.join(QStringLiteral(", "))));
    }
    return code;
}

QByteArray Address(const QString& text) {
    bool ok = true;
    const QStringList parts = text.split(u'.');
    ok = parts.size() == 4;
    for (const QString& p : parts) {
        std::int64_t v = -1;
        if (!ParseDecimal(p.trimmed(), v) || v < 0 || v > 255) ok = false;
    }
    if (!ok) throw Error(QStringLiteral("\"%1\" is not an IPv4 address").arg(text));
    return IpToBytesStrict(text);
}

std::uint16_t Word(const QString& text) {
    std::int64_t v = -1;
    if (!ParseDecimal(text, v) || v < 0 || v > 65535) {
        throw Error(QStringLiteral("\"%1\" is not a number from 0 to 65535").arg(text));
    }
    return static_cast<std::uint16_t>(v);
}

bool Flag(const QString& text) {
    const QString t = text.toLower();
    if (t == u"on" || t == u"yes" || t == u"true" || t == u"1") return true;
    if (t == u"off" || t == u"no" || t == u"false" || t == u"0") return false;
    throw Error(QStringLiteral("\"%1\" is not on or off").arg(text));
}

QString Alias(const QByteArray& raw) {
    return QString::fromLatin1(UpToNul(raw));
}

QByteArray AliasBytes(const QString& text) {
    if (text.size() > OperationRecord::kAliasSize) {
        throw Error(QStringLiteral("\"%1\" is longer than %2 characters")
                        .arg(text)
                        .arg(OperationRecord::kAliasSize));
    }
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            throw Error(QStringLiteral("\"%1\" has a character beyond Latin-1").arg(text));
    }
    return text.toLatin1();
}

template <typename Get, typename Put>
Field Net(const char* name, const char* what, Get get, Put put) {
    return Field{{QString::fromLatin1(name), false, QString::fromLatin1(what)},
                 [get](const DeviceConfig& c, int) { return get(c.network); },
                 [put](DeviceConfig& c, int, const QString& v) { put(c.network, v); }};
}

template <typename Get, typename Put>
Field Op(const char* name, const char* what, Get get, Put put) {
    return Field{
        {QString::fromLatin1(name), true, QString::fromLatin1(what)},
        [get](const DeviceConfig& c, int p) { return get(c.operations[size_t(p)]); },
        [put](DeviceConfig& c, int p, const QString& v) { put(c.operations[size_t(p)], v); }};
}

Field Serial(const char* name, const char* what, int setting) {
    return Field{{QString::fromLatin1(name), true, QString::fromLatin1(what)},
                 [setting](const DeviceConfig& c, int p) {
                     return Choice(kSerialSettingTexts[setting],
                                   c.serials[size_t(p)].settings[size_t(setting)]);
                 },
                 [setting](DeviceConfig& c, int p, const QString& v) {
                     c.serials[size_t(p)].settings[size_t(setting)] =
                         ChoiceCode(kSerialSettingTexts[setting], v);
                 }};
}

QString ListHelp(const char* what, const QStringList& list) {
    return QString::fromLatin1(what) + QStringLiteral(": ") + list.join(QStringLiteral(", "));
}

const QList<Field>& Fields() {
    using R = NetworkRecord;
    using O = OperationRecord;
    static const QList<Field> fields = [] {
        QList<Field> f{
            Net(
                "network_type", "Static IP or DHCP",
                [](const R& r) { return Choice(kNetworkTypeTexts, r.networkType); },
                [](R& r, const QString& v) { r.networkType = ChoiceCode(kNetworkTypeTexts, v); }),
            Net(
                "ip", "IPv4 address", [](const R& r) { return BytesToIp(r.ip); },
                [](R& r, const QString& v) { r.ip = Address(v); }),
            Net(
                "mask", "subnet mask", [](const R& r) { return BytesToIp(r.mask); },
                [](R& r, const QString& v) { r.mask = Address(v); }),
            Net(
                "gateway", "gateway address", [](const R& r) { return BytesToIp(r.gateway); },
                [](R& r, const QString& v) { r.gateway = Address(v); }),
            Net(
                "dns", "DNS server address", [](const R& r) { return BytesToIp(r.dns); },
                [](R& r, const QString& v) { r.dns = Address(v); }),
            Net(
                "name", "device name, up to 32 bytes of UTF-8",
                [](const R& r) { return DecodeDeviceName(r.name); },
                [](R& r, const QString& v) { r.name = EncodeDeviceName(v); }),
            Net(
                "pelorin_ip", "Pelorin IP address",
                [](const R& r) { return BytesToIp(r.pelorinIp); },
                [](R& r, const QString& v) { r.pelorinIp = Address(v); }),
            Net(
                "pelorin_port", "Pelorin port, 0-65535",
                [](const R& r) { return QString::number(r.pelorinPort); },
                [](R& r, const QString& v) { r.pelorinPort = Word(v); }),
            Net(
                "telnet", "Disable or Enable",
                [](const R& r) { return Choice(kServiceTexts, r.telnet); },
                [](R& r, const QString& v) { r.telnet = ChoiceCode(kServiceTexts, v); }),
            Net(
                "ssh", "Disable or Enable", [](const R& r) { return Choice(kServiceTexts, r.ssh); },
                [](R& r, const QString& v) { r.ssh = ChoiceCode(kServiceTexts, v); }),
            Net(
                "ftp", "Disable or Enable", [](const R& r) { return Choice(kServiceTexts, r.ftp); },
                [](R& r, const QString& v) { r.ftp = ChoiceCode(kServiceTexts, v); }),
            Net(
                "web", "Disable or Enable", [](const R& r) { return Choice(kServiceTexts, r.web); },
                [](R& r, const QString& v) { r.web = ChoiceCode(kServiceTexts, v); }),
            Net(
                "bridge", "LAN port bridge: Enable or Disable",
                [](const R& r) { return Choice(kBridgeTexts, r.bridge); },
                [](R& r, const QString& v) { r.bridge = ChoiceCode(kBridgeTexts, v); }),
            Net(
                "lan_ip", "LAN port address", [](const R& r) { return BytesToIp(r.lanIp); },
                [](R& r, const QString& v) { r.lanIp = Address(v); }),
            Net(
                "lan_mask", "LAN port subnet mask", [](const R& r) { return BytesToIp(r.lanMask); },
                [](R& r, const QString& v) { r.lanMask = Address(v); }),
            Op(
                "alias", "port alias, up to 16 Latin-1 characters",
                [](const O& o) { return Alias(o.alias); },
                [](O& o, const QString& v) { o.alias = AliasBytes(v); }),
            Op(
                "operation", "", [](const O& o) { return Choice(kOperationTexts, o.operation); },
                [](O& o, const QString& v) { o.operation = ChoiceCode(kOperationTexts, v); }),
            Op(
                "src_port", "source port, 0-65535",
                [](const O& o) { return QString::number(o.sourcePort); },
                [](O& o, const QString& v) { o.sourcePort = Word(v); }),
            Op(
                "type", "Data or Modem",
                [](const O& o) { return Choice(kOperationTypeTexts, o.type); },
                [](O& o, const QString& v) { o.type = ChoiceCode(kOperationTypeTexts, v); }),
            Op(
                "dest_ip", "destination address",
                [](const O& o) { return BytesToIp(o.destinationIp); },
                [](O& o, const QString& v) { o.destinationIp = Address(v); }),
            Op(
                "dest_port", "destination port, 0-65535",
                [](const O& o) { return QString::number(o.destinationPort); },
                [](O& o, const QString& v) { o.destinationPort = Word(v); }),
            Op(
                "alive", "0-65535", [](const O& o) { return QString::number(o.alive); },
                [](O& o, const QString& v) { o.alive = Word(v); }),
            Op(
                "latency", "0-65535", [](const O& o) { return QString::number(o.latency); },
                [](O& o, const QString& v) { o.latency = Word(v); }),
            Op(
                "nodelay", "on or off",
                [](const O& o) {
                    return o.nodelayChecked() ? QStringLiteral("on") : QStringLiteral("off");
                },
                [](O& o, const QString& v) { o.nodelay = Flag(v) ? 1 : 0; }),
            Serial("interface", "", SerialRecord::Interface),
            Serial("baudrate", "", SerialRecord::Baudrate),
            Serial("data_bits", "", SerialRecord::DataBit),
            Serial("stop_bits", "", SerialRecord::StopBit),
            Serial("parity", "", SerialRecord::Parity),
            Serial("flow_control", "", SerialRecord::FlowControl),
        };
        for (Field& field : f) {
            if (!field.key.description.isEmpty()) continue;
            if (field.key.name == u"operation")
                field.key.description = ListHelp("one of", kOperationTexts);
            for (int s = 0; s < SerialRecord::kSettingCount; ++s) {
                static const char* names[] = {"interface", "baudrate", "data_bits",
                                              "stop_bits", "parity",   "flow_control"};
                if (field.key.name == QLatin1String(names[s])) {
                    field.key.description = ListHelp("one of", kSerialSettingTexts[s]);
                }
            }
        }
        return f;
    }();
    return fields;
}

QString PortKey(int port, const QString& name) {
    return QStringLiteral("port%1.%2").arg(port + 1).arg(name);
}

}  // namespace

const QList<ConfigKey>& ConfigKeys() {
    static const QList<ConfigKey> keys = [] {
        QList<ConfigKey> k;
        for (const Field& f : Fields()) k << f.key;
        return k;
    }();
    return keys;
}

QList<QPair<QString, QString>> ConfigValues(const DeviceConfig& config) {
    QList<QPair<QString, QString>> out;
    for (const Field& f : Fields()) {
        if (!f.key.perPort) out.append({f.key.name, f.get(config, -1)});
    }
    const int ports = int(std::min(config.operations.size(), config.serials.size()));
    for (int p = 0; p < ports; ++p) {
        for (const Field& f : Fields()) {
            if (f.key.perPort) out.append({PortKey(p, f.key.name), f.get(config, p)});
        }
    }
    return out;
}

void SetConfigValue(DeviceConfig& config, const QString& key, const QString& value) {
    QString name = key;
    int port = -1;
    if (key.startsWith(QLatin1String("port")) && key.contains(u'.')) {
        bool ok = false;
        port = key.mid(4, key.indexOf(u'.') - 4).toInt(&ok) - 1;
        name = key.mid(key.indexOf(u'.') + 1);
        const int ports = int(config.operations.size());
        if (!ok || port < 0)
            throw Error(
                QStringLiteral("unknown key \"%1\" (see velomar-cli config keys)").arg(key));
        if (port >= ports) {
            throw Error(QStringLiteral("%1: the device has %2 port(s)").arg(key).arg(ports));
        }
    }
    for (const Field& f : Fields()) {
        if (f.key.name != name || f.key.perPort != (port >= 0)) continue;
        try {
            f.set(config, port, value);
        } catch (const Error& e) {
            throw Error(QStringLiteral("%1: %2").arg(key, e.text()));
        }
        return;
    }
    throw Error(QStringLiteral("unknown key \"%1\" (see velomar-cli config keys)").arg(key));
}

QStringList ConfigDifferences(const DeviceConfig& from, const DeviceConfig& to) {
    QStringList out;
    const auto a = ConfigValues(from);
    const auto b = ConfigValues(to);
    QMap<QString, QString> before;
    for (const auto& [k, v] : a) before.insert(k, v);
    QSet<QString> seen;
    for (const auto& [k, v] : b) {
        seen.insert(k);
        if (!before.contains(k)) {
            out << QStringLiteral("%1: (none) -> %2").arg(k, v);
        } else if (before.value(k) != v) {
            out << QStringLiteral("%1: %2 -> %3").arg(k, before.value(k), v);
        }
    }
    for (const auto& [k, v] : a) {
        if (!seen.contains(k)) out << QStringLiteral("%1: %2 -> (none)").arg(k, v);
    }
    if (from.network.portCount != to.network.portCount) {
        out.prepend(QStringLiteral("port_count: %1 -> %2")
                        .arg(from.network.portCount)
                        .arg(to.network.portCount));
    }
    return out;
}

}  // namespace velomar
