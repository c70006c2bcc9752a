#pragma once

#include <QByteArray>

#include "app/DeviceTable.h"
#include "core/NetworkSet.h"

namespace velomar {

class TFormDetect;

// The network set frame 'S' for one row of the device table.
inline QByteArray BuildNetworkSetFrame(const DeviceEntry& row) {
    return BuildNetworkSetFrame(
        NetworkSetTexts{row.mac, row.ip, row.mask, row.gateway, row.pelorin, row.name});
}

// "Apply" in the main window: when every address of every row is valid, each ticked row's
// 'S' frame goes out through every interface endpoint, the row's box is cleared and its
// address becomes the one the device is known to use; a message box tells the result.
void ApplyTickedRows(TFormDetect& window);

}  // namespace velomar
