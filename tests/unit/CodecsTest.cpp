#include <gtest/gtest.h>

#include "protocol/Bytes.h"
#include "protocol/Codecs.h"
#include "protocol/Errors.h"
#include "support/Bytes.h"

using namespace velomar;
using velomar::test::Bytes;
using velomar::test::ErrorOf;

TEST(Codecs, BytesToHexConvertsEveryByteIncludingZeros) {
    EXPECT_EQ(BytesToHex(Bytes({0x00, 0xAB, 0x0F}), 3), "00AB0F");
    EXPECT_EQ(BytesToHex(QByteArray(6, '\0'), 6), "000000000000");
}

TEST(Codecs, HexToIntAcceptsBothCasesAndRejectsOthers) {
    EXPECT_EQ(HexToInt("1a"), 26);
    EXPECT_EQ(HexToInt(""), 0);
    EXPECT_EQ(HexToInt("FFFFFFFF"), -1);
    EXPECT_EQ(ErrorOf([] { HexToInt("0G"); }), "No Hex-Number");
}

TEST(Codecs, HexDigitsAndIntToHexDigits) {
    EXPECT_EQ(HexDigitsToInt("00AB"), 171);
    EXPECT_EQ(HexDigitsToInt(""), 0);
    EXPECT_EQ(IntToHexDigits(0), "");
    EXPECT_EQ(IntToHexDigits(10), "A");
    EXPECT_EQ(IntToHexDigits(255), "FF");
    EXPECT_EQ(IntToHexDigits(256), "100");
}

TEST(Codecs, ListToHexOfMacAndAddressTexts) {
    EXPECT_EQ(ListToHex(ListKind::Hex, "00-1A-2B-3C-4D-5E", u'-'), "001A2B3C4D5E");
    EXPECT_EQ(ListToHex(ListKind::Hex, "00-1a-FF", u'-'), "001AFF");
    EXPECT_EQ(ListToHex(ListKind::Decimal, "192.168.1.0", u'.'), "C0A80100");
    EXPECT_EQ(ListToHex(ListKind::Decimal, "10.0.0.0", u'.'), "0A000000");
    EXPECT_EQ(ListToHex(ListKind::Decimal, "1.300.0.0", u'.'), "0112C0000");
    EXPECT_EQ(ErrorOf([] { ListToHex(ListKind::Decimal, "1..2.3", u'.'); }),
              "'' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { ListToHex(ListKind::Hex, "00-1G", u'-'); }), "No Hex-Number");
}

TEST(Codecs, HexPairToByte) {
    EXPECT_EQ(HexPairToByte("C0A8"), 0xC0);
    EXPECT_EQ(HexPairToByte("ff"), 0xFF);
    EXPECT_EQ(HexPairToByte("F"), 0);
    EXPECT_EQ(HexPairToByte("G1"), 0);
}

TEST(Codecs, IpTextsAndBytes) {
    EXPECT_EQ(BytesToIp(Bytes({0xC0, 0xA8, 0x01, 0x0A})), "192.168.1.10");
    EXPECT_EQ(IpToBytes("192.168.1.10"), Bytes({0xC0, 0xA8, 0x01, 0x0A}));
    EXPECT_EQ(IpToBytes("10.0.0.300"), Bytes({0x0A, 0x00, 0x00, 0x2C}));
    EXPECT_EQ(ErrorOf([] { IpToBytes("192.168.1"); }), "'' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { IpToBytes("1.2.3.4.5"); }), "'4.5' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { IpToBytes("1.x.3.4"); }), "'x' is not a valid integer value");
}

TEST(Codecs, StrictAddressRefusesPlacesAbove255) {
    EXPECT_EQ(IpToBytesStrict("10.0.0.255"), Bytes({10, 0, 0, 255}));
    const QString err = ErrorOf([] { IpToBytesStrict("10.0.0.300"); });
    EXPECT_TRUE(err.contains("10.0.0.300")) << err.toStdString();
    EXPECT_EQ(ErrorOf([] { IpToBytesStrict("10.0.0"); }), "'' is not a valid integer value");
}

TEST(Codecs, WordsLowByteFirst) {
    EXPECT_EQ(WordToBytes("2057"), Bytes({0x09, 0x08}));
    EXPECT_EQ(WordToBytes("0"), Bytes({0, 0}));
    EXPECT_EQ(WordToBytes("65535"), Bytes({0xFF, 0xFF}));
    EXPECT_EQ(WordToBytes("65536"), Bytes({0, 0}));
    EXPECT_TRUE(ErrorOf([] { WordToBytesStrict("65536"); }).contains("65536"));
    EXPECT_EQ(ErrorOf([] { WordToBytes(""); }), "'' is not a valid integer value");
    EXPECT_EQ(BytesToWord(Bytes({0x09, 0x08})), "2057");
    EXPECT_EQ(BytesToWord(Bytes({0xFF, 0xFF})), "65535");
    EXPECT_EQ(BytesToWord(Bytes({0x07})), "7");
    EXPECT_EQ(ErrorOf([] { BytesToWord({}); }), "'$' is not a valid integer value");
}

