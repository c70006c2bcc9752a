#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTableView>
#include <QTemporaryDir>
#include <mutex>

#include "app/UnitDetect.h"
#include "net/ListeningEndpoint.h"
#include "protocol/Firmware.h"
#include "protocol/Frame.h"
#include "support/FakeWaitClock.h"
#include "support/FindWidget.h"
#include "support/Isolation.h"
#include "support/RecordingPlatform.h"
#include "support/ReplyBuilder.h"
#include "support/SystemTexts.h"

using namespace velomar;
using velomar::test::Find;
using namespace std::chrono_literals;
using velomar::test::FakeWaitClock;

namespace {

// The window listens here; the device in the test listens on the device port 2057.
constexpr std::uint16_t kWindowPort = 12057;

QByteArray Mac(int last) {
    QByteArray mac = QByteArray::fromHex("001A2B3C4D00");
    mac[5] = static_cast<char>(last);
    return mac;
}

void AddDevice(TFormDetect& w, int macLast) {
    w.UDPServerUDPRead(test::ReplyBuilder(macLast).ip("198.18.0.2").model("VM2100-4"), "198.18.0.2",
                       2057);
    w.TakeReceivedDevices();
}

// A device on the loopback: receives the window's broadcasts on port 2057 and answers each
// 'F' frame to the window's port as `answer` says (empty: stays silent).
class Device {
  public:
    using Answer = std::function<std::optional<QByteArray>(const FirmwareFrame&)>;

    // The answer is fixed before the listener starts: it runs on the listener thread.
    explicit Device(Answer answer =
                        [](const FirmwareFrame& f) {
                            return FirmwareReply::encode(f.mac, f.block, 0);
                        })
        : answer_(std::move(answer)),
          endpoint_([this](const QByteArray& d, const QString&, std::uint16_t) { onFrame(d); },
                    kDevicePort) {
        endpoint_.open();
    }
    ~Device() { endpoint_.close(); }

    QList<QByteArray> frames() {
        std::lock_guard lock(mutex_);
        return frames_;
    }

  private:
    void onFrame(const QByteArray& d) {
        const auto f = FirmwareFrame::decode(d);
        {
            std::lock_guard lock(mutex_);
            frames_ << d;
        }
        if (!f) return;
        if (const auto a = answer_(*f)) endpoint_.sendTo(*a, "127.0.0.1", kWindowPort);
    }

    const Answer answer_;
    std::mutex mutex_;
    QList<QByteArray> frames_;
    ListeningEndpoint endpoint_;
};

// What the window looked like while its message box was open.
struct AtBox {
    bool seen = false;
    bool toolbar = true, table = true, apply = false, panel = true;
};

void WatchBox(RecordingPlatform& rec, TFormDetect& w, AtBox* at) {
    rec.onBox = [at, &w](const RecordingPlatform::Event&) {
        at->seen = true;
        at->toolbar = Find<QWidget>(w, "FlatPanel1")->isEnabled();
        at->table = Find<QWidget>(w, "FlatPanel2")->isEnabled();
        at->apply = Find<QPushButton>(w, "FlatButton1")->isEnabled();
        at->panel = Find<QFrame>(w, "FlatPanel3")->isVisibleTo(&w);
    };
}

// A window on the test port with a recording platform, over the loopback (where a Device
// may answer) or without any interface.
class FirmwareWindow : public ::testing::Test {
  protected:
    void SetUp() override { VELOMAR_REQUIRE_ISOLATION(); }
    // The window, listing devices 1..devices.
    TFormDetect& open(bool loopback, int devices = 1) {
        window.emplace(
            DetectNetwork{loopback ? QStringList{"127.0.0.1"} : QStringList{}, kWindowPort});
        for (int n = 1; n <= devices; ++n) AddDevice(*window, n);
        return *window;
    }
    // The file dialog's next answer: a file of these bytes.
    void chooseImage(const QByteArray& bytes) {
        const QString path = dir.filePath("vm2100.bin");
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        rec.fileAnswers.enqueue(path);
    }

    RecordingPlatform rec;
    ScopedPlatform scoped{&rec};
    QTemporaryDir dir;
    FakeWaitClock clock;  // for the window to wait on, where a test gives it
    std::optional<Device> device;
    std::optional<TFormDetect> window;
};

}  // namespace

TEST_F(FirmwareWindow, NothingHappensWithoutADevice) {
    TFormDetect& w = open(false, 0);
    const QString before = Find<QLabel>(w, "FUWait")->text();
    w.FlatButton7Click();
    EXPECT_TRUE(rec.events.isEmpty());
    EXPECT_EQ(Find<QLabel>(w, "FUWait")->text(), before);
    EXPECT_TRUE(Find<QWidget>(w, "FlatPanel1")->isEnabled());
}

