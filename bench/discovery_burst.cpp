// discovery_burst: one Search answered by N emulated devices as fast as tervane-emu can
// send, in a lab this benchmark makes itself. For each N it prints the replies sent, the
// rows listed, the replies lost (rows missing, and the drops the kernel counted), and the
// rate at which the main window handled them against a bare receive loop on the same
// socket setup in the same run (the ratio).
//
//   sudo build/bench/discovery_burst [--stock-buffer] [--cli] [--rounds R] [N...]
//                                                   (default: 1000 2000 5000 10000)
//
// --stock-buffer: every socket asks for 212,992 bytes without privilege, which is what a
// stock Linux kernel's ceiling grants (doubled to 425,984), whatever this machine allows:
// the figures an ordinary workstation gets.
//
// --cli: the command line's search instead of the window's: its core in this process and
// the real `velomar-cli search --format json --expect N`, each against the bare loop.
//
// It refuses to run unless it is root and has moved into the workstation namespace of the
// lab it created: nothing it sends can reach a real network.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>

#include "app/UnitDetect.h"
#include "core/DeviceLink.h"
#include "core/Discovery.h"
#include "lab/NetLab.h"
#include "lab/NetworkGuard.h"
#include "net/InterfaceEndpoints.h"
#include "net/ListeningEndpoint.h"
#include "net/LocalAddresses.h"
#include "net/UdpSocket.h"
#include "protocol/DiscoveryReply.h"
#include "protocol/Frame.h"
#include "support/RecordingPlatform.h"

using namespace velomar;
using velomar::emu::NetLab;

namespace {

constexpr int kQuietMs = 1500;      // a burst is over when nothing came for this long
constexpr int kRunLimitMs = 15000;  // and never waits longer than this

// The receive buffer every socket of the run asks for.
struct BufferRequest {
    int bytes = ListeningEndpoint::kDefaultReceiveBuffer;
    bool mayExceedCeiling = true;
};
BufferRequest gBuffer;

struct Run {
    long long sent = 0;  // replies the emulator sent
    int listed = 0;      // distinct devices the receiver took
    double seconds = 0;  // request sent .. last reply handled
    long long kernelDrops = 0;
    long long peakQueue = 0;  // most bytes waiting in the listening socket's receive queue
    double rate() const { return seconds > 0 ? listed / seconds : 0; }
};

// UDP datagrams this namespace's kernel dropped for a full receive buffer.
long long rcvbufErrors() {
    QFile snmp(QStringLiteral("/proc/thread-self/net/snmp"));
    if (!snmp.open(QIODevice::ReadOnly)) return -1;
    const QList<QByteArray> lines = snmp.readAll().split('\n');
    for (int i = 0; i + 1 < lines.size(); ++i) {
        if (!lines[i].startsWith("Udp:") || !lines[i + 1].startsWith("Udp:")) continue;
        const QList<QByteArray> names = lines[i].simplified().split(' ');
        const QList<QByteArray> values = lines[i + 1].simplified().split(' ');
        const int at = static_cast<int>(names.indexOf("RcvbufErrors"));
        if (at >= 0 && at < values.size()) return values[at].toLongLong();
    }
    return -1;
}

// Bytes waiting in the receive queue of the UDP socket bound to port 2057 here.
long long receiveQueueBytes() {
    QFile udp(QStringLiteral("/proc/thread-self/net/udp"));
    if (!udp.open(QIODevice::ReadOnly)) return -1;
    long long most = 0;
    for (const QByteArray& line : udp.readAll().split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        // sl local_address rem_address st tx_queue:rx_queue ...
        if (f.size() < 5 || !f[1].endsWith(":0809")) continue;
        const QList<QByteArray> queues = f[4].split(':');
        if (queues.size() == 2) most = std::max(most, queues[1].toLongLong(nullptr, 16));
    }
    return most;
}

long long sentBy(emu::LabProcess& emulator) {
    emulator.stop();
    static const QRegularExpression re(QStringLiteral("received, (\\d+) sent"));
    const auto m = re.match(emulator.output());
    return m.hasMatch() ? m.captured(1).toLongLong() : -1;
}

std::unique_ptr<emu::LabProcess> startEmulator(NetLab& lab, int n) {
    const QString binary = NetLab::binaryDir() + QStringLiteral("/tervane-emu");
    auto emulator =
        lab.start(lab.deviceNamespace(1), binary,
                  {QStringLiteral("--devices"), QString::number(n), QStringLiteral("--burst"),
                   QStringLiteral("--lifetime"), QStringLiteral("120")});
    if (!emulator->waitForOutput(QStringLiteral(" listening on "), 10000)) {
        throw std::runtime_error(
            ("tervane-emu did not start: " + emulator->output()).toStdString());
    }
    return emulator;
}

// The program: the real main window's Search, its listener thread and hand-over, with the
// user-interface thread in its event loop as in the product.
Run programRun(NetLab& lab, int n, int* granted) {
    auto emulator = startEmulator(lab, n);
    RecordingPlatform recording;
    ScopedPlatform scoped(&recording);
    DetectNetwork network = DetectNetwork::host();
    network.receiveBuffer = gBuffer.bytes;
    network.mayExceedCeiling = gBuffer.mayExceedCeiling;
    TFormDetect form(network);
    Run run;
    QElapsedTimer clock;
    qint64 lastRowUs = 0;
    QObject::connect(&form.devices(), &QAbstractItemModel::rowsInserted, &form,
                     [&] { lastRowUs = clock.nsecsElapsed() / 1000; });
    const long long dropsBefore = rcvbufErrors();
    QEventLoop loop;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        run.peakQueue = std::max(run.peakQueue, receiveQueueBytes());
        const qint64 sinceLast = clock.elapsed() - lastRowUs / 1000;
        if (form.DeviceCount() >= n || sinceLast > kQuietMs || clock.elapsed() > kRunLimitMs)
            loop.quit();
    });
    clock.start();
    form.FlatButton2Click();
    if (!recording.boxes().isEmpty())
        throw std::runtime_error(recording.boxes().join('|').toStdString());
    *granted = form.udpServer().receiveBufferGranted();
    watch.start();
    loop.exec();
    form.SetSearching(false);
    run.listed = form.DeviceCount();
    run.seconds = lastRowUs / 1e6;
    run.kernelDrops = rcvbufErrors() - dropsBefore;
    run.sent = sentBy(*emulator);
    return run;
}

