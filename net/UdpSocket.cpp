#include "net/UdpSocket.h"

#include "protocol/Codecs.h"

namespace velomar {

QString Ipv4Text(std::uint32_t address) {
    const char bytes[4] = {static_cast<char>(address >> 24), static_cast<char>(address >> 16),
                           static_cast<char>(address >> 8), static_cast<char>(address)};
    return BytesToIp(QByteArray::fromRawData(bytes, 4));
}

}  // namespace velomar
