#pragma once

// Helpers shared by the configuration-dialog tests: replies as a device sends them, a
// dialog on test ports with a recording platform (alone, or with the main window), and a
// sink that collects what the dialog puts on the wire inside the test's own network
// namespace.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <functional>
#include <memory>

#include "DetectTestUtil.h"
#include "config/NetworkTab.h"
#include "config/PortGrids.h"
#include "config/UnitConfigure.h"
#include "net/UdpSocket.h"
#include "protocol/ApplyRequest.h"
#include "protocol/Codecs.h"
#include "protocol/Errors.h"
#include "protocol/NetworkRecord.h"
#include "protocol/OperationRecord.h"
#include "protocol/SerialRecord.h"
#include "support/Bytes.h"
#include "support/FindWidget.h"
#include "support/Isolation.h"
#include "support/ModelContract.h"
#include "support/RecordingPlatform.h"

namespace velomar::test {

inline const QString kMacA = QStringLiteral("00-1A-2B-3C-4D-5E");
inline const QString kMacB = QStringLiteral("00-1A-2B-3C-4D-6F");

// An 'n' reply: a device with a LAN port, bridge "Disable", four serial ports.
inline NetworkRecord SampleNetwork(const QString& mac = kMacA) {
    NetworkRecord n;
    n.letter = 'n';
    n.mac = TargetMac(mac);
    n.networkType = 0;
    n.ip = IpToBytes("198.18.1.10");
    n.gateway = IpToBytes("198.18.1.1");
    n.mask = IpToBytes("255.255.255.0");
    n.dns = IpToBytes("198.18.1.53");
    n.name = QByteArray("abc").leftJustified(32, '\0');
    n.pelorinIp = IpToBytes("198.18.1.2");
    n.pelorinPort = 4000;
    n.telnet = 1;
    n.ssh = 0;
    n.ftp = 1;
    n.web = 0;
    n.lanPresent = 1;
    n.bridge = 1;
    n.lanIp = IpToBytes("198.18.2.1");
    n.lanMask = IpToBytes("255.255.255.0");
    n.portCount = 4;
    return n;
}

inline QByteArray NetworkReply(const std::function<void(NetworkRecord&)>& edit = {},
                               const QString& mac = kMacA) {
    NetworkRecord n = SampleNetwork(mac);
    if (edit) edit(n);
    return n.encode();
}

// The worked example of the operation record: port 2, "RFC2217", alias "Line A".
inline OperationRecord SampleOperation(int port = 2, const QString& mac = kMacA) {
    OperationRecord o;
    o.letter = 'o';
    o.mac = TargetMac(mac);
    o.port = static_cast<std::uint8_t>(port);
    o.operation = 12;
    o.sourcePort = 10000;
    o.alias = QByteArray("Line A").leftJustified(16, '\0');
    o.type = 1;
    o.destinationIp = Bytes({192, 168, 0, 20});
    o.destinationPort = 1000;
    o.alive = 60;
    o.latency = 0;
    o.nodelay = 1;
    return o;
}

inline QByteArray OperationReply(int port = 2,
                                 const std::function<void(OperationRecord&)>& edit = {},
                                 const QString& mac = kMacA) {
    OperationRecord o = SampleOperation(port, mac);
    if (edit) edit(o);
    return o.encode();
}

inline QByteArray SerialReply(int port, std::array<std::uint8_t, 6> settings,
                              const QString& mac = kMacA) {
    SerialRecord s;
    s.letter = 'u';
    s.mac = TargetMac(mac);
    s.port = static_cast<std::uint8_t>(port);
    s.settings = settings;
    return s.encode();
}

inline QByteArray ApplyReply(const QString& mac = kMacA) {
    ApplyRequest a;
    a.letter = 'a';
    a.mac = TargetMac(mac);
    return a.encode();
}

// Collects the datagrams sent to one port of this namespace. drain() sends a marker of its
// own and reads up to it, so it returns everything sent before the call without waiting
// on a clock.
class FrameSink {
  public:
    explicit FrameSink(std::uint16_t port) : port_(port) { socket_.bind("0.0.0.0", port); }
    QList<QByteArray> drain() {
        UdpSocket marker;
        marker.bind("127.0.0.1", 0);
        const QByteArray mark("end-of-drain");
        marker.sendTo(mark, "127.0.0.1", port_);
        QList<QByteArray> frames;
        for (int i = 0; i < 10000; ++i) {
            if (socket_.waitReadable(5000) != UdpSocket::WaitResult::Readable) break;
            QString from;
            std::uint16_t fromPort = 0;
            bool truncated = false;
            const QByteArray d = socket_.receive(8192, &from, &fromPort, &truncated);
            if (d == mark) break;
            frames << d;
        }
        return frames;
    }

