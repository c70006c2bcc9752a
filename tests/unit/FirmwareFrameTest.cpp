#include <gtest/gtest.h>

#include "protocol/Firmware.h"

using namespace velomar;

namespace {
const QByteArray kMac("\x00\x1A\x2B\x3C\x4D\x5E", 6);

QByteArray nul(int n) {
    return QByteArray(n, '\0');
}

QByteArray reply(const QByteArray& blockField, int status) {
    QByteArray r;
    r.append('\x02');
    r.append('f');
    r.append(kMac);
    r.append(blockField);
    if (status >= 0) r.append(static_cast<char>(status));
    r.append('\x03');
    return r;
}
}  // namespace

TEST(FirmwareChecksum, ThreeLettersGiveTheDocumentedValue) {
    EXPECT_EQ(FirmwareChecksum::of("abc"), 4294966998LL);
    EXPECT_EQ(FirmwareChecksum::of(""), 4294967295LL);
}

TEST(FirmwareChecksum, PositionsWrapAtTwentyFourAndStayWithinTenDigits) {
    // Position 24 shifts by 0 again, position 23 by 23 bits.
    EXPECT_EQ(FirmwareChecksum::of(QByteArray(1, '\x01'), 24), 4294967295LL ^ 1);
    EXPECT_EQ(FirmwareChecksum::of(QByteArray(1, '\xFF'), 23), 4294967295LL ^ (0xFFLL << 23));
    // Bit 31 can never be cleared, so the text always has 10 digits.
    const std::int64_t v = FirmwareChecksum::of(QByteArray(200, '\xFF'), 0);
    EXPECT_GE(v, 2147483648LL);
    EXPECT_LE(v, 4294967295LL);
    // A byte of the image's second block counts from the image start, not the block start.
    EXPECT_EQ(FirmwareChecksum::of("\x05", 128), 4294967295LL ^ (5LL << 8));
    EXPECT_EQ(FirmwareChecksum::of("\x05", 0), 4294967295LL ^ 5LL);
}

TEST(FirmwareFrame, DataFrameCarriesNulFilledDecimalsAndRawData) {
    // Data bytes are not escaped: STX and ETX inside the block travel as they are.
    const QByteArray data("a\x02\x03\x00z", 5);
    const QByteArray f = FirmwareFrame::dataFrame(kMac, 7, 4294966998LL, data).encode();
    QByteArray expected;
    expected += '\x02';
    expected += 'F';
    expected += kMac;
    expected += "7" + nul(7);
    expected += '\x00';
    expected += "5" + nul(9);
    expected += "4294966998" + nul(2);
    expected += data;
    expected += '\x03';
    EXPECT_EQ(f, expected);
    EXPECT_EQ(f.size(), 45);
}

TEST(FirmwareFrame, FullBlockIs168BytesAndWideNumbersFillTheirFields) {
    const QByteArray block(kFirmwareBlockSize, '\x03');
    EXPECT_EQ(FirmwareFrame::dataFrame(kMac, 0, 4294967295LL, block).encode().size(), 168);

    // The largest image: its last block number has 8 digits, its length 10.
    const QByteArray f =
        FirmwareFrame::finalFrame(kMac, 16777216, kFirmwareMaxImageSize, 2147483648LL).encode();
    ASSERT_EQ(f.size(), 40);
    EXPECT_EQ(f.mid(8, 8), "16777216");
    EXPECT_EQ(f.at(16), '\x01');
    EXPECT_EQ(f.mid(17, 10), "2147483647");
    EXPECT_EQ(f.mid(27, 12), "2147483648" + nul(2));
    EXPECT_EQ(f.at(39), '\x03');
}

TEST(FirmwareFrame, EmptyImageFinalFrame) {
    const QByteArray f = FirmwareFrame::finalFrame(kMac, 0, 0, FirmwareChecksum::kStart).encode();
    QByteArray expected = QByteArray(
                              "\x02"
                              "F") +
                          kMac + "0" + nul(7) + '\x01' + "0" + nul(9) + "4294967295" + nul(2) +
                          '\x03';
    EXPECT_EQ(f, expected);
}

TEST(FirmwareFrame, DecodeReadsWhatEncodeWrites) {
    const QByteArray data("\x03\x02\x00\xFF", 4);
    const auto d =
        FirmwareFrame::decode(FirmwareFrame::dataFrame(kMac, 42, 2147483650LL, data).encode());
    ASSERT_TRUE(d);
    EXPECT_EQ(d->mac, kMac);
    EXPECT_EQ(d->block, 42);
    EXPECT_FALSE(d->final);
    EXPECT_EQ(d->count, 4);
    EXPECT_EQ(d->checksum, 2147483650LL);
    EXPECT_EQ(d->data, data);

    const auto fin =
        FirmwareFrame::decode(FirmwareFrame::finalFrame(kMac, 3, 300, 4294967295LL).encode());
    ASSERT_TRUE(fin);
    EXPECT_TRUE(fin->final);
    EXPECT_EQ(fin->block, 3);
    EXPECT_EQ(fin->count, 300);
    EXPECT_TRUE(fin->data.isEmpty());
}

