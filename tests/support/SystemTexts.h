#pragma once

#include <QDir>
#include <QString>
#include <ostream>

// What the system itself says, where Windows and Linux word it differently: the tests expect
// each system's own text rather than skipping there.
namespace velomar::test {

#ifdef _WIN32
inline const QString kNoSuchFile = QStringLiteral("File not found.");
// Winsock's number for a port another socket holds exclusively (WSAEADDRINUSE).
inline const QString kAddressInUse = QStringLiteral("Socket Error # 10048");
#else
inline const QString kNoSuchFile = QStringLiteral("No such file or directory");
inline const QString kAddressInUse = QStringLiteral("Address already in use");
#endif

// A path as the program shows it to the user: with the system's separators.
inline QString NativePath(const QString& path) {
    return QDir::toNativeSeparators(path);
}

}  // namespace velomar::test

// Failures print QStrings as text, not as arrays of 2-byte objects.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
