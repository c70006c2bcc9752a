#include "protocol/DiscoveryReply.h"

#include "protocol/Codecs.h"
#include "protocol/DeviceName.h"
#include "protocol/Frame.h"
#include "protocol/RecordBytes.h"

namespace velomar {

std::optional<DiscoveryReply> DiscoveryReply::decode(const QByteArray& d) {
    if (d.size() < kMinSize) return std::nullopt;
    RecordReader in(d);
    DiscoveryReply r;
    r.mac = in.field(kMacSize);
    r.ip = in.field(4);
    r.gateway = in.field(4);
    r.mask = in.field(4);
    r.name = in.field(32);
    r.pelorin = in.field(4);
    r.version = in.field(8);
    r.model = in.field(20);
    return r;
}

QByteArray DiscoveryReply::encode() const {
    RecordWriter out(kMinSize, Letter::Discovery, mac);
    out.field(ip, 4);
    out.field(gateway, 4);
    out.field(mask, 4);
    out.field(name, 32);
    out.field(pelorin, 4);
    out.field(version, 8);
    out.field(model, 20);
    return out.finish();
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
