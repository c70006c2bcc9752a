#include "app/BulkApply.h"

#include "app/UnitDetect.h"
#include "platform/Platform.h"
#include "protocol/Address.h"
#include "protocol/Frame.h"

namespace velomar {

namespace {
bool EveryAddressValid(const DeviceTableModel& devices) {
    for (int row = 0; row < devices.count(); ++row) {
        const DeviceEntry& e = devices.entry(row);
        for (const QString* address : {&e.ip, &e.mask, &e.gateway, &e.pelorin}) {
            if (!IsValidIp(*address)) return false;
        }
    }
    return true;
}
}  // namespace

void ApplyTickedRows(TFormDetect& window) {
    DeviceTableModel& devices = window.devices();
    if (devices.count() == 0) {
        platform().showMessage(
            &window, QStringLiteral("There is no Tervane.\r\nPlease search the Tervane."));
        return;
    }
    // What the user is typing counts: the cell takes it before anything is checked.
    window.RGrid->commitPendingEdit();
    if (!EveryAddressValid(devices)) {
        platform().showMessage(&window, QStringLiteral("Please check the IP''s setting."));
        window.RGrid->setFocus();
        return;
    }
    int sent = 0;
    for (int row = 0; row < devices.count(); ++row) {
        if (!devices.entry(row).apply) continue;
        ++sent;
        const QByteArray frame = BuildNetworkSetFrame(devices.entry(row));
        window.udpServer().setPort(window.listenPort());
        window.OpenUDPServer();
        BroadcastFrame(window.interfaceEndpoints(), frame, kDevicePort);
        devices.setApply(row, false);
        devices.setCellText(row, DeviceTableModel::ColKnownIp, devices.entry(row).ip);
        window.RGrid->commitPendingEdit();
    }
    window.takeOverRowChanges();
    if (sent > 0) {
        platform().showMessage(
            &window, QStringLiteral("%1 Device(s) ' configuration is Successful").arg(sent));
    } else {
        platform().showMessage(&window, QStringLiteral("No device is applied."));
    }
}

}  // namespace velomar
