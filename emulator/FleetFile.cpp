#include "emulator/FleetFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <stdexcept>

#include "emulator/RecordLayout.h"
#include "protocol/DeviceName.h"

namespace velomar::emu {

namespace {

[[noreturn]] void fail(const QString& where, const QString& what) {
    throw std::runtime_error((where + QStringLiteral(": ") + what).toStdString());
}

QByteArray ipField(const QJsonObject& o, const char* key, const QString& where,
                   const char* fallback) {
    const QString text = o.value(QLatin1String(key)).toString(QString::fromLatin1(fallback));
    try {
        return ParseIp(text);
    } catch (const std::invalid_argument&) {
        fail(where, QStringLiteral("\"%1\" is not a dotted IPv4 address: %2")
                        .arg(QLatin1String(key), text));
    }
}

int intField(const QJsonObject& o, const char* key, int fallback, int max, const QString& where) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined()) return fallback;
    if (!v.isDouble())
        fail(where, QStringLiteral("\"%1\" must be a number").arg(QLatin1String(key)));
    const double d = v.toDouble();
    if (d < 0 || d > max || d != static_cast<int>(d)) {
        fail(
            where,
            QStringLiteral("\"%1\" must be a whole number 0..%2").arg(QLatin1String(key)).arg(max));
    }
    return static_cast<int>(d);
}

// A list value given by its text (as the dialog shows it) or by its raw code 0..255.
int listField(const QJsonObject& o, const char* key, int fallback, const QStringList& list,
              const QString& where) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined()) return fallback;
    if (v.isDouble()) return intField(o, key, fallback, 255, where);
    const int i = list.indexOf(v.toString(), 0);
    if (i < 0) {
        fail(where, QStringLiteral("\"%1\" is none of %2")
                        .arg(QLatin1String(key), list.join(QStringLiteral(", "))));
    }
    return i;
}

QByteArray textField(const QJsonObject& o, const char* key, const QByteArray& fallback, int width) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined()) return fallback;
    return v.toString().toUtf8().left(width);
}

QByteArray hexField(const QJsonObject& o, const char* key, int width, const QString& where) {
    const QString text = o.value(QLatin1String(key)).toString();
    static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
    if (!hex.match(text).hasMatch() || text.size() > 2 * width) {
        fail(where, QStringLiteral("\"%1\" must be at most %2 bytes as hex digits")
                        .arg(QLatin1String(key))
                        .arg(width));
    }
    return QByteArray::fromHex(text.toLatin1());
}

DeviceSpec::Port parsePort(const QJsonObject& o, int p, const QString& where) {
    DeviceSpec::Port port;
    const QString at = where + QStringLiteral(" port %1").arg(p);
    port.alias = o.contains(QLatin1String("alias_hex"))
                     ? hexField(o, "alias_hex", 16, at)
                     : textField(o, "alias", "Port " + QByteArray::number(p + 1), 16);
    port.operation = listField(o, "operation", 2, OperationNames(), at);
    port.srcPort = intField(o, "src_port", 4001 + p, 65535, at);
    port.type = listField(o, "type", 0, {QStringLiteral("Data"), QStringLiteral("Modem")}, at);
    port.destIp = ipField(o, "dest_ip", at, "0.0.0.0");
    port.destPort = intField(o, "dest_port", 0, 65535, at);
    port.alive = intField(o, "alive", 0, 65535, at);
    port.latency = intField(o, "latency", 0, 65535, at);
    port.nodelay = o.value(QLatin1String("nodelay")).toBool(false);
    port.interface = listField(o, "interface", 0, InterfaceNames(), at);
    port.baud = listField(o, "baud", 10, BaudNames(), at);
    port.dataBits = listField(o, "data_bits", 3, DataBitNames(), at);
    port.stopBits = listField(o, "stop_bits", 0, StopBitNames(), at);
    port.parity = listField(o, "parity", 0, ParityNames(), at);
    port.flow = listField(o, "flow", 0, FlowNames(), at);
    return port;
}

