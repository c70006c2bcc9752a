#include <gtest/gtest.h>

#include "platform/DeviceAccess.h"

using namespace velomar;

namespace {

ProgramFinder installed(const QStringList& programs) {
    return [programs](const QString& name) {
        return programs.contains(name) ? "/usr/bin/" + name : QString();
    };
}

const QString kIp = QStringLiteral("198.18.1.10");
const QString kMac = QStringLiteral("00-1A-2B-3C-4D-5E");

TEST(DeviceAccess, WindowsCommandLinesAreExactlyTheClassicOnes) {
    const ProgramStart arp = ArpEntryStart(HostSystem::Windows, kIp, kMac, installed({}));
    EXPECT_EQ(arp.commandLine(), "arp -s 198.18.1.10 00-1A-2B-3C-4D-5E");
    EXPECT_EQ(arp.arguments, (QStringList{"-s", kIp, kMac}));
    EXPECT_TRUE(arp.hidden);
    const auto telnet = TelnetStart(HostSystem::Windows, kIp, installed({}));
    ASSERT_TRUE(telnet);
    EXPECT_EQ(telnet->commandLine(), "telnet.exe 198.18.1.10");
    EXPECT_FALSE(telnet->hidden);
    EXPECT_EQ(WebUrl(kIp), "http://198.18.1.10");
}

TEST(DeviceAccess, UnixArpTakesTheMacWithColons) {
    const ProgramStart arp = ArpEntryStart(HostSystem::Unix, kIp, kMac, installed({"arp"}));
    EXPECT_EQ(arp, (ProgramStart{"/usr/bin/arp", {"-s", kIp, "00:1A:2B:3C:4D:5E"}, true}));
    // Not found: started by name all the same (and failing quietly).
    EXPECT_EQ(ArpEntryStart(HostSystem::Unix, kIp, kMac, installed({})).program, "arp");
}

TEST(DeviceAccess, UnixTelnetRunsInTheFirstTerminalThatIsInstalled) {
    auto telnetIn = [](const QStringList& programs, const QString& preferred = {}) {
        return TelnetStart(HostSystem::Unix, kIp, installed(programs + QStringList{"telnet"}),
                           preferred);
    };
    EXPECT_EQ(
        telnetIn({"xterm", "x-terminal-emulator"}),
        (ProgramStart{"/usr/bin/x-terminal-emulator", {"-e", "/usr/bin/telnet", kIp}, false}));
    EXPECT_EQ(telnetIn({"xterm", "gnome-terminal"}),
              (ProgramStart{"/usr/bin/gnome-terminal", {"--", "/usr/bin/telnet", kIp}, false}));
    EXPECT_EQ(telnetIn({"xfce4-terminal"})->arguments, (QStringList{"-x", "/usr/bin/telnet", kIp}));
    EXPECT_EQ(telnetIn({"konsole", "xterm"})->program, "/usr/bin/konsole");
    EXPECT_EQ(telnetIn({"xterm"})->arguments, (QStringList{"-e", "/usr/bin/telnet", kIp}));
    // The user's own choice comes first when it is installed, and is skipped when not.
    EXPECT_EQ(telnetIn({"xterm", "x-terminal-emulator", "alacritty"}, "alacritty")->program,
              "/usr/bin/alacritty");
    EXPECT_EQ(telnetIn({"xterm"}, "alacritty")->program, "/usr/bin/xterm");
    // No terminal: nothing is started.
    EXPECT_FALSE(telnetIn({}));
}

TEST(DeviceAccess, CellTextsWithShellCharactersStayOneArgument) {
    const QString hostile = QStringLiteral("1.2.3.4; touch /tmp/x $(id) 'q' %PATH% | &");
    const ProgramStart arp = ArpEntryStart(HostSystem::Unix, hostile, kMac, installed({}));
    ASSERT_EQ(arp.arguments.size(), 3);
    EXPECT_EQ(arp.arguments[1], hostile);
    const auto telnet = TelnetStart(HostSystem::Unix, hostile, installed({"xterm"}));
    ASSERT_TRUE(telnet);
    EXPECT_EQ(telnet->arguments.last(), hostile);
    EXPECT_EQ(TelnetStart(HostSystem::Windows, hostile, {})->arguments, QStringList{hostile});
}

}  // namespace
