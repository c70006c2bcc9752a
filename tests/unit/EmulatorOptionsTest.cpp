// tervane-emu's command line: what it builds, and which mistake it reports with which
// status when the system tests only ever give it good options.
#include <gtest/gtest.h>

#include "emulator/EmulatorOptions.h"

using namespace velomar::emu;

namespace {

EmulatorOptions parse(QStringList arguments) {
    arguments.prepend(QStringLiteral("tervane-emu"));
    return ParseEmulatorOptions(arguments);
}

}  // namespace

TEST(EmulatorOptions, BuildTheFleetAndTheServerSettings) {
    const EmulatorOptions o = parse({"--devices", "3", "--ports", "2", "--reply-port", "40000",
                                     "--burst", "--mute", "00-1A-2B-00-00-02"});
    ASSERT_TRUE(o.fleet) << o.error.toStdString();
    EXPECT_EQ(o.fleet->size(), 3);
    EXPECT_EQ(o.fleet->faults().mutedMacs.size(), 1);
    EXPECT_EQ(o.server.port, 2057);
    EXPECT_EQ(o.server.replyPort, 40000);
    EXPECT_TRUE(o.server.burst);
}

TEST(EmulatorOptions, MistakesGiveTheirMessageAndStatusFirstComeFirstReported) {
    auto failure = [](const QStringList& arguments) {
        const EmulatorOptions o = parse(arguments);
        EXPECT_FALSE(o.fleet);
        return std::make_pair(o.error.toStdString(), o.exitCode);
    };
    EXPECT_EQ(failure({"--port", "0"}),
              std::make_pair(std::string("--port must be a number 1..65535"), 2));
    EXPECT_EQ(failure({"--devices", "many"}),
              std::make_pair(std::string("--devices must be a number 0..100000"), 2));
    EXPECT_EQ(failure({"--mute", "00-1A"}).second, 1);
    // The fleet is built before the server's numbers are read: its mistake comes first.
    EXPECT_EQ(
        failure({"--devices", "2", "--load-config", "00-1A-2B-00-00-09=x.vlm", "--seed", "-1"}),
        std::make_pair(
            std::string("--load-config 00-1A-2B-00-00-09=x.vlm: no such device in the fleet"), 1));
}
