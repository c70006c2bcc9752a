#include "emulator/NetLab.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <atomic>
#include <stdexcept>

#ifdef __linux__
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velomar::emu {

namespace {

[[noreturn]] void fail(const QString& text) {
    throw std::runtime_error(text.toStdString());
}

QString findBuildDir() {
    // The executable lives somewhere below the build folder that holds CMakeCache.txt.
    const QString exe = QCoreApplication::instance()
                            ? QCoreApplication::applicationFilePath()
                            : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    QDir dir = QFileInfo(exe).absoluteDir();
    for (int i = 0; i < 4; ++i) {
        if (dir.exists(QStringLiteral("CMakeCache.txt"))) return dir.absolutePath();
        if (!dir.cdUp()) break;
    }
    return {};
}

#ifdef __linux__
// The initial user namespace maps every id to itself: "0 0 4294967295".
bool inInitialUserNamespace() {
    QFile map(QStringLiteral("/proc/self/uid_map"));
    if (!map.open(QIODevice::ReadOnly)) return false;
    return map.readAll().simplified() == "0 0 4294967295";
}

bool sameNamespace(const char* a, const char* b) {
    struct stat sa {
    }, sb{};
    return ::stat(a, &sa) == 0 && ::stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}
#endif

}  // namespace

// ---------------------------------------------------------------------------------------

LabProcess::LabProcess(const QString& netns, const QString& program, const QStringList& arguments)
    : process_(std::make_unique<QProcess>()) {
    process_->setProcessChannelMode(QProcess::MergedChannels);
#ifdef __linux__
    // If the test or benchmark dies, so does what it started in the lab.
    process_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
#endif
    QStringList args{QStringLiteral("netns"), QStringLiteral("exec"), netns, program};
    args += arguments;
    process_->start(QStringLiteral("ip"), args);
    if (!process_->waitForStarted(5000))
        fail(QStringLiteral("could not start %1 in %2").arg(program, netns));
}

LabProcess::~LabProcess() {
    stop();
}

QString LabProcess::output() {
    output_ += QString::fromLocal8Bit(process_->readAll());
    return output_;
}

bool LabProcess::running() const {
    return process_->state() != QProcess::NotRunning;
}

bool LabProcess::waitForOutput(const QString& text, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!output().contains(text)) {
        const int left = timeoutMs - static_cast<int>(timer.elapsed());
        if (left <= 0 || !running()) return output().contains(text);
        process_->waitForReadyRead(std::min(left, 100));
    }
    return true;
}

int LabProcess::waitForExit(int timeoutMs) {
    if (running() && !process_->waitForFinished(timeoutMs)) return -1;
    output();
    return process_->exitStatus() == QProcess::NormalExit ? process_->exitCode() : -1;
}

int LabProcess::stop(int timeoutMs) {
    if (running()) {
        process_->terminate();
        if (!process_->waitForFinished(timeoutMs)) {
            process_->kill();
            process_->waitForFinished(2000);
            output();
            return -1;
        }
    }
    output();
    return process_->exitStatus() == QProcess::NormalExit ? process_->exitCode() : -1;
}

// ---------------------------------------------------------------------------------------

QString NetLab::binaryDir() {
    const QString env = qEnvironmentVariable("VELOMAR_BINARY_DIR");
    return env.isEmpty() ? findBuildDir() : env;
}

QString NetLab::sourceDir() {
    const QString env = qEnvironmentVariable("VELOMAR_SOURCE_DIR");
    if (!env.isEmpty()) return env;
    QFile cache(QDir(findBuildDir()).filePath(QStringLiteral("CMakeCache.txt")));
    if (cache.open(QIODevice::ReadOnly)) {
        static const QRegularExpression re(QStringLiteral("^Velomar_SOURCE_DIR:STATIC=(.*)$"),
                                           QRegularExpression::MultilineOption);
        const auto m = re.match(QString::fromUtf8(cache.readAll()));
        if (m.hasMatch()) return m.captured(1).trimmed();
    }
    return {};
}

QString NetLab::unavailableReason() {
#ifdef __linux__
    if (::geteuid() != 0) return QStringLiteral("the network lab needs root (network namespaces)");
    // Root inside a user namespace cannot make named namespaces.
    if (!inInitialUserNamespace()) {
        return QStringLiteral("the network lab needs root in the initial user namespace");
    }
    if (!QFileInfo(QDir(sourceDir()).filePath(QStringLiteral("scripts/netlab"))).isExecutable()) {
        return QStringLiteral("scripts/netlab not found (set VELOMAR_SOURCE_DIR)");
    }
    return {};
#else
    return QStringLiteral("the network lab needs Linux network namespaces");
#endif
}

