#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Byte offsets of the three configuration records as a device holds them. The emulator
// keeps every record as the raw frame it would send, so that whatever a client wrote comes
// back byte for byte, reserved and pass-through bytes included.
namespace velomar::emu {

namespace NetworkField {
constexpr int kSize = 81;
constexpr int Type = 8;  // 0 static, 1 DHCP
constexpr int Ip = 9;
constexpr int Gateway = 13;
constexpr int Mask = 17;
constexpr int Dns = 21;
constexpr int Name = 25;  // 32 bytes
constexpr int PelorinIp = 57;
constexpr int PelorinPort = 61;  // low byte first
constexpr int Telnet = 63;
constexpr int Ssh = 64;
constexpr int Ftp = 65;
constexpr int Web = 66;
constexpr int LanPresent = 67;
constexpr int Bridge = 68;  // 0 enable, 1 disable
constexpr int LanIp = 69;
constexpr int LanMask = 73;
constexpr int Reserved = 77;
constexpr int PortCount = 78;
constexpr int PassThrough = 79;
}  // namespace NetworkField

namespace OperationField {
constexpr int kSize = 41;
constexpr int Port = 8;
constexpr int Operation = 9;
constexpr int SrcPort = 10;
constexpr int Alias = 12;  // 16 bytes
constexpr int Type = 28;
constexpr int DestIp = 29;
constexpr int DestPort = 33;
constexpr int Alive = 35;
constexpr int Latency = 37;
constexpr int Nodelay = 39;
}  // namespace OperationField

namespace SerialField {
constexpr int kSize = 16;
constexpr int Port = 8;
constexpr int Interface = 9;
constexpr int Baud = 10;
constexpr int DataBits = 11;
constexpr int StopBits = 12;
constexpr int Parity = 13;
constexpr int Flow = 14;
}  // namespace SerialField

// The value lists whose positions travel as the one-byte codes.
const QStringList& OperationNames();
const QStringList& InterfaceNames();
const QStringList& BaudNames();
const QStringList& DataBitNames();
const QStringList& StopBitNames();
const QStringList& ParityNames();
const QStringList& FlowNames();

// Small helpers for writing fields into a raw record.
void PutWord(QByteArray& record, int offset, int value);
int GetWord(const QByteArray& record, int offset);
void PutBytes(QByteArray& record, int offset, const QByteArray& bytes, int width);
// "a.b.c.d" to 4 bytes; throws std::invalid_argument for anything else.
QByteArray ParseIp(const QString& text);

}  // namespace velomar::emu
