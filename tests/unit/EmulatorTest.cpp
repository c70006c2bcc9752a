// The emulator's device side, driven without sockets: what tests and benchmarks rely on
// when they judge the program by what the emulator saw and answered.
#include <gtest/gtest.h>

#include <random>

#include "emulator/EmulatedFleet.h"
#include "emulator/FleetFile.h"
#include "protocol/DiscoveryReply.h"
#include "protocol/Firmware.h"
#include "protocol/Frame.h"
#include "protocol/NetworkSetFrame.h"

using namespace velomar;
using namespace velomar::emu;

namespace {

const QByteArray kMac1 = QByteArray::fromHex("001A2B000001");
const QByteArray kMac2 = QByteArray::fromHex("001A2B000002");

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

std::vector<QByteArray> bytesOf(const std::vector<EmulatedFleet::Reply>& replies) {
    std::vector<QByteArray> out;
    for (const auto& r : replies) out.push_back(r.bytes);
    return out;
}

const char* kFleetJson = R"({"devices": [
  {"mac": "00-1A-2B-3C-4D-5E", "model": "ModelNameOf20Chars!!", "version": "10.20.30",
   "name": "Hall Süd ✓", "ip": "198.18.5.6", "gateway": "198.18.5.1", "mask": "255.255.255.0",
   "dns": "198.18.5.2", "pelorin_ip": "198.18.5.3", "pelorin_port": 4000, "dhcp": true,
   "telnet": false, "ssh": true, "ftp": true, "web": false,
   "lan": {"ip": "198.18.9.1", "mask": "255.255.255.0", "bridge": "Disable"},
   "reserved": 90, "pass_through": 7,
   "ports": [{"alias": "Line A", "operation": "RFC2217", "src_port": 10000, "type": "Modem",
              "dest_ip": "192.168.0.20", "dest_port": 1000, "alive": 60, "latency": 0, "nodelay": true,
              "interface": "RS232", "baud": "115200", "data_bits": "8", "stop_bits": "1",
              "parity": "None", "flow": "RTS/CTS"}],
   "port_count": 3},
  {"mac": "00:1A:2B:3C:4D:5F", "name_hex": "4142434445464748494a4b4c4d4e4f505152535455565758595a616263646566",
   "ports": 0}
]})";

}  // namespace

// --- discovery ------------------------------------------------------------------------

