#include "protocol/NetworkRecord.h"

#include "protocol/RecordBytes.h"

namespace velomar {

QByteArray NetworkRecord::encode() const {
    RecordWriter w(kSize, letter, mac);
    w.byte(networkType);
    w.field(ip, 4);
    w.field(gateway, 4);
    w.field(mask, 4);
    w.field(dns, 4);
    w.field(name, 32);
    w.field(pelorinIp, 4);
    w.word(pelorinPort);
    w.byte(telnet);
    w.byte(ssh);
    w.byte(ftp);
    w.byte(web);
    w.byte(lanPresent);
    w.byte(bridge);
    w.field(lanIp, 4);
    w.field(lanMask, 4);
    w.byte(reserved);
    w.byte(portCount);
    w.byte(passThrough);
    return w.finish();
}

std::optional<NetworkRecord> NetworkRecord::decode(const QByteArray& frame) {
    if (frame.size() < kSize) return std::nullopt;
    RecordReader r(frame);
    NetworkRecord n;
    n.letter = r.letter();
    n.mac = r.field(6);
    n.networkType = r.byte();
    n.ip = r.field(4);
    n.gateway = r.field(4);
    n.mask = r.field(4);
    n.dns = r.field(4);
    n.name = r.field(32);
    n.pelorinIp = r.field(4);
    n.pelorinPort = r.word();
    n.telnet = r.byte();
    n.ssh = r.byte();
    n.ftp = r.byte();
    n.web = r.byte();
    n.lanPresent = r.byte();
    n.bridge = r.byte();
    n.lanIp = r.field(4);
    n.lanMask = r.field(4);
    n.reserved = r.byte();
    n.portCount = r.byte();
    n.passThrough = r.byte();
    return n;
}

}  // namespace velomar
