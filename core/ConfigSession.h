#pragma once

#include <QByteArray>
#include <QStringList>
#include <chrono>

#include "core/DeviceConfig.h"
#include "core/DeviceLink.h"
#include "core/Retries.h"

namespace velomar {

// How a write of a configuration ended. Nothing is reported applied unless the device
// answered the apply and then read back as written.
enum class ApplyOutcome {
    Applied,             // 'a' came and the records read back as written
    NotApplied,          // written, but no 'a' came: the device may hold the old settings
    ReadsBackOtherwise,  // 'a' came, but the device reads back otherwise (a write was lost)
    NotReadBack          // 'a' came, but the records could not be read again
};

struct ApplyResult {
    ApplyOutcome outcome = ApplyOutcome::NotApplied;
    QStringList differences;  // ReadsBackOtherwise: "key: written -> read back"
    QString message;          // NotReadBack: why
};

// The configuration exchange with one device, addressed by MAC whatever its IP (every
// request is broadcast): the three record requests, replies taken only when they carry
// the device's MAC, the records written back and applied.
class ConfigSession {
  public:
    ConfigSession(DeviceLink& link, QByteArray mac6, Retries retries = {})
        : link_(link), mac_(std::move(mac6)), retries_(std::move(retries)) {}

    // Sends 'N', 'O', 'U' and waits for the network record and both records of every port.
    // A request whose records have not all come when its share of `timeout` has passed is
    // sent again, as `retries` says (reading changes nothing on the device). Throws Error
    // saying what did not come.
    DeviceConfig read(std::chrono::milliseconds timeout);
    // Sends the chosen records (the network record first, then the operation records, then
    // the serial records, port by port), then 'A', once: neither is ever repeated. Once the
    // device answered 'a' it is read again and compared with `config`.
    ApplyResult writeAndApply(const DeviceConfig& config, bool network, bool operation, bool serial,
                              std::chrono::milliseconds timeout);

  private:
    DeviceLink& link_;
    QByteArray mac_;
    Retries retries_;
};

}  // namespace velomar
