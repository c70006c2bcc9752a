#include <gtest/gtest.h>

#include "protocol/ApplyRequest.h"
#include "protocol/ConfigFile.h"
#include "protocol/Errors.h"
#include "protocol/NetworkRecord.h"
#include "protocol/OperationRecord.h"
#include "protocol/SerialRecord.h"
#include "protocol/ValueLists.h"
#include "support/Bytes.h"

using namespace velomar;
using velomar::test::Bytes;

namespace {

const QByteArray kMac = Bytes({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E});

// An 'n' reply laid out field by field, the way a device sends it.
QByteArray networkReply() {
    QByteArray d;
    d += Bytes({0x02, 'n'}) + kMac;
    d += Bytes({0x01});                             // 8: DHCP
    d += Bytes({192, 168, 1, 10});                  // 9: IP
    d += Bytes({192, 168, 1, 1});                   // 13: gateway
    d += Bytes({255, 255, 255, 0});                 // 17: mask
    d += Bytes({8, 8, 4, 4});                       // 21: DNS
    d += QByteArray("abc") + QByteArray(29, '\0');  // 25: name
    d += Bytes({10, 0, 0, 5});                      // 57: Pelorin IP
    d += Bytes({0xA0, 0x0F});                       // 61: port 4000
    d += Bytes({1, 0, 1, 0});                       // 63: Telnet, SSH, FTP, WEB
    d += Bytes({2});                                // 67: no LAN port (not exactly 1)
    d += Bytes({0});                                // 68: bridge "Enable"
    d += Bytes({172, 16, 0, 1});                    // 69: LAN IP
    d += Bytes({255, 255, 0, 0});                   // 73: LAN mask
    d += Bytes({0x5A, 4, 0x07, 0x03});              // 77 reserved, 78 ports, 79 pass-through, ETX
    return d;
}

QByteArray operationReply() {
    QByteArray d = Bytes({0x02, 'o'}) + kMac;
    d += Bytes({2, 12, 0x10, 0x27});
    d += QByteArray("Line A") + QByteArray(10, '\0');
    d += Bytes({1, 192, 168, 0, 20, 0xE8, 0x03, 0x3C, 0x00, 0x00, 0x00, 1, 0x03});
    return d;
}
}  // namespace

TEST(NetworkRecord, DecodesEveryFieldAtItsOffset) {
    const QByteArray reply = networkReply();
    ASSERT_EQ(reply.size(), 81);
    const auto n = NetworkRecord::decode(reply);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->letter, 'n');
    EXPECT_EQ(n->mac, kMac);
    EXPECT_EQ(n->networkType, 1);
    EXPECT_EQ(n->ip, Bytes({192, 168, 1, 10}));
    EXPECT_EQ(n->gateway, Bytes({192, 168, 1, 1}));
    EXPECT_EQ(n->mask, Bytes({255, 255, 255, 0}));
    EXPECT_EQ(n->dns, Bytes({8, 8, 4, 4}));
    EXPECT_EQ(n->name, QByteArray("abc") + QByteArray(29, '\0'));
    EXPECT_EQ(n->pelorinIp, Bytes({10, 0, 0, 5}));
    EXPECT_EQ(n->pelorinPort, 4000);
    EXPECT_EQ(n->telnet, 1);
    EXPECT_EQ(n->ssh, 0);
    EXPECT_EQ(n->ftp, 1);
    EXPECT_EQ(n->web, 0);
    EXPECT_FALSE(n->hasLanPort());
    EXPECT_EQ(n->bridge, 0);
    EXPECT_EQ(n->lanIp, Bytes({172, 16, 0, 1}));
    EXPECT_EQ(n->lanMask, Bytes({255, 255, 0, 0}));
    EXPECT_EQ(n->reserved, 0x5A);
    EXPECT_EQ(n->portCount, 4);
    EXPECT_EQ(n->passThrough, 0x07);
}

TEST(NetworkRecord, EncodesBackTheSameBytesWithItsOwnLetter) {
    auto n = *NetworkRecord::decode(networkReply());
    EXPECT_EQ(n.encode(), networkReply());
    n.letter = 'N';
    const QByteArray frame = n.encode();
    EXPECT_EQ(frame.at(1), 'N');
    EXPECT_EQ(frame.mid(61, 2), Bytes({0xA0, 0x0F}));
    EXPECT_EQ(frame.back(), 0x03);
}

