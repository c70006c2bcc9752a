#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// The lists a choice field of the configuration records is an index into. The device
// knows only the position, so the order of every list is part of the protocol.
namespace velomar {

// A choice that is empty or matches no entry travels as this byte.
constexpr std::uint8_t kNoChoice = 0xFF;

// Network record.
inline const QStringList kNetworkTypeTexts{QStringLiteral("Static IP"), QStringLiteral("DHCP")};
inline const QStringList kServiceTexts{QStringLiteral("Disable"), QStringLiteral("Enable")};
// Opposite sense to the services: position 0 is "Enable".
inline const QStringList kBridgeTexts{QStringLiteral("Enable"), QStringLiteral("Disable")};

// Operation record.
inline const QStringList kOperationTexts{
    QStringLiteral("Disable"),          QStringLiteral("COM_Redirector"),
    QStringLiteral("TCP_Server"),       QStringLiteral("TCP_Client"),
    QStringLiteral("TCP_Broadcast"),    QStringLiteral("TCP_Multiplex"),
    QStringLiteral("UDP_Server"),       QStringLiteral("UDP_Client"),
    QStringLiteral("Pair_Master"),      QStringLiteral("Pair_Slave"),
    QStringLiteral("User_Application"), QStringLiteral("Modbus_ASCII"),
    QStringLiteral("RFC2217"),          QStringLiteral("Modbus_RTU"),
    QStringLiteral("Terminal")};
inline const QStringList kOperationTypeTexts{QStringLiteral("Data"), QStringLiteral("Modem")};

// Serial record, one list per setting in record order.
inline const QStringList kInterfaceTexts{QStringLiteral("RS232"), QStringLiteral("RS422"),
                                         QStringLiteral("RS485NE"), QStringLiteral("RS485E")};
inline const QStringList kBaudrateTexts{
    QStringLiteral("150"),    QStringLiteral("300"),    QStringLiteral("600"),
    QStringLiteral("1200"),   QStringLiteral("2400"),   QStringLiteral("4800"),
    QStringLiteral("9600"),   QStringLiteral("19200"),  QStringLiteral("38400"),
    QStringLiteral("57600"),  QStringLiteral("115200"), QStringLiteral("230400"),
    QStringLiteral("460800"), QStringLiteral("921600")};
inline const QStringList kDataBitTexts{QStringLiteral("5"), QStringLiteral("6"),
                                       QStringLiteral("7"), QStringLiteral("8")};
inline const QStringList kStopBitTexts{QStringLiteral("1"), QStringLiteral("2")};
inline const QStringList kParityTexts{QStringLiteral("None"), QStringLiteral("Odd"),
                                      QStringLiteral("Even")};
inline const QStringList kFlowControlTexts{QStringLiteral("None"), QStringLiteral("Xon/Xoff"),
                                           QStringLiteral("RTS/CTS")};

// The six serial settings in record order (interface, baud rate, data bits, stop bits,
// parity, flow control).
inline const QList<QStringList> kSerialSettingTexts{
    kInterfaceTexts, kBaudrateTexts, kDataBitTexts, kStopBitTexts, kParityTexts, kFlowControlTexts};

// The byte a text travels as: the position of the first entry equal to it, letter case
// ignored; kNoChoice when no entry matches (an empty text included).
std::uint8_t ListPosition(const QStringList& list, const QString& text);

// The text at a position. A position past the end throws "List index out of bounds (%d)".
const QString& ListEntry(const QStringList& list, int position);

}  // namespace velomar
