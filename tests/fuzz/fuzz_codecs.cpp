// The text codecs on arbitrary texts: they either convert or raise one of our errors, the
// strict variants convert what they accept as the others do, and what is printed from bytes
// reads back to them. The first byte picks the conversion, the rest is the text: one
// conversion per input keeps a refused text to one exception, which under the sanitizers
// costs more than all the rest of an input.
#include "FuzzSupport.h"
#include "protocol/Address.h"
#include "protocol/Codecs.h"
#include "protocol/Errors.h"

using namespace velomar;

namespace {
// Whether f converted; a refusal must be one of our errors.
template <typename F>
bool converts(F f) {
    try {
        f();
        return true;
    } catch (const Error&) {
        return false;
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const QByteArray bytes = fuzz::Bytes(data + 1, size - 1);
    const QString text = QString::fromUtf8(bytes);
    switch (data[0] % 8) {
        case 0:
            converts([&] { HexToInt(text); });
            break;
        case 1:
            converts([&] { ListToHex(ListKind::Hex, text, u'-'); });
            break;
        case 2:
            converts([&] { ListToHex(ListKind::Decimal, text, u'.'); });
            break;
        case 3:
            converts([&] { fuzz::Check(IpToBytes(text).size() == 4); });
            IsValidIp(text);
            if (bytes.size() >= 4) {
                const QByteArray ip = bytes.left(4);
                fuzz::Check(IpToBytesStrict(BytesToIp(ip)) == ip);
            }
            break;
        case 4: {
            QByteArray strict;  // an error from IpToBytes here escapes: a crash
            if (converts([&] { strict = IpToBytesStrict(text); })) {
                fuzz::Check(IpToBytes(text) == strict);
            }
            break;
        }
        case 5:
            converts([&] { fuzz::Check(WordToBytes(text).size() == 2); });
            converts([&] { BytesToWord(bytes); });
            break;
        case 6: {
            QByteArray strict;
            if (converts([&] { strict = WordToBytesStrict(text); })) {
                fuzz::Check(WordToBytes(text) == strict);
            }
            break;
        }
        default:
            HexDigitsToInt(BytesToHex(bytes, static_cast<int>(bytes.size())));
            HexPairToByte(text);
            fuzz::Check(TargetMac(text).size() == 6);
            if (bytes.size() >= 6) {
                const QByteArray mac = bytes.left(6);
                fuzz::Check(TargetMac(MacToText(mac)) == mac);
            }
            break;
    }
    return 0;
}
