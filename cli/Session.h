#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <mutex>
#include <vector>

#include "cli/Command.h"
#include "core/ConfigSession.h"
#include "core/DeviceLink.h"
#include "core/Discovery.h"
#include "core/Retries.h"

// What the commands share: the link to the devices with its repeats, and the readers of
// the option values every command takes alike.
namespace velomar::cli {

struct Arguments;
struct Context;

// The link of one run, on the addresses --interface chose, and how its safe requests are
// repeated (said on stderr, also from the threads of a fleet command).
class Session {
  public:
    explicit Session(Context& c);
    // With the command's --ip (named `targetsOption`), --unicast and --rate: the searches
    // ask those addresses, and with either of the first two every later request goes to the
    // address its device answered from. Bad values are a UsageError before anything is sent.
    Session(Context& c, const Arguments& a, const QString& targetsOption = QStringLiteral("--ip"));
    DeviceLink& link() { return link_; }
    const Retries& retries() const { return retries_; }

    // The devices with these MACs (ending as soon as all answered).
    std::vector<FoundDevice> find(const std::vector<QByteArray>& macs,
                                  std::chrono::milliseconds timeout);
    // Every device that answers (at the --ip addresses when given).
    std::vector<FoundDevice> findAll(std::chrono::milliseconds timeout);
    // In unicast mode a device not found yet is searched for first, to learn its address.
    ConfigSession config(const QByteArray& mac);

  private:
    void open();
    DiscoveryOptions searchOptions(std::chrono::milliseconds timeout) const;

    Context& context_;
    QStringList targets_;
    int rate_ = 200;
    DeviceLink link_;
    Retries retries_;
    std::mutex noticeMutex_;  // sessions with several devices tell their repeats from threads
};

// --ip, --unicast and --rate for a command that talks to devices; a command whose --ip means
// something else names the list otherwise.
QList<Option> UnicastOptions(const QString& targetsOption = QStringLiteral("--ip"));
// --ip and --rate alone.
QList<Option> SearchTargetOptions();
// --ip as search takes it: addresses and ranges, else UsageError.
QStringList Targets(const Arguments& a, const QString& option);
// --rate: requests a second, 1-100000, 200 by default.
int Rate(const Arguments& a);

// --timeout and its kind: seconds 0-3600, else UsageError.
std::chrono::milliseconds Seconds(const Arguments& a, const QString& option, double fallback);
// --format: one of `allowed`, the first by default.
QString Format(const Arguments& a, const QStringList& allowed);
// A MAC as the user may write it, else UsageError.
QByteArray Mac(const QString& text);

}  // namespace velomar::cli
