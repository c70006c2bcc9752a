// The emulator on a socket, inside the test process's own network namespace (loopback):
// replies go to the sender at the reply port, the log holds every datagram, a flood stays
// within its count, and the demo fleet file is valid.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "emulator/EmulatorServer.h"
#include "emulator/FleetFile.h"
#include "lab/NetLab.h"
#include "net/UdpSocket.h"
#include "protocol/DeviceName.h"
#include "protocol/Frame.h"
#include "support/Isolation.h"

using namespace velomar;
using namespace velomar::emu;

namespace {

constexpr std::uint16_t kServerPort = 2057;
constexpr std::uint16_t kClientPort = 3057;

// Runs a server on a thread for the lifetime of the object.
class RunningServer {
  public:
    RunningServer(std::vector<DeviceSpec> specs, EmulatorServer::Options options,
                  FaultOptions faults = {})
        : fleet_(specs, faults), server_(fleet_, options) {
        server_.bind();
        thread_ = std::thread([this] { server_.run(stop_); });
    }
    ~RunningServer() {
        stop_ = true;
        thread_.join();
    }
    EmulatorServer& server() { return server_; }

  private:
    EmulatedFleet fleet_;
    EmulatorServer server_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Receives until `count` datagrams came or 5 s passed without one.
QList<QByteArray> receive(UdpSocket& socket, int count) {
    QList<QByteArray> out;
    while (out.size() < count && socket.waitReadable(5000) == UdpSocket::WaitResult::Readable) {
        QString sender;
        std::uint16_t port = 0;
        bool truncated = false;
        out << socket.receive(65536, &sender, &port, &truncated);
    }
    return out;
}

}  // namespace

TEST(EmulatorServer, AnswersTheSenderAtTheReplyPortAndLogsEveryDatagram) {
    VELOMAR_REQUIRE_ISOLATION();
    QTemporaryDir dir;
    EmulatorServer::Options o;
    o.port = kServerPort;
    o.replyPort = kClientPort;
    o.logPath = dir.filePath("log.jsonl");
    o.burst = true;
    FaultOptions faults;
    faults.duplicate = true;
    RunningServer running(GenerateFleet(2), o, faults);

    UdpSocket client;
    client.bind("127.0.0.1", kClientPort);
    client.sendTo(DiscoveryRequest(), "127.0.0.1", kServerPort);
    const auto replies = receive(client, 4);
    ASSERT_EQ(replies.size(), 4);
    EXPECT_EQ(replies[0], replies[1]);  // --duplicate
    EXPECT_EQ(replies[2].mid(2, 6), QByteArray::fromHex("001A2B000002"));

    // A reply's log line is written just after it is sent: wait for the last one (bounded).
    QByteArray text;
    for (int i = 0; i < 500 && text.count('\n') < 5; ++i) {
        QFile log(o.logPath);
        if (log.open(QIODevice::ReadOnly)) text = log.readAll();
        if (text.count('\n') < 5) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const QList<QByteArray> lines = text.split('\n');
    ASSERT_EQ(lines.size(), 6);  // 1 in, 4 out, and the empty rest after the last newline
    const QJsonObject in = QJsonDocument::fromJson(lines[0]).object();
    EXPECT_EQ(in.value("dir").toString(), "in");
    EXPECT_EQ(in.value("letter").toString(), "g");
    EXPECT_EQ(in.value("len").toInt(), 3);
    EXPECT_EQ(in.value("hex").toString(), "026703");
    EXPECT_TRUE(in.value("peer").toString().startsWith("127.0.0.1:"));
    const QJsonObject out = QJsonDocument::fromJson(lines[1]).object();
    EXPECT_EQ(out.value("dir").toString(), "out");
    EXPECT_EQ(out.value("peer").toString(), "127.0.0.1:3057");
    EXPECT_EQ(QByteArray::fromHex(out.value("hex").toString().toLatin1()), replies[0]);
    EXPECT_TRUE(lines[5].isEmpty());
}

TEST(EmulatorServer, KeepsConfigurationFilesAndStoresFirmwareImages) {
    VELOMAR_REQUIRE_ISOLATION();
    QTemporaryDir dir;
    EmulatorServer::Options o;
    o.port = kServerPort;
    o.replyPort = kClientPort;
    o.configDir = dir.filePath("config");
    o.firmwareDir = dir.filePath("firmware");
    RunningServer running(GenerateFleet(1, 2), o);
    const QString configPath = dir.filePath("config/001A2B000001.vlm");
    QFile config(configPath);
    ASSERT_TRUE(config.open(QIODevice::ReadOnly));
    QByteArray file = config.readAll();
    config.close();
    ASSERT_EQ(file.size(), 81 + 57 * 2);

    UdpSocket client;
    client.bind("127.0.0.1", kClientPort);
    // Rename the device by 'N' + 'A'; the file follows once 'a' has been sent.
    QByteArray net = file.left(81);
    net.replace(25, 32, EncodeDeviceName("Renamed"));
    client.sendTo(net, "127.0.0.1", kServerPort);
    client.sendTo(MacOnlyFrame(Letter::ApplyRequest, QByteArray::fromHex("001A2B000001")),
                  "127.0.0.1", kServerPort);
    ASSERT_EQ(receive(client, 1).size(), 1);
    ASSERT_TRUE(config.open(QIODevice::ReadOnly));
    EXPECT_EQ(config.readAll().left(81), net);
}

TEST(EmulatorServer, FloodSendsExactlyItsCountToTheTarget) {
    VELOMAR_REQUIRE_ISOLATION();
    EmulatorServer::Options o;
    o.port = kServerPort;
    o.replyPort = kClientPort;
    o.floodCount = 300;
    o.floodTo = "127.0.0.1";
    o.floodMaxSize = 2000;
    o.floodWithoutReplies = true;
    UdpSocket client;
    client.requestReceiveBuffer(4 * 1024 * 1024, false);
    client.bind("127.0.0.1", kClientPort);
    RunningServer running(GenerateFleet(1), o);
    const auto flood = receive(client, 300);
    ASSERT_EQ(flood.size(), 300);
    int framed = 0, shortG = 0;
    for (const QByteArray& d : flood) {
        EXPECT_LE(d.size(), 2000);
        if (d.size() < 3 || d.at(0) != kStx || d.back() != kEtx) continue;
        ++framed;
        if (d.at(1) == Letter::Discovery) {
            EXPECT_LT(d.size(), 85) << "a well-formed discovery reply in a flood without replies";
            ++shortG;
        }
    }
    EXPECT_GE(framed, 140);  // half of them are framed on purpose
    EXPECT_GT(shortG, 0);
    // And not one more.
    EXPECT_EQ(client.waitReadable(300), UdpSocket::WaitResult::Timeout);
}

TEST(EmulatorFleetFile, DemoFleetIsValidAndCoversTheAwkwardDevices) {
    const QString path = QDir(NetLab::sourceDir()).filePath("emulator/fleets/demo.json");
    const auto fleet = LoadFleetFile(path);
    ASSERT_GE(fleet.size(), 10u);
    QSet<int> ports;
    bool dhcp = false, lan = false, fullName = false, utf8 = false, fullModel = false,
         fullVersion = false;
    for (const DeviceSpec& d : fleet) {
        ports.insert(d.network.portCount);
        dhcp |= d.network.networkType == 1;
        lan |= d.network.hasLanPort();
        fullName |= !d.network.name.contains('\0');
        utf8 |= d.network.name.toStdString().find_first_of("\x80\xC3\xE2") != std::string::npos;
        fullModel |= d.model.size() == 20;
        fullVersion |= d.version.size() == 8;
    }
    for (int p : {1, 2, 4, 8, 16}) EXPECT_TRUE(ports.contains(p)) << p;
    EXPECT_TRUE(dhcp && lan && fullName && utf8 && fullModel && fullVersion);
}
