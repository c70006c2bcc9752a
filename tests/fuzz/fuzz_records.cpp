// The record decoders and the firmware frames: a record read from any bytes encodes back
// to a frame of its fixed size, and decoding that frame again gives the same bytes.
#include "FuzzSupport.h"
#include "protocol/Firmware.h"
#include "protocol/NetworkRecord.h"
#include "protocol/OperationRecord.h"
#include "protocol/SerialRecord.h"

using namespace velomar;

template <typename Record>
void roundTrip(const QByteArray& d) {
    if (const auto r = Record::decode(d)) {
        const QByteArray once = r->encode();
        fuzz::Check(once.size() == Record::kSize);
        const auto again = Record::decode(once);
        fuzz::Check(again.has_value());
        fuzz::Check(again->encode() == once);
    } else {
        fuzz::Check(d.size() < Record::kSize);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray d = fuzz::Bytes(data, size);
    roundTrip<NetworkRecord>(d);
    roundTrip<OperationRecord>(d);
    roundTrip<SerialRecord>(d);
    FirmwareReply::decode(d);
    FirmwareFrame::decode(d);
    return 0;
}