TEST(EmulatorDiscovery, EachDeviceAnswersTheThreeByteRequestWithItsReply) {
    EmulatedFleet fleet(ParseFleet(kFleetJson));
    const auto replies = bytesOf(fleet.handle(DiscoveryRequest()));
    ASSERT_EQ(replies.size(), 2u);

    const QByteArray& r = replies[0];
    ASSERT_EQ(r.size(), 85);
    EXPECT_EQ(r.left(2), hex("0267"));
    EXPECT_EQ(r.mid(2, 6), hex("001A2B3C4D5E"));
    EXPECT_EQ(r.mid(8, 4), hex("C6120506"));   // IP
    EXPECT_EQ(r.mid(12, 4), hex("C6120501"));  // gateway before the mask
    EXPECT_EQ(r.mid(16, 4), hex("FFFFFF00"));  // mask
    EXPECT_EQ(r.mid(20, 32), QString("Hall Süd ✓").toUtf8().leftJustified(32, '\0'));
    EXPECT_EQ(r.mid(52, 4), hex("C6120503"));         // Pelorin IP
    EXPECT_EQ(r.mid(56, 8), QByteArray("10.20.30"));  // full width, no NUL
    EXPECT_EQ(r.mid(64, 20), QByteArray("ModelNameOf20Chars!!"));
    EXPECT_EQ(r.at(84), kEtx);

    // A name given as raw bytes fills all 32 bytes of the field.
    EXPECT_EQ(replies[1].mid(20, 32), QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdef"));
    EXPECT_EQ(DecodeDiscoveryTexts(*DiscoveryReply::decode(replies[1])).name,
              "ABCDEFGHIJKLMNOPQRSTUVWXYZabcde");
}

TEST(EmulatorDiscovery, OnlyAWholeThreeByteRequestIsAnswered) {
    EmulatedFleet fleet(GenerateFleet(3));
    EXPECT_EQ(fleet.handle(DiscoveryRequest()).size(), 3u);
    // A device's own 85-byte reply heard back, a request without ETX, a cut request.
    EXPECT_TRUE(fleet.handle(fleet.device(0).discoveryReply()).empty());
    EXPECT_TRUE(fleet.handle(hex("026704")).empty());
    EXPECT_TRUE(fleet.handle(hex("0267")).empty());
    EXPECT_TRUE(fleet.handle(QByteArray()).empty());
    EXPECT_TRUE(fleet.handle(hex("024703")).empty());  // 'G'
}

TEST(EmulatorDiscovery, GeneratedDevicesAreDistinctAndWithinTheLabRange) {
    EmulatedFleet fleet(GenerateFleet(300));
    const auto replies = bytesOf(fleet.handle(DiscoveryRequest()));
    ASSERT_EQ(replies.size(), 300u);
    QSet<QByteArray> macs;
    for (const QByteArray& r : replies) {
        macs.insert(r.mid(2, 6));
        EXPECT_EQ(static_cast<quint8>(r.at(8)), 198);
        EXPECT_EQ(static_cast<quint8>(r.at(9)) & 0xFE, 18);
    }
    EXPECT_EQ(macs.size(), 300);
    EXPECT_EQ(replies[299].mid(2, 6), hex("001A2B00012C"));
    EXPECT_EQ(DecodeDiscoveryTexts(*DiscoveryReply::decode(replies[0])).name, "Tervane-0001");
    // Port counts cycle 1, 2, 4, 8, 16.
    EXPECT_EQ(fleet.device(0).portCount(), 1);
    EXPECT_EQ(fleet.device(4).portCount(), 16);
}

TEST(EmulatorDiscovery, FaultsMuteDuplicateAndSilence) {
    FaultOptions faults;
    faults.mutedMacs.insert(kMac2);
    faults.duplicate = true;
    EmulatedFleet fleet(GenerateFleet(3), faults);
    const auto replies = bytesOf(fleet.handle(DiscoveryRequest()));
    ASSERT_EQ(replies.size(), 4u);  // devices 1 and 3, twice each, in order
    EXPECT_EQ(replies[0], replies[1]);
    EXPECT_EQ(replies[0].mid(2, 6), kMac1);
    EXPECT_EQ(replies[2].mid(2, 6), hex("001A2B000003"));
    // A muted device does not answer its own requests either.
    EXPECT_TRUE(fleet.handle(MacOnlyFrame(Letter::NetworkRequest, kMac2)).empty());

    fleet.faults().noAnswer = true;
    EXPECT_TRUE(fleet.handle(DiscoveryRequest()).empty());
}

TEST(EmulatorDiscovery, TwoDevicesWithOneMacBothAnswerButTheFirstTakesRequests) {
    auto specs = GenerateFleet(2);
    specs[1].mac = specs[0].mac;
    specs[1].network.portCount = 3;
    EmulatedFleet fleet(specs);
    const auto replies = bytesOf(fleet.handle(DiscoveryRequest()));
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].mid(2, 6), replies[1].mid(2, 6));
    EXPECT_EQ(fleet.handle(MacOnlyFrame(Letter::SerialRequest, kMac1)).size(),
              1u);  // first: 1 port
}

// --- 'S' --------------------------------------------------------------------------------

TEST(EmulatorNetworkSet, UpdatesOnlyTheDeviceNamedByTheMac) {
    EmulatedFleet fleet(GenerateFleet(2));
    const QByteArray before1 = fleet.device(0).discoveryReply();
    NetworkSetFrame set;
    set.mac = kMac2;
    set.ip = hex("C6120A0B");
    set.gateway = hex("C6120A01");
    set.mask = hex("FFFFFF00");
    set.pelorin = hex("C6120A09");
    set.name = QString("Süd").toUtf8().leftJustified(32, '\0');
    EXPECT_TRUE(fleet.handle(set.encode()).empty());  // no answer to 'S'

    const QByteArray r = fleet.device(1).discoveryReply();
    EXPECT_EQ(r.mid(8, 4), set.ip);
    EXPECT_EQ(r.mid(12, 4), set.gateway);
    EXPECT_EQ(r.mid(16, 4), set.mask);
    EXPECT_EQ(r.mid(20, 32), set.name);
    EXPECT_EQ(r.mid(52, 4), set.pelorin);
    EXPECT_EQ(fleet.device(1).network().ip, set.ip);  // the 'n' record shows it too
    EXPECT_EQ(fleet.device(0).discoveryReply(), before1);

    // A frame of the wrong length changes nothing.
    QByteArray shortSet = set.encode();
    shortSet.remove(40, 1);
    set.ip = hex("01020304");
    QByteArray longSet = set.encode();
    longSet.insert(56, '\0');
    fleet.handle(shortSet);
    fleet.handle(longSet);
    EXPECT_EQ(fleet.device(1).discoveryReply(), r);
}