// The baseline: a bare loop on a socket set up as the listening endpoint sets up its own
// (0.0.0.0:2057, no address reuse, the same receive buffer request, 8192-byte buffer),
// taking each reply's MAC into a set and nothing else.
Run bareRun(NetLab& lab, int n) {
    auto emulator = startEmulator(lab, n);
    UdpSocket socket;
    socket.setBroadcast(true);
    socket.requestReceiveBuffer(gBuffer.bytes, gBuffer.mayExceedCeiling);
    socket.bind(QStringLiteral("0.0.0.0"), kDevicePort);
    InterfaceEndpoints endpoints(LocalIPv4Addresses());
    QSet<QByteArray> macs;
    Run run;
    const long long dropsBefore = rcvbufErrors();
    QElapsedTimer clock;
    clock.start();
    BroadcastFrame(endpoints, DiscoveryRequest(), kDevicePort);
    qint64 lastAt = 0;
    while (macs.size() < n && clock.elapsed() < kRunLimitMs) {
        const int quietLeft = kQuietMs - static_cast<int>(clock.elapsed() - lastAt / 1000);
        if (quietLeft <= 0) break;
        if (socket.waitReadable(quietLeft) != UdpSocket::WaitResult::Readable) continue;
        QString sender;
        std::uint16_t port = 0;
        bool truncated = false;
        const QByteArray d =
            socket.receive(ListeningEndpoint::kBufferSize, &sender, &port, &truncated);
        if (truncated || d.size() < DiscoveryReply::kMinSize || ReplyLetter(d) != Letter::Discovery)
            continue;
        macs.insert(d.mid(kMacOffset, kMacSize));
        lastAt = clock.nsecsElapsed() / 1000;
    }
    run.listed = static_cast<int>(macs.size());
    run.seconds = lastAt / 1e6;
    run.kernelDrops = rcvbufErrors() - dropsBefore;
    run.sent = sentBy(*emulator);
    return run;
}

