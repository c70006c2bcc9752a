#include "protocol/SerialRecord.h"

#include "protocol/RecordBytes.h"

namespace velomar {

QByteArray SerialRecord::encode() const {
    RecordWriter w(kSize, letter, mac);
    w.byte(port);
    for (std::uint8_t s : settings) w.byte(s);
    return w.finish();
}

std::optional<SerialRecord> SerialRecord::decode(const QByteArray& frame) {
    if (frame.size() < kSize) return std::nullopt;
    RecordReader r(frame);
    SerialRecord s;
    s.letter = r.letter();
    s.mac = r.field(6);
    s.port = r.byte();
    for (auto& v : s.settings) v = r.byte();
    return s;
}

}  // namespace velomar
