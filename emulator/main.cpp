// tervane-emu: serves a fleet of emulated Tervane device servers on one UDP port, for
// tests, benchmarks and the demo. It only ever runs inside a lab network (see --help).
#include <QCoreApplication>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>

#include "emulator/EmulatorOptions.h"
#include "emulator/EmulatorServer.h"
#include "lab/NetworkGuard.h"

using namespace velomar::emu;

namespace {

std::atomic<bool> stopRequested{false};

void onSignal(int) {
    stopRequested = true;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tervane-emu"));

    const EmulatorOptions options = ParseEmulatorOptions(QCoreApplication::arguments());
    if (!options.fleet) {
        std::fprintf(stderr, "tervane-emu: %s\n", options.error.constData());
        return options.exitCode;
    }
    EmulatedFleet& fleet = *options.fleet;
    const EmulatorServer::Options& o = options.server;

    try {
        // Never on a real network: every address here must be a lab address.
        const QString refusal = LabNetworkRefusal(o.floodTo);
        if (!refusal.isEmpty()) {
            std::fprintf(stderr, "tervane-emu: %s\n", qPrintable(refusal));
            return 3;
        }

        EmulatorServer server(fleet, o);
        server.bind();
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
        std::printf("tervane-emu: %d devices listening on 0.0.0.0:%u\n", fleet.size(), o.port);
        std::fflush(stdout);
        server.run(stopRequested);
        std::printf("tervane-emu: stopped after %lld datagrams received, %lld sent\n",
                    server.received(), server.sent());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tervane-emu: %s\n", e.what());
    }
    return 1;
}
