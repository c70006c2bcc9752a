#include <gtest/gtest.h>

#include "protocol/Address.h"

using velomar::IsValidIp;

TEST(IsValidIp, AcceptsFourNumbersFrom0To255) {
    EXPECT_TRUE(IsValidIp("192.168.0.1"));
    EXPECT_TRUE(IsValidIp("0.0.0.0"));
    EXPECT_TRUE(IsValidIp("255.255.255.255"));
    EXPECT_TRUE(IsValidIp("+1.2.3.-0"));  // a sign is part of a decimal integer
    EXPECT_TRUE(IsValidIp("010.001.0.9"));
}

TEST(IsValidIp, SkipsBlanksAndControlCharactersAroundTextAndDots) {
    EXPECT_TRUE(IsValidIp("  192.168.0.1  "));
    EXPECT_TRUE(IsValidIp("\t192 . 168 .0\r. 1\n"));
    // A blank inside ends a part: the text has four parts and passes (sending it fails later).
    EXPECT_TRUE(IsValidIp("192.168.0 1"));
    EXPECT_FALSE(IsValidIp("192.168.0.1 5"));
}

TEST(IsValidIp, RefusesWrongCountsEmptyPartsAndOutOfRangeNumbers) {
    EXPECT_FALSE(IsValidIp("192.168.0.256"));
    EXPECT_FALSE(IsValidIp("192.168.0"));
    EXPECT_FALSE(IsValidIp("192.168.0.1.5"));
    EXPECT_FALSE(IsValidIp("192.168..1"));
    EXPECT_FALSE(IsValidIp("192.168.0.1."));
    EXPECT_FALSE(IsValidIp("192.168.0.1. "));
    EXPECT_FALSE(IsValidIp(".192.168.0"));
    EXPECT_FALSE(IsValidIp(""));
    EXPECT_FALSE(IsValidIp("   "));
    EXPECT_FALSE(IsValidIp("1.2.3.-1"));
    EXPECT_FALSE(IsValidIp("1.2.3.0x1"));
    EXPECT_FALSE(IsValidIp("1.2.3.%"));
    EXPECT_FALSE(IsValidIp("1.2.3.99999999999"));
    EXPECT_FALSE(IsValidIp("a.b.c.d"));
}
