#include "emulator/RecordLayout.h"

#include <stdexcept>

namespace velomar::emu {

const QStringList& OperationNames() {
    static const QStringList names{
        "Disable",          "COM_Redirector", "TCP_Server", "TCP_Client",  "TCP_Broadcast",
        "TCP_Multiplex",    "UDP_Server",     "UDP_Client", "Pair_Master", "Pair_Slave",
        "User_Application", "Modbus_ASCII",   "RFC2217",    "Modbus_RTU",  "Terminal"};
    return names;
}

const QStringList& InterfaceNames() {
    static const QStringList names{"RS232", "RS422", "RS485NE", "RS485E"};
    return names;
}

const QStringList& BaudNames() {
    static const QStringList names{"150",    "300",    "600",    "1200",  "2400",
                                   "4800",   "9600",   "19200",  "38400", "57600",
                                   "115200", "230400", "460800", "921600"};
    return names;
}

const QStringList& DataBitNames() {
    static const QStringList names{"5", "6", "7", "8"};
    return names;
}

const QStringList& StopBitNames() {
    static const QStringList names{"1", "2"};
    return names;
}

const QStringList& ParityNames() {
    static const QStringList names{"None", "Odd", "Even"};
    return names;
}

const QStringList& FlowNames() {
    static const QStringList names{"None", "Xon/Xoff", "RTS/CTS"};
    return names;
}

void PutWord(QByteArray& record, int offset, int value) {
    record[offset] = static_cast<char>(value & 0xFF);
    record[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}

int GetWord(const QByteArray& record, int offset) {
    return static_cast<quint8>(record.at(offset)) |
           (static_cast<quint8>(record.at(offset + 1)) << 8);
}

void PutBytes(QByteArray& record, int offset, const QByteArray& bytes, int width) {
    for (int i = 0; i < width; ++i) record[offset + i] = i < bytes.size() ? bytes.at(i) : '\0';
}

QByteArray ParseIp(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        throw std::invalid_argument("not a dotted IPv4 address: " + text.toStdString());
    QByteArray out;
    for (const QString& p : parts) {
        bool ok = false;
        const int v = p.toInt(&ok);
        if (!ok || v < 0 || v > 255 || p.isEmpty()) {
            throw std::invalid_argument("not a dotted IPv4 address: " + text.toStdString());
        }
        out.append(static_cast<char>(v));
    }
    return out;
}

}  // namespace velomar::emu
