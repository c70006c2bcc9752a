#include "protocol/NetworkSetFrame.h"

#include "protocol/RecordBytes.h"

namespace velomar {

QByteArray NetworkSetFrame::encode() const {
    RecordWriter out(kSize, Letter::NetworkSet, mac);
    out.field(ip, 4);
    out.field(gateway, 4);
    out.field(mask, 4);
    out.field(pelorin, 4);
    out.field(name, 32);
    return out.finish();
}

std::optional<NetworkSetFrame> NetworkSetFrame::decode(const QByteArray& d) {
    if (d.size() < kSize) return std::nullopt;
    RecordReader in(d);
    NetworkSetFrame f;
    f.mac = in.field(kMacSize);
    f.ip = in.field(4);
    f.gateway = in.field(4);
    f.mask = in.field(4);
    f.pelorin = in.field(4);
    f.name = in.field(32);
    return f;
}

}  // namespace velomar
