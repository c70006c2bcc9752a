#include "protocol/OperationRecord.h"

#include "protocol/RecordBytes.h"

namespace velomar {

QByteArray OperationRecord::encode() const {
    RecordWriter w(kSize, letter, mac);
    w.byte(port);
    w.byte(operation);
    w.word(sourcePort);
    w.field(alias, kAliasSize);
    w.byte(type);
    w.field(destinationIp, 4);
    w.word(destinationPort);
    w.word(alive);
    w.word(latency);
    w.byte(nodelay);
    return w.finish();
}

std::optional<OperationRecord> OperationRecord::decode(const QByteArray& frame) {
    if (frame.size() < kSize) return std::nullopt;
    RecordReader r(frame);
    OperationRecord o;
    o.letter = r.letter();
    o.mac = r.field(6);
    o.port = r.byte();
    o.operation = r.byte();
    o.sourcePort = r.word();
    o.alias = r.field(kAliasSize);
    o.type = r.byte();
    o.destinationIp = r.field(4);
    o.destinationPort = r.word();
    o.alive = r.word();
    o.latency = r.word();
    o.nodelay = r.byte();
    return o;
}

}  // namespace velomar