TEST(FirmwareFrame, DecodeRefusesMalformedFrames) {
    const QByteArray good = FirmwareFrame::dataFrame(kMac, 1, 4294967295LL, "xyz").encode();
    ASSERT_TRUE(FirmwareFrame::decode(good));

    EXPECT_FALSE(FirmwareFrame::decode(good.left(39)));
    EXPECT_FALSE(FirmwareFrame::decode(good.left(good.size() - 1) + "\x04"));   // no ETX
    EXPECT_FALSE(FirmwareFrame::decode(good.left(good.size() - 1) + "q\x03"));  // count mismatch
    QByteArray letter = good;
    letter[1] = 'f';
    EXPECT_FALSE(FirmwareFrame::decode(letter));
    QByteArray flag = good;
    flag[16] = '\x02';
    EXPECT_FALSE(FirmwareFrame::decode(flag));
    QByteArray blank = good;
    blank[8] = ' ';  // a blank is not a digit, and digits may be followed only by NUL
    EXPECT_FALSE(FirmwareFrame::decode(blank));
    QByteArray gap = good;
    gap[9] = '\0';
    gap[10] = '5';  // a digit after the NUL fill
    EXPECT_FALSE(FirmwareFrame::decode(gap));
    QByteArray noCount = good;
    noCount[17] = '\0';
    EXPECT_FALSE(FirmwareFrame::decode(noCount));

    // A data frame must carry 1..128 bytes.
    QByteArray zero = FirmwareFrame::finalFrame(kMac, 0, 0, 4294967295LL).encode();
    zero[16] = '\x00';
    EXPECT_FALSE(FirmwareFrame::decode(zero));
    QByteArray big = FirmwareFrame::dataFrame(kMac, 0, 0, QByteArray(129, 'x')).encode();
    EXPECT_FALSE(FirmwareFrame::decode(big));

    // A final frame has no data.
    QByteArray longFinal = FirmwareFrame::finalFrame(kMac, 0, 0, 4294967295LL).encode();
    longFinal.insert(39, 'x');
    EXPECT_FALSE(FirmwareFrame::decode(longFinal));
}

TEST(FirmwareReply, EncodeIsEighteenBytes) {
    EXPECT_EQ(FirmwareReply::encode(kMac, 12, 1), QByteArray("\x02"
                                                             "f") +
                                                      kMac + "12" + nul(6) + '\x01' + '\x03');
}

TEST(FirmwareReply, BlockNumberEndsAtNulOrFieldEnd) {
    EXPECT_EQ(FirmwareReply::decode(reply("12" + nul(6), 0)).block, 12);
    EXPECT_EQ(FirmwareReply::decode(reply("12345678", 0)).block, 12345678);
    // "1\0" then junk: the number ends at the NUL.
    EXPECT_EQ(FirmwareReply::decode(reply(QByteArray("1\0abcdef", 8), 0)).block, 1);

    // No number at all.
    EXPECT_FALSE(FirmwareReply::decode(reply(nul(8), 0)).block);
    EXPECT_FALSE(FirmwareReply::decode(reply("        ", 0)).block);
    EXPECT_FALSE(FirmwareReply::decode(reply("7a" + nul(6), 0)).block);
    EXPECT_FALSE(FirmwareReply::decode(QByteArray("\x02"
                                                  "f\x03"))
                     .block);
}

TEST(FirmwareReply, StatusByteAndShortReplies) {
    const FirmwareReply ok = FirmwareReply::decode(reply("3" + nul(7), 0));
    EXPECT_EQ(ok.mac, kMac);
    EXPECT_TRUE(ok.accepted());
    EXPECT_FALSE(FirmwareReply::decode(reply("3" + nul(7), 1)).accepted());

    // 16 bytes, too short to hold the status byte: refused.
    const FirmwareReply shortOne = FirmwareReply::decode(QByteArray("\x02"
                                                                    "f") +
                                                         kMac + "3" + nul(6) + "\x03");
    EXPECT_EQ(shortOne.block, 3);
    EXPECT_FALSE(shortOne.status);
    EXPECT_FALSE(shortOne.accepted());
    EXPECT_TRUE(shortOne.refusesBlock(3));
}

TEST(FirmwareReply, RulesForDataAndFinalReplies) {
    const auto r = [](const QByteArray& field, int status) {
        return FirmwareReply::decode(reply(field, status));
    };

    // Data frames: only a refusal of the block just sent stops the transfer.
    EXPECT_FALSE(r("4" + nul(7), 0).refusesBlock(4));
    EXPECT_TRUE(r("4" + nul(7), 1).refusesBlock(4));
    EXPECT_FALSE(r("3" + nul(7), 1).refusesBlock(4));
    EXPECT_FALSE(r(nul(8), 1).refusesBlock(4));

    // Final frame: another number is success, no number lets the status decide.
    EXPECT_TRUE(r("9" + nul(7), 0).completes(9));
    EXPECT_FALSE(r("9" + nul(7), 2).completes(9));
    EXPECT_TRUE(r("8" + nul(7), 2).completes(9));
    EXPECT_TRUE(r(nul(8), 0).completes(9));
    EXPECT_FALSE(r(nul(8), 1).completes(9));
    EXPECT_FALSE(FirmwareReply::decode(QByteArray("\x02"
                                                  "f") +
                                       kMac + QByteArray(4, '\0') + '\x03')
                     .completes(9));
}
