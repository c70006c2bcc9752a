#include <gtest/gtest.h>

#include "core/ConfigExchange.h"
#include "core/DeviceConfig.h"
#include "protocol/ApplyRequest.h"

using namespace velomar;

namespace {
const QByteArray kMac = QByteArray::fromHex("001a2b3c4d5e");
const QByteArray kOtherMac = QByteArray::fromHex("001a2b3c4d5f");

// A reply of `size` bytes as a device frames it: STX, letter, MAC, port, zeros, ETX.
QByteArray reply(char letter, int size, const QByteArray& mac = kMac, char port = 1) {
    QByteArray d(size, '\0');
    d[0] = kStx;
    d[1] = letter;
    d.replace(kMacOffset, kMacSize, mac);
    if (size > 8) d[8] = port;
    d[size - 1] = kEtx;
    return d;
}
}  // namespace

TEST(ConfigExchange, TakesOnlyWholeRepliesOfItsDevice) {
    const ConfigExchange x(kMac);
    const auto network = x.take(reply('n', NetworkRecord::kSize));
    ASSERT_TRUE(network && std::holds_alternative<NetworkRecord>(*network));
    const auto op = x.take(reply('o', OperationRecord::kSize, kMac, 3));
    ASSERT_TRUE(op && std::holds_alternative<OperationRecord>(*op));
    EXPECT_EQ(std::get<OperationRecord>(*op).port, 3);
    const auto serial = x.take(reply('u', SerialRecord::kSize));
    ASSERT_TRUE(serial && std::holds_alternative<SerialRecord>(*serial));
    const auto apply = x.take(reply('a', ApplyRequest::kSize));
    ASSERT_TRUE(apply && std::holds_alternative<ApplyAnswer>(*apply));
    EXPECT_TRUE(x.isApplyAnswer(reply('a', ApplyRequest::kSize)));

    // Another device, a record one byte short, our own request heard back, no ETX.
    EXPECT_FALSE(x.take(reply('n', NetworkRecord::kSize, kOtherMac)));
    EXPECT_FALSE(x.isApplyAnswer(reply('a', ApplyRequest::kSize, kOtherMac)));
    EXPECT_FALSE(x.take(reply('n', NetworkRecord::kSize - 1)));
    EXPECT_FALSE(x.take(reply('o', OperationRecord::kSize - 1)));
    EXPECT_FALSE(x.take(reply('u', SerialRecord::kSize - 1)));
    EXPECT_FALSE(x.take(reply('N', NetworkRecord::kSize)));
    QByteArray noEtx = reply('u', SerialRecord::kSize);
    noEtx[SerialRecord::kSize - 1] = 0;
    EXPECT_FALSE(x.take(noEtx));
    EXPECT_FALSE(x.take(QByteArray("\x02n\x03", 3)));
}

TEST(ConfigExchange, WritesNetworkThenOperationsThenSerialsUnderItsMac) {
    DeviceConfig c;
    c.network.letter = 'n';
    c.network.mac = kOtherMac;
    c.network.reserved = 0x5A;
    c.network.portCount = 2;
    c.operations.resize(2);
    c.serials.resize(2);
    c.operations[1].port = 7;  // the position in the list is the port written
    c.serials[0].settings[SerialRecord::Baudrate] = 6;

    const ConfigExchange x(kMac);
    const std::vector<QByteArray> all = x.writeFrames(c, true, true, true);
    ASSERT_EQ(all.size(), 5u);
    const char letters[] = {'N', 'O', 'O', 'U', 'U'};
    const int ports[] = {-1, 0, 1, 0, 1};
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].at(1), letters[i]) << i;
        EXPECT_EQ(FrameMac(all[i]), kMac) << i;
        if (ports[i] >= 0) {
            EXPECT_EQ(all[i].at(8), ports[i]) << i;
        }
    }
    EXPECT_EQ(all[0].size(), NetworkRecord::kSize);
    EXPECT_EQ(all[0].at(77), 0);  // reserved
    EXPECT_EQ(all[0].at(78), 2);  // port count as given
    EXPECT_EQ(all[3].at(10), 6);

    const std::vector<QByteArray> serialOnly = x.writeFrames(c, false, false, true);
    EXPECT_EQ(serialOnly, std::vector<QByteArray>(all.begin() + 3, all.end()));
    EXPECT_TRUE(x.writeFrames(c, false, false, false).empty());

    EXPECT_EQ(x.request(ConfigRecord::Operation), QByteArray("\x02O") + kMac + '\x03');
    EXPECT_EQ(x.applyRequest(), QByteArray("\x02"
                                           "A") +
                                    kMac + '\x03');
}