DeviceSpec parseDevice(const QJsonObject& o, int i) {
    const QString where = QStringLiteral("device %1").arg(i);
    DeviceSpec d;
    if (!o.contains(QLatin1String("mac"))) fail(where, QStringLiteral("\"mac\" is missing"));
    try {
        d.mac = ParseMac(o.value(QLatin1String("mac")).toString());
    } catch (const std::runtime_error& e) {
        fail(where, QString::fromUtf8(e.what()));
    }
    d.model = textField(o, "model", "VM-2104", 20);
    d.version = textField(o, "version", "1.4.2", 8);
    if (o.contains(QLatin1String("name_hex"))) {
        d.name = hexField(o, "name_hex", 32, where);
    } else {
        // Cut at a whole character, as a device would store it.
        d.name = EncodeDeviceName(o.value(QLatin1String("name")).toString());
    }
    d.ip = ipField(o, "ip", where, "198.18.16.1");
    d.gateway = ipField(o, "gateway", where, "198.18.0.254");
    d.mask = ipField(o, "mask", where, "255.254.0.0");
    d.dns = ipField(o, "dns", where, "198.18.0.253");
    d.pelorinIp = ipField(o, "pelorin_ip", where, "0.0.0.0");
    d.pelorinPort = intField(o, "pelorin_port", 4000, 65535, where);
    d.dhcp = o.value(QLatin1String("dhcp")).toBool(false);
    d.telnet = o.value(QLatin1String("telnet")).toBool(true);
    d.ssh = o.value(QLatin1String("ssh")).toBool(false);
    d.ftp = o.value(QLatin1String("ftp")).toBool(false);
    d.web = o.value(QLatin1String("web")).toBool(true);
    if (o.contains(QLatin1String("lan"))) {
        const QJsonObject lan = o.value(QLatin1String("lan")).toObject();
        d.lanPort = true;
        d.lanIp = ipField(lan, "ip", where + QStringLiteral(" lan"), "192.0.2.1");
        d.lanMask = ipField(lan, "mask", where + QStringLiteral(" lan"), "255.255.255.0");
        d.bridge = listField(lan, "bridge", 0,
                             {QStringLiteral("Enable"), QStringLiteral("Disable")}, where);
    } else {
        d.lanIp = QByteArray(4, '\0');
        d.lanMask = QByteArray(4, '\0');
    }
    d.reserved = static_cast<quint8>(intField(o, "reserved", 0, 255, where));
    d.passThrough = static_cast<quint8>(intField(o, "pass_through", 0, 255, where));

    const QJsonValue ports = o.value(QLatin1String("ports"));
    if (ports.isDouble()) {
        d.portCount = intField(o, "ports", 0, 255, where);
    } else if (ports.isArray()) {
        const QJsonArray list = ports.toArray();
        if (list.size() > 255) fail(where, QStringLiteral("at most 255 ports"));
        for (int p = 0; p < list.size(); ++p)
            d.ports.push_back(parsePort(list.at(p).toObject(), p, where));
        d.portCount = static_cast<int>(list.size());
    } else if (!ports.isUndefined()) {
        fail(where, QStringLiteral("\"ports\" must be a number or a list"));
    } else {
        d.portCount = 1;
    }
    d.portCount = intField(o, "port_count", d.portCount, 255, where);
    return d;
}

}  // namespace

QByteArray ParseMac(const QString& text) {
    static const QRegularExpression re(
        QStringLiteral("^([0-9A-Fa-f]{2})([-:]?[0-9A-Fa-f]{2}){5}$"));
    if (!re.match(text).hasMatch()) {
        throw std::runtime_error(
            QStringLiteral("\"%1\" is not a MAC address like 00-1A-2B-3C-4D-5E")
                .arg(text)
                .toStdString());
    }
    QString digits = text;
    digits.remove(QLatin1Char('-')).remove(QLatin1Char(':'));
    return QByteArray::fromHex(digits.toLatin1());
}

std::vector<DeviceSpec> ParseFleet(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (doc.isNull()) {
        throw std::runtime_error(QStringLiteral("fleet file: %1 at offset %2")
                                     .arg(error.errorString())
                                     .arg(error.offset)
                                     .toStdString());
    }
    const QJsonValue list = doc.object().value(QLatin1String("devices"));
    if (!list.isArray()) throw std::runtime_error("fleet file: a \"devices\" list is expected");
    std::vector<DeviceSpec> fleet;
    const QJsonArray devices = list.toArray();
    for (int i = 0; i < devices.size(); ++i) {
        if (!devices.at(i).isObject())
            fail(QStringLiteral("device %1").arg(i), QStringLiteral("not an object"));
        fleet.push_back(parseDevice(devices.at(i).toObject(), i));
    }
    return fleet;
}

std::vector<DeviceSpec> LoadFleetFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error((path + QStringLiteral(": ") + file.errorString()).toStdString());
    }
    return ParseFleet(file.readAll());
}

std::vector<DeviceSpec> GenerateFleet(int n, int ports) {
    static const int portCycle[] = {1, 2, 4, 8, 16};
    std::vector<DeviceSpec> fleet;
    fleet.reserve(static_cast<size_t>(std::max(n, 0)));
    for (int i = 0; i < n; ++i) {
        DeviceSpec d;
        const int number = i + 1;
        d.mac = QByteArray::fromHex("001A2B");
        d.mac.append(static_cast<char>((number >> 16) & 0xFF));
        d.mac.append(static_cast<char>((number >> 8) & 0xFF));
        d.mac.append(static_cast<char>(number & 0xFF));
        const int count = ports >= 0 ? std::min(ports, 255) : portCycle[i % 5];
        d.model = QByteArray("VM-21") + QByteArray::number(count).rightJustified(2, '0');
        d.version = "1.4." + QByteArray::number(i % 10);
        d.name =
            EncodeDeviceName(QStringLiteral("Tervane-%1").arg(number, 4, 10, QLatin1Char('0')));
        // Addresses within 198.18.0.0/15, one per device.
        const quint32 ip = (198u << 24) | (18u << 16) | (16u << 8) | static_cast<quint32>(number);
        d.ip = QByteArray(4, '\0');
        for (int b = 0; b < 4; ++b) d.ip[b] = static_cast<char>((ip >> (24 - 8 * b)) & 0xFF);
        d.gateway = QByteArray::fromHex("C61200FE");  // 198.18.0.254
        d.mask = QByteArray::fromHex("FFFE0000");     // 255.254.0.0
        d.dns = QByteArray::fromHex("C61200FD");      // 198.18.0.253
        d.pelorinIp = QByteArray::fromHex("C61200FC");
        d.lanIp = QByteArray(4, '\0');
        d.lanMask = QByteArray(4, '\0');
        d.portCount = count;
        fleet.push_back(d);
    }
    return fleet;
}

}  // namespace velomar::emu