// --- records ------------------------------------------------------------------------------

TEST(EmulatorRecords, ReadRequestsGiveOneNetworkAndOnePerPortRecord) {
    EmulatedFleet fleet(ParseFleet(kFleetJson));
    const QByteArray mac = hex("001A2B3C4D5E");

    const auto n = bytesOf(fleet.handle(MacOnlyFrame(Letter::NetworkRequest, mac)));
    ASSERT_EQ(n.size(), 1u);
    const QByteArray& net = n[0];
    ASSERT_EQ(net.size(), 81);
    EXPECT_EQ(net.left(8), hex("026E") + mac);
    EXPECT_EQ(net.at(8), 1);  // DHCP
    EXPECT_EQ(net.mid(9, 16), hex("C6120506C6120501FFFFFF00C6120502"));
    EXPECT_EQ(net.mid(61, 2), hex("A00F"));      // 4000, low byte first
    EXPECT_EQ(net.mid(63, 4), hex("00010100"));  // Telnet, SSH, FTP, WEB
    EXPECT_EQ(net.mid(67, 2), hex("0101"));      // LAN port, bridge "Disable"
    EXPECT_EQ(net.mid(69, 8), hex("C6120901FFFFFF00"));
    EXPECT_EQ(net.mid(77, 3), hex("5A0307"));  // reserved, port count, pass-through
    EXPECT_EQ(net.at(80), kEtx);

    const auto o = bytesOf(fleet.handle(MacOnlyFrame(Letter::OperationRequest, mac)));
    ASSERT_EQ(o.size(), 3u);
    // The worked example of the operation record, port 0 here.
    EXPECT_EQ(o[0], hex("026F001A2B3C4D5E"
                        "00"    // port index
                        "0C"    // RFC2217
                        "1027"  // source port 10000
                        "4C696E652041"
                        "00000000000000000000"  // "Line A" and 10 NULs
                        "01"                    // Modem
                        "C0A80014"
                        "E803"
                        "3C00"
                        "0000"  // 192.168.0.20, 1000, 60, 0
                        "01"
                        "03"));
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(o[static_cast<size_t>(p)].size(), 41);
        EXPECT_EQ(o[static_cast<size_t>(p)].at(8), p);
    }
    const auto u = bytesOf(fleet.handle(MacOnlyFrame(Letter::SerialRequest, mac)));
    ASSERT_EQ(u.size(), 3u);
    EXPECT_EQ(u[0], hex("0275001A2B3C4D5E00000A0300000203"));
    EXPECT_EQ(u[2].at(8), 2);

    // No ports, no per-port replies; a MAC nobody has, no reply at all.
    EXPECT_TRUE(fleet.handle(MacOnlyFrame(Letter::OperationRequest, hex("001A2B3C4D5F"))).empty());
    EXPECT_TRUE(fleet.handle(MacOnlyFrame(Letter::NetworkRequest, hex("001A2B3C4D60"))).empty());
}

TEST(EmulatorRecords, DeviceWith255PortsAnswersEveryPort) {
    EmulatedFleet fleet(GenerateFleet(1, 255));
    const auto u = bytesOf(fleet.handle(MacOnlyFrame(Letter::SerialRequest, kMac1)));
    ASSERT_EQ(u.size(), 255u);
    EXPECT_EQ(static_cast<quint8>(u[254].at(8)), 254);
    EXPECT_EQ(static_cast<quint8>(fleet.device(0).networkReply().at(78)), 255);
}

