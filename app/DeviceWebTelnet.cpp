#include "app/DeviceWebTelnet.h"

#include "app/DeviceTable.h"
#include "platform/DeviceAccess.h"
#include "platform/Platform.h"

namespace velomar {

void OpenDeviceWebOrTelnet(QWidget* parent, DeviceEntry row, int tag) {
    Platform& system = platform();
    const ProgramFinder find = [&system](const QString& name) { return system.findProgram(name); };
    const ProgramStart arp = ArpEntryStart(ThisHostSystem(), row.ip, row.mac, find);
    system.startProgram(arp.program, arp.arguments, arp.hidden);
    // The ARP tool gets its time; the window waits with it, as it always did.
    system.sleepMs(2000);
    if (row.ip != row.knownIp) {
        system.showMessage(
            parent,
            QStringLiteral("You do not apply the new ip. so, This time use the previous IP"));
    }
    if (tag == 11) {
        system.openUrl(WebUrl(row.knownIp));
    } else if (tag == 12) {
        const auto telnet =
            TelnetStart(ThisHostSystem(), row.knownIp, find, qEnvironmentVariable("TERMINAL"));
        if (telnet) system.startProgram(telnet->program, telnet->arguments, telnet->hidden);
    }
}

}  // namespace velomar