// Between the two: the listening endpoint's threads and the main window's check of each
// reply, without the hand-over to the user-interface thread and the table.
Run listenerRun(NetLab& lab, int n) {
    auto emulator = startEmulator(lab, n);
    std::mutex mutex;
    QSet<QByteArray> macs;
    Run run;
    qint64 lastAt = 0;
    QElapsedTimer clock;
    ListeningEndpoint endpoint([&](const QByteArray& d, const QString&, std::uint16_t) {
        if (!IsDiscoveryReply(d)) return;
        std::lock_guard<std::mutex> lock(mutex);
        macs.insert(d.mid(kMacOffset, kMacSize));
        lastAt = clock.nsecsElapsed() / 1000;
    });
    endpoint.setReceiveBufferRequest(gBuffer.bytes, gBuffer.mayExceedCeiling);
    InterfaceEndpoints endpoints(LocalIPv4Addresses());
    const long long dropsBefore = rcvbufErrors();
    endpoint.open();
    clock.start();
    BroadcastFrame(endpoints, DiscoveryRequest(), kDevicePort);
    while (clock.elapsed() < kRunLimitMs) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (macs.size() >= n || clock.elapsed() - lastAt / 1000 > kQuietMs) break;
        }
        run.peakQueue = std::max(run.peakQueue, receiveQueueBytes());
        QThread::usleep(500);
    }
    endpoint.close();
    run.listed = static_cast<int>(macs.size());
    run.seconds = lastAt / 1e6;
    run.kernelDrops = rcvbufErrors() - dropsBefore;
    run.sent = sentBy(*emulator);
    return run;
}

// The command line's search core (DeviceLink + DiscoverySession, as `velomar-cli search
// --expect N` runs it), in this process so that it can be given the stock buffer too.
Run coreRun(NetLab& lab, int n) {
    auto emulator = startEmulator(lab, n);
    DeviceLink link(LocalIPv4Addresses());
    link.setReceiveBufferRequest(gBuffer.bytes, gBuffer.mayExceedCeiling);
    link.open();
    DiscoveryOptions options;
    options.expect = n;
    options.timeout = std::chrono::milliseconds(kRunLimitMs);
    const long long dropsBefore = rcvbufErrors();
    DiscoverySession search(link);
    Run run;
    run.listed = static_cast<int>(search.run(options).size());
    run.seconds = search.lastAnswerAfter().count() / 1e6;
    run.kernelDrops = rcvbufErrors() - dropsBefore;
    run.sent = sentBy(*emulator);
    return run;
}

// The real executable, `velomar-cli search --format json --expect N`: the devices in its
// JSON, and the time from its request to the last device it handled, as it reports it.
Run cliRun(NetLab& lab, int n) {
    auto emulator = startEmulator(lab, n);
    const auto result = emu::LabProcess::run(
        NetLab::binaryDir() + QStringLiteral("/velomar-cli"),
        {QStringLiteral("search"), QStringLiteral("--format"), QStringLiteral("json"),
         QStringLiteral("--expect"), QString::number(n), QStringLiteral("--timeout"),
         QString::number(kRunLimitMs / 1000)},
        kRunLimitMs + 10000, true);
    Run run;
    const QJsonDocument doc = QJsonDocument::fromJson(result.output.toUtf8());
    run.listed = static_cast<int>(doc.object().value(QStringLiteral("devices")).toArray().size());
    static const QRegularExpression last(QStringLiteral("the last ([0-9.]+) s after"));
    const auto m = last.match(result.errors);
    run.seconds = m.hasMatch() ? m.captured(1).toDouble() : 0;
    run.sent = sentBy(*emulator);
    return run;
}

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