TEST_F(FirmwareWindow, CancellingTheDialogShowsNothingAndLeavesEverythingEnabled) {
    TFormDetect& w = open(true);
    w.OpenUDPServer();
    w.FlatButton7Click();

    ASSERT_EQ(rec.events.size(), 1);
    const auto& dialog = rec.events[0];
    EXPECT_EQ(dialog.kind, RecordingPlatform::Event::OpenFile);
    EXPECT_EQ(dialog.dialog.defaultName, "vm2100.bin");
    EXPECT_EQ(dialog.dialog.defaultSuffix, "bin");
    EXPECT_EQ(dialog.dialog.filters, (QStringList{"All files (*.*)", "Firmware File (*.bin)"}));
    EXPECT_TRUE(Find<QWidget>(w, "FlatPanel1")->isEnabled());
    EXPECT_TRUE(Find<QWidget>(w, "FlatPanel2")->isEnabled());
    EXPECT_FALSE(Find<QFrame>(w, "FlatPanel3")->isVisibleTo(&w));
    // The endpoint was closed before the dialog and stays closed.
    EXPECT_FALSE(w.udpServer().isOpen());
    EXPECT_EQ(Find<QLabel>(w, "FUWait")->text(), "Sending Firmware...");
}

TEST_F(FirmwareWindow, UnreadableFileIsNamedAndNothingIsSent) {
    device.emplace();
    TFormDetect& w = open(true);
    const QString missing = dir.filePath("gone.bin");
    rec.fileAnswers.enqueue(missing);
    AtBox at;
    WatchBox(rec, w, &at);
    w.FlatButton7Click();

    ASSERT_EQ(rec.boxes().size(), 1);
    EXPECT_EQ(rec.events.last().kind, RecordingPlatform::Event::Error);
    EXPECT_EQ(rec.boxes()[0],
              WithFullStop(QStringLiteral("Cannot open the firmware file \"%1\": %2")
                               .arg(test::NativePath(missing), test::kNoSuchFile)));
    EXPECT_TRUE(at.seen);
    EXPECT_FALSE(at.panel);
    EXPECT_TRUE(Find<QWidget>(w, "FlatPanel1")->isEnabled());
    EXPECT_TRUE(Find<QWidget>(w, "FlatPanel2")->isEnabled());
    EXPECT_FALSE(w.interfaceEndpoints().at(0).isBound()) << "nothing may be sent";
    EXPECT_TRUE(device->frames().isEmpty());
}

TEST_F(FirmwareWindow, ImageTravelsBlockByBlockToTheSelectedDevice) {
    device.emplace();
    TFormDetect& w = open(true, 2);
    Find<DeviceTableView>(w, "RGrid")->setCurrentIndex(w.devices().index(1, 0));
    ASSERT_EQ(w.SelectedRow(), 1);

    QByteArray image(300, '\0');
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(image.data()), 300 / 4);
    chooseImage(image);
    QStringList percents;
    QObject::connect(Find<QProgressBar>(w, "UpdateProgress"), &QProgressBar::valueChanged,
                     [&] { percents << Find<QProgressBar>(w, "UpdateProgress")->text(); });
    AtBox at;
    WatchBox(rec, w, &at);
    w.FlatButton7Click();

    EXPECT_EQ(rec.boxes(), QStringList{"Updating firmware was successful"});
    const QList<QByteArray> frames = device->frames();
    ASSERT_EQ(frames.size(), 4);
    QByteArray received;
    for (int i = 0; i < 4; ++i) {
        const auto f = FirmwareFrame::decode(frames[i]);
        ASSERT_TRUE(f) << i;
        EXPECT_EQ(f->mac, Mac(2));
        EXPECT_EQ(f->block, i);
        EXPECT_EQ(f->final, i == 3);
        received += f->data;
    }
    EXPECT_EQ(received, image);
    const auto fin = FirmwareFrame::decode(frames[3]);
    EXPECT_EQ(fin->count, 300);
    EXPECT_EQ(fin->checksum, FirmwareChecksum::of(image));

    // Whole percentages, rounded down.
    EXPECT_EQ(percents, (QStringList{"0%", "42%", "85%", "100%"}));
    EXPECT_EQ(Find<QProgressBar>(w, "UpdateProgress")->maximum(), 300);
    // While the result was shown: panel gone, toolbar and table still off, Apply usable.
    EXPECT_TRUE(at.seen);
    EXPECT_FALSE(at.panel);
    EXPECT_FALSE(at.toolbar);
    EXPECT_FALSE(at.table);
    EXPECT_TRUE(at.apply);
    // Afterwards: everything usable, label hidden, the endpoint left open.
    EXPECT_TRUE(Find<QWidget>(w, "FlatPanel1")->isEnabled());
    EXPECT_TRUE(Find<QWidget>(w, "FlatPanel2")->isEnabled());
    EXPECT_FALSE(Find<QLabel>(w, "FUWait")->isVisibleTo(&w));
    EXPECT_TRUE(w.udpServer().isOpen());
    EXPECT_EQ(Find<QProgressBar>(w, "UpdateProgress")->value(), 300);
}

