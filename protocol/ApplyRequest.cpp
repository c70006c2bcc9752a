#include "protocol/ApplyRequest.h"

#include "protocol/RecordBytes.h"

namespace velomar {

QByteArray ApplyRequest::encode() const {
    return RecordWriter(kSize, letter, mac).finish();
}

std::optional<ApplyRequest> ApplyRequest::decode(const QByteArray& frame) {
    if (frame.size() < kSize) return std::nullopt;
    RecordReader r(frame);
    ApplyRequest a;
    a.letter = r.letter();
    a.mac = r.field(kMacSize);
    return a;
}

}  // namespace velomar
