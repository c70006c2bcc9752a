#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "cli/Command.h"
#include "core/DeviceConfig.h"
#include "core/Discovery.h"
#include "core/FleetFiles.h"

// What the fleet commands (backup, drift, restore, firmware) share: many devices at a time.
namespace velomar::cli {

struct Arguments;
class Session;

// The options backup, drift and restore share: --parallel (with its help), --timeout,
// --format and the unicast options.
QList<Option> FleetOptions(const QString& parallelHelp);

// --parallel N: 1..64, `fallback` when not given.
int Parallel(const Arguments& a, int fallback);

// Runs job(i) for every i in [0, count) on up to `parallel` threads at once; returns when
// all have ended. A job must not write to the terminal: the caller prints afterwards.
void RunInParallel(int count, int parallel, const std::function<void(int)>& job);

// The devices to work on: those named (each searched for by MAC), or every device that
// answers a search; sorted by MAC.
std::vector<FoundDevice> FindDevices(Session& s, const std::vector<QByteArray>& named,
                                     std::chrono::milliseconds timeout);

// One device's configuration as read, or why it could not be.
struct ConfigRead {
    std::optional<DeviceConfig> config;
    QString error;
};
std::vector<ConfigRead> ReadConfigs(Session& s, const std::vector<QByteArray>& macs,
                                    std::chrono::milliseconds timeout, int parallel);

// A backup folder read whole; UsageError (nothing sent) when it cannot be read or a file in
// it does not decode, as config import refuses a bad file before anything is sent.
Backup CheckedBackup(const QString& dir);

// The MACs among the plain arguments from `first` on.
std::vector<QByteArray> MacArguments(const Arguments& a, int first);

}  // namespace velomar::cli