TEST(EmulatorRecords, WritesTakeEffectOnlyOnApplyAndComeBackByteForByte) {
    EmulatedFleet fleet(GenerateFleet(2));  // device 2 has 2 ports
    QByteArray net = fleet.device(1).networkReply();
    net[1] = 'N';
    net[25] = 'X';  // name
    net[77] = 0x00;
    net[79] = 0x42;  // pass-through
    QByteArray op = fleet.device(1).operationReply(1);
    op[1] = 'O';
    op[9] = 12;  // RFC2217
    QByteArray se = fleet.device(1).serialReply(0);
    se[1] = 'U';
    se[10] = 13;  // 921600
    for (const QByteArray& w : {net, op, se}) EXPECT_TRUE(fleet.handle(w).empty());
    EXPECT_TRUE(fleet.device(1).hasPending());

    // Not yet in use.
    EXPECT_NE(bytesOf(fleet.handle(MacOnlyFrame(Letter::NetworkRequest, kMac2)))[0].at(25), 'X');

    const auto a = bytesOf(fleet.handle(MacOnlyFrame(Letter::ApplyRequest, kMac2)));
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0], hex("0261001A2B00000203"));
    EXPECT_FALSE(fleet.device(1).hasPending());

    auto expectBack = [](QByteArray written, char letter, const QByteArray& read) {
        written[1] = letter;
        EXPECT_EQ(read, written);
    };
    expectBack(net, 'n', bytesOf(fleet.handle(MacOnlyFrame(Letter::NetworkRequest, kMac2)))[0]);
    expectBack(op, 'o', bytesOf(fleet.handle(MacOnlyFrame(Letter::OperationRequest, kMac2)))[1]);
    expectBack(se, 'u', bytesOf(fleet.handle(MacOnlyFrame(Letter::SerialRequest, kMac2)))[0]);
    // The other device is untouched.
    EXPECT_EQ(fleet.device(0).network().name.left(12), QByteArray("Tervane-0001"));
}

TEST(EmulatorRecords, PortCountOfAnAppliedNetworkRecordResizesThePorts) {
    EmulatedFleet fleet(GenerateFleet(1, 2));
    QByteArray net = fleet.device(0).networkReply();
    net[1] = 'N';
    net[78] = 4;
    QByteArray op = EmulatedDevice::defaultOperation(3).encode();
    op.replace(2, 6, kMac1);
    op[9] = 7;
    QByteArray stray = EmulatedDevice::defaultOperation(9).encode();  // a port it will not have
    stray.replace(2, 6, kMac1);
    fleet.handle(net);
    fleet.handle(op);
    fleet.handle(stray);
    fleet.handle(MacOnlyFrame(Letter::ApplyRequest, kMac1));
    ASSERT_EQ(fleet.device(0).portCount(), 4);
    EXPECT_EQ(fleet.device(0).operation(3).operation, 7);
    EXPECT_EQ(fleet.device(0).operation(2).operation, 2);  // new port, default settings
    EXPECT_EQ(fleet.handle(MacOnlyFrame(Letter::SerialRequest, kMac1)).size(), 4u);
}

TEST(EmulatorRecords, MalformedWritesAndAnotherMacAreIgnored) {
    EmulatedFleet fleet(GenerateFleet(1, 1));
    const QByteArray before = fleet.device(0).configFile();
    QByteArray op = fleet.device(0).operationReply(0);
    op[1] = 'O';
    op[9] = 5;
    QByteArray noEtx = op;
    noEtx[40] = 0x00;
    QByteArray cut = op.left(39);
    cut.append(kEtx);  // 40 bytes
    QByteArray other = op;
    other.replace(2, 6, kMac2);
    for (const QByteArray& w : {noEtx, cut, other}) fleet.handle(w);
    fleet.handle(MacOnlyFrame(Letter::ApplyRequest, kMac1));
    EXPECT_EQ(fleet.device(0).configFile(), before);
}

TEST(EmulatorRecords, ReplyMacFaultReplacesTheMacOfEveryReplyButDiscovery) {
    FaultOptions faults;
    faults.replyMac = hex("0A0B0C0D0E0F");
    EmulatedFleet fleet(GenerateFleet(1, 2), faults);
    EXPECT_EQ(bytesOf(fleet.handle(DiscoveryRequest()))[0].mid(2, 6), kMac1);
    for (const QByteArray& r :
         bytesOf(fleet.handle(MacOnlyFrame(Letter::OperationRequest, kMac1)))) {
        EXPECT_EQ(r.mid(2, 6), *faults.replyMac);
    }
    EXPECT_EQ(bytesOf(fleet.handle(MacOnlyFrame(Letter::ApplyRequest, kMac1)))[0].mid(2, 6),
              *faults.replyMac);
}

