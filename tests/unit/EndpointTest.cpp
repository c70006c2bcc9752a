#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>

#include "net/BlockingHandOver.h"
#include "net/InterfaceEndpoints.h"
#include "net/ListeningEndpoint.h"
#include "net/UdpSocket.h"
#include "protocol/Errors.h"
#include "support/Isolation.h"
#include "support/SystemTexts.h"

#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

using namespace velomar;

namespace {

constexpr std::uint16_t kPort = 2057;

// Waits (bounded) until pred holds, processing events meanwhile.
template <typename Pred>
bool waitUntil(Pred pred, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

}  // namespace

TEST(ListeningEndpoint, OpenAndCloseAreIdempotentAndDatagramsArriveWhole) {
    VELOMAR_REQUIRE_ISOLATION();
    std::mutex m;
    QList<QByteArray> got;
    QString sender;
    ListeningEndpoint ep([&](const QByteArray& d, const QString& a, std::uint16_t) {
        std::lock_guard lock(m);
        got << d;
        sender = a;
    });
    ep.open();
    ep.open();
    EXPECT_TRUE(ep.isOpen());

    UdpSocket tx;
    tx.bind("127.0.0.1", 0);
    const QByteArray big(8192, 'x');
    tx.sendTo(big, "127.0.0.1", kPort);
    tx.sendTo(QByteArray(8193, 'y'), "127.0.0.1", kPort);  // too long: dropped
    tx.sendTo("\x02g\x03", "127.0.0.1", kPort);
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(m);
        return got.size() >= 2;
    }));
    ep.close();
    ep.close();
    EXPECT_FALSE(ep.isOpen());
    std::lock_guard lock(m);
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[0], big);
    EXPECT_EQ(got[1], QByteArray("\x02g\x03"));
    EXPECT_EQ(sender, "127.0.0.1");
}

// Datagram i of a burst: its number first, then a fill whose length varies with i.
QByteArray numbered(int i) {
    const int size = i % 97 == 0 ? 8192 : 4 + (i * 37) % 1400;
    QByteArray d(size, static_cast<char>('a' + i % 26));
    std::memcpy(d.data(), &i, sizeof i);
    return d;
}

TEST(ListeningEndpoint, ABurstLargerThanTheQueueArrivesWholeAndInOrder) {
    VELOMAR_REQUIRE_ISOLATION();
    constexpr int kCount = 4000;
    std::mutex m;
    QList<QByteArray> got;
    std::atomic<int> quiets{0};
    ListeningEndpoint ep([&](const QByteArray& d, const QString&, std::uint16_t) {
        std::lock_guard lock(m);
        got << d;
    });
    ep.onQuiet = [&] { ++quiets; };
    // A queue of a few datagrams: only a listener that drains while they arrive takes them.
    ep.setReceiveBufferRequest(16384, false);
    ep.open();
    EXPECT_LE(ep.receiveBufferGranted(), 65536);
    UdpSocket tx;
    tx.bind("127.0.0.1", 0);
    for (int i = 0; i < kCount; ++i) {
        // The sender keeps at most four datagrams ahead of the handler, well within the queue.
        ASSERT_TRUE(waitUntil([&] {
            std::lock_guard lock(m);
            return got.size() >= i - 4;
        }));
        tx.sendTo(numbered(i), "127.0.0.1", kPort);
    }
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(m);
        return got.size() == kCount;
    }));
    // Then a burst with nobody pacing it, into the large queue the product asks for: it is
    // taken in batches.
    ep.close();
    ep.setReceiveBufferRequest(ListeningEndpoint::kDefaultReceiveBuffer, true);
    ep.open();
    quiets = 0;
    for (int i = kCount; i < 2 * kCount; ++i) tx.sendTo(numbered(i), "127.0.0.1", kPort);
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(m);
        return got.size() == 2 * kCount && quiets > 0;
    }));
    ep.close();
    ASSERT_EQ(got.size(), 2 * kCount);
    for (int i = 0; i < 2 * kCount; ++i) ASSERT_EQ(got[i], numbered(i)) << "datagram " << i;
    EXPECT_EQ(ep.dropped().value_or(0), 0u);
}

