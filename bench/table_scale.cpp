// table_scale: 10,000 discovery replies arriving while a Search runs, and what that costs
// the user-interface thread. It prints, for the main window:
//   - the UI-thread time spent taking the replies into the table (and painting it),
//   - the worst stall of the UI event loop while they arrive (longest single event, and
//     the longest gap between the ticks of a 10 ms timer),
//   - the memory per row,
// and the same figures for a bare baseline in the same process: a plain QTableView on a
// QStandardItemModel that gets the same texts row by row. Goal: no stall above 100 ms.
//
// Two runs: "direct" feeds UDPServerUDPRead from a thread (the UI side alone), "socket"
// sends the replies over loopback to the window's real listening endpoint on port 2057.
// The process first moves into a network namespace of its own (unshare, loopback up),
// so nothing it sends can leave the machine; it refuses to run when that fails.
//
//   sudo build/bench/table_scale [rows]      (default 10000)
#include <malloc.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardItemModel>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

#include "app/UnitDetect.h"
#include "net/LocalAddresses.h"
#include "net/UdpSocket.h"
#include "protocol/Frame.h"
#include "support/Isolation.h"
#include "support/RecordingPlatform.h"
#include "support/ReplyBuilder.h"

using namespace velomar;

namespace {

bool isolate() {
    // Only loopback may be here.
    return test::IsolateNetwork() && LocalIPv4Addresses().isEmpty();
}

// Bytes allocated on the heap now (what the rows hold, free of the allocator's reuse).
long long rss() {
    return static_cast<long long>(mallinfo2().uordblks);
}

qint64 threadCpuNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

QByteArray reply(int n) {
    return test::ReplyBuilder(n, test::ReplyBuilder::kWideMacBase)
        .ip(0xC6120000 + (n & 0xFFFF))
        .gateway("198.18.0.1")
        .mask("255.255.0.0")
        .pelorin("198.18.0.200")
        .name(QStringLiteral("Hall %1 \u2713").arg(n).toUtf8())
        .version("2.1.7")
        .model("VM-2104");
}

// Times every event the UI thread handles at the top level: the sum and the longest.
class TimingApplication : public QApplication {
  public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (depth_++ > 0) {
            const bool r = QApplication::notify(receiver, event);
            --depth_;
            return r;
        }
        QElapsedTimer t;
        t.start();
        const qint64 cpu = threadCpuNs();
        const bool r = QApplication::notify(receiver, event);
        const qint64 ns = t.nsecsElapsed();
        const qint64 cpuNs = threadCpuNs() - cpu;
        --depth_;
        if (measuring) {
            busyNs += ns;
            longestNs = std::max(longestNs, ns);
            busyCpuNs += cpuNs;
            longestCpuNs = std::max(longestCpuNs, cpuNs);
        }
        return r;
    }
    void reset() { busyNs = longestNs = busyCpuNs = longestCpuNs = 0; }
    bool measuring = false;
    qint64 busyNs = 0;  // wall time inside events (includes being preempted)
    qint64 longestNs = 0;
    qint64 busyCpuNs = 0;  // the UI thread's own CPU time inside events
    qint64 longestCpuNs = 0;

  private:
    int depth_ = 0;
};

struct Figures {
    int rows = 0;
    double busyMs = 0;     // UI thread busy while the rows arrived (wall)
    double longestMs = 0;  // longest single event (wall)
    double cpuMs = 0;      // the UI thread's CPU time in events
    double longestCpuMs = 0;
    double gapMs = 0;  // longest gap between 10 ms ticks, less the period
    double bytesPerRow = 0;
    double wallMs = 0;
};

TimingApplication* app = nullptr;

// Runs the event loop until done() or the limit, watching the gaps between 10 ms ticks.
double runLoop(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer wall;
    wall.start();
    QElapsedTimer sinceTick;
    sinceTick.start();
    double worstGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worstGap = std::max(worstGap, sinceTick.nsecsElapsed() / 1e6 - 10.0);
        sinceTick.restart();
    });
    ticker.start();
    while (!done() && wall.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    // Let the last paints happen.
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return std::max(0.0, worstGap);
}

// What the UI thread did from its construction to take(): the application's timings of
// every event, the loop's worst tick gap and the heap that the rows took.
class Measurement {
  public:
    Measurement() : before_(rss()) {
        app->reset();
        app->measuring = true;
        wall_.start();
    }
    Figures take(int rows, double gapMs) {
        app->measuring = false;
        Figures f;
        f.gapMs = gapMs;
        f.wallMs = wall_.nsecsElapsed() / 1e6;
        f.rows = rows;
        f.busyMs = app->busyNs / 1e6;
        f.longestMs = app->longestNs / 1e6;
        f.cpuMs = app->busyCpuNs / 1e6;
        f.longestCpuMs = app->longestCpuNs / 1e6;
        f.bytesPerRow = f.rows ? double(rss() - before_) / f.rows : 0;
        return f;
    }

  private:
    const long long before_;
    QElapsedTimer wall_;
};

// Replies come over the wire, not all at one instant: 50 per millisecond.
void pace(int n) {
    if (n % 50 == 49) QThread::usleep(1000);
}