// The command line's figures: its core in process (with this run's buffer request) and the
// real executable (which asks for the largest buffer the system allows), against the bare loop.
void cliTable(NetLab& lab, const QList<int>& sizes, int rounds) {
    std::printf("%6s %6s %6s %6s %8s %8s %9s %10s %10s %8s %8s\n", "N", "core-l", "core-x", "cli-l",
                "cli-x", "bare-l", "bare/s", "core/s", "cli/s", "core-r", "cli-r");
    for (const int n : sizes) {
        QList<double> bareRates, coreRates, cliRates, coreListed, cliListed, bareListed;
        long long coreWorst = 0, cliWorst = 0;
        for (int r = 0; r < rounds; ++r) {
            const Run bare = bareRun(lab, n);
            const Run core = coreRun(lab, n);
            const Run cli = cliRun(lab, n);
            bareRates << bare.rate();
            coreRates << core.rate();
            cliRates << cli.rate();
            bareListed << bare.listed;
            coreListed << core.listed;
            cliListed << cli.listed;
            coreWorst = std::max(coreWorst, core.sent - core.listed);
            cliWorst = std::max(cliWorst, cli.sent - cli.listed);
        }
        const double bare = median(bareRates);
        std::printf("%6d %6.0f %6lld %6.0f %8lld %8.0f %9.0f %10.0f %10.0f %8.2f %8.2f\n", n,
                    median(coreListed), coreWorst, median(cliListed), cliWorst, median(bareListed),
                    bare, median(coreRates), median(cliRates),
                    bare > 0 ? median(coreRates) / bare : 0,
                    bare > 0 ? median(cliRates) / bare : 0);
        std::fflush(stdout);
    }
    std::printf(
        "core-l, cli-l, bare-l = devices listed (medians); core-x, cli-x = most lost in one round. "
        "Rates are devices per second from the request to the last device handled; core-r, "
        "cli-r = over the bare loop's (time ratio = 1 / rate ratio).\n");
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    QList<int> sizes;
    int rounds = 5;
    bool cli = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        bool ok = false;
        if (arg == QLatin1String("--stock-buffer")) {
            gBuffer = {212992, false};
            continue;
        }
        if (arg == QLatin1String("--cli")) {
            cli = true;
            continue;
        }
        if (arg == QLatin1String("--rounds") && i + 1 < argc) {
            rounds = QString::fromLocal8Bit(argv[++i]).toInt(&ok);
            if (ok && rounds >= 1 && rounds <= 50) continue;
        } else {
            const int n = arg.toInt(&ok);
            if (ok && n >= 1 && n <= 50000) {
                sizes << n;
                continue;
            }
        }
        std::fprintf(stderr,
                     "usage: discovery_burst [--stock-buffer] [--cli] [--rounds R] [N...]   (1 <= "
                     "N <= 50000, "
                     "default 1000 2000 5000 10000; R rounds of each, default 5)\n");
        return 2;
    }
    if (sizes.isEmpty()) sizes = {1000, 2000, 5000, 10000};

    const QString why = NetLab::unavailableReason();
    if (!why.isEmpty()) {
        std::fprintf(stderr, "discovery_burst: refusing to run: %s\n", qPrintable(why));
        return 2;
    }
    try {
        NetLab lab;
        // Only ever send from inside the lab made just now.
        if (!lab.callerInWorkstation() || !emu::LabNetworkRefusal().isEmpty()) {
            std::fprintf(
                stderr,
                "discovery_burst: refusing to run outside the lab's workstation namespace\n");
            return 2;
        }
        std::printf(
            "discovery_burst: lab %s; tervane-emu --burst answers one Search; medians of %d "
            "rounds, worst case of the program's losses and queue\n",
            qPrintable(lab.name()), rounds);
        if (cli) {
            cliTable(lab, sizes, rounds);
            return 0;
        }
        std::printf("%6s %6s %6s %5s %6s %6s %9s %10s %10s %10s %6s %11s\n", "N", "listed", "lost",
                    "drops", "worst", "bare-l", "program/s", "listener/s", "bare/s", "ratio",
                    "b-drop", "peak-queue");
        int granted = 0;
        for (const int n : sizes) {
            QList<double> programRates, listenerRates, bareRates, listed, lost, drops, bareLost,
                bareDrops;
            long long worstLost = 0, peak = 0;
            for (int r = 0; r < rounds; ++r) {
                const Run bare = bareRun(lab, n);
                const Run listener = listenerRun(lab, n);
                const Run program = programRun(lab, n, &granted);
                bareRates << bare.rate();
                listenerRates << listener.rate();
                programRates << program.rate();
                listed << program.listed;
                lost << double(program.sent - program.listed);
                drops << double(program.kernelDrops);
                bareLost << double(bare.sent - bare.listed);
                bareDrops << double(bare.kernelDrops);
                worstLost = std::max(worstLost, program.sent - program.listed);
                peak = std::max(peak, program.peakQueue);
            }
            const double ratio =
                median(bareRates) > 0 ? median(programRates) / median(bareRates) : 0;
            std::printf(
                "%6d %6.0f %6.0f %5.0f %6lld %6.0f %9.0f %10.0f %10.0f %10.2f %6.0f %11lld\n", n,
                median(listed), median(lost), median(drops), worstLost, median(bareLost),
                median(programRates), median(listenerRates), median(bareRates), ratio,
                median(bareDrops), peak);
            std::fflush(stdout);
        }
        std::printf(
            "listed, lost = rows the window listed and replies sent but not listed; drops = "
            "datagrams the kernel refused for a full receive buffer during the program's run; "
            "worst = most lost in one round; bare-l, b-drop = the same for the bare loop.\n"
            "ratio = program/s over bare/s: replies handled per second from the request to the "
            "last reply listed, by the main window (program), by the listening endpoint with the "
            "window's check of each reply (listener) and by a bare receive loop on the same socket "
            "setup "
            "(bare).\n"
            "receive buffer asked for: %d bytes%s; granted: %d bytes. peak-queue = most bytes "
            "seen waiting in the program's receive queue.\n",
            gBuffer.bytes, gBuffer.mayExceedCeiling ? " (beyond the ceiling where allowed)" : "",
            granted);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "discovery_burst: %s\n", e.what());
        return 1;
    }
    return 0;
}