TEST_F(FirmwareWindow, RefusedBlockEndsTheTransferAtOnce) {
    device.emplace([](const FirmwareFrame& f) {
        return FirmwareReply::encode(f.mac, f.block, f.block == 1 ? 1 : 0);
    });
    TFormDetect& w = open(true);
    chooseImage(QByteArray(1000, 'q'));
    w.FlatButton7Click();

    EXPECT_EQ(rec.boxes(), QStringList{"Updating firmware was failed"});
    EXPECT_EQ(device->frames().size(), 2);
    EXPECT_EQ(Find<QProgressBar>(w, "UpdateProgress")->value(), 128);
    EXPECT_TRUE(Find<QWidget>(w, "FlatPanel1")->isEnabled());
    EXPECT_FALSE(Find<QFrame>(w, "FlatPanel3")->isVisibleTo(&w));
}

TEST_F(FirmwareWindow, FinalWaitBlinksAndTakesAnAnswerAfterThirtySeconds) {
    // No interface: the final frame goes nowhere and the test answers in its place.
    TFormDetect& w = open(false);
    w.setFirmwareClock(&clock);
    chooseImage(QByteArray());

    QMap<qint64, QString> shownInSecond;  // label text at the end of each whole second
    bool panelShown = true;
    clock.onAdvance = [&](std::chrono::milliseconds now) {
        // Look just before the clock moves on into the next second.
        shownInSecond[(now - 1ms) / 1s] = Find<QLabel>(w, "FUWait")->text();
        panelShown = panelShown && Find<QFrame>(w, "FlatPanel3")->isVisibleTo(&w) &&
                     Find<QLabel>(w, "FUWait")->isVisibleTo(&w);
        if (now >= 30s && !w.firmwareReply().flag()) {
            w.firmwareReply().store(FirmwareReply::encode(Mac(1), 0, 0));
        }
    };
    w.FlatButton7Click();

    EXPECT_EQ(rec.boxes(), QStringList{"Updating firmware was successful"});
    EXPECT_TRUE(panelShown);
    ASSERT_EQ(shownInSecond.size(), 30);
    for (auto it = shownInSecond.cbegin(); it != shownInSecond.cend(); ++it) {
        EXPECT_EQ(it.value(), it.key() % 2 == 0 ? "Waiting For Complete" : "")
            << "second " << it.key();
    }
    EXPECT_FALSE(Find<QLabel>(w, "FUWait")->isVisibleTo(&w));
    EXPECT_EQ(Find<QProgressBar>(w, "UpdateProgress")->text(), "0%")
        << "an empty image shows no busy indicator";
}

TEST_F(FirmwareWindow, SilentDeviceFailsAfterTheBlockWait) {
    TFormDetect& w = open(false);
    w.setFirmwareClock(&clock);
    chooseImage("abc");
    w.FlatButton7Click();

    EXPECT_EQ(rec.boxes(), QStringList{"Updating firmware was failed"});
    EXPECT_GE(clock.now(), 4s);
    EXPECT_LT(clock.now(), 5s);
    EXPECT_EQ(Find<QLabel>(w, "FUWait")->text(), "Sending Firmware...")
        << "no final wait after a failed block";
}

TEST_F(FirmwareWindow, ClosingTheWindowDuringTheTransferEndsItSilently) {
    TFormDetect& w = open(false);
    w.setFirmwareClock(&clock);
    chooseImage(QByteArray());
    clock.onAdvance = [&](std::chrono::milliseconds now) {
        if (now >= 3s && now < 3s + FirmwareTransfer::kEventSlice) w.close();
    };
    w.FlatButton7Click();

    EXPECT_TRUE(rec.boxes().isEmpty());
    EXPECT_LT(clock.now(), 4s) << "the final wait must not run on after the close";
    EXPECT_FALSE(Find<QFrame>(w, "FlatPanel3")->isVisibleTo(&w));
    EXPECT_TRUE(Find<QWidget>(w, "FlatPanel1")->isEnabled());
}
