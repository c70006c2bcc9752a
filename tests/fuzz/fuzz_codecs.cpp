// The text codecs on arbitrary texts: each conversion either converts or refuses, the
// throwing form gives what the asking form (Try...) gives, the strict variants convert what
// they accept as the others do, and what is printed from bytes reads back to them. The first
// byte picks the conversion, the rest is the text. Refusals are asked for, not thrown: under
// the sanitizers one exception costs more than all the rest of an input. The throwing forms
// are called on the texts they accept, where an escaping error is a crash.
#include "FuzzSupport.h"
#include "protocol/Address.h"
#include "protocol/Codecs.h"

using namespace velomar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The input outlives this call: no copy of it is needed.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data + 1),
                                                     static_cast<qsizetype>(size - 1));
    const QString text = QString::fromUtf8(bytes);
    switch (data[0] % 8) {
        case 0:
            if (const auto v = TryHexToInt(text)) fuzz::Check(HexToInt(text) == *v);
            break;
        case 1:
            if (const auto v = TryListToHex(ListKind::Hex, text, u'-'))
                fuzz::Check(ListToHex(ListKind::Hex, text, u'-') == *v);
            break;
        case 2:
            if (const auto v = TryListToHex(ListKind::Decimal, text, u'.'))
                fuzz::Check(ListToHex(ListKind::Decimal, text, u'.') == *v);
            break;
        case 3:
            if (const auto ip = TryIpToBytes(text)) {
                fuzz::Check(ip->size() == 4 && IpToBytes(text) == *ip);
            }
            IsValidIp(text);
            if (bytes.size() >= 4) {
                const QByteArray ip = bytes.left(4);
                fuzz::Check(IpToBytesStrict(BytesToIp(ip)) == ip);
            }
            break;
        case 4:
            if (const auto strict = TryIpToBytesStrict(text)) {
                fuzz::Check(IpToBytesStrict(text) == *strict && IpToBytes(text) == *strict);
            }
            break;
        case 5:
            if (const auto word = TryWordToBytes(text)) {
                fuzz::Check(word->size() == 2 && WordToBytes(text) == *word);
            }
            if (!bytes.isEmpty()) BytesToWord(bytes);
            break;
        case 6:
            if (const auto strict = TryWordToBytesStrict(text)) {
                fuzz::Check(WordToBytesStrict(text) == *strict && WordToBytes(text) == *strict);
            }
            break;
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
