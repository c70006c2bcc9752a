#include <gtest/gtest.h>

#include "protocol/DeviceName.h"
#include "protocol/DiscoveryReply.h"
#include "protocol/Frame.h"
#include "support/Bytes.h"

using namespace velomar;
using velomar::test::Bytes;

namespace {

// A full reply as a device sends it, field by field at its offset.
QByteArray sampleReply() {
    QByteArray d(85, '\0');
    d[0] = kStx;
    d[1] = 'g';
    d.replace(2, 6, Bytes({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
    d.replace(8, 4, Bytes({192, 168, 1, 10}));
    d.replace(12, 4, Bytes({192, 168, 1, 1}));
    d.replace(16, 4, Bytes({255, 255, 255, 0}));
    d.replace(20, 6, "Port-A");
    d.replace(52, 4, Bytes({10, 0, 0, 5}));
    d.replace(56, 5, "1.2.3");
    d.replace(64, 6, "VM2100");
    d[84] = kEtx;
    return d;
}

}  // namespace

TEST(Discovery, FullReplyDecodesToTheEightTexts) {
    const auto reply = DiscoveryReply::decode(sampleReply());
    ASSERT_TRUE(reply);
    const DeviceTexts t = DecodeDiscoveryTexts(*reply);
    EXPECT_EQ(t.mac, "00-1A-2B-3C-4D-5E");
    EXPECT_EQ(t.ip, "192.168.1.10");
    // Gateway stands before the mask on the wire.
    EXPECT_EQ(t.gateway, "192.168.1.1");
    EXPECT_EQ(t.mask, "255.255.255.0");
    EXPECT_EQ(t.name, "Port-A");
    EXPECT_EQ(t.pelorin, "10.0.0.5");
    // Version and model keep their zero bytes; the table cuts them at the first NUL.
    EXPECT_EQ(t.version, QString::fromLatin1("1.2.3\0\0\0", 8));
    EXPECT_EQ(t.model.size(), 20);
    EXPECT_TRUE(t.model.startsWith("VM2100"));
}

TEST(Discovery, EncodeIsByteExactAndLongerRepliesIgnoreTheTail) {
    const QByteArray wire = sampleReply();
    EXPECT_EQ(DiscoveryReply::decode(wire)->encode(), wire);

    QByteArray longer = wire.left(84) + QByteArray(40, '\x55') + QByteArray(1, kEtx);
    const auto reply = DiscoveryReply::decode(longer);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->encode(), wire);
}

TEST(Discovery, ShortReplyIsNotRead) {
    QByteArray shortReply = sampleReply().left(60);
    shortReply.append(kEtx);
    EXPECT_FALSE(DiscoveryReply::decode(shortReply));
    EXPECT_FALSE(DiscoveryReply::decode(QByteArray("\x02g\x03", 3)));
}

TEST(Recognition, LengthEtxAndLetterTests) {
    // The program hears its own 3-byte request.
    EXPECT_FALSE(ReplyLetter(DiscoveryRequest()));
    // Any 3-byte datagram is ignored, whatever it holds.
    EXPECT_FALSE(
        ReplyLetter(QByteArray("\x02"
                               "f\x03",
                               3)));
    QByteArray noEtx = sampleReply();
    noEtx[84] = 0x04;
    EXPECT_FALSE(ReplyLetter(noEtx));
    EXPECT_EQ(ReplyLetter(sampleReply()), 'g');
    QByteArray upper = sampleReply();
    upper[1] = 'G';
    EXPECT_EQ(ReplyLetter(upper), 'G');  // recognised as a frame, but its letter is not 'g'
    // Byte 0 is not tested.
    QByteArray noStx = sampleReply();
    noStx[0] = 0x7F;
    EXPECT_EQ(ReplyLetter(noStx), 'g');
    EXPECT_FALSE(ReplyLetter(QByteArray()));
    EXPECT_FALSE(ReplyLetter(QByteArray(1, kEtx)));
    EXPECT_EQ(ReplyLetter(QByteArray("\x02\x03", 2)), '\x03');
}

TEST(DeviceName, AttemptsInOrder) {
    QByteArray portA = QByteArray("Port-A") + QByteArray(26, '\0');
    EXPECT_EQ(DecodeDeviceName(portA), "Port-A");

    // 32 zero bytes: the first attempt is empty, the second gives 31 NUL characters.
    const QString zeros = DecodeDeviceName(QByteArray(32, '\0'));
    EXPECT_EQ(zeros, QString(31, QChar(0)));

    // 32 letters without a zero byte: the first 31.
    const QByteArray letters("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdef");
    EXPECT_EQ(DecodeDeviceName(letters), QString::fromLatin1(letters.left(31)));
}

TEST(DeviceName, ThreeByteCharacterCutAtTheEnd) {
    // 10 x "€" (3 bytes each) = 30 bytes, then the first two bytes of another "€".
    QByteArray field;
    for (int i = 0; i < 10; ++i) field += "\xE2\x82\xAC";
    field += "\xE2\x82";
    ASSERT_EQ(field.size(), 32);
    // 31 bytes still cut the last character; 30 bytes decode to ten whole characters.
    EXPECT_EQ(DecodeDeviceName(field), QString(10, QChar(0x20AC)));

    // 29 letters + a two-byte character + a lone lead byte: 31 bytes decode.
    QByteArray mixed = QByteArray(29, 'x') + "\xC3\xA9" + "\xC3";
    EXPECT_EQ(DecodeDeviceName(mixed), QString(29, 'x') + QChar(0xE9));
}

TEST(DeviceName, InvalidBytesGiveEmptyName) {
    // A continuation byte that is missing in every attempt: nothing decodes.
    QByteArray field(32, '\xC3');
    EXPECT_EQ(DecodeDeviceName(field), QString());
}

TEST(DeviceName, EncodingCutsAtTheLastWholeCharacter) {
    const QString euros(11, QChar(0x20AC));  // 33 bytes in UTF-8
    const QByteArray field = EncodeDeviceName(euros);
    ASSERT_EQ(field.size(), 32);
    EXPECT_EQ(field.left(30), euros.left(10).toUtf8());
    EXPECT_EQ(field.mid(30), QByteArray(2, '\0'));

    EXPECT_EQ(EncodeDeviceName(QString()), QByteArray(32, '\0'));
    const QString exact(32, 'n');
    EXPECT_EQ(EncodeDeviceName(exact), exact.toLatin1());
    EXPECT_EQ(DecodeDeviceName(EncodeDeviceName("Gerät 7")), "Gerät 7");
}
