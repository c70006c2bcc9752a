#pragma once

#include "app/DeviceTableModel.h"

class QWidget;

namespace velomar {

// "Web" (tag 11) and "Telnet" (tag 12) for one row of the device table: a static ARP entry
// ties the address as shown (perhaps edited) to the device's MAC, the ARP tool gets its
// two seconds, then the browser or a Telnet client opens the address the device is known
// to use; a row whose address was edited but not applied says so first.
// The row is a copy: the table may change while the message box or the wait run.
void OpenDeviceWebOrTelnet(QWidget* parent, DeviceEntry row, int tag);

}  // namespace velomar
