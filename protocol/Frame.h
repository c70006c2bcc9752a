#pragma once

#include <QByteArray>
#include <optional>

// The command-frame convention: STX, one command letter, a fixed-layout payload, ETX as
// the last byte of the datagram. Fields sit at fixed offsets; nothing is escaped.
namespace velomar {

constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;
constexpr quint16 kDevicePort = 2057;
constexpr int kMacOffset = 2;
constexpr int kMacSize = 6;

namespace Letter {
constexpr char Discovery = 'g';
constexpr char NetworkSet = 'S';
constexpr char NetworkRequest = 'N';
constexpr char NetworkReply = 'n';
constexpr char OperationRequest = 'O';
constexpr char OperationReply = 'o';
constexpr char SerialRequest = 'U';
constexpr char SerialReply = 'u';
constexpr char ApplyRequest = 'A';
constexpr char ApplyReply = 'a';
constexpr char Firmware = 'F';
constexpr char FirmwareReply = 'f';
}  // namespace Letter

// The 3-byte discovery request 0x02 'g' 0x03.
QByteArray DiscoveryRequest();

// A request that carries only the target MAC: STX, letter, 6 MAC bytes, ETX (9 bytes).
QByteArray MacOnlyFrame(char letter, const QByteArray& mac6);

// Applies the receive tests in their order: a 3-byte datagram is ignored (the program hears
// its own discovery request), a datagram whose last byte is not ETX is ignored; otherwise the
// byte at offset 1 is the command letter. Byte 0 is not looked at.
std::optional<char> ReplyLetter(const QByteArray& datagram);

// Appends a fixed-width field: cut to `size` bytes or filled with NUL bytes up to it.
void AppendField(QByteArray& frame, const QByteArray& field, int size);

// Bytes 2..7 of a frame, or an empty array when the frame is too short to hold them.
QByteArray FrameMac(const QByteArray& frame);

}  // namespace velomar