void NetLab::runNetlab(const QStringList& arguments) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QDir(sourceDir()).filePath(QStringLiteral("scripts/netlab")), arguments);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(2000);
        fail(QStringLiteral("netlab %1: timed out").arg(arguments.join(QLatin1Char(' '))));
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        fail(QStringLiteral("netlab %1 failed: %2")
                 .arg(arguments.join(QLatin1Char(' ')),
                      QString::fromLocal8Bit(p.readAll()).trimmed()));
    }
}

void NetLab::removeStaleLabs() {
#ifdef __linux__
    // Labs of test processes that died before cleaning up: their pid is gone.
    static const QRegularExpression re(QStringLiteral("^vl(\\d+)[a-z]+$"));
    const QStringList entries =
        QDir(QStringLiteral("/var/run/netns")).entryList(QDir::Files | QDir::System);
    for (const QString& entry : entries) {
        if (!entry.endsWith(QLatin1String("-ws"))) continue;
        const QString lab = entry.chopped(3);
        const auto m = re.match(lab);
        if (!m.hasMatch()) continue;
        const qint64 pid = m.captured(1).toLongLong();
        if (pid == QCoreApplication::applicationPid() ||
            QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)))
            continue;
        try {
            runNetlab({QStringLiteral("down"), lab});
        } catch (const std::exception&) {
            // Best effort: a stale lab does not disturb ours, whose name differs.
        }
    }
#endif
}

NetLab::NetLab(Options options) : options_(options) {
#ifdef __linux__
    const QString why = unavailableReason();
    if (!why.isEmpty()) fail(why);
    removeStaleLabs();
    static std::atomic<int> counter{0};
    const int n = counter++;
    QString suffix;
    for (int i = n;; i = i / 26 - 1) {
        suffix.prepend(QChar('a' + i % 26));
        if (i < 26) break;
    }
    name_ = QStringLiteral("vl%1%2").arg(QCoreApplication::applicationPid()).arg(suffix);
    runNetlab({QStringLiteral("up"), name_, QStringLiteral("--ifaces"),
               QString::number(options_.ifaces), QStringLiteral("--devices"),
               QString::number(options_.devices)});
    up_ = true;

    homeNs_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const QByteArray wsPath =
        QStringLiteral("/var/run/netns/%1").arg(workstationNamespace()).toLocal8Bit();
    const int ws = ::open(wsPath.constData(), O_RDONLY | O_CLOEXEC);
    const bool entered = homeNs_ >= 0 && ws >= 0 && ::setns(ws, CLONE_NEWNET) == 0;
    if (ws >= 0) ::close(ws);
    if (!entered || !callerInWorkstation()) {
        if (homeNs_ >= 0) ::close(homeNs_);
        homeNs_ = -1;
        runNetlab({QStringLiteral("down"), name_});
        up_ = false;
        fail(QStringLiteral("could not enter the lab's workstation namespace %1")
                 .arg(workstationNamespace()));
    }
#else
    fail(unavailableReason());
#endif
}

NetLab::~NetLab() {
#ifdef __linux__
    if (homeNs_ >= 0) {
        ::setns(homeNs_, CLONE_NEWNET);
        ::close(homeNs_);
    }
    if (up_) {
        try {
            runNetlab({QStringLiteral("down"), name_});
        } catch (const std::exception&) {
            // Left for removeStaleLabs() of a later run.
        }
    }
#endif
}

bool NetLab::callerInWorkstation() const {
#ifdef __linux__
    const QByteArray wsPath =
        QStringLiteral("/var/run/netns/%1").arg(workstationNamespace()).toLocal8Bit();
    return sameNamespace("/proc/thread-self/ns/net", wsPath.constData());
#else
    return false;
#endif
}

void NetLab::setWorkstationInterfaceUp(int iface, bool up) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("ip"),
            {QStringLiteral("-n"), workstationNamespace(), QStringLiteral("link"),
             QStringLiteral("set"), QStringLiteral("lan%1").arg(iface),
             up ? QStringLiteral("up") : QStringLiteral("down")});
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        p.kill();
        fail(QStringLiteral("ip link set lan%1: %2")
                 .arg(iface)
                 .arg(QString::fromLocal8Bit(p.readAll()).trimmed()));
    }
}

std::unique_ptr<LabProcess> NetLab::start(const QString& netns, const QString& program,
                                          const QStringList& arguments) {
    return std::make_unique<LabProcess>(netns, program, arguments);
}

}  // namespace velomar::emu