// The main window, its replies handed to its read handler from another thread ("direct")
// or sent over loopback to its listening endpoint.
Figures window(int count, bool overSocket) {
    RecordingPlatform rec;
    ScopedPlatform scoped(&rec);
    TFormDetect form(DetectNetwork{{}, kDevicePort});
    form.show();
    form.StartSearch();
    QCoreApplication::processEvents();
    if (overSocket && !rec.boxes().isEmpty()) {
        std::fprintf(stderr, "search failed: %s\n", qPrintable(rec.boxes().join(u'|')));
        return {};
    }
    Measurement measurement;
    std::thread feeder([&] {
        std::optional<UdpSocket> device;
        if (overSocket) device.emplace().bind(QStringLiteral("127.0.0.2"), 0);
        for (int n = 0; n < count; ++n) {
            if (device)
                device->sendTo(reply(n), QStringLiteral("127.0.0.1"), kDevicePort);
            else
                form.UDPServerUDPRead(reply(n), QStringLiteral("127.0.0.1"), kDevicePort);
            pace(n);
        }
    });
    // Over the socket, the countdown would end the search after 10 s; the replies are all
    // sent well before.
    const double gapMs =
        runLoop([&] { return form.DeviceCount() >= count; }, overSocket ? 9000 : 30000);
    feeder.join();
    const Figures f = measurement.take(form.DeviceCount(), gapMs);
    form.FlatButton6Click();
    return f;
}

// Baseline: a plain table on a standard item model, one appendRow per reply as it comes.
Figures bareBaseline(int count) {
    QStandardItemModel model(0, 12);
    QTableView view;
    view.setModel(&model);
    view.resize(977, 538);
    view.show();
    QCoreApplication::processEvents();
    Measurement measurement;
    std::atomic<int> produced{0};
    std::mutex mutex;
    QVector<DeviceTexts> pending;
    std::thread feeder([&] {
        for (int n = 0; n < count; ++n) {
            const DeviceTexts t = DecodeDiscoveryTexts(*DiscoveryReply::decode(reply(n)));
            {
                std::lock_guard lock(mutex);
                pending.push_back(t);
            }
            ++produced;
            pace(n);
        }
    });
    QTimer take;
    take.setInterval(0);
    QObject::connect(&take, &QTimer::timeout, [&] {
        QVector<DeviceTexts> batch;
        {
            std::lock_guard lock(mutex);
            batch.swap(pending);
        }
        for (const DeviceTexts& t : batch) {
            QList<QStandardItem*> row;
            for (const QString& s :
                 {t.model, t.mac, t.version, t.name, t.ip, t.mask, t.gateway, t.pelorin})
                row << new QStandardItem(s);
            auto* apply = new QStandardItem;
            apply->setCheckable(true);
            row << apply << new QStandardItem << new QStandardItem << new QStandardItem(t.ip);
            model.appendRow(row);
        }
    });
    take.start();
    const double gapMs = runLoop([&] { return model.rowCount() >= count; }, 30000);
    feeder.join();
    return measurement.take(model.rowCount(), gapMs);
}

void print(const char* name, const Figures& f) {
    std::printf(
        "%-14s rows %6d | UI CPU %7.1f ms, longest event %6.1f ms CPU | wall: in events %7.1f ms, "
        "longest event %6.1f ms, worst 10 ms-tick gap %6.1f ms | %5.0f heap bytes/row | run %.0f "
        "ms\n",
        name, f.rows, f.cpuMs, f.longestCpuMs, f.busyMs, f.longestMs, f.gapMs, f.bytesPerRow,
        f.wallMs);
}

}  // namespace

int main(int argc, char* argv[]) {
    if (!isolate()) {
        std::fprintf(stderr,
                     "table_scale: cannot move into a network namespace of its own (run as root); "
                     "refusing to send anything\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    TimingApplication a(argc, argv);
    app = &a;
    const int count = argc > 1 ? std::max(1, std::min(100000, std::atoi(argv[1]))) : 10000;

    const Figures base = bareBaseline(count);
    const Figures direct = window(count, false);
    const Figures socket = window(count, true);
    print("bare baseline", base);
    print("window direct", direct);
    print("window socket", socket);
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    std::printf("ratio window/baseline: UI CPU %.2f (direct) %.2f (socket); heap per row %.2f\n",
                ratio(direct.cpuMs, base.cpuMs), ratio(socket.cpuMs, base.cpuMs),
                ratio(direct.bytesPerRow, base.bytesPerRow));
    const double worstCpu = std::max(direct.longestCpuMs, socket.longestCpuMs);
    const double worstWall =
        std::max({direct.longestMs, direct.gapMs, socket.longestMs, socket.gapMs});
    std::printf(
        "worst stall of the window: %.1f ms of its own work, %.1f ms wall (goal: at most 100 ms) "
        "-> %s\n"
        "(wall figures include time the UI thread waited for a CPU: compare them with the "
        "baseline's on a busy machine)\n",
        worstCpu, worstWall, worstCpu <= 100.0 ? "met" : "NOT met");
    return 0;
}