TEST(NetworkRecord, IsAlways81BytesWhateverTheFieldWidths) {
    NetworkRecord n;
    EXPECT_EQ(n.encode().size(), 81);
    n.name = QByteArray(40, 'x');  // cut to 32
    n.ip = Bytes({1});             // filled to 4
    n.mac = QByteArray();
    const QByteArray frame = n.encode();
    ASSERT_EQ(frame.size(), 81);
    EXPECT_EQ(frame.mid(9, 4), Bytes({1, 0, 0, 0}));
    EXPECT_EQ(frame.mid(25, 32), QByteArray(32, 'x'));
    EXPECT_EQ(frame.mid(57, 4), QByteArray(4, '\0'));
}

TEST(NetworkRecord, AFrameShorterThanTheRecordIsNotRead) {
    EXPECT_FALSE(NetworkRecord::decode(networkReply().left(80)));
    EXPECT_FALSE(NetworkRecord::decode(QByteArray()));
    // Longer frames are read at their fixed offsets; the tail is ignored.
    EXPECT_TRUE(NetworkRecord::decode(networkReply() + "zz"));
}

TEST(OperationRecord, WorkedExampleDecodesAndTravelsBackUnchanged) {
    const QByteArray reply = operationReply();
    ASSERT_EQ(reply.size(), 41);
    const auto o = OperationRecord::decode(reply);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->port, 2);
    EXPECT_EQ(o->operation, 12);
    EXPECT_EQ(kOperationTexts.at(o->operation), "RFC2217");
    EXPECT_EQ(o->sourcePort, 10000);
    EXPECT_EQ(o->alias, QByteArray("Line A") + QByteArray(10, '\0'));
    EXPECT_EQ(o->type, 1);
    EXPECT_EQ(o->destinationIp, Bytes({192, 168, 0, 20}));
    EXPECT_EQ(o->destinationPort, 1000);
    EXPECT_EQ(o->alive, 60);
    EXPECT_EQ(o->latency, 0);
    EXPECT_TRUE(o->nodelayChecked());

    OperationRecord back = *o;
    back.letter = 'O';
    QByteArray expected = reply;
    expected[1] = 'O';
    EXPECT_EQ(back.encode(), expected);
}

TEST(OperationRecord, WordsAreLowByteFirstAndNodelayStaysRaw) {
    OperationRecord o;
    o.sourcePort = 65535;
    EXPECT_EQ(o.encode().mid(10, 2), Bytes({0xFF, 0xFF}));
    o.sourcePort = 256;
    EXPECT_EQ(o.encode().mid(10, 2), Bytes({0x00, 0x01}));

    QByteArray reply = operationReply();
    reply[39] = 0x05;
    const auto d = OperationRecord::decode(reply);
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->nodelayChecked());
    EXPECT_EQ(d->nodelay, 0x05);
}

TEST(OperationRecord, AliasBytesAfterTheFirstNulAreKept) {
    QByteArray reply = operationReply();
    reply[20] = 'Z';  // inside the NUL fill
    const auto o = OperationRecord::decode(reply);
    ASSERT_TRUE(o);
    EXPECT_EQ(o->alias.at(8), 'Z');
    EXPECT_EQ(o->encode(), reply);
}

TEST(OperationRecord, AFrameShorterThanTheRecordIsNotRead) {
    EXPECT_FALSE(OperationRecord::decode(operationReply().left(40)));
    EXPECT_EQ(OperationRecord().encode().size(), 41);
}

TEST(SerialRecord, WorkedExampleDecodesAndTravelsBack) {
    const QByteArray reply = Bytes({0x02, 'u'}) + kMac + Bytes({0, 0, 10, 3, 0, 0, 2, 0x03});
    ASSERT_EQ(reply.size(), 16);
    const auto s = SerialRecord::decode(reply);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->port, 0);
    QStringList texts;
    for (int i = 0; i < SerialRecord::kSettingCount; ++i) {
        texts << kSerialSettingTexts[i].at(s->settings[static_cast<size_t>(i)]);
    }
    EXPECT_EQ(texts.join(','), "RS232,115200,8,1,None,RTS/CTS");

    SerialRecord back = *s;
    back.letter = 'U';
    QByteArray expected = reply;
    expected[1] = 'U';
    EXPECT_EQ(back.encode(), expected);
    EXPECT_FALSE(SerialRecord::decode(reply.left(15)));
}

