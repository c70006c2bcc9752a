// soak: a day's work in one run, looking for leaks and stalls. The real main window and the
// real configuration dialog, driven in-process against tervane-emu in a lab this benchmark
// makes itself, run interleaved: 500 searches (each stopped as soon as every device is
// listed), 200 configuration dialog cycles (open for a row, change the device name, Apply,
// wait for the device's answer, close), 50 firmware upgrades of a small image and 50 bulk
// applies (a row's name typed into the table, then Apply).
//
//   sudo build/bench/soak [--scale F] [--devices N] [--image-kib K] [--only KIND]
//
// --scale 0.1 runs a tenth of every count for a quick try; --only search|dialog|firmware|bulk
// runs that operation alone, as many times as the run has cycles, to tell which one grows.
// Every 50 cycles it prints the resident memory, the heap in use (what the allocator handed
// out and did not get back, steadier than resident memory) and the open descriptors, with
// the window at rest; at the end, per operation, the count, median, maximum and maximum over
// median of the durations, and the goals with PASS or FAIL: after the first 50 cycles
// resident memory grows by less than 1 MiB and the descriptor count not at all; no operation
// takes more than twice its median. The first operation of each kind runs before the
// measured ones (a warm-up). For each operation it also takes the time the window's thread
// spent waiting for a CPU (runnable, while another thread or program had it), so that a slow
// operation can be told from a busy machine.
//
// It refuses to run unless it is root and has moved into the workstation namespace of the
// lab it created: nothing it sends can reach a real network.
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "app/UnitDetect.h"
#include "config/NetworkTab.h"
#include "config/PortGrids.h"
#include "config/UnitConfigure.h"
#include "lab/NetLab.h"
#include "lab/NetworkGuard.h"
#include "support/FindWidget.h"
#include "support/RecordingPlatform.h"

using namespace velomar;
using velomar::emu::NetLab;
using velomar::test::Find;

namespace {

constexpr int kPorts = 4;  // every device alike, so that every dialog cycle does the same work
constexpr int kWaitLimitMs = 5000;           // no single wait lasts longer
constexpr int kRunLimitMs = 12 * 60 * 1000;  // and the whole run stops here at the latest
constexpr int kSampleEvery = 50;

const QString kApplied = QStringLiteral("Configuration was successfully applied");
const QString kUpgraded = QStringLiteral("Updating firmware was successful");
const QString kBulkApplied = QStringLiteral("1 Device(s) ' configuration is Successful");

enum Kind { Search, Dialog, Firmware, Bulk, KindCount };
const char* const kKindNames[KindCount] = {"search", "dialog", "firmware", "bulk apply"};
// One block of the run: ten searches, four dialog cycles, one upgrade, one bulk apply,
// spread so that each kind follows every other.
const char kBlock[] = "SCSCSSFSCSSBSCSS";

struct Sample {
    int cycle = 0;
    qint64 residentBytes = 0;
    qint64 heapBytes = 0;
    int descriptors = 0;
};

// Bytes the allocator has handed out and not got back: steadier than resident memory,
// which also follows the allocator's own caches.
qint64 heapInUse() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    const struct mallinfo2 m = mallinfo2();
    return static_cast<qint64>(m.uordblks + m.hblkhd);
#else
    return -1;
#endif
}

qint64 residentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

int openDescriptors() {
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd"))
                                .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                                .size());
}

// The machine's load (other programs compete for the same CPUs): first field of /proc/loadavg.
QString loadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("unknown");
    const QList<QByteArray> fields = f.readAll().split(' ');
    return QString::fromLatin1(fields.value(0)) +
           QStringLiteral(" (%1 CPUs)").arg(QThread::idealThreadCount());
}