// A request/answer exchange whose own frames are heard too (two datagrams at once, every
// few hundred microseconds, with now and then a longer pause, as a busy answering side
// makes) is no burst: the listener must sleep between them, not keep the processor that the
// answering side and the waiting transfer need.
TEST(ListeningEndpoint, ASteadyTrickleIsWaitedForAsleep) {
    VELOMAR_REQUIRE_ISOLATION();
    std::atomic<int> got{0};
    ListeningEndpoint ep([&](const QByteArray&, const QString&, std::uint16_t) { ++got; });
    ep.open();
    UdpSocket tx;
    tx.bind("127.0.0.1", 0);
    // Processor time of the endpoint's threads: the process's less this (sending) thread's.
    const auto cpuNow = [] {
        timespec all{}, mine{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &all);
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &mine);
        return (all.tv_sec - mine.tv_sec) * 1000.0 + (all.tv_nsec - mine.tv_nsec) / 1e6;
    };
    QElapsedTimer wall;
    wall.start();
    const double cpuBefore = cpuNow();
    int pairs = 0;
    while (wall.elapsed() < 300) {
        tx.sendTo("\x02F\x03", "127.0.0.1", kPort);
        tx.sendTo("\x02f\x03", "127.0.0.1", kPort);
        ++pairs;
        QThread::usleep(pairs % 4 == 0 ? 800 : 300);
    }
    const double cpuMs = cpuNow() - cpuBefore;
    const double wallMs = wall.elapsed();
    ASSERT_TRUE(waitUntil([&] { return got == 2 * pairs; }));
    // Looking without pause would take about one core for the whole time.
    EXPECT_LT(cpuMs, wallMs * 0.5) << cpuMs << " ms of processor in " << wallMs << " ms";
}

#ifdef _WIN32
// Winsock grants the buffer asked for and reads back what it granted: no ceiling and no
// doubling as on Linux, so what Velomar asks for is what it gets.
TEST(UdpSocket, TheReceiveBufferAskedForIsReadBack) {
    UdpSocket socket;
    EXPECT_EQ(socket.requestReceiveBuffer(4 * 1024 * 1024, false), 4 * 1024 * 1024);
    EXPECT_EQ(socket.requestReceiveBuffer(65536, false), 65536);
}
#endif

TEST(ListeningEndpoint, SecondBindOfThePortFailsWithTheSystemsReason) {
    VELOMAR_REQUIRE_ISOLATION();
    ListeningEndpoint first([](const QByteArray&, const QString&, std::uint16_t) {});
    first.open();
    ListeningEndpoint second([](const QByteArray&, const QString&, std::uint16_t) {});
    try {
        second.open();
        FAIL() << "second bind succeeded";
    } catch (const SocketError& e) {
        EXPECT_TRUE(e.text().contains(test::kAddressInUse)) << e.text().toStdString();
    }
    EXPECT_FALSE(second.isOpen());
    first.close();
    // Once released, the port can be taken again.
    second.open();
    EXPECT_TRUE(second.isOpen());
}

TEST(ListeningEndpoint, HandlerErrorDropsOnlyThatDatagram) {
    VELOMAR_REQUIRE_ISOLATION();
    std::atomic<int> handled{0};
    ListeningEndpoint ep([&](const QByteArray& d, const QString&, std::uint16_t) {
        ++handled;
        if (d == "bad") throw Error("boom");
    });
    ep.open();
    UdpSocket tx;
    tx.sendTo("bad", "127.0.0.1", kPort);
    tx.sendTo("good", "127.0.0.1", kPort);
    EXPECT_TRUE(waitUntil([&] { return handled == 2; }));
}

#ifdef __linux__
// The handler's thread runs ten nice steps below the thread that opened the endpoint, also
// when the program itself was started with nice.
TEST(ListeningEndpoint, HandlerRunsTenStepsBelowTheOpener) {
    VELOMAR_REQUIRE_ISOLATION();
    const auto niceOf = [] { return ::getpriority(PRIO_PROCESS, ::syscall(SYS_gettid)); };
    const int opener = niceOf() + 3;
    if (opener + 10 > 19) GTEST_SKIP() << "already started at nice " << opener - 3;
    std::atomic<int> handlerNice{-100};
    ListeningEndpoint ep(
        [&](const QByteArray&, const QString&, std::uint16_t) { handlerNice = niceOf(); });
    // Raising a nice value cannot be undone without privilege: a thread of its own opens.
    std::thread([&] {
        ::setpriority(PRIO_PROCESS, ::syscall(SYS_gettid), opener);
        ep.open();
    }).join();
    UdpSocket tx;
    tx.sendTo("x", "127.0.0.1", kPort);
    ASSERT_TRUE(waitUntil([&] { return handlerNice != -100; }));
    EXPECT_EQ(handlerNice, opener + 10);
}
#endif

