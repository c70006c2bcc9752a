#pragma once

#include <QByteArray>
#include <chrono>

#include "core/DeviceConfig.h"
#include "core/DeviceLink.h"

namespace velomar {

// The configuration exchange with one device, addressed by MAC whatever its IP (every
// request is broadcast): the three record requests, replies taken only when they carry
// the device's MAC, the records written back and applied.
class ConfigSession {
  public:
    ConfigSession(DeviceLink& link, QByteArray mac6) : link_(link), mac_(std::move(mac6)) {}

    // Sends 'N', 'O', 'U' and waits for the network record and both records of every port.
    // Throws Error saying what did not come within `timeout`.
    DeviceConfig read(std::chrono::milliseconds timeout);
    // Sends the chosen records (the network record first, then the operation records, then
    // the serial records, port by port), then 'A'; true once the device answered 'a'.
    bool writeAndApply(const DeviceConfig& config, bool network, bool operation, bool serial,
                       std::chrono::milliseconds timeout);

  private:
    DeviceLink& link_;
    QByteArray mac_;
};

}  // namespace velomar