// --- configuration file -------------------------------------------------------------------

TEST(EmulatorConfigFile, LayoutIsNetworkThenOperationThenSerialFrames) {
    EmulatedFleet fleet(GenerateFleet(2));  // device 2: two ports
    const QByteArray file = fleet.device(1).configFile();
    ASSERT_EQ(file.size(), 195);
    EXPECT_EQ(file.left(8), hex("024E") + kMac2);
    EXPECT_EQ(file.mid(81, 2), hex("024F"));
    EXPECT_EQ(file.at(81 + 8), 0);
    EXPECT_EQ(file.mid(122, 2), hex("024F"));
    EXPECT_EQ(file.at(122 + 8), 1);
    EXPECT_EQ(file.mid(163, 2), hex("0255"));
    EXPECT_EQ(file.mid(179, 2), hex("0255"));
    EXPECT_EQ(file.at(179 + 8), 1);
    EXPECT_EQ(file.at(194), kEtx);
    EXPECT_EQ(fleet.device(0).configFile().size(), 81 + 57);
}

TEST(EmulatorConfigFile, LoadingPlacesRecordsByTheirPortIndexAndRefusesShortFiles) {
    EmulatedFleet fleet(GenerateFleet(2));
    QByteArray file = fleet.device(1).configFile();
    // Swap the two operation records in the file: each still names its own port.
    QByteArray op0 = file.mid(81, 41), op1 = file.mid(122, 41);
    op1[9] = 13;
    file.replace(81, 41, op1);
    file.replace(122, 41, op0);
    file.replace(2, 6, hex("AABBCCDDEEFF"));  // another device's MAC: not used

    EmulatedDevice& target = fleet.device(0);  // one port before loading
    target.loadConfigFile(file);
    EXPECT_EQ(target.portCount(), 2);
    EXPECT_EQ(target.operation(1).operation, 13);
    EXPECT_EQ(target.networkReply().mid(2, 6), kMac1);

    // Export again gives the same records with this device's MAC, in port order.
    const QByteArray again = target.configFile();
    EXPECT_EQ(again.mid(81, 41).mid(8), op0.mid(8));
    EXPECT_EQ(again.mid(122, 41).mid(8), op1.mid(8));

    const QByteArray before = target.configFile();
    EXPECT_THROW(target.loadConfigFile(file.left(80)), std::invalid_argument);
    EXPECT_THROW(target.loadConfigFile(file.left(194)), std::invalid_argument);
    EXPECT_EQ(target.configFile(), before);  // nothing half-replaced
}

// --- firmware ------------------------------------------------------------------------------

namespace {

// The frames a program sends for an image: 128-byte blocks, then the final frame.
std::vector<QByteArray> firmwareFrames(const QByteArray& mac, const QByteArray& image) {
    std::vector<QByteArray> frames;
    std::int32_t block = 0;
    for (int at = 0; at < image.size(); at += kFirmwareBlockSize, ++block) {
        const QByteArray data = image.mid(at, kFirmwareBlockSize);
        frames.push_back(
            FirmwareFrame::dataFrame(mac, block, FirmwareChecksum::of(data), data).encode());
    }
    frames.push_back(
        FirmwareFrame::finalFrame(mac, block, image.size(), FirmwareChecksum::of(image)).encode());
    return frames;
}

QByteArray randomImage(int size) {
    std::mt19937 rng(7);
    QByteArray image(size, '\0');
    for (auto& c : image) c = static_cast<char>(rng() & 0xFF);
    return image;
}

}  // namespace

TEST(EmulatorFirmware, AcceptsEveryBlockAndReassemblesTheImage) {
    EmulatedFleet fleet(GenerateFleet(1));
    std::vector<EmulatedFleet::Change> changes;
    fleet.observer = [&](EmulatedDevice&, EmulatedFleet::Change c, const QString&) {
        changes.push_back(c);
    };
    const QByteArray image = randomImage(1000);  // 7 full blocks and one of 104 bytes
    const auto frames = firmwareFrames(kMac1, image);
    ASSERT_EQ(frames.size(), 9u);
    for (size_t i = 0; i < frames.size(); ++i) {
        const auto replies = bytesOf(fleet.handle(frames[i]));
        ASSERT_EQ(replies.size(), 1u);
        const FirmwareReply r = FirmwareReply::decode(replies[0]);
        EXPECT_EQ(replies[0].size(), 18);
        EXPECT_EQ(r.block, static_cast<std::int64_t>(i));
        EXPECT_TRUE(r.accepted()) << "frame " << i;
        EXPECT_EQ(r.mac, kMac1);
    }
    EXPECT_EQ(fleet.device(0).firmware().image(), image);
    EXPECT_EQ(changes, std::vector<EmulatedFleet::Change>{EmulatedFleet::Change::FirmwareImage});
}