TEST(ListeningEndpoint, CloseReturnsPromptlyWhileIdle) {
    VELOMAR_REQUIRE_ISOLATION();
    ListeningEndpoint ep([](const QByteArray&, const QString&, std::uint16_t) {});
    ep.open();
    QElapsedTimer t;
    t.start();
    ep.close();
    // The listener waits in 1-second slices but close wakes it: no full slice is waited.
    EXPECT_LT(t.elapsed(), 900);
}

TEST(ListeningEndpoint, BroadcastPermissionOffRefusesALimitedBroadcast) {
    VELOMAR_REQUIRE_ISOLATION();
    ListeningEndpoint ep([](const QByteArray&, const QString&, std::uint16_t) {});
    ep.open();
    ep.setBroadcast(false);
    EXPECT_THROW(ep.sendTo("\x02g\x03", "255.255.255.255", kPort), SocketError);
    EXPECT_TRUE(ep.isOpen());
}

TEST(InterfaceEndpoints, BoundLazilyAndOneSendPerAddressInOrder) {
    VELOMAR_REQUIRE_ISOLATION();
    std::mutex m;
    QStringList senders;
    QList<QByteArray> frames;
    ListeningEndpoint rx([&](const QByteArray& d, const QString& a, std::uint16_t) {
        std::lock_guard lock(m);
        senders << a;
        frames << d;
    });
    rx.open();
    // Two loopback addresses stand in for a host on two networks.
    InterfaceEndpoints eps(QStringList{"127.0.0.1", "127.0.0.2"});
    EXPECT_FALSE(eps.at(0).isBound());
    EXPECT_FALSE(eps.at(1).isBound());
    BroadcastFrame(eps, "\x02g\x03", kPort);
    EXPECT_TRUE(eps.at(0).isBound());
    EXPECT_TRUE(eps.at(1).isBound());
    EXPECT_NE(eps.at(0).localPort(), kPort);
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(m);
        return senders.size() >= 2;
    }));
    rx.close();
    std::lock_guard lock(m);
    EXPECT_EQ(senders, (QStringList{"127.0.0.1", "127.0.0.2"}));
    EXPECT_EQ(frames, (QList<QByteArray>{"\x02g\x03", "\x02g\x03"}));
}

TEST(InterfaceEndpoints, AFailingSendStopsTheEndpointsAfterIt) {
    VELOMAR_REQUIRE_ISOLATION();
    // 198.18.255.1 is not an address of this namespace: its bind fails, so the endpoint
    // after it never binds or sends.
    InterfaceEndpoints eps(QStringList{"198.18.255.1", "127.0.0.1"});
    EXPECT_THROW(BroadcastFrame(eps, "\x02g\x03", kPort), SocketError);
    EXPECT_FALSE(eps.at(1).isBound());
}

TEST(BlockingHandOver, ListenerWaitsUntilTheUiThreadHandledIt) {
    QObject context;
    QList<QByteArray> handled;
    BlockingHandOver handOver(&context, [&](const QByteArray& d) { handled << d; });
    std::atomic<bool> returned{false};
    QList<QByteArray> sent{"one"};
    for (int i = 0; i < 200; ++i) sent << QByteArray::number(i);
    std::thread listener([&] {
        handOver.deliver(sent[0]);
        returned = true;
        // Then a run of them, as a burst hands them over: the UI thread meets most of
        // these while it is still busy, without being woken for each.
        for (int i = 1; i < sent.size(); ++i) handOver.deliver(sent[i]);
    });
    // The listener cannot return before the UI thread has run the handler.
    QThread::msleep(50);
    EXPECT_FALSE(returned);
    // Without pausing between turns of the event loop, which is how a busy window meets them.
    QElapsedTimer waited;
    waited.start();
    while (handled.size() < sent.size() && waited.elapsed() < 5000)
        QCoreApplication::processEvents();
    listener.join();
    EXPECT_EQ(handled, sent);
}

TEST(BlockingHandOver, CancelReleasesTheListenerAndDropsWhatWasInFlight) {
    QObject context;
    QList<QByteArray> handled;
    BlockingHandOver handOver(&context, [&](const QByteArray& d) { handled << d; });
    std::thread listener([&] { handOver.deliver("late"); });
    QThread::msleep(20);
    // Closing on the UI thread while the listener waits for it: no deadlock.
    handOver.cancel();
    listener.join();
    QCoreApplication::processEvents();
    EXPECT_TRUE(handled.isEmpty());
    // After reopening, datagrams are handled again.
    handOver.reset();
    std::thread again([&] { handOver.deliver("next"); });
    ASSERT_TRUE(waitUntil([&] { return !handled.isEmpty(); }));
    again.join();
    EXPECT_EQ(handled, QList<QByteArray>{"next"});
}