  private:
    std::uint16_t port_;
    UdpSocket socket_;
};

// A dialog whose endpoints stay inside the test: requests go to kSinkPort (through the
// given local addresses), replies would arrive on kListenPort.
class ConfigTest : public ::testing::Test {
  protected:
    static constexpr std::uint16_t kListenPort = 42058;
    static constexpr std::uint16_t kSinkPort = 42059;

    void SetUp() override {
        form = std::make_unique<TConfigForm>(nullptr, network());
        contract.watch(&op());
        contract.watch(&serial());
    }
    void TearDown() override {
        contract.end();
        form.reset();
    }
    virtual ConfigNetwork network() const { return ConfigNetwork{{}, kListenPort, kSinkPort}; }

    NetworkTab& tab() { return form->networkTab(); }
    OperationGridModel& op() { return form->operationGrid(); }
    SerialGridModel& serial() { return form->serialGrid(); }
    // Opens for a device and answers with its network record, as a device would.
    void openWithNetwork(const QString& mac = kMacA) {
        form->OpenForDevice("VM2100-4", mac, "1.0.7");
        form->ConfigUDPUDPRead(NetworkReply({}, mac));
    }

    RecordingPlatform rec;
    ScopedPlatform scoped{&rec};
    ModelContract contract;
    std::unique_ptr<TConfigForm> form;
};

// The dialog sends through these loopback addresses to a sink on its device port.
class ConfigSinkTest : public ConfigTest {
  protected:
    explicit ConfigSinkTest(QStringList addresses) : addresses_(std::move(addresses)) {}
    ConfigNetwork network() const override {
        return ConfigNetwork{addresses_, kListenPort, kSinkPort};
    }
    void SetUp() override {
        VELOMAR_REQUIRE_ISOLATION();
        sink = std::make_unique<FrameSink>(kSinkPort);
        ConfigTest::SetUp();
    }
    std::unique_ptr<FrameSink> sink;

  private:
    QStringList addresses_;
};

// The main window and the dialog on one test port, as both use 2057 in the product: the
// dialog can only open when the main window has let go of the port.
class WindowAndDialogTest : public ::testing::Test {
  protected:
    static constexpr std::uint16_t kPort = 42060;

    void SetUp() override {
        VELOMAR_REQUIRE_ISOLATION();
        window = std::make_unique<TFormDetect>(DetectNetwork{{}, kPort});
        form = new TConfigForm(window.get(), ConfigNetwork{{}, kPort, kPort});
        window->setConfigForm(form);
        window->show();
    }
    void TearDown() override { window.reset(); }

    void addDevices(int count) {
        for (int n = 0; n < count; ++n) window->UDPServerUDPRead(DeviceReply(n), {}, kPort);
        window->TakeReceivedDevices();
    }
    void select(int row) {
        Find<DeviceTableView>(window, "RGrid")
            ->setCurrentIndex(window->devices().index(row, DeviceTableModel::ColModel));
    }

    RecordingPlatform rec;
    ScopedPlatform scoped{&rec};
    std::unique_ptr<TFormDetect> window;
    TConfigForm* form = nullptr;  // the window's child
};

}  // namespace velomar::test
