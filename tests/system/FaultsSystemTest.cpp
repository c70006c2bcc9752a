// Faults in the lab, seen from the main window: devices that never answer, duplicated and
// reordered replies, floods of garbage while the user works, an interface that goes away
// during a search, and port 2057 held by another program.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <set>

#include "app/UnitDetect.h"
#include "net/ListeningEndpoint.h"
#include "support/FindWidget.h"
#include "support/LabWindow.h"

using namespace velomar;
using velomar::test::Find;
using velomar::test::Lab;
using FaultsSystem = velomar::test::LabWindowTest;

namespace {

std::set<QString> listedMacs(TFormDetect& form) {
    std::set<QString> macs;
    for (int r = 0; r < form.devices().rowCount(); ++r) macs.insert(form.devices().entry(r).mac);
    return macs;
}

std::set<QString> generatedMacs(int n) {
    // The emulator's generated fleet: 00-1A-2B-00-00-01, -02, ...
    std::set<QString> macs;
    for (int i = 1; i <= n; ++i)
        macs.insert(QStringLiteral("00-1A-2B-00-00-%1").arg(i, 2, 16, QChar('0')).toUpper());
    return macs;
}

// Runs the event loop until `until` holds (bounded), measuring the longest gap between two
// ticks of a 10 ms timer: how long the window could not react.
struct Responsiveness {
    qint64 worstGapMs = 0;
    bool reached = false;
};
Responsiveness watchLoop(const std::function<bool()>& until, int timeoutMs) {
    Responsiveness r;
    QElapsedTimer total, gap;
    total.start();
    gap.start();
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { r.worstGapMs = std::max(r.worstGapMs, gap.restart()); });
    ticker.start();
    while (total.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (until()) {
            r.reached = true;
            break;
        }
    }
    return r;
}

}  // namespace

// A window that does not get through its event loop for this long counts as frozen.
// ThreadSanitizer runs every memory access through its checks, several times slower: there
// the bound only catches a window that stops for good.
// The floods are smaller there too: the emulator itself runs under the tool.
#ifdef __SANITIZE_THREAD__
constexpr qint64 kFrozenMs = 10000;
constexpr int kFlood = 10000;
#else
constexpr qint64 kFrozenMs = 1000;
constexpr int kFlood = 50000;
#endif
const QString kFloodText = QString::number(kFlood);

TEST_F(FaultsSystem, DevicesThatNeverAnswer) {
    start({.emulator = {"--devices", "3", "--no-answer"}});
    form->FlatButton2Click();
    // The request reaches the devices; none answers.
    ASSERT_TRUE(Lab::waitFor([&] { return !lab->received('g').isEmpty(); }));
    Lab::waitFor([] { return false; }, 300);
    runOutCountdown();
    EXPECT_EQ(form->DeviceCount(), 0);
    EXPECT_TRUE(rec.boxes().isEmpty()) << "a broadcast search that finds nothing ends quietly";
    EXPECT_TRUE(lab->sent().isEmpty());
}

TEST_F(FaultsSystem, DuplicatedAndReorderedRepliesListEachDeviceOnce) {
    // Every reply twice, heard through two interfaces, in a shuffled order.
    start({.emulator = {"--devices", "24", "--duplicate", "--jitter", "40", "--seed", "7"},
           .lab = {.ifaces = 2}});
    form->FlatButton2Click();
    ASSERT_TRUE(Lab::waitFor([&] { return lab->sent('g').size() >= 24 * 2 * 2; }, 8000));
    Lab::waitFor([] { return false; }, 200);
    runOutCountdown();
    EXPECT_EQ(form->DeviceCount(), 24);
    EXPECT_EQ(form->devices().rowCount(), 24);
    EXPECT_EQ(listedMacs(*form), generatedMacs(24));
    EXPECT_EQ(Find<QLabel>(form, "lblcount")->text(), "Current : 24");
}

TEST_F(FaultsSystem, FloodOfShortGarbageListsOnlyRealDevicesAndTheWindowStaysResponsive) {
    // Datagrams of 0..84 bytes can never be a whole discovery reply: whatever gets listed
    // must be one of the five devices.
    start({.emulator = {"--devices", "5", "--flood", kFloodText, "--flood-max-size", "84", "--seed",
                        "3"}});
    form->FlatButton2Click();
    const Responsiveness r =
        watchLoop([&] { return lab->emulatorOutput().contains("flood of " + kFloodText); }, 60000);
    ASSERT_TRUE(r.reached) << lab->emulatorOutput().toStdString();
    Lab::waitFor([] { return false; }, 200);
    runOutCountdown();
    EXPECT_LT(r.worstGapMs, kFrozenMs) << "the window froze for " << r.worstGapMs << " ms";
    std::cout << "[ flood ] " << kFlood << " short datagrams; worst event-loop gap " << r.worstGapMs
              << " ms\n";
    const std::set<QString> listed = listedMacs(*form);
    const std::set<QString> real = generatedMacs(5);
    for (const QString& mac : listed)
        EXPECT_TRUE(real.count(mac)) << "not a device: " << mac.toStdString();
    EXPECT_EQ(form->DeviceCount(), form->devices().rowCount());
    EXPECT_TRUE(rec.boxes().isEmpty());

    // Once the flood is over, a new search lists every device.
    form->FlatButton2Click();
    ASSERT_TRUE(Lab::waitFor([&] {
        form->TakeReceivedDevices();
        return form->DeviceCount() == 5;
    }));
    runOutCountdown();
    EXPECT_EQ(listedMacs(*form), real);
}

