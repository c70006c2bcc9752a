#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "emulator/EmulatedDevice.h"

// Fleet files: the devices an emulator serves, as JSON. See emulator/README.md for the
// format; emulator/fleets/demo.json is a full example.
namespace velomar::emu {

// Reads a fleet from JSON text. Throws std::runtime_error naming the device and field
// that is wrong.
std::vector<DeviceSpec> ParseFleet(const QByteArray& json);
std::vector<DeviceSpec> LoadFleetFile(const QString& path);

// n devices with distinct MACs (prefix 00-1A-2B, then the 1-based number in 3 bytes),
// names "Tervane-0001"..., models and port counts cycling through 1, 2, 4, 8 and 16 ports
// unless `ports` >= 0 fixes the count.
std::vector<DeviceSpec> GenerateFleet(int n, int ports = -1);

// A typed MAC (protocol/Mac.h: "00-1A-2B-3C-4D-5E", with ':' or bare digits, not mixed);
// throws std::runtime_error.
QByteArray FleetMac(const QString& text);

}  // namespace velomar::emu
