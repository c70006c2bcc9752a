#pragma once

#include <QByteArray>

#include "app/DeviceTable.h"
#include "core/NetworkSet.h"

namespace velomar {

// The network set frame 'S' for one row of the device table.
inline QByteArray BuildNetworkSetFrame(const DeviceEntry& row) {
    return BuildNetworkSetFrame(
        NetworkSetTexts{row.mac, row.ip, row.mask, row.gateway, row.pelorin, row.name});
}

}  // namespace velomar