TEST(EmulatorFirmware, ABlockHeardTwiceIsAcknowledgedTwiceAndKeptOnce) {
    EmulatedFleet fleet(GenerateFleet(1));
    const QByteArray image = randomImage(300);
    const auto frames = firmwareFrames(kMac1, image);
    for (const QByteArray& f : frames) {
        for (int copy = 0; copy < 2; ++copy) {
            const auto replies = bytesOf(fleet.handle(f));
            ASSERT_EQ(replies.size(), 1u);
            EXPECT_TRUE(FirmwareReply::decode(replies[0]).accepted());
        }
    }
    EXPECT_EQ(fleet.device(0).firmware().image(), image);
}

TEST(EmulatorFirmware, RefusesBadChecksumsGapsAndAWrongFinalFrame) {
    const QByteArray image = randomImage(400);
    auto statusOf = [](EmulatedFleet& fleet, const QByteArray& frame) {
        const auto replies = bytesOf(fleet.handle(frame));
        return replies.size() == 1 ? FirmwareReply::decode(replies[0]).status : std::nullopt;
    };
    {
        EmulatedFleet fleet(GenerateFleet(1));
        QByteArray bad = firmwareFrames(kMac1, image)[0];
        bad[39] = static_cast<char>(bad.at(39) ^ 0x01);  // a data byte the checksum does not cover
        EXPECT_EQ(statusOf(fleet, bad), 1);
        EXPECT_EQ(fleet.device(0).firmware().image().size(), 0);
    }
    {
        EmulatedFleet fleet(GenerateFleet(1));
        const auto frames = firmwareFrames(kMac1, image);
        EXPECT_EQ(statusOf(fleet, frames[0]), 0);
        EXPECT_EQ(statusOf(fleet, frames[2]), 1);  // block 1 skipped
    }
    {
        // Every block taken, but the final frame announces another length or checksum.
        for (int which = 0; which < 2; ++which) {
            EmulatedFleet fleet(GenerateFleet(1));
            const auto frames = firmwareFrames(kMac1, image);
            for (size_t i = 0; i + 1 < frames.size(); ++i) ASSERT_EQ(statusOf(fleet, frames[i]), 0);
            const QByteArray final =
                which == 0
                    ? FirmwareFrame::finalFrame(kMac1, 4, 399, FirmwareChecksum::of(image)).encode()
                    : FirmwareFrame::finalFrame(kMac1, 4, 400, 4294967295).encode();
            EXPECT_EQ(statusOf(fleet, final), 1);
        }
    }
    {
        // Unreadable frames are refused, never taken.
        EmulatedFleet fleet(GenerateFleet(1));
        QByteArray cut = firmwareFrames(kMac1, image)[0];
        cut.remove(100, 1);
        EXPECT_EQ(statusOf(fleet, cut), 1);
        EXPECT_EQ(statusOf(fleet, hex("0246001A2B00000103")), 1);
    }
}

TEST(EmulatorFirmware, FaultsRefuseBlockKGoSilentAtKAndDelayTheFinalAnswer) {
    const QByteArray image = randomImage(640);  // 5 blocks
    {
        FaultOptions f;
        f.refuseBlock = 2;
        EmulatedFleet fleet(GenerateFleet(1), f);
        const auto frames = firmwareFrames(kMac1, image);
        for (int i = 0; i < 3; ++i) {
            const FirmwareReply r =
                FirmwareReply::decode(fleet.handle(frames[static_cast<size_t>(i)])[0].bytes);
            EXPECT_EQ(r.block, i);
            EXPECT_EQ(r.accepted(), i != 2);
        }
    }
    {
        FaultOptions f;
        f.silentFromBlock = 3;
        EmulatedFleet fleet(GenerateFleet(1), f);
        const auto frames = firmwareFrames(kMac1, image);
        for (size_t i = 0; i < frames.size(); ++i)
            EXPECT_EQ(fleet.handle(frames[i]).size(), i < 3 ? 1u : 0u);
    }
    {
        FaultOptions f;
        f.finalDelayMs = 30000;
        EmulatedFleet fleet(GenerateFleet(1), f);
        const auto frames = firmwareFrames(kMac1, image);
        for (size_t i = 0; i + 1 < frames.size(); ++i)
            EXPECT_EQ(fleet.handle(frames[i])[0].extraDelayMs, 0);
        const auto last = fleet.handle(frames.back());
        ASSERT_EQ(last.size(), 1u);
        EXPECT_EQ(last[0].extraDelayMs, 30000);
        EXPECT_TRUE(FirmwareReply::decode(last[0].bytes).accepted());
    }
}

