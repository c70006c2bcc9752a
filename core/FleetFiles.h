#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <map>
#include <vector>

#include "core/DeviceConfig.h"

// The files the command line keeps for a fleet: reports read back (set --report,
// firmware --report) and backup folders. Both come from outside, as files a user may have
// edited, so every reader here checks what it takes.
namespace velomar {

// One device's result in a report: its MAC (6 bytes) and the result as written
// ("verified", "succeeded", "failed", ...).
struct ReportedResult {
    QByteArray mac;
    QString result;
};

// A report the command line wrote: the JSON envelope (devices[].mac and .result) or CSV
// with "mac" and "result" columns. Throws Error "FILE: problem" for anything else, naming
// the first device entry that has no MAC or result.
std::vector<ReportedResult> ReadResultReport(const QByteArray& data, const QString& fileName);

// A backup folder: DIR/<MAC>.vlm per device in the window's configuration file format
// ("00-1A-2B-3C-4D-5E.vlm"), and DIR/inventory.json, the search's JSON envelope.
QString BackupFileName(const QByteArray& mac6);
constexpr const char* kInventoryFile = "inventory.json";

struct BackedUpDevice {
    DeviceConfig config;
    QJsonObject inventory;  // the device's object of inventory.json; empty when it has none
};

struct Backup {
    std::map<QByteArray, BackedUpDevice> devices;  // by MAC
    QStringList problems;                          // files that were not read, each "FILE: problem"
};

// The folder's files by name (only *.vlm named by a MAC and inventory.json are read; other
// files are left alone, so the folder can be a git work tree).
Backup ReadBackup(const QMap<QString, QByteArray>& files);
// Reads the folder from disk; Error when it is not a readable folder.
Backup ReadBackupFolder(const QString& dir);

// Writes `bytes` to `path` whole (a temporary file renamed over it), and only when the file
// does not hold them already, so that an unchanged device leaves no trace in a git
// history. Returns whether it wrote; Error when it could not.
bool WriteIfChanged(const QString& path, const QByteArray& bytes);

}  // namespace velomar
