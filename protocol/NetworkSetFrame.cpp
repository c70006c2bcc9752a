#include "protocol/NetworkSetFrame.h"

#include "protocol/Frame.h"

namespace velomar {

QByteArray NetworkSetFrame::encode() const {
    QByteArray d;
    d.reserve(kSize);
    d.append(kStx);
    d.append(Letter::NetworkSet);
    auto put = [&](const QByteArray& f, int size) { AppendField(d, f, size); };
    put(mac, 6);
    put(ip, 4);
    put(gateway, 4);
    put(mask, 4);
    put(pelorin, 4);
    put(name, 32);
    d.append(kEtx);
    return d;
}

std::optional<NetworkSetFrame> NetworkSetFrame::decode(const QByteArray& d) {
    if (d.size() < kSize) return std::nullopt;
    NetworkSetFrame f;
    f.mac = d.mid(2, 6);
    f.ip = d.mid(8, 4);
    f.gateway = d.mid(12, 4);
    f.mask = d.mid(16, 4);
    f.pelorin = d.mid(20, 4);
    f.name = d.mid(24, 32);
    return f;
}

}  // namespace velomar
