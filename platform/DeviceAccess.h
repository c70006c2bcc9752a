#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// How the Web and Telnet buttons reach the operating system's own tools: the static ARP
// entry, the Telnet client and the browser. The commands are composed here, per system, as
// argument lists: the texts come from table cells the user may have typed into, so they
// never pass through a shell.
namespace velomar {

enum class HostSystem { Windows, Unix };
HostSystem ThisHostSystem();

struct ProgramStart {
    QString program;
    QStringList arguments;
    bool hidden = false;
    // The command line as the Windows tools take it: the parts joined by single blanks.
    QString commandLine() const;
    bool operator==(const ProgramStart&) const = default;
};

// Finds a program by name: its path, or an empty string when it is not installed.
using ProgramFinder = std::function<QString(const QString& name)>;

// "arp -s IP MAC", hidden. Windows takes the MAC text as the table shows it; the Unix arp
// tool refuses hyphens, so there the pairs are joined by colons.
ProgramStart ArpEntryStart(HostSystem system, const QString& ip, const QString& macText,
                           const ProgramFinder& find);

// The Telnet client connected to ip, in a window of its own. Windows: "telnet.exe IP".
// Unix: telnet inside a terminal: the one named by preferredTerminal (the TERMINAL
// variable) if installed, else the desktop's default terminal, else a common one. Nothing
// when no terminal is installed.
std::optional<ProgramStart> TelnetStart(HostSystem system, const QString& ip,
                                        const ProgramFinder& find,
                                        const QString& preferredTerminal = {});

// The device's web page: "http://" directly followed by the address.
QString WebUrl(const QString& ip);

}  // namespace velomar
