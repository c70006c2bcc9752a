// Frame recognition, the discovery reply and the device-name decoding.
#include "FuzzSupport.h"
#include "protocol/DeviceName.h"
#include "protocol/DiscoveryReply.h"
#include "protocol/Frame.h"

using namespace velomar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray d = fuzz::Bytes(data, size);
    ReplyLetter(d);
    FrameMac(d);
    if (const auto reply = DiscoveryReply::decode(d)) {
        fuzz::Check(size >= 85);
        const DeviceTexts t = DecodeDiscoveryTexts(*reply);
        fuzz::Check(t.mac.size() == 17);
        // What the table would send back is the name cut to whole characters.
        fuzz::Check(EncodeDeviceName(t.name).size() == 32);
        // Every field travels back unchanged (STX and letter are the encoder's own).
        fuzz::Check(reply->encode().mid(2, 82) == d.mid(2, 82));
    }
    const QString name = DecodeDeviceName(d.left(32));
    fuzz::Check(name.size() <= 32);
    return 0;
}