// --- fleet files and hostile input -------------------------------------------------------

TEST(EmulatorFleetFile, ErrorsNameTheDeviceAndTheField) {
    auto error = [](const char* json) {
        try {
            ParseFleet(json);
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(error(R"({"devices": [{"mac": "00-1A-2B-3C-4D-5E", "ip": "1.2.3"}]})"),
              "device 0: \"ip\" is not a dotted IPv4 address: 1.2.3");
    EXPECT_NE(error(R"({"devices": [{}, {"mac": "00-1A"}]})").find("device 0: \"mac\" is missing"),
              std::string::npos);
    EXPECT_NE(error(R"({"devices": [{"mac": "00-1A-2B-3C-4D-5E", "ports": [{"baud": "1234"}]}]})")
                  .find("port 0"),
              std::string::npos);
    EXPECT_NE(error(R"({"devices": [{"mac": "00-1A-2B-3C-4D-5E", "ports": 256}]})").find("0..255"),
              std::string::npos);
    // One separator throughout, or none: a mixed MAC was once taken.
    for (const char* mac : {"00-1A:2B-3C:4D-5E", "00-1A2B3C4D5E", " 00-1A-2B-3C-4D-5E"}) {
        EXPECT_EQ(
            error(QStringLiteral(R"({"devices": [{"mac": "%1"}]})").arg(mac).toUtf8().constData()),
            QStringLiteral("device 0: \"%1\" is not a MAC address like 00-1A-2B-3C-4D-5E")
                .arg(mac)
                .toStdString());
    }
    EXPECT_EQ(FleetMac("00:1a:2b:3c:4d:5e"), FleetMac("001A2B3C4D5E"));
    EXPECT_NE(error("{\"devices\": [").find("fleet file"), std::string::npos);
    EXPECT_NE(error("{}").find("\"devices\""), std::string::npos);
}

TEST(EmulatorFleetFile, LongUtf8NamesAreCutAtAWholeCharacter) {
    // 31 ASCII bytes and a 3-byte character: the character does not fit and is dropped.
    const auto fleet = ParseFleet(R"({"devices": [{"mac": "00-1A-2B-3C-4D-5E",
        "name": "ABCDEFGHIJKLMNOPQRSTUVWXYZabcde✓"}]})");
    EXPECT_EQ(fleet[0].network.name,
              QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZabcde").leftJustified(32, '\0'));
}

TEST(EmulatorHostileInput, RandomDatagramsNeverCrashOrChangeTheDevices) {
    EmulatedFleet fleet(GenerateFleet(2));
    const QByteArray before1 = fleet.device(0).configFile(), before2 = fleet.device(1).configFile();
    std::mt19937 rng(11);
    const char letters[] = "gSNOUAFnoua";
    for (int i = 0; i < 20000; ++i) {
        QByteArray d(static_cast<int>(rng() % 200), '\0');
        for (auto& c : d) c = static_cast<char>(rng() & 0xFF);
        if (d.size() >= 9 && i % 2 == 0) {
            d[0] = kStx;
            d[1] = letters[rng() % (sizeof letters - 1)];
            d.replace(2, 6, i % 4 == 0 ? kMac1 : hex("0A0B0C0D0E0F"));
            d[d.size() - 1] = kEtx;
            // Keep the two devices' settings: no 'S' or 'A' for them.
            if (d.at(1) == 'S' || d.at(1) == 'A') d[1] = 'x';
        }
        fleet.handle(d);
    }
    EXPECT_EQ(fleet.device(0).configFile(), before1);
    EXPECT_EQ(fleet.device(1).configFile(), before2);
}
