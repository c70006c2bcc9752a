#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <vector>

#include "core/DeviceLink.h"
#include "core/Retries.h"
#include "protocol/Bytes.h"
#include "protocol/DiscoveryReply.h"

namespace velomar {

// One device that answered a search: its reply as received and as the table shows it, and
// the local address it answered through.
struct FoundDevice {
    DiscoveryReply reply;
    DeviceTexts texts;     // model and version still carry what follows their first NUL
    QString localAddress;  // empty when it cannot be told
    QString sender;        // the address the reply came from
};

// Whether a datagram is a discovery reply that can be read: its letter, and long enough for
// every field. The window's table and the search below take the same replies.
bool IsDiscoveryReply(const QByteArray& datagram);

struct DiscoveryOptions {
    // Empty: the request goes through every local address; else only to this address.
    QString address;
    // Several addresses (a range behind a router): one request to each, `rate` a second,
    // the timeout counted from the last. Takes the place of `address`.
    QStringList targets;
    int rate = 200;
    std::chrono::milliseconds timeout{3000};
    // Ends the search once this many devices answered (0: wait the whole timeout).
    int expect = 0;
    // Ends the search once every one of these MACs (6 raw bytes each) answered.
    std::vector<QByteArray> untilMacs;
    // Called for each new device as it answers.
    std::function<void(const FoundDevice&)> onFound;
    // A search for devices by MAC (untilMacs) or at one address that has not found them
    // when its share of the timeout has passed sends its request again; a plain search
    // makes one request and waits the whole timeout.
    Retries retries;
};

// A search: one request (through every local address together, or to each address asked),
// one wait (repeated as `retries` says), replies decoded, one entry per MAC in arrival order.
// Every device found is put in the link's address book. On a link in unicast mode a search
// for MACs whose addresses are all known asks those addresses only.
class DiscoverySession {
  public:
    explicit DiscoverySession(DeviceLink& link) : link_(link) {}
    std::vector<FoundDevice> run(const DiscoveryOptions& options);
    // From the request to the last new device of the latest run (zero when none answered).
    std::chrono::microseconds lastAnswerAfter() const { return lastAnswerAfter_; }

  private:
    DeviceLink& link_;
    std::chrono::microseconds lastAnswerAfter_{0};
};

}  // namespace velomar