TEST_F(FaultsSystem, FloodOfLargeRandomDatagramsNeverCorruptsTheTable) {
    start({.emulator = {"--devices", "5", "--flood", kFloodText, "--seed", "11"}});
    form->FlatButton2Click();
    const Responsiveness r =
        watchLoop([&] { return lab->emulatorOutput().contains("flood of " + kFloodText); }, 120000);
    ASSERT_TRUE(r.reached) << lab->emulatorOutput().toStdString();
    Lab::waitFor([] { return false; }, 200);
    runOutCountdown();
    EXPECT_LT(r.worstGapMs, kFrozenMs) << "the window froze for " << r.worstGapMs << " ms";
    std::cout << "[ flood ] " << kFlood << " datagrams of 0..9000 bytes; worst event-loop gap "
              << r.worstGapMs << " ms\n";
    // A random 'g' frame of 85 bytes or more is a discovery reply by the frame rules, so it
    // may be listed; but every row is whole, unique and counted.
    EXPECT_EQ(form->DeviceCount(), form->devices().rowCount());
    EXPECT_EQ(static_cast<int>(listedMacs(*form).size()), form->devices().rowCount());
    for (int row = 0; row < form->devices().rowCount(); ++row) {
        EXPECT_EQ(form->devices().entry(row).mac.size(), 17);
    }
    EXPECT_TRUE(rec.boxes().isEmpty());
}

TEST_F(FaultsSystem, InterfaceTakenDownDuringASearch) {
    start({.emulator = {"--devices", "2", "--delay", "300"}, .lab = {.ifaces = 2}});
    ASSERT_EQ(form->interfaceEndpoints().size(), 2);
    form->FlatButton2Click();
    // The first interface goes away while the replies are still on their way.
    const auto ip = velomar::emu::LabProcess::run("ip", {"link", "set", "lan1", "down"});
    ASSERT_EQ(ip.exitCode, 0) << ip.output.toStdString();
    ASSERT_TRUE(Lab::waitFor([&] {
        form->TakeReceivedDevices();
        return form->DeviceCount() == 2;
    }));
    runOutCountdown();
    EXPECT_EQ(listedMacs(*form), generatedMacs(2));

    // A new search still works: the request sent through the interface that is down goes
    // nowhere (the system takes it without complaint), the other interface reaches the
    // devices, and the table is whole.
    const int heardBefore = lab->received('g').size();
    form->FlatButton2Click();
    EXPECT_TRUE(rec.boxes().isEmpty()) << rec.boxes().join(" | ").toStdString();
    ASSERT_TRUE(Lab::waitFor([&] {
        form->TakeReceivedDevices();
        return form->DeviceCount() == 2;
    }));
    runOutCountdown();
    EXPECT_EQ(listedMacs(*form), generatedMacs(2));
    const auto heard = lab->received('g');
    for (int i = heardBefore; i < heard.size(); ++i) {
        EXPECT_EQ(heard[i].peerAddress, lab->workstationAddress(2));
    }
}

TEST_F(FaultsSystem, PortHeldByAnotherProgramForEveryOperationThatOpensIt) {
    start({.emulator = {"--devices", "1"}});
    form->FlatButton2Click();
    ASSERT_TRUE(Lab::waitFor([&] {
        form->TakeReceivedDevices();
        return form->DeviceCount() == 1;
    }));
    runOutCountdown();
    ASSERT_FALSE(form->udpServer().isOpen());

    ListeningEndpoint other([](const QByteArray&, const QString&, std::uint16_t) {});
    other.open();

    // Bulk apply with a ticked row: the error ends the click, the row keeps its tick.
    form->devices().setApply(0, true);
    form->FlatButton1Click();
    ASSERT_EQ(rec.boxes().size(), 1);
    EXPECT_TRUE(rec.boxes()[0].contains("Address already in use")) << rec.boxes()[0].toStdString();
    EXPECT_TRUE(form->devices().entry(0).apply);
    EXPECT_TRUE(lab->received('S').isEmpty());

    // Search: the table is emptied, no search state, nothing sent.
    rec.clear();
    const int requestsBefore = lab->received('g').size();
    form->FlatButton2Click();
    ASSERT_EQ(rec.boxes().size(), 1);
    EXPECT_TRUE(rec.boxes()[0].contains("Address already in use"));
    EXPECT_EQ(form->DeviceCount(), 0);
    EXPECT_FALSE(Find<QFrame>(form, "PnlTime")->isVisibleTo(form));
    Lab::waitFor([] { return false; }, 200);
    EXPECT_EQ(lab->received('g').size(), requestsBefore);
}
