// The command line's link routes each device's replies to that device's session, so that
// sessions with several devices run side by side over one socket.
#include <gtest/gtest.h>

#include <thread>

#include "core/DeviceLink.h"
#include "net/UdpSocket.h"
#include "support/Isolation.h"
#include "support/ReplyBuilder.h"

using namespace velomar;
using namespace std::chrono_literals;

namespace {
constexpr std::uint16_t kPort = 42059;

QByteArray Reply(char letter, const QByteArray& mac, const QByteArray& body = "x") {
    return QByteArray(1, kStx) + letter + mac + body + kEtx;
}
}  // namespace

TEST(DeviceLink, RepliesGoToTheSessionOfTheirMac) {
    VELOMAR_REQUIRE_ISOLATION();
    DeviceLink link({QStringLiteral("127.0.0.1")}, kPort);
    link.open();
    const QByteArray a = QByteArray::fromHex("001a2b00000a"),
                     b = QByteArray::fromHex("001a2b00000b");
    FirmwareReplySlot& slotA = link.firmwareSlot(a);
    UdpSocket device;
    device.bind(QStringLiteral("127.0.0.1"), 0);
    for (const QByteArray& d : {Reply('o', b), Reply('n', a), QByteArray(test::ReplyBuilder(1)),
                                Reply('f', a, "0001"), Reply('f', b, "0002"), Reply('u', b)})
        device.sendTo(d, QStringLiteral("127.0.0.1"), kPort);

    // Two sessions waiting at once, each for its own device.
    std::optional<Received> forA, forB;
    std::thread sessionB([&] { forB = link.next(DeviceLink::Clock::now() + 2s, b); });
    forA = link.next(DeviceLink::Clock::now() + 2s, a);
    sessionB.join();
    ASSERT_TRUE(forA && forB);
    EXPECT_EQ(forA->bytes, Reply('n', a));
    EXPECT_EQ(forB->bytes, Reply('o', b));
    EXPECT_EQ(link.next(DeviceLink::Clock::now() + 2s, b)->bytes, Reply('u', b));
    // Discovery replies are everybody's.
    const auto common = link.next(DeviceLink::Clock::now() + 2s);
    ASSERT_TRUE(common);
    EXPECT_EQ(common->bytes.at(1), 'g');
    EXPECT_FALSE(link.next(DeviceLink::Clock::now() + 50ms));
    // 'f' straight into the slot of its MAC; one for a MAC without a transfer is dropped.
    ASSERT_TRUE(slotA.waitFor(2s));
    EXPECT_EQ(slotA.text(), Reply('f', a, "0001"));
    EXPECT_EQ(link.lastFirmwareReply(a), Reply('f', a, "0001"));
    EXPECT_TRUE(link.lastFirmwareReply(b).isEmpty());
    EXPECT_FALSE(link.next(DeviceLink::Clock::now() + 50ms, a));
}
