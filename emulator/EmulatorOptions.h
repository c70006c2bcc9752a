#pragma once

#include <QByteArray>
#include <QStringList>
#include <memory>

#include "emulator/EmulatedFleet.h"
#include "emulator/EmulatorServer.h"

namespace velomar::emu {

// What tervane-emu's command line asks for: the fleet to serve (its devices, faults and
// loaded configuration files) and how the server listens, paces and logs.
struct EmulatorOptions {
    std::unique_ptr<EmulatedFleet> fleet;
    EmulatorServer::Options server;
    // When the command line cannot be served (no fleet): the reason, without the
    // program's name, and the exit status: 2 for a number out of its range, 1 otherwise.
    QByteArray error;
    int exitCode = 0;
};

// Reads the arguments (the program's name first) in the order the checks have always
// run, so that of two mistakes the same one is reported. --help, an unknown option and a
// missing value end the program here, with Qt's own messages.
EmulatorOptions ParseEmulatorOptions(const QStringList& arguments);

}  // namespace velomar::emu
