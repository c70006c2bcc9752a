#include "platform/DeviceAccess.h"

#include <QFileInfo>

namespace velomar {

HostSystem ThisHostSystem() {
#ifdef Q_OS_WIN
    return HostSystem::Windows;
#else
    return HostSystem::Unix;
#endif
}

QString ProgramStart::commandLine() const {
    return (QStringList{program} + arguments).join(u' ');
}

ProgramStart ArpEntryStart(HostSystem system, const QString& ip, const QString& macText,
                           const ProgramFinder& find) {
    if (system == HostSystem::Windows)
        return ProgramStart{QStringLiteral("arp"), {QStringLiteral("-s"), ip, macText}, true};
    QString mac = macText;
    mac.replace(u'-', u':');
    const QString found = find ? find(QStringLiteral("arp")) : QString();
    return ProgramStart{
        found.isEmpty() ? QStringLiteral("arp") : found, {QStringLiteral("-s"), ip, mac}, true};
}

namespace {

// How each terminal is told to run a command given as separate arguments.
QStringList runOption(const QString& terminal) {
    const QString name = QFileInfo(terminal).fileName();
    if (name == QLatin1String("gnome-terminal") || name == QLatin1String("kgx") ||
        name == QLatin1String("tilix")) {
        return {QStringLiteral("--")};
    }
    if (name == QLatin1String("xfce4-terminal") || name == QLatin1String("mate-terminal"))
        return {QStringLiteral("-x")};
    // The common convention, which x-terminal-emulator must follow on Debian systems.
    return {QStringLiteral("-e")};
}

}  // namespace

std::optional<ProgramStart> TelnetStart(HostSystem system, const QString& ip,
                                        const ProgramFinder& find,
                                        const QString& preferredTerminal) {
    if (system == HostSystem::Windows)
        return ProgramStart{QStringLiteral("telnet.exe"), {ip}, false};
    if (!find) return std::nullopt;
    QStringList candidates;
    if (!preferredTerminal.isEmpty()) candidates << preferredTerminal;
    candidates << QStringLiteral("x-terminal-emulator") << QStringLiteral("gnome-terminal")
               << QStringLiteral("konsole") << QStringLiteral("xfce4-terminal")
               << QStringLiteral("mate-terminal") << QStringLiteral("kgx")
               << QStringLiteral("tilix") << QStringLiteral("xterm");
    for (const QString& candidate : candidates) {
        const QString path = find(candidate);
        if (path.isEmpty()) continue;
        const QString telnet = find(QStringLiteral("telnet"));
        return ProgramStart{
            path,
            runOption(candidate) +
                QStringList{telnet.isEmpty() ? QStringLiteral("telnet") : telnet, ip},
            false};
    }
    return std::nullopt;
}

QString WebUrl(const QString& ip) {
    return QStringLiteral("http://") + ip;
}

}  // namespace velomar