TEST(Codecs, MacTextAndTargetMac) {
    EXPECT_EQ(MacToText(Bytes({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E})), "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(TargetMac("00-1A-2B-3C-4D-5E"), Bytes({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
    EXPECT_EQ(TargetMac("N/A"), QByteArray(6, '\0'));
}

// Unusual texts, each through every conversion that reads it: what the fields make of
// lower case, Unicode case folding ("ﬀ" upper-cases to "FF"), signs and empty pieces.
TEST(Codecs, UnusualTextsConvertAsBefore) {
    EXPECT_EQ(HexToInt(QString::fromUtf8("\uFB00")), 255);
    EXPECT_EQ(HexToInt("aBc"), 2748);
    EXPECT_EQ(HexToInt("123456789"), 0x23456789);
    for (const char* bad : {"\xC3\x9F", "\xEF\xBD\x81", "1 ", "-1"}) {
        EXPECT_EQ(ErrorOf([&] { HexToInt(QString::fromUtf8(bad)); }), "No Hex-Number") << bad;
    }
    EXPECT_EQ(ListToHex(ListKind::Hex, "", u'-'), "00");
    EXPECT_EQ(ListToHex(ListKind::Hex, "--f", u'-'), "00000F");
    EXPECT_EQ(ListToHex(ListKind::Hex, QString::fromUtf8("\uFB00-123"), u'-'), "FF123");
    EXPECT_EQ(ListToHex(ListKind::Decimal, "-1.+2.2147483647", u'.'), "FFFFFFFFFFFFFFFF027FFFFFFF");
    EXPECT_EQ(ListToHex(ListKind::Decimal, "-2147483648", u'.'), "FFFFFFFF80000000");
    EXPECT_EQ(ErrorOf([] { ListToHex(ListKind::Decimal, "1.2147483648", u'.'); }),
              "'2147483648' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { ListToHex(ListKind::Decimal, "", u'.'); }),
              "'' is not a valid integer value");
    EXPECT_EQ(ListToHex(ListKind::Hex, QString(20000, u'-'), u'-'), QString(40002, u'0'));
    EXPECT_EQ(IpToBytes("+1.-1.0.-256"), Bytes({1, 0xFF, 0, 0}));
    EXPECT_EQ(ErrorOf([] { IpToBytes("1.2.3."); }), "'' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { IpToBytes(".1.2.3"); }), "'' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { IpToBytes("1.2.3.4 "); }), "'4 ' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { IpToBytesStrict("1.-1.0.0"); }),
              "'1.-1.0.0' is not a valid IP address: each of its four numbers must be 0 to 255");
    EXPECT_EQ(ErrorOf([] { IpToBytesStrict("1.x.0.999"); }), "'x' is not a valid integer value");
    EXPECT_EQ(BytesToIp(Bytes({255, 0, 128, 7})), "255.0.128.7");
    EXPECT_EQ(MacToText(Bytes({0xFF, 0x00, 0x0A, 0xA0, 0x10, 0x01})), "FF-00-0A-A0-10-01");
    EXPECT_EQ(TargetMac("0a-Bc-1"), Bytes({0x0A, 0xBC, 0, 0, 0, 0}));
    EXPECT_EQ(TargetMac("0a:bc:de:f0:12:34:56"), Bytes({0x0A, 0xBC, 0xDE, 0xF0, 0x12, 0x34}));
    EXPECT_EQ(TargetMac("0G-11"), Bytes({0, 0x11, 0, 0, 0, 0}));
}

// The asking forms give what the throwing forms convert, and nullopt where they throw.
TEST(Codecs, TryFormsAnswerAsTheThrowingFormsConvert) {
    EXPECT_EQ(TryHexToInt("1a"), 26);
    EXPECT_EQ(TryHexToInt("0G"), std::nullopt);
    EXPECT_EQ(TryListToHex(ListKind::Decimal, "10.0.0.0", u'.'), "0A000000");
    EXPECT_EQ(TryListToHex(ListKind::Decimal, "1..2", u'.'), std::nullopt);
    EXPECT_EQ(TryListToHex(ListKind::Hex, "00-1G", u'-'), std::nullopt);
    EXPECT_EQ(TryIpToBytes("10.0.0.300"), Bytes({10, 0, 0, 0x2C}));
    EXPECT_EQ(TryIpToBytes("1.2.3"), std::nullopt);
    EXPECT_EQ(TryIpToBytesStrict("10.0.0.255"), Bytes({10, 0, 0, 255}));
    EXPECT_EQ(TryIpToBytesStrict("10.0.0.300"), std::nullopt);
    EXPECT_EQ(TryWordToBytes("65536"), Bytes({0, 0}));
    EXPECT_EQ(TryWordToBytesStrict("65536"), std::nullopt);
    EXPECT_EQ(TryWordToBytesStrict("-1"), std::nullopt);
    EXPECT_EQ(TryWordToBytes("x"), std::nullopt);
}

TEST(Codecs, WordsAndNulCutsOfTheFrames) {
    EXPECT_EQ(WordAt(Bytes({0x09, 0x08, 0xFF})), 2057);
    EXPECT_EQ(WordAt(Bytes({0xFF})), 255);
    EXPECT_EQ(WordAt({}), 0);
    QByteArray out;
    AppendWord(out, 0xFF01);
    EXPECT_EQ(out, Bytes({0x01, 0xFF}));
    EXPECT_EQ(UpToNul(QByteArray("ab\0cd", 5)), "ab");
    EXPECT_EQ(UpToNul(QByteArray("abc")), "abc");
    EXPECT_EQ(UpToNul(QString::fromUtf16(u"\u20AC\0x", 3)), QString::fromUtf16(u"\u20AC"));
    EXPECT_EQ(UpToNul(QByteArrayView("\0", 1)).size(), 0);
}
