#include <gtest/gtest.h>

#include "core/FirmwareTransfer.h"
#include "support/FakeWaitClock.h"

using namespace velomar;
using namespace std::chrono_literals;

// A wait's limit is a duration, not a count of whole seconds: it ends at the limit even
// between two seconds, neither a slice early nor a slice late.
TEST(FirmwareWaitLimit, EndsAtTheLimitBetweenWholeSeconds) {
    FirmwareReplySlot slot;
    test::FakeWaitClock clock;
    FirmwareTransfer transfer(slot, clock, {});
    EXPECT_FALSE(transfer.waitForReply(1510ms, false));
    EXPECT_EQ(clock.now(), 1510ms);
}
