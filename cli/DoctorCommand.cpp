// velomar-cli doctor: what on this computer can keep devices from being found. It sends
// nothing and changes nothing; every finding comes with its fix.
#include <QDir>
#include <QFile>
#include <QNetworkInterface>
#include <QProcess>
#include <QStandardPaths>
#include <cctype>
#include <filesystem>

#include "cli/Cli.h"
#include "net/ListeningEndpoint.h"
#include "net/UdpSocket.h"
#include "protocol/Frame.h"

namespace velomar::cli {

namespace {

QString ReadText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
}

// The programs holding a UDP socket bound to `port`, from /proc/net/udp and the sockets
// each process has open. Empty where the system does not tell (or hides other users').
QStringList PortHolders(std::uint16_t port) {
    QSet<QString> inodes;
    const QString portHex = QStringLiteral(":%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    for (const QString& table :
         {QStringLiteral("/proc/net/udp"), QStringLiteral("/proc/net/udp6")}) {
        const QStringList lines = ReadText(table).split(u'\n');
        for (int i = 1; i < lines.size(); ++i) {
            const QStringList f = lines[i].simplified().split(u' ');
            if (f.size() > 9 && f[1].endsWith(portHex)) inodes.insert(f[9]);
        }
    }
    QStringList holders;
    if (inodes.isEmpty()) return holders;
    std::error_code ec;
    for (const auto& proc : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string pid = proc.path().filename().string();
        if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0]))) continue;
        std::error_code fdError;
        for (const auto& fd : std::filesystem::directory_iterator(proc.path() / "fd", fdError)) {
            std::error_code linkError;
            const QString target = QString::fromStdString(
                std::filesystem::read_symlink(fd.path(), linkError).string());
            const QString inode = target.section(u'[', 1).section(u']', 0, 0);
            if (!linkError && target.startsWith(QLatin1String("socket:[")) &&
                inodes.contains(inode)) {
                const QString id = QString::fromStdString(pid);
                const QString name = ReadText(QStringLiteral("/proc/%1/comm").arg(id)).trimmed();
                holders << QStringLiteral("%1 (pid %2)").arg(name, id);
                break;
            }
        }
    }
    return holders;
}

// Output of a read-only command, or empty when it is not there or fails.
QString OutputOf(const QString& program, const QStringList& args) {
    if (QStandardPaths::findExecutable(program).isEmpty()) return {};
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(3000) || p.exitCode() != 0) {
        p.kill();
        return {};
    }
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

bool ProcessRunning(const QString& comm) {
    for (const QString& pid :
         QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs)) {
        if (ReadText(QStringLiteral("/proc/%1/comm").arg(pid)).trimmed() == comm) return true;
    }
    return false;
}

