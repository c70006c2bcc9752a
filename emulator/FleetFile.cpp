#include "emulator/FleetFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <stdexcept>

#include "protocol/DeviceName.h"
#include "protocol/Frame.h"
#include "protocol/Mac.h"
#include "protocol/ValueLists.h"

namespace velomar::emu {

namespace {

[[noreturn]] void fail(const QString& where, const QString& what) {
    throw std::runtime_error((where + QStringLiteral(": ") + what).toStdString());
}

QByteArray parseIp(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4) throw std::invalid_argument("not an address");
    QByteArray out;
    for (const QString& p : parts) {
        bool ok = false;
        const int v = p.toInt(&ok);
        if (!ok || v < 0 || v > 255) throw std::invalid_argument("not an address");
        out.append(static_cast<char>(v));
    }
    return out;
}

QByteArray ipField(const QJsonObject& o, const char* key, const QString& where,
                   const char* fallback) {
    const QString text = o.value(QLatin1String(key)).toString(QString::fromLatin1(fallback));
    try {
        return parseIp(text);
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

OperationRecord parseOperation(const QJsonObject& o, int p, const QString& at) {
    OperationRecord op = EmulatedDevice::defaultOperation(p);
    if (o.contains(QLatin1String("alias_hex"))) {
        op.alias = hexField(o, "alias_hex", OperationRecord::kAliasSize, at);
    } else if (o.contains(QLatin1String("alias"))) {
        op.alias = textField(o, "alias", {}, OperationRecord::kAliasSize);
    }
    op.alias = op.alias.leftJustified(OperationRecord::kAliasSize, '\0');
    op.operation =
        static_cast<std::uint8_t>(listField(o, "operation", op.operation, kOperationTexts, at));
    op.sourcePort = static_cast<std::uint16_t>(intField(o, "src_port", op.sourcePort, 65535, at));
    op.type = static_cast<std::uint8_t>(listField(o, "type", 0, kOperationTypeTexts, at));
    op.destinationIp = ipField(o, "dest_ip", at, "0.0.0.0");
    op.destinationPort = static_cast<std::uint16_t>(intField(o, "dest_port", 0, 65535, at));
    op.alive = static_cast<std::uint16_t>(intField(o, "alive", 0, 65535, at));
    op.latency = static_cast<std::uint16_t>(intField(o, "latency", 0, 65535, at));
    op.nodelay = o.value(QLatin1String("nodelay")).toBool(false) ? 1 : 0;
    return op;
}

SerialRecord parseSerial(const QJsonObject& o, int p, const QString& at) {
    SerialRecord se = EmulatedDevice::defaultSerial(p);
    static const char* keys[SerialRecord::kSettingCount] = {"interface", "baud",   "data_bits",
                                                            "stop_bits", "parity", "flow"};
    for (int i = 0; i < SerialRecord::kSettingCount; ++i) {
        se.settings[static_cast<size_t>(i)] = static_cast<std::uint8_t>(
            listField(o, keys[i], se.settings[static_cast<size_t>(i)], kSerialSettingTexts[i], at));
    }
    return se;
}

DeviceSpec parseDevice(const QJsonObject& o, int i) {
    const QString where = QStringLiteral("device %1").arg(i);
    DeviceSpec d;
    if (!o.contains(QLatin1String("mac"))) fail(where, QStringLiteral("\"mac\" is missing"));
    try {
        d.mac = FleetMac(o.value(QLatin1String("mac")).toString());
    } catch (const std::runtime_error& e) {
        fail(where, QString::fromUtf8(e.what()));
    }
    d.model = textField(o, "model", "VM-2104", 20);
    d.version = textField(o, "version", "1.4.2", 8);
    NetworkRecord& n = d.network;
    n.letter = Letter::NetworkReply;
    n.mac = d.mac;
    if (o.contains(QLatin1String("name_hex"))) {
        n.name =
            hexField(o, "name_hex", kDeviceNameSize, where).leftJustified(kDeviceNameSize, '\0');
    } else {
        // Cut at a whole character, as a device would store it.
        n.name = EncodeDeviceName(o.value(QLatin1String("name")).toString());
    }
    n.networkType = o.value(QLatin1String("dhcp")).toBool(false) ? 1 : 0;
    n.ip = ipField(o, "ip", where, "198.18.16.1");
    n.gateway = ipField(o, "gateway", where, "198.18.0.254");
    n.mask = ipField(o, "mask", where, "255.254.0.0");
    n.dns = ipField(o, "dns", where, "198.18.0.253");
    n.pelorinIp = ipField(o, "pelorin_ip", where, "0.0.0.0");
    n.pelorinPort = static_cast<std::uint16_t>(intField(o, "pelorin_port", 4000, 65535, where));
    n.telnet = o.value(QLatin1String("telnet")).toBool(true) ? 1 : 0;
    n.ssh = o.value(QLatin1String("ssh")).toBool(false) ? 1 : 0;
    n.ftp = o.value(QLatin1String("ftp")).toBool(false) ? 1 : 0;
    n.web = o.value(QLatin1String("web")).toBool(true) ? 1 : 0;
    if (o.contains(QLatin1String("lan"))) {
        const QJsonObject lan = o.value(QLatin1String("lan")).toObject();
        const QString at = where + QStringLiteral(" lan");
        n.lanPresent = 1;
        n.lanIp = ipField(lan, "ip", at, "192.0.2.1");
        n.lanMask = ipField(lan, "mask", at, "255.255.255.0");
        n.bridge = static_cast<std::uint8_t>(listField(lan, "bridge", 0, kBridgeTexts, at));
    }
    n.reserved = static_cast<std::uint8_t>(intField(o, "reserved", 0, 255, where));
    n.passThrough = static_cast<std::uint8_t>(intField(o, "pass_through", 0, 255, where));

    int count = 1;
    const QJsonValue ports = o.value(QLatin1String("ports"));
    if (ports.isDouble()) {
        count = intField(o, "ports", 0, 255, where);
    } else if (ports.isArray()) {
        const QJsonArray list = ports.toArray();
        if (list.size() > 255) fail(where, QStringLiteral("at most 255 ports"));
        for (int p = 0; p < list.size(); ++p) {
            const QString at = where + QStringLiteral(" port %1").arg(p);
            d.operation.push_back(parseOperation(list.at(p).toObject(), p, at));
            d.serial.push_back(parseSerial(list.at(p).toObject(), p, at));
        }
        count = static_cast<int>(list.size());
    } else if (!ports.isUndefined()) {
        fail(where, QStringLiteral("\"ports\" must be a number or a list"));
    }
    // The port count byte may claim more ports than the list describes.
    n.portCount = static_cast<std::uint8_t>(intField(o, "port_count", count, 255, where));
    return d;
}

}  // namespace

QByteArray FleetMac(const QString& text) {
    if (auto mac = ReadMac(text, MacForm::Typed)) return *mac;
    throw std::runtime_error(QStringLiteral("\"%1\" is not a MAC address like 00-1A-2B-3C-4D-5E")
                                 .arg(text)
                                 .toStdString());
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
        NetworkRecord& net = d.network;
        net.letter = Letter::NetworkReply;
        net.mac = d.mac;
        net.name =
            EncodeDeviceName(QStringLiteral("Tervane-%1").arg(number, 4, 10, QLatin1Char('0')));
        // One address per device within 198.18.0.0/15.
        const quint32 ip = (198u << 24) | (18u << 16) | (16u << 8) | static_cast<quint32>(number);
        for (int b = 0; b < 4; ++b) net.ip[b] = static_cast<char>((ip >> (24 - 8 * b)) & 0xFF);
        net.gateway = QByteArray::fromHex("C61200FE");  // 198.18.0.254
        net.mask = QByteArray::fromHex("FFFE0000");     // 255.254.0.0
        net.dns = QByteArray::fromHex("C61200FD");      // 198.18.0.253
        net.pelorinIp = QByteArray::fromHex("C61200FC");
        net.pelorinPort = 4000;
        net.telnet = 1;
        net.web = 1;
        net.portCount = static_cast<std::uint8_t>(count);
        fleet.push_back(d);
    }
    return fleet;
}

}  // namespace velomar::emu