// Seconds the calling thread has spent runnable but waiting for a CPU (another program had
// it, or another of our threads on a machine with fewer CPUs than runnable threads): the
// second field of its schedstat. Zero where the system does not tell.
double cpuWaitSeconds() {
    QFile f(QStringLiteral("/proc/thread-self/schedstat"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    return f.readAll().simplified().split(' ').value(1).toLongLong() / 1e9;
}

struct Op {
    double seconds = 0;
    int cycle = 0;
    double waited = 0;  // of which the window's thread waited for a CPU
};

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

class Soak {
  public:
    Soak(int devices, const QString& imagePath)
        : devices_(devices), imagePath_(imagePath), scoped_(&rec_), form_(), config_(&form_) {
        form_.setConfigForm(&config_);
        form_.show();
        // Wakes the waits below while nothing is posted, so that each stays bounded.
        tick_.setInterval(2);
    }

    // Runs one operation; its duration in seconds, and whether it did what it should.
    bool run(Kind kind, int n, double* seconds) {
        rec_.clear();
        QElapsedTimer t;
        t.start();
        bool ok = false;
        switch (kind) {
            case Search:
                ok = search();
                break;
            case Dialog:
                ok = dialogCycle(n);
                break;
            case Firmware:
                ok = firmware(n);
                break;
            case Bulk:
                ok = bulkApply(n);
                break;
            default:
                break;
        }
        *seconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
        // Between two actions of a user the product's main loop runs, which deletes what the
        // action handed to deleteLater (a closed cell editor...). The waits here process
        // events from outside any loop, where Qt never does that by itself.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (!ok) {
            why_ = QStringLiteral("%1 %2: %3 (messages: %4)")
                       .arg(QString::fromLatin1(kKindNames[kind]))
                       .arg(n)
                       .arg(why_, rec_.boxes().join(QStringLiteral(" | ")));
        }
        rec_.clear();
        return ok;
    }
    const QString& why() const { return why_; }

    // Brings the window to the same resting state before a sample: an upgrade or a bulk
    // apply leaves its endpoint open, a search's Stop closes it.
    void rest() { form_.CloseUDPServer(); }

  private:
    bool waitUntil(const std::function<bool()>& condition, int limitMs = kWaitLimitMs) {
        QElapsedTimer t;
        t.start();
        tick_.start();
        bool met = condition();
        while (!met && t.elapsed() < limitMs) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            met = condition();
        }
        tick_.stop();
        return met;
    }

    bool fail(const QString& why) {
        why_ = why;
        return false;
    }

    // Makes the row of device n (counted round the fleet) the current one.
    bool selectRow(int n, int column) {
        if (form_.DeviceCount() == 0) return false;
        const int row = n % form_.DeviceCount();
        Find<DeviceTableView>(form_, "RGrid")->setCurrentIndex(form_.devices().index(row, column));
        return form_.SelectedRow() == row;
    }

    bool search() {
        form_.FlatButton2Click();
        const bool listed = waitUntil([&] { return form_.DeviceCount() >= devices_; });
        form_.FlatButton6Click();
        if (!listed)
            return fail(
                QStringLiteral("%1 of %2 devices listed").arg(form_.DeviceCount()).arg(devices_));
        if (form_.DeviceCount() != devices_)
            return fail(QStringLiteral("%1 rows").arg(form_.DeviceCount()));
        if (!rec_.boxes().isEmpty()) return fail(QStringLiteral("a message"));
        return true;
    }

    bool allRecordsIn() {
        if (!config_.tabPanel1->isEnabled() || !config_.tabPanel2->isEnabled() ||
            !config_.tabPanel3->isEnabled() || config_.PortCount() != kPorts)
            return false;
        for (int p = 0; p < kPorts; ++p) {
            if (config_.operationGrid().isEmpty(p, OperationGridModel::No)) return false;
            if (config_.serialGrid().isEmpty(p, SerialGridModel::No)) return false;
        }
        return true;
    }

    bool dialogCycle(int n) {
        if (!selectRow(n, DeviceTableModel::ColModel)) return fail(QStringLiteral("no row"));
        form_.RGridDblClick();
        if (!config_.isVisible()) return fail(QStringLiteral("the dialog did not open"));
        const auto closeAnyway = [&] { config_.FlatButton2Click(); };
        if (!waitUntil([&] { return allRecordsIn(); })) {
            closeAnyway();
            return fail(QStringLiteral("the records did not all arrive"));
        }
        config_.networkTab().DeviceNameText->setText(
            QStringLiteral("Soak %1").arg(n % 10000, 4, 10, QLatin1Char('0')));
        if (!config_.networkChanged()) {
            closeAnyway();
            return fail(QStringLiteral("the name change was not noticed"));
        }
        config_.FlatButton1Click();
        const bool answered = waitUntil([&] { return rec_.boxes().contains(kApplied); });
        closeAnyway();
        if (!answered) return fail(QStringLiteral("no answer to Apply"));
        if (rec_.boxes() != QStringList{kApplied}) return fail(QStringLiteral("other messages"));
        if (config_.isVisible() || config_.configUdp().isOpen())
            return fail(QStringLiteral("the dialog did not close"));
        return true;
    }

    bool firmware(int n) {
        if (!selectRow(n, DeviceTableModel::ColModel)) return fail(QStringLiteral("no row"));
        rec_.fileAnswers.enqueue(imagePath_);
        // Runs the whole transfer; its waits are bounded by the transfer itself.
        form_.FlatButton7Click();
        if (rec_.boxes() != QStringList{kUpgraded})
            return fail(QStringLiteral("the upgrade did not succeed"));
        return true;
    }

    bool bulkApply(int n) {
        if (!selectRow(n, DeviceTableModel::ColName)) return fail(QStringLiteral("no row"));
        const QModelIndex cell = Find<DeviceTableView>(form_, "RGrid")->currentIndex();
        Find<DeviceTableView>(form_, "RGrid")->edit(cell);
        auto* editor =
            qobject_cast<QLineEdit*>(Find<DeviceTableView>(form_, "RGrid")->indexWidget(cell));
        if (!editor) return fail(QStringLiteral("no editor for the name"));
        editor->selectAll();
        // Typed, key by key, through the cell's filter, as the user types.
        const QString name = QStringLiteral("Bulk %1").arg(n % 10000, 4, 10, QLatin1Char('0'));
        for (const QChar c : name) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(editor, &press);
            QCoreApplication::sendEvent(editor, &release);
        }
        if (!form_.devices().entry(cell.row()).apply)
            return fail(QStringLiteral("typing did not tick the row"));
        form_.FlatButton1Click();
        if (rec_.boxes() != QStringList{kBulkApplied}) return fail(QStringLiteral("not applied"));
        if (form_.devices().entry(cell.row()).name != name)
            return fail(QStringLiteral("the row lost the name"));
        return true;
    }

    int devices_;
    QString imagePath_;
    QString why_;
    RecordingPlatform rec_;
    ScopedPlatform scoped_;
    TFormDetect form_;
    TConfigForm config_;
    QTimer tick_;
};

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    double scale = 1.0;
    int devices = 8;
    int imageKib = 4;
    int only = -1;  // every kind
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const QString value = i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
        bool ok = false;
        if (arg == QLatin1String("--scale")) {
            scale = value.toDouble(&ok);
            ok = ok && scale > 0 && scale <= 1;
        } else if (arg == QLatin1String("--devices")) {
            devices = value.toInt(&ok);
            ok = ok && devices >= 1 && devices <= 100;
        } else if (arg == QLatin1String("--image-kib")) {
            imageKib = value.toInt(&ok);
            ok = ok && imageKib >= 1 && imageKib <= 1024;
        } else if (arg == QLatin1String("--only")) {
            for (int k = 0; k < KindCount; ++k) {
                if (QString::fromLatin1(kKindNames[k]).startsWith(value) && !value.isEmpty())
                    only = k;
            }
            ok = only >= 0;
        }
        if (!ok) {
            std::fprintf(
                stderr,
                "usage: soak [--scale F] [--devices N] [--image-kib K] [--only KIND]   (0 < F "
                "<= 1, default 1; 1 <= N <= 100, default 8; 1 <= K <= 1024, default 4; "
                "KIND: search, dialog, firmware or bulk: that operation alone, as many "
                "times as the whole run has cycles)\n");
            return 2;
        }
        ++i;
    }
    const int blocks = std::max(1, static_cast<int>(50 * scale + 0.5));

    const QString why = NetLab::unavailableReason();
    if (!why.isEmpty()) {
        std::fprintf(stderr, "soak: refusing to run: %s\n", qPrintable(why));
        return 2;
    }
    try {
        NetLab lab;
        // Only ever send from inside the lab made just now.
        if (!lab.callerInWorkstation() || !emu::LabNetworkRefusal().isEmpty()) {
            std::fprintf(stderr, "soak: refusing to run outside the lab's workstation namespace\n");
            return 2;
        }
        const auto emulator = lab.start(
            lab.deviceNamespace(1), NetLab::binaryDir() + QStringLiteral("/tervane-emu"),
            {QStringLiteral("--devices"), QString::number(devices), QStringLiteral("--ports"),
             QString::number(kPorts), QStringLiteral("--lifetime"), QStringLiteral("1200")});
        if (!emulator->waitForOutput(QStringLiteral(" listening on "), 10000))
            throw std::runtime_error(
                ("tervane-emu did not start: " + emulator->output()).toStdString());

        QTemporaryDir dir;
        const QString imagePath = dir.filePath(QStringLiteral("vm2100.bin"));
        {
            QByteArray image(imageKib * 1024, '\0');
            QRandomGenerator(2057).fillRange(reinterpret_cast<quint32*>(image.data()),
                                             image.size() / 4);
            QFile f(imagePath);
            if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size())
                throw std::runtime_error("cannot write the firmware image");
        }

        Soak soak(devices, imagePath);
        std::vector<Kind> plan;
        for (int b = 0; b < blocks; ++b) {
            for (const char c : std::string(kBlock)) {
                plan.push_back(only >= 0  ? static_cast<Kind>(only)
                               : c == 'S' ? Search
                               : c == 'C' ? Dialog
                               : c == 'F' ? Firmware
                                          : Bulk);
            }
        }
        int planned[KindCount] = {};
        for (const Kind k : plan) ++planned[k];
        std::printf(
            "soak: lab %s; tervane-emu --devices %d --ports %d; %d searches, %d dialog cycles, "
            "%d firmware upgrades (%d KiB), %d bulk applies, interleaved (%d cycles)\n",
            qPrintable(lab.name()), devices, kPorts, planned[Search], planned[Dialog],
            planned[Firmware], imageKib, planned[Bulk], static_cast<int>(plan.size()));

        // First use of each path loads what stays loaded (fonts, styles, the dialog's first
        // showing): one of each before the run, not counted.
        int failures = 0;
        for (const Kind k : {Search, Dialog, Firmware, Bulk}) {
            double s = 0;
            if (!soak.run(k, 0, &s)) {
                std::printf("warm-up failed: %s\n", qPrintable(soak.why()));
                ++failures;
            }
        }
        soak.rest();
        std::printf("warm-up done: one of each operation, not counted; load average %s\n",
                    qPrintable(loadAverage()));
        std::printf("%6s %13s %11s %13s %11s %12s\n", "cycle", "resident", "since 50",
                    "heap in use", "since 50", "descriptors");

        // The benchmark's own records are sized before the run, so that they do not count
        // as the program's growth.
        std::vector<Op> ops[KindCount];
        for (int k = 0; k < KindCount; ++k) ops[k].reserve(static_cast<size_t>(planned[k]));
        int imagesReported = 0;
        std::vector<Sample> samples;
        samples.reserve(plan.size() / kSampleEvery + 2);
        QElapsedTimer whole;
        whole.start();
        const auto sample = [&](int cycle) {
            soak.rest();
            // The emulator reports each image it took; read before its pipe fills and stops it.
            imagesReported =
                static_cast<int>(emulator->output().count(QStringLiteral(" bytes complete")));
            samples.push_back({cycle, residentBytes(), heapInUse(), openDescriptors()});
            const Sample& s = samples.back();
            const Sample* base = nullptr;
            for (const Sample& b : samples) {
                if (b.cycle == kSampleEvery) base = &b;
            }
            const auto since = [&](qint64 now, qint64 then) {
                return base ? QStringLiteral("%1%2 KiB")
                                  .arg(now >= then ? "+" : "")
                                  .arg((now - then) / 1024)
                            : QStringLiteral("-");
            };
            std::printf("%6d %9.2f MiB %11s %9.2f MiB %11s %12d\n", cycle,
                        s.residentBytes / 1048576.0,
                        qPrintable(since(s.residentBytes, base ? base->residentBytes : 0)),
                        s.heapBytes / 1048576.0,
                        qPrintable(since(s.heapBytes, base ? base->heapBytes : 0)), s.descriptors);
            std::fflush(stdout);
        };
        sample(0);
        int count[KindCount] = {};
        int cycle = 0;
        bool cutShort = false;
        for (const Kind k : plan) {
            if (whole.elapsed() > kRunLimitMs) {
                cutShort = true;
                break;
            }
            Op op;
            op.cycle = ++cycle;
            const double waitBefore = cpuWaitSeconds();
            if (!soak.run(k, ++count[k], &op.seconds)) {
                ++failures;
                std::printf("  failed: %s\n", qPrintable(soak.why()));
            }
            op.waited = cpuWaitSeconds() - waitBefore;
            ops[k].push_back(op);
            if (cycle % kSampleEvery == 0) sample(cycle);
        }
        if (cycle % kSampleEvery != 0) sample(cycle);

        std::printf("\n%-11s %6s %10s %9s %7s %6s %7s %13s\n", "operation", "count", "median ms",
                    "max ms", "max/med", "at", "over 2x", "less CPU wait");
        double worstRatio = 0, worstCalmRatio = 0;
        const char* worstKind = "";
        const char* worstCalmKind = "";
        for (int k = 0; k < KindCount; ++k) {
            if (ops[k].empty()) continue;
            std::vector<double> seconds;
            for (const Op& op : ops[k]) seconds.push_back(op.seconds);
            const double med = median(seconds);
            const Op& worst =
                *std::max_element(ops[k].begin(), ops[k].end(),
                                  [](const Op& a, const Op& b) { return a.seconds < b.seconds; });
            const double ratio = med > 0 ? worst.seconds / med : 0;
            if (ratio > worstRatio) {
                worstRatio = ratio;
                worstKind = kKindNames[k];
            }
            int over = 0, stillOver = 0;
            for (const Op& op : ops[k]) {
                const double calm = op.seconds - op.waited;
                if (med > 0 && calm / med > worstCalmRatio) {
                    worstCalmRatio = calm / med;
                    worstCalmKind = kKindNames[k];
                }
                if (op.seconds > 2 * med) ++over;
                if (calm > 2 * med) ++stillOver;
            }
            std::printf("%-11s %6zu %10.2f %9.2f %7.2f %6d %7d %13d\n", kKindNames[k],
                        ops[k].size(), med * 1e3, worst.seconds * 1e3, ratio, worst.cycle, over,
                        stillOver);
        }
        std::printf(
            "at: the cycle of the longest; over 2x: operations longer than twice the median; "
            "less CPU wait: the same once the time the window's thread waited for a CPU (it "
            "could run, but another thread or program had the CPU) is taken off\n");
        std::printf("\nrun: %.1f s, %d cycles%s, %d failed operations\n", whole.elapsed() / 1000.0,
                    cycle, cutShort ? " (cut short by the run's time limit)" : "", failures);
        const Sample* base = nullptr;
        for (const Sample& s : samples) {
            if (s.cycle == kSampleEvery) base = &s;
        }
        const int upgrades = static_cast<int>(ops[Firmware].size()) + 1;  // with the warm-up's
        if (imagesReported != upgrades) {
            std::printf("the emulator reported %d complete images for %d upgrades\n",
                        imagesReported, upgrades);
            ++failures;
        }
        bool pass = failures == 0 && !cutShort;
        if (base && samples.back().cycle > base->cycle) {
            const qint64 grown = samples.back().residentBytes - base->residentBytes;
            int mostFds = base->descriptors;
            for (const Sample& s : samples) {
                if (s.cycle > base->cycle) mostFds = std::max(mostFds, s.descriptors);
            }
            const bool memOk = grown < 1024 * 1024;
            const bool fdOk = mostFds <= base->descriptors;
            std::printf("goal: resident memory after cycle %d grows < 1 MiB: %+lld KiB -> %s\n",
                        base->cycle, static_cast<long long>(grown / 1024), memOk ? "PASS" : "FAIL");
            std::printf(
                "goal: descriptors after cycle %d do not grow: %d at cycle %d, at most %d after -> "
                "%s\n",
                base->cycle, base->descriptors, base->cycle, mostFds, fdOk ? "PASS" : "FAIL");
            pass = pass && memOk && fdOk;
        } else {
            std::printf("goal: memory and descriptors: not judged, the run ended by cycle %d\n",
                        kSampleEvery);
        }
        const bool timeOk = worstRatio <= 2.0;
        std::printf("goal: no operation over 2x its median: worst %.2fx (%s) -> %s\n", worstRatio,
                    worstKind, timeOk ? "PASS" : "FAIL");
        std::printf(
            "      the same less the window thread's waits for a CPU: worst %.2fx (%s); load "
            "average now %s\n",
            worstCalmRatio, worstCalmKind, qPrintable(loadAverage()));
        pass = pass && timeOk;
        std::printf("overall: %s\n", pass ? "PASS" : "FAIL");
        return pass ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "soak: %s\n", e.what());
        return 1;
    }
}