int Doctor(Context& c, const Arguments&) {
    int problems = 0;
    bool portHeld = false;
    auto ok = [&](const QString& text) { c.out << "ok       " << text << '\n'; };
    auto warn = [&](const QString& text, const QString& fix) {
        ++problems;
        c.out << "PROBLEM  " << text << "\n         fix: " << fix << '\n';
    };
    auto note = [&](const QString& text) { c.out << "note     " << text << '\n'; };

    // Addresses and broadcast.
    const QStringList selected = SelectedAddresses(c.interfaces);
    if (selected.isEmpty()) {
        warn(QStringLiteral("no local IPv4 address is up: a search reaches nobody"),
             QStringLiteral(
                 "connect the computer to the devices' network and give it an IPv4 address"));
    }
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry& e : i.addressEntries()) {
            const QString ip = e.ip().toString();
            if (!selected.contains(ip)) continue;
            if (i.flags().testFlag(QNetworkInterface::CanBroadcast) && !e.broadcast().isNull()) {
                ok(QStringLiteral("%1 on %2 can broadcast (%3/%4)")
                       .arg(ip, i.name(), e.broadcast().toString())
                       .arg(e.prefixLength()));
            } else {
                warn(QStringLiteral(
                         "%1 on %2 cannot broadcast: devices behind it are not found by a search")
                         .arg(ip, i.name()),
                     QStringLiteral("use an interface that can broadcast, or search one device "
                                    "with 'search --ip ADDR'"));
            }
        }
    }

    // Port 2057: bound here, sending nothing, released at once.
    try {
        UdpSocket probe;
        probe.bind(QStringLiteral("0.0.0.0"), kDevicePort);
        probe.close();
        ok(QStringLiteral("port %1 is free").arg(kDevicePort));
    } catch (const Error& e) {
        portHeld = true;
        const QStringList holders = PortHolders(kDevicePort);
        warn(QStringLiteral("port %1 is in use by %2 (%3)")
                 .arg(kDevicePort)
                 .arg(holders.isEmpty()
                          ? QStringLiteral("another program (perhaps Velomar's window or another "
                                           "velomar-cli; run as root to see which)")
                          : holders.join(QStringLiteral(", ")),
                      e.text()),
             QStringLiteral(
                 "close that program; the window and velomar-cli use the port one at a time"));
    }

    // Host firewalls, read without changing anything.
    const QString ufw = ReadText(QStringLiteral("/etc/ufw/ufw.conf"));
    if (ufw.contains(QLatin1String("ENABLED=yes"))) {
        warn(QStringLiteral("ufw is enabled and may drop the devices' replies to UDP port %1")
                 .arg(kDevicePort),
             QStringLiteral("sudo ufw allow %1/udp").arg(kDevicePort));
    }
    if (ProcessRunning(QStringLiteral("firewalld"))) {
        warn(QStringLiteral("firewalld is running and may drop the devices' replies to UDP port %1")
                 .arg(kDevicePort),
             QStringLiteral(
                 "sudo firewall-cmd --add-port=%1/udp --permanent && sudo firewall-cmd --reload")
                 .arg(kDevicePort));
    }
    const QString nft =
        OutputOf(QStringLiteral("nft"), {QStringLiteral("list"), QStringLiteral("ruleset")});
    if (nft.isEmpty()) {
        note(QStringLiteral("nftables rules could not be read (not installed, or not root)"));
    } else if (nft.contains(QLatin1String("hook input")) &&
               (nft.contains(QLatin1String("policy drop")) ||
                nft.contains(QLatin1String(" drop"))) &&
               !nft.contains(QStringLiteral("dport %1").arg(kDevicePort))) {
        warn(
            QStringLiteral(
                "nftables has input rules that drop traffic and none that names UDP port %1")
                .arg(kDevicePort),
            QStringLiteral("add a rule such as: nft add rule inet filter input udp dport %1 accept")
                .arg(kDevicePort));
    } else {
        ok(QStringLiteral("nftables does not appear to drop replies to port %1").arg(kDevicePort));
    }

    // The receive buffer: a large fleet answers in one burst.
    const QString rmem = ReadText(QStringLiteral("/proc/sys/net/core/rmem_max")).trimmed();
    bool isNumber = false;
    const qint64 rmemMax = rmem.toLongLong(&isNumber);
    constexpr qint64 kEnough = 4 * 1024 * 1024;
    if (!isNumber) {
        note(QStringLiteral("net.core.rmem_max could not be read"));
    } else if (rmemMax < kEnough) {
        warn(
            QStringLiteral(
                "net.core.rmem_max is %1 bytes: replies of a fleet of thousands may be lost")
                .arg(rmemMax),
            QStringLiteral("sudo sysctl -w net.core.rmem_max=%1 (and in /etc/sysctl.d/ to keep it)")
                .arg(ListeningEndpoint::kDefaultReceiveBuffer));
    } else {
        ok(QStringLiteral("net.core.rmem_max is %1 bytes").arg(rmemMax));
    }
    c.out.flush();
    if (portHeld) return kPortUnavailable;
    return problems > 0 ? kDeviceFailed : kOk;
}

}  // namespace

const Command& DoctorCommand() {
    static const Command command{
        "doctor",
        {},
        "Check this computer: addresses, port 2057, firewall, receive buffer.",
        "Sends nothing. Each finding comes with its fix; exit 3 when port 2057 is held.",
        {},
        Completion::None,
        &Doctor};
    return command;
}

}  // namespace velomar::cli
