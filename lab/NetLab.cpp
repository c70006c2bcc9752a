#include "lab/NetLab.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <atomic>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "lab/LabPlan.h"

#ifdef __linux__
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
#endif

namespace velomar::emu {

namespace {

[[noreturn]] void fail(const QString& text) {
    throw std::runtime_error(text.toStdString());
}

// The subnet of workstation interface iface (from 1), as its first three numbers.
QString subnet(int iface) {
    constexpr int count = static_cast<int>(std::size(plan::kSubnets));
    if (iface < 1 || iface > count) {
        fail(QStringLiteral("the lab has no interface %1 (its plan has %2)").arg(iface).arg(count));
    }
    return QLatin1String(plan::kSubnets[iface - 1]);
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

// The lab starts its programs with posix_spawn rather than QProcess. Qt starts a child in a
// way that lets the child's calls into the C library run ThreadSanitizer's bookkeeping on
// the parent's thread state before exec; afterwards the tool missed every mutex the
// starting thread took, and reported correct locking on that thread as a data race. The
// C library's own spawn leaves the parent's state alone.
LabProcess::LabProcess(const QString& netns, const QString& program, const QStringList& arguments)
    // If the test or benchmark dies, so does what it started in the lab.
    : LabProcess(
          QStringLiteral("setpriv"),
          QStringList{QStringLiteral("--pdeathsig"), QStringLiteral("KILL"), QStringLiteral("ip"),
                      QStringLiteral("netns"), QStringLiteral("exec"), netns, program} +
              arguments) {}

LabProcess::LabProcess(const QString& program, const QStringList& arguments, bool errorsApart) {
#ifdef __linux__
    int fds[2];
    int errs[2] = {-1, -1};
    if (::pipe2(fds, O_CLOEXEC) != 0 || (errorsApart && ::pipe2(errs, O_CLOEXEC) != 0))
        fail(QStringLiteral("could not make a pipe for %1").arg(program));
    std::vector<QByteArray> texts{program.toLocal8Bit()};
    for (const QString& a : arguments) texts.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& t : texts) argv.push_back(t.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Nothing to read on standard input: a program that asks gets an end of file.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errorsApart ? errs[1] : fds[1], 2);
    pid_t pid = -1;
    const int error = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (errs[1] >= 0) ::close(errs[1]);
    if (error != 0) {
        ::close(fds[0]);
        if (errs[0] >= 0) ::close(errs[0]);
        fail(QStringLiteral("could not start %1").arg(program));
    }
    for (int fd : {fds[0], errs[0]})
        if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    pid_ = pid;
    out_ = fds[0];
    err_ = errs[0];
#else
    (void)arguments;
    (void)errorsApart;
    fail(QStringLiteral("could not start %1: the lab needs Linux").arg(program));
#endif
}

LabProcess::~LabProcess() {
    stop();
#ifdef __linux__
    if (out_ >= 0) ::close(out_);
    if (err_ >= 0) ::close(err_);
#endif
}

LabProcess::Result LabProcess::run(const QString& program, const QStringList& arguments,
                                   int timeoutMs, bool errorsApart) {
    QElapsedTimer timer;
    timer.start();
    LabProcess p(program, arguments, errorsApart);
    Result r;
    r.exitCode = p.waitForExit(timeoutMs);
    if (p.running()) p.stop(1000);
    r.ms = timer.elapsed();
    r.output = p.output();
    r.errors = QString::fromLocal8Bit(p.errorBytes_);
    return r;
}

void LabProcess::readOutput(int waitMs) {
#ifdef __linux__
    if (out_ < 0) return;
    pollfd p[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (waitMs > 0) ::poll(p, err_ >= 0 ? 2 : 1, waitMs);
    char chunk[4096];
    for (auto [fd, into] : {std::pair{out_, &bytes_}, std::pair{err_, &errorBytes_}}) {
        if (fd < 0) continue;
        for (;;) {
            const auto n = ::read(fd, chunk, sizeof chunk);
            if (n <= 0) break;
            into->append(chunk, static_cast<int>(n));
        }
    }
#else
    (void)waitMs;
#endif
}

bool LabProcess::reap(bool block) {
#ifdef __linux__
    if (exited_ || pid_ < 0) return exited_;
    const pid_t r = ::waitpid(static_cast<pid_t>(pid_), &status_, block ? 0 : WNOHANG);
    if (r == static_cast<pid_t>(pid_)) exited_ = true;
#else
    (void)block;
#endif
    return exited_;
}

bool LabProcess::waitForOutput(const QString& text, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!output().contains(text)) {
        const int left = timeoutMs - static_cast<int>(timer.elapsed());
        if (left <= 0 || !running()) return output().contains(text);
        readOutput(std::min(left, 100));
    }
    return true;
}

QString LabProcess::output() {
    readOutput(0);
    return QString::fromLocal8Bit(bytes_);
}

bool LabProcess::running() {
    return pid_ >= 0 && !reap(false);
}

int LabProcess::waitForExit(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (running()) {
        if (timer.elapsed() >= timeoutMs) return -1;
        readOutput(10);
    }
    readOutput(0);
#ifdef __linux__
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
#else
    return -1;
#endif
}

int LabProcess::stop(int timeoutMs) {
#ifdef __linux__
    if (running()) {
        ::kill(static_cast<pid_t>(pid_), SIGTERM);
        if (waitForExit(timeoutMs) < 0 && running()) {
            ::kill(static_cast<pid_t>(pid_), SIGKILL);
            reap(true);
            readOutput(0);
            return -1;
        }
    }
    readOutput(0);
    return exited_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
#else
    (void)timeoutMs;
    return -1;
#endif
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
    const LabProcess::Result r = LabProcess::run(
        QDir(sourceDir()).filePath(QStringLiteral("scripts/netlab")), arguments, 60000);
    if (r.exitCode != 0) {
        fail(QStringLiteral("netlab %1 failed: %2")
                 .arg(arguments.join(QLatin1Char(' ')), r.output.trimmed()));
    }
}

void NetLab::removeStaleLabs() {
#ifdef __linux__
    // Labs of test processes that died before cleaning up: their pid is gone.
    static const QRegularExpression re(QStringLiteral("^vl(\\d+)[a-z]+$"));
    const QStringList entries =
        QDir(QStringLiteral("/var/run/netns")).entryList(QDir::Files | QDir::System);
    for (const QString& entry : entries) {
        const QLatin1String suffix(plan::kWorkstationSuffix);
        if (!entry.endsWith(suffix)) continue;
        const QString lab = entry.chopped(suffix.size());
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
    QStringList up{QStringLiteral("up"),        name_,
                   QStringLiteral("--ifaces"),  QString::number(options_.ifaces),
                   QStringLiteral("--devices"), QString::number(options_.devices)};
    if (options_.routed) up << QStringLiteral("--routed");
    runNetlab(up);
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

QString NetLab::workstationNamespace() const {
    return name_ + QLatin1String(plan::kWorkstationSuffix);
}

QString NetLab::deviceNamespace(int k) const {
    return name_ + QLatin1String(plan::kDeviceSuffix) + QString::number(k);
}

QString NetLab::workstationAddress(int iface) {
    return QStringLiteral("%1.%2").arg(subnet(iface)).arg(plan::kWorkstationHost);
}

QString NetLab::deviceAddress(int k, int iface) {
    if (k < 1 || k > plan::kMaxDevices)
        fail(QStringLiteral("the lab has no device namespace %1").arg(k));
    return QStringLiteral("%1.%2").arg(subnet(iface)).arg(plan::kDeviceHostBase + k);
}

QString NetLab::routedDeviceAddress(int k) {
    if (k < 1 || k > plan::kMaxDevices)
        fail(QStringLiteral("the lab has no device namespace %1").arg(k));
    return QStringLiteral("%1.%2")
        .arg(QLatin1String(plan::kRoutedSubnet))
        .arg(plan::kDeviceHostBase + k);
}

QString NetLab::routedNetwork() {
    return QStringLiteral("%1.0/%2")
        .arg(QLatin1String(plan::kRoutedSubnet))
        .arg(plan::kRoutedReach);
}

QString NetLab::workstationInterface(int iface) {
    subnet(iface);  // an interface the plan does not have is refused
    return QLatin1String(plan::kWorkstationBridge) + QString::number(iface);
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

std::unique_ptr<LabProcess> NetLab::start(const QString& netns, const QString& program,
                                          const QStringList& arguments) {
    return std::make_unique<LabProcess>(netns, program, arguments);
}

}  // namespace velomar::emu
