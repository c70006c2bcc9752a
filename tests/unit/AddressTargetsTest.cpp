// What `search --ip` takes: addresses and CIDR ranges, as the host addresses to ask.
#include <gtest/gtest.h>

#include "core/AddressTargets.h"

using namespace velomar;

TEST(AddressTargets, RangesGiveTheirHostsAndAddressesStandAsGiven) {
    const AddressTargets t = ParseAddressTargets(QStringLiteral("198.18.4.0/30, 198.18.5.7"));
    EXPECT_TRUE(t.error.isEmpty()) << t.error.toStdString();
    EXPECT_EQ(t.texts(), (QStringList{"198.18.4.1", "198.18.4.2", "198.18.5.7"}));
    // Host bits in a range name its network; its network and broadcast are not asked.
    EXPECT_EQ(ParseAddressTargets(QStringLiteral("198.18.4.77/24")).hosts.size(), 254u);
    EXPECT_EQ(ParseAddressTargets(QStringLiteral("198.18.4.77/24")).texts().first(), "198.18.4.1");
    EXPECT_EQ(ParseAddressTargets(QStringLiteral("198.18.4.77/24")).texts().last(), "198.18.4.254");
    // A /31 and a /32 have no such addresses; one address alone may be a broadcast address.
    EXPECT_EQ(ParseAddressTargets(QStringLiteral("198.18.4.6/31")).texts(),
              (QStringList{"198.18.4.6", "198.18.4.7"}));
    EXPECT_EQ(ParseAddressTargets(QStringLiteral("198.18.4.255")).texts(),
              (QStringList{"198.18.4.255"}));
    // Overlaps are asked once, in the order first given.
    EXPECT_EQ(ParseAddressTargets(QStringLiteral("198.18.4.2,198.18.4.0/30")).texts(),
              (QStringList{"198.18.4.2", "198.18.4.1"}));
    EXPECT_EQ(ParseAddressTargets(QStringLiteral("255.255.255.254/31")).texts(),
              (QStringList{"255.255.255.254", "255.255.255.255"}));
}

TEST(AddressTargets, RefusesWhatIsNotAnAddressOrTooMany) {
    for (const char* bad : {"", ",", "198.18.4.1,", "198.18.4", "198.18.4.256", "198.18.4.1/33",
                            "198.18.4.1/", "198.18.4.1/-1", "198.18.04.1", "198.18.4.1/024",
                            "198.18.4.1.2", "198.18.4.x", "198.18.4.1/2x", "1.2.3.4 5"}) {
        const AddressTargets t = ParseAddressTargets(QString::fromLatin1(bad));
        EXPECT_FALSE(t.error.isEmpty()) << bad;
        EXPECT_TRUE(t.hosts.empty()) << bad;
    }
    // A /16 is the most one search asks; ranges that add up to more are refused too.
    EXPECT_EQ(ParseAddressTargets(QStringLiteral("198.18.0.0/16")).hosts.size(), 65534u);
    EXPECT_FALSE(ParseAddressTargets(QStringLiteral("198.18.0.0/15")).error.isEmpty());
    EXPECT_FALSE(ParseAddressTargets(QStringLiteral("0.0.0.0/0")).error.isEmpty());
    const AddressTargets many =
        ParseAddressTargets(QStringLiteral("198.18.0.0/24,198.19.0.0/24"), 300);
    EXPECT_TRUE(many.error.contains("300")) << many.error.toStdString();
    EXPECT_TRUE(many.hosts.empty());
}
