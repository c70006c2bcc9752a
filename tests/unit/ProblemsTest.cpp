// Shared addresses and addresses outside this computer's subnets, as the table and
// velomar-cli search flag them.
#include <gtest/gtest.h>

#include "core/Problems.h"

using namespace velomar;

TEST(Problems, SharedAndForeignAddressesAreNamedPerDeviceAndSummed) {
    const QList<LocalSubnet> subnets{{QHostAddress("198.18.1.1"), 24},
                                     {QHostAddress("198.18.2.1"), 24}};
    const std::vector<ProblemDevice> devices{
        {"00-1A-2B-00-00-01", "198.18.1.20"}, {"00-1A-2B-00-00-02", "198.18.2.7"},
        {"00-1A-2B-00-00-03", "198.18.1.20"}, {"00-1A-2B-00-00-04", "198.18.16.5"},
        {"00-1A-2B-00-00-05", "198.18.1.20"}, {"00-1A-2B-00-00-06", "0.0.0.0"},
        {"00-1A-2B-00-00-07", "0.0.0.0"}};
    const auto problems = DeviceProblems(devices, subnets);
    ASSERT_EQ(problems.size(), devices.size());
    EXPECT_EQ(problems[0],
              QStringList{"IP 198.18.1.20 is also held by 00-1A-2B-00-00-03, 00-1A-2B-00-00-05"});
    EXPECT_TRUE(problems[1].isEmpty());
    EXPECT_EQ(problems[2],
              QStringList{"IP 198.18.1.20 is also held by 00-1A-2B-00-00-01, 00-1A-2B-00-00-05"});
    EXPECT_EQ(problems[3], QStringList{"198.18.16.5 is outside this computer's subnets"});
    // No address yet is not an address shared, but it reaches nobody.
    EXPECT_EQ(problems[5], QStringList{"0.0.0.0 is outside this computer's subnets"});
    EXPECT_EQ(ProblemSummary(devices, subnets),
              "3 devices share 198.18.1.20; 3 devices are outside this computer's subnets");
    EXPECT_EQ(ProblemSummary({devices[1]}, subnets), "");
    EXPECT_EQ(ProblemSummary({devices[3]}, subnets), "1 device is outside this computer's subnets");
}
