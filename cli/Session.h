#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <mutex>
#include <vector>

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
    DeviceLink& link() { return link_; }
    const Retries& retries() const { return retries_; }

    // The devices with these MACs (ending as soon as all answered).
    std::vector<FoundDevice> find(const std::vector<QByteArray>& macs,
                                  std::chrono::milliseconds timeout);
    ConfigSession config(const QByteArray& mac) { return ConfigSession(link_, mac, retries_); }

  private:
    DeviceLink link_;
    Retries retries_;
    std::mutex noticeMutex_;  // sessions with several devices tell their repeats from threads
};

// --timeout and its kind: seconds 0-3600, else UsageError.
std::chrono::milliseconds Seconds(const Arguments& a, const QString& option, double fallback);
// --format: one of `allowed`, the first by default.
QString Format(const Arguments& a, const QStringList& allowed);
// A MAC as the user may write it, else UsageError.
QByteArray Mac(const QString& text);

}  // namespace velomar::cli