TEST(ApplyRequest, IsNineBytesOfLetterAndMac) {
    ApplyRequest a;
    a.mac = kMac;
    EXPECT_EQ(a.encode(), Bytes({0x02, 'A'}) + kMac + Bytes({0x03}));
    const auto reply = ApplyRequest::decode(Bytes({0x02, 'a'}) + kMac + Bytes({0x03}));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->letter, 'a');
    EXPECT_EQ(reply->mac, kMac);
    EXPECT_FALSE(ApplyRequest::decode(Bytes({0x02, 'a', 0x03})));
}

TEST(ConfigFile, SplitsIntoTheFramesItsPortCountCallsForAndJoinsThemBack) {
    QByteArray network = networkReply();
    network[78] = 2;
    const QByteArray op0 = operationReply(), op1 = operationReply().replace(8, 1, "\x01");
    const QByteArray se0(16, 'a'), se1(16, 'b');
    const QByteArray file = network + op0 + op1 + se0 + se1;
    const auto frames = ConfigFile::decode(file + "after");
    ASSERT_TRUE(frames);
    EXPECT_EQ(frames->network, network);
    EXPECT_EQ(frames->operation, (QList<QByteArray>{op0, op1}));
    EXPECT_EQ(frames->serial, (QList<QByteArray>{se0, se1}));
    EXPECT_EQ(frames->encode(), file);
    EXPECT_EQ(ConfigFile::shortfall(file), "");

    network[78] = 0;
    const auto alone = ConfigFile::decode(network);
    ASSERT_TRUE(alone);
    EXPECT_TRUE(alone->operation.isEmpty() && alone->serial.isEmpty());
}

TEST(ConfigFile, AFileShorterThanItsPortCountNeedsIsRefusedWithTheReason) {
    QByteArray file = networkReply();
    file[78] = 2;
    file += QByteArray(113, '\0');
    EXPECT_FALSE(ConfigFile::decode(file));
    EXPECT_EQ(ConfigFile::shortfall(file), "194 bytes, 195 needed for 2 ports");
    EXPECT_FALSE(ConfigFile::decode(file.left(80)));
    EXPECT_EQ(ConfigFile::shortfall(file.left(80)), "80 bytes, shorter than a network record");
    EXPECT_EQ(ConfigFile::shortfall({}), "0 bytes, shorter than a network record");
}

TEST(ValueLists, OrderIsTheWireOrder) {
    EXPECT_EQ(kOperationTexts.join(','),
              "Disable,COM_Redirector,TCP_Server,TCP_Client,TCP_Broadcast,TCP_Multiplex,"
              "UDP_Server,UDP_Client,Pair_Master,Pair_Slave,User_Application,Modbus_ASCII,"
              "RFC2217,Modbus_RTU,Terminal");
    EXPECT_EQ(kBaudrateTexts.join(','),
              "150,300,600,1200,2400,4800,9600,19200,38400,57600,115200,230400,460800,921600");
    EXPECT_EQ(kInterfaceTexts.join(','), "RS232,RS422,RS485NE,RS485E");
    EXPECT_EQ(kFlowControlTexts.join(','), "None,Xon/Xoff,RTS/CTS");
    EXPECT_EQ(kBridgeTexts.join(','), "Enable,Disable");
}

TEST(ValueLists, PositionIgnoresCaseAndGivesFFForNoEntry) {
    EXPECT_EQ(ListPosition(kOperationTexts, "rfc2217"), 12);
    EXPECT_EQ(ListPosition(kInterfaceTexts, "RS485E"), 3);
    EXPECT_EQ(ListPosition(kOperationTypeTexts, ""), kNoChoice);
    EXPECT_EQ(ListPosition(kOperationTypeTexts, "Modem "), kNoChoice);
    EXPECT_EQ(ListEntry(kBaudrateTexts, 13), "921600");
    try {
        ListEntry(kBaudrateTexts, 14);
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.text(), "List index out of bounds (14)");
    }
}
