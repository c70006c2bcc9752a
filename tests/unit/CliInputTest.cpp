// What velomar-cli takes from its users before anything is sent: MACs, the network set
// table and its checks, configuration keys and files.
#include <gtest/gtest.h>

#include "core/ConfigKeys.h"
#include "core/NetworkSetJob.h"
#include "protocol/Errors.h"
#include "protocol/Mac.h"

using namespace velomar;

namespace {

FoundDevice Device(const char* macHex, const char* ip) {
    FoundDevice d;
    d.reply.mac = QByteArray::fromHex(macHex);
    d.reply.ip = QByteArray::fromHex(ip);
    d.texts = DecodeDiscoveryTexts(d.reply);
    return d;
}

QString ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.text();
    }
    return {};
}

}  // namespace

TEST(CliInput, MacTakesDashesColonsOrBareDigitsAndNothingShort) {
    const QByteArray mac = QByteArray::fromHex("001a2b3c4d5e");
    EXPECT_EQ(ParseMac("00-1A-2B-3C-4D-5E"), mac);
    EXPECT_EQ(ParseMac("00:1a:2b:3c:4d:5e"), mac);
    EXPECT_EQ(ParseMac("001A2B3C4D5E"), mac);
    for (const char* bad :
         {"00-1A-2B-3C-4D-5", "00-1A:2B-3C-4D-5E", "001A2B3C4D5G", "", "00-1A-2B-3C-4D-5E-6F"}) {
        EXPECT_FALSE(ParseMac(bad)) << bad;
    }
}

TEST(CliInput, SetTableNamesTheLineOfEachProblem) {
    const auto rows = ParseSetTable(
        "# fleet\nmac,name,ip\n001A2B000001,\"Hall, \"\"east\"\"\",\n\n"
        "00:1a:2b:00:00:02,,198.18.16.2\n",
        "f.csv");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].line, 3);
    EXPECT_EQ(rows[0].name, QString("Hall, \"east\""));
    EXPECT_FALSE(rows[0].ip);  // empty: keep the device's
    EXPECT_EQ(rows[1].ip, QString("198.18.16.2"));
    EXPECT_EQ(
        ErrorOf([] { ParseSetTable("mac,colour\n", "f.csv"); }),
        "f.csv:1: unknown column \"colour\" (known: mac, ip, mask, gateway, pelorin_ip, name)");
    EXPECT_EQ(ErrorOf([] { ParseSetTable("ip\n198.18.0.1\n", "f.csv"); }),
              "f.csv:1: the header has no \"mac\" column");
    EXPECT_EQ(ErrorOf([] { ParseSetTable("mac,ip\n001A2B000001\n", "f.csv"); }),
              "f.csv:2: 1 fields where the header has 2");
    EXPECT_EQ(ErrorOf([] { ParseSetTable("mac,ip\n001A2B00001,1.2.3.4\n", "f.csv"); }),
              "f.csv:2: \"001A2B00001\" is not a MAC address");
    EXPECT_EQ(ErrorOf([] { ParseSetTable("mac,name\n001A2B000001,\"open\n", "f.csv"); }),
              "f.csv:2: a quote is not closed");
}

TEST(CliInput, PlanIsRefusedWholeForUnknownDuplicateOrInvalidRows) {
    const std::vector<FoundDevice> found{Device("001a2b000001", "c6121001"),
                                         Device("001a2b000002", "c6121002")};
    std::vector<NetworkSetTexts> plan;
    const auto rows = ParseSetTable(
        "mac,ip,mask\n001A2B000001,198.18.16.2,\n001A2B000009,198.18.16.9,\n"
        "001A2B000002,198.18.16.7,255.255.256.0\n001A2B000001,,\n",
        "f.csv");
    const QStringList problems = CheckSetPlan(rows, found, plan);
    EXPECT_TRUE(
        problems.contains("4: 001A2B000002: mask \"255.255.256.0\" is not an IPv4 address"));
    EXPECT_TRUE(problems.contains("5: 001A2B000001: the device is listed again (first on line 2)"));
    EXPECT_TRUE(problems.contains("3: 001A2B000009: no device with this MAC answered the search"));
    EXPECT_EQ(problems.size(), 5) << problems.join('\n').toStdString();
    EXPECT_TRUE(problems.contains(
        "2: 001A2B000001: IP 198.18.16.2 would also be held by 00-1A-2B-00-00-02"));
    EXPECT_TRUE(plan.empty());

    // Two devices trading addresses is fine; values not given are the device's.
    const auto swap =
        ParseSetTable("mac,ip\n001A2B000001,198.18.16.2\n001A2B000002,198.18.16.1\n", "f.csv");
    EXPECT_TRUE(CheckSetPlan(swap, found, plan).isEmpty());
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].mac, "00-1A-2B-00-00-01");
    EXPECT_EQ(plan[0].mask, "0.0.0.0");
}

TEST(CliInput, ConfigKeysCheckValuesAndConfigFilesTheirLength) {
    DeviceConfig c;
    c.network.portCount = 1;
    c.operations.resize(1);
    c.serials.resize(1);
    SetConfigValue(c, "port1.baudrate", "9600");
    SetConfigValue(c, "port1.nodelay", "on");
    SetConfigValue(c, "telnet", "enable");
    EXPECT_EQ(c.serials[0].settings[SerialRecord::Baudrate], 6);
    EXPECT_EQ(c.operations[0].nodelay, 1);
    EXPECT_EQ(c.network.telnet, 1);
    EXPECT_EQ(ErrorOf([&] { SetConfigValue(c, "port2.baudrate", "9600"); }),
              "port2.baudrate: the device has 1 port(s)");
    EXPECT_EQ(ErrorOf([&] { SetConfigValue(c, "port1.src_port", "65536"); }),
              "port1.src_port: \"65536\" is not a number from 0 to 65535");
    EXPECT_EQ(ErrorOf([&] { SetConfigValue(c, "ip", "1.2.3"); }),
              "ip: \"1.2.3\" is not an IPv4 address");
    EXPECT_EQ(ErrorOf([&] { SetConfigValue(c, "baudrate", "9600"); }),
              "unknown key \"baudrate\" (see velomar-cli config keys)");

    const QByteArray mac = QByteArray::fromHex("001a2b000001");
    const QByteArray file = EncodeConfigFile(c, mac);
    EXPECT_EQ(file.size(), 81 + 41 + 16);
    EXPECT_EQ(ConfigDifferences(DecodeConfigFile(file, "a.vlm"), c), QStringList());
    EXPECT_EQ(ErrorOf([&] { DecodeConfigFile(file.left(130), "a.vlm"); }),
              "a.vlm is not a complete configuration file: 130 bytes, 138 needed for 1 ports");
}
