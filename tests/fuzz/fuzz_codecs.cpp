// The text codecs on arbitrary texts: they either convert or raise one of our errors.
#include "FuzzSupport.h"
#include "protocol/Address.h"
#include "protocol/Codecs.h"
#include "protocol/Errors.h"

using namespace velomar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(fuzz::Bytes(data, size));
    auto guarded = [](auto f) {
        try {
            f();
        } catch (const Error&) {
        }
    };
    guarded([&] { HexToInt(text); });
    guarded([&] { fuzz::Check(IpToBytes(text).size() == 4); });
    guarded([&] { fuzz::Check(IpToBytesStrict(text).size() == 4); });
    guarded([&] { fuzz::Check(WordToBytes(text).size() == 2); });
    guarded([&] { fuzz::Check(WordToBytesStrict(text).size() == 2); });
    guarded([&] { ListToHex(ListKind::Hex, text, u'-'); });
    guarded([&] { ListToHex(ListKind::Decimal, text, u'.'); });
    guarded([&] { BytesToWord(fuzz::Bytes(data, size)); });
    HexDigitsToInt(BytesToHex(fuzz::Bytes(data, size), static_cast<int>(size)));
    HexPairToByte(text);
    IsValidIp(text);
    fuzz::Check(TargetMac(text).size() == 6);
    // A MAC text made from any 6 bytes reads back to the same bytes.
    if (size >= 6) {
        const QByteArray mac = fuzz::Bytes(data, 6);
        fuzz::Check(TargetMac(MacToText(mac)) == mac);
    }
    // An address printed from 4 bytes converts back to them.
    if (size >= 4) {
        const QByteArray ip = fuzz::Bytes(data, 4);
        fuzz::Check(IpToBytesStrict(BytesToIp(ip)) == ip);
    }
    return 0;
}
