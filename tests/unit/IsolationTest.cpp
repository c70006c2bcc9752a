#include <gtest/gtest.h>

#include "net/LocalAddresses.h"
#include "support/Isolation.h"

// The safety net itself: inside the test process the host's interfaces are gone, so a
// broadcast has nowhere to go.
TEST(Isolation, TestProcessSeesNoHostInterfaces) {
    VELOMAR_REQUIRE_ISOLATION();
    EXPECT_TRUE(velomar::LocalIPv4Addresses().isEmpty());
}
