#include "protocol/DiscoveryReply.h"

#include "protocol/Codecs.h"
#include "protocol/DeviceName.h"
#include "protocol/Frame.h"

namespace velomar {

std::optional<DiscoveryReply> DiscoveryReply::decode(const QByteArray& d) {
    if (d.size() < kMinSize) return std::nullopt;
    DiscoveryReply r;
    r.mac = d.mid(2, 6);
    r.ip = d.mid(8, 4);
    r.gateway = d.mid(12, 4);
    r.mask = d.mid(16, 4);
    r.name = d.mid(20, 32);
    r.pelorin = d.mid(52, 4);
    r.version = d.mid(56, 8);
    r.model = d.mid(64, 20);
    return r;
}

QByteArray DiscoveryReply::encode() const {
    QByteArray d;
    d.reserve(kMinSize);
    d.append(kStx);
    d.append(Letter::Discovery);
    auto put = [&](const QByteArray& f, int size) { AppendField(d, f, size); };
    put(mac, 6);
    put(ip, 4);
    put(gateway, 4);
    put(mask, 4);
    put(name, 32);
    put(pelorin, 4);
    put(version, 8);
    put(model, 20);
    d.append(kEtx);
    return d;
}

DeviceTexts DecodeDiscoveryTexts(const DiscoveryReply& r) {
    DeviceTexts t;
    t.mac = MacToText(r.mac);
    t.ip = BytesToIp(r.ip);
    t.gateway = BytesToIp(r.gateway);
    t.mask = BytesToIp(r.mask);
    t.pelorin = BytesToIp(r.pelorin);
    t.name = DecodeDeviceName(r.name);
    // Version and model are taken as their raw bytes, zero bytes included; the table shows
    // them up to the first NUL.
    t.version = QString::fromLatin1(r.version);
    t.model = QString::fromLatin1(r.model);
    return t;
}

}  // namespace velomar
