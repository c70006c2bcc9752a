#include "emulator/EmulatorOptions.h"

#include <QCommandLineParser>
#include <QFile>
#include <exception>
#include <stdexcept>
#include <vector>

#include "emulator/FleetFile.h"
#include "protocol/Errors.h"

namespace velomar::emu {

namespace {

const char* kDescription =
    "Emulates N Tervane device servers behind one UDP port (2057 unless --port).\n"
    "Every datagram that reaches the port is handed to the fleet; the devices' replies go\n"
    "to the sender's address at --reply-port. Understood: 'g' discovery (one 85-byte reply\n"
    "per device), 'S' network set (57 bytes), 'N'/'O'/'U' read requests (9 bytes: one 'n',\n"
    "and one 'o' and 'u' per serial port) and writes (81/41/16 bytes, kept until 'A'), 'A'\n"
    "apply (answered by 'a'), 'F' firmware frames (answered by 'f'; images are checked and\n"
    "reassembled).\n"
    "\n"
    "Devices come from --fleet FILE (JSON; format in emulator/README.md, example in\n"
    "emulator/fleets/demo.json) or --devices N.\n"
    "\n"
    "Safety: it refuses to start in a network namespace that holds any IPv4 address outside\n"
    "198.18.0.0/15 (loopback aside), so it never answers on a real network. Start it inside\n"
    "a lab: scripts/netlab up NAME; scripts/netlab exec NAME dev tervane-emu ...\n"
    "\n"
    "Prints one line when it listens (\"tervane-emu: N devices listening on ...\") and one\n"
    "per firmware image. Stops on SIGINT/SIGTERM or after --lifetime seconds.";

// A number option outside its range; ends the reading with status 2.
struct OutOfRange {
    QByteArray message;
};

}  // namespace

EmulatorOptions ParseEmulatorOptions(const QStringList& arguments) {
    QCommandLineParser p;
    p.setApplicationDescription(QString::fromLatin1(kDescription));
    p.addHelpOption();
    const QCommandLineOption fleetOpt("fleet", "Devices from a JSON fleet file.", "file");
    const QCommandLineOption devicesOpt("devices",
                                        "Generate N devices (default 1 without --fleet).", "n");
    const QCommandLineOption portsOpt("ports",
                                      "Serial ports of each generated device, 0..255 (default: "
                                      "1, 2, 4, 8, 16 in turn).",
                                      "n");
    const QCommandLineOption portOpt("port", "UDP port to listen on (default 2057).", "port",
                                     "2057");
    const QCommandLineOption replyPortOpt("reply-port", "Port replies are sent to (default 2057).",
                                          "port", "2057");
    const QCommandLineOption delayOpt("delay", "Milliseconds before the first reply to a datagram.",
                                      "ms", "0");
    const QCommandLineOption jitterOpt("jitter", "Random extra 0..ms per reply.", "ms", "0");
    const QCommandLineOption intervalOpt("interval",
                                         "Milliseconds between the replies to one datagram "
                                         "(default 1).",
                                         "ms", "1");
    const QCommandLineOption burstOpt("burst",
                                      "Answer as fast as possible: no delay, jitter or interval.");
    const QCommandLineOption duplicateOpt("duplicate", "Send every reply twice.");
    const QCommandLineOption logOpt(
        "log",
        "Append one JSON line per datagram received or sent: "
        "{\"t\":ms,\"dir\":\"in\"|\"out\",\"peer\":\"ip:port\",\"letter\":\"g\","
        "\"len\":n,\"hex\":\"...\"}.",
        "file");
    const QCommandLineOption firmwareDirOpt("firmware-dir",
                                            "Store each completed firmware image as "
                                            "DIR/<MAC>.bin (12 hex digits).",
                                            "dir");
    const QCommandLineOption configDirOpt("config-dir",
                                          "Keep each device's configuration file "
                                          "(DIR/<MAC>.vlm) up to date: written at start and after "
                                          "every 'S' and 'A'.",
                                          "dir");
    const QCommandLineOption loadConfigOpt("load-config",
                                           "Load a configuration file into a device "
                                           "before start (repeatable).",
                                           "MAC=file");
    const QCommandLineOption noAnswerOpt("no-answer",
                                         "Fault: hear and act on everything, never answer.");
    const QCommandLineOption muteOpt("mute", "Fault: this device never answers (repeatable).",
                                     "MAC");
    const QCommandLineOption ignoreSetOpt(
        "ignore-set",
        "Fault: this device keeps its settings when told to change them by 'S' or by "
        "records written and applied, which it still answers with 'a' (repeatable).",
        "MAC");
    const QCommandLineOption replyMacOpt("reply-mac",
                                         "Fault: every reply except discovery carries "
                                         "this MAC instead of the device's.",
                                         "MAC");
    const QCommandLineOption refuseBlockOpt("refuse-block",
                                            "Fault: refuse firmware block K (status 1).", "K");
    const QCommandLineOption silentBlockOpt("silent-at-block",
                                            "Fault: no answer to firmware block K, "
                                            "any later block or the final frame.",
                                            "K");
    const QCommandLineOption finalDelayOpt("final-delay",
                                           "Fault: answer the firmware final frame "
                                           "after this many milliseconds.",
                                           "ms", "0");
    const QCommandLineOption floodOpt(
        "flood",
        "Fault: send N random datagrams (random length "
        "0..--flood-max-size, half of them framed as STX letter ... ETX) to the "
        "first peer heard, or to --flood-to.",
        "n", "0");
    const QCommandLineOption floodNoRepliesOpt(
        "flood-without-replies",
        "Fault: framed 'g' flood datagrams stay shorter than a discovery reply, so that "
        "none of them is a well-formed reply of a device that does not exist.");
    const QCommandLineOption floodToOpt("flood-to",
                                        "Flood target address (198.18.0.0/15 or loopback); "
                                        "the flood starts at once.",
                                        "ip");
    const QCommandLineOption floodMaxOpt("flood-max-size", "Largest flood datagram (default 9000).",
                                         "bytes", "9000");
    const QCommandLineOption seedOpt("seed", "Random seed for jitter, flood and loss (default 1).",
                                     "n", "1");
    const QCommandLineOption lossOpt("loss",
                                     "Fault: drop this share (0..1) of the datagrams received "
                                     "and of the replies sent, chosen at random by --seed. A "
                                     "datagram lost on the way in is logged with \"lost\":true "
                                     "and not acted on; a reply lost is logged so and not sent.",
                                     "p", "0");
    const QCommandLineOption dropReplyOpt("drop-reply",
                                          "Fault: never send a reply with this letter, such as "
                                          "a for the apply's answer (repeatable).",
                                          "letter");
    const QCommandLineOption reorderOpt("reorder",
                                        "Fault: the replies to one datagram leave in a shuffled "
                                        "order.");
    const QCommandLineOption lifetimeOpt("lifetime", "Stop after this many seconds (default 3600).",
                                         "s", "3600");
    const QCommandLineOption rcvbufOpt("receive-buffer",
                                       "Socket receive buffer to ask for (bytes).", "bytes",
                                       QString::number(4 * 1024 * 1024));
    for (const auto* o :
         {&fleetOpt,    &devicesOpt,     &portsOpt,          &portOpt,        &replyPortOpt,
          &delayOpt,    &jitterOpt,      &intervalOpt,       &burstOpt,       &duplicateOpt,
          &logOpt,      &firmwareDirOpt, &configDirOpt,      &loadConfigOpt,  &noAnswerOpt,
          &muteOpt,     &replyMacOpt,    &refuseBlockOpt,    &silentBlockOpt, &finalDelayOpt,
          &floodOpt,    &floodToOpt,     &floodNoRepliesOpt, &floodMaxOpt,    &seedOpt,
          &lifetimeOpt, &rcvbufOpt,      &ignoreSetOpt,      &lossOpt,        &reorderOpt,
          &dropReplyOpt}) {
        p.addOption(*o);
    }
    p.process(arguments);

    auto number = [&](const QCommandLineOption& o, long long min, long long max) -> long long {
        bool ok = false;
        const long long v = p.value(o).toLongLong(&ok);
        if (!ok || v < min || v > max) {
            throw OutOfRange{QStringLiteral("--%1 must be a number %2..%3")
                                 .arg(o.names().first())
                                 .arg(min)
                                 .arg(max)
                                 .toLocal8Bit()};
        }
        return v;
    };

    EmulatorOptions result;
    try {
        std::vector<DeviceSpec> specs;
        if (p.isSet(fleetOpt)) specs = LoadFleetFile(p.value(fleetOpt));
        if (p.isSet(devicesOpt) || !p.isSet(fleetOpt)) {
            const long long n = p.isSet(devicesOpt) ? number(devicesOpt, 0, 100000) : 1;
            const int ports = p.isSet(portsOpt) ? static_cast<int>(number(portsOpt, 0, 255)) : -1;
            const auto generated = GenerateFleet(static_cast<int>(n), ports);
            specs.insert(specs.end(), generated.begin(), generated.end());
        }

        FaultOptions faults;
        faults.noAnswer = p.isSet(noAnswerOpt);
        for (const QString& m : p.values(muteOpt)) faults.mutedMacs.insert(FleetMac(m));
        for (const QString& m : p.values(ignoreSetOpt)) faults.settledMacs.insert(FleetMac(m));
        for (const QString& l : p.values(dropReplyOpt)) {
            if (l.size() != 1 || l.at(0).unicode() > 0x7F)
                throw Error(QStringLiteral("--drop-reply %1: one letter, such as a").arg(l));
            faults.droppedReplies.insert(l.at(0).toLatin1());
        }
        if (p.isSet(replyMacOpt)) faults.replyMac = FleetMac(p.value(replyMacOpt));
        if (p.isSet(refuseBlockOpt)) faults.refuseBlock = number(refuseBlockOpt, 0, 99999999);
        if (p.isSet(silentBlockOpt)) faults.silentFromBlock = number(silentBlockOpt, 0, 99999999);
        faults.finalDelayMs = static_cast<int>(number(finalDelayOpt, 0, 600000));
        faults.duplicate = p.isSet(duplicateOpt);

        auto fleet = std::make_unique<EmulatedFleet>(specs, faults);
        for (const QString& item : p.values(loadConfigOpt)) {
            const int eq = item.indexOf(QLatin1Char('='));
            EmulatedDevice* device = eq > 0 ? fleet->find(FleetMac(item.left(eq))) : nullptr;
            if (!device)
                throw Error(
                    QStringLiteral("--load-config %1: no such device in the fleet").arg(item));
            QFile file(item.mid(eq + 1));
            if (!file.open(QIODevice::ReadOnly))
                throw Error(file.fileName() + QStringLiteral(": ") + file.errorString());
            try {
                device->loadConfigFile(file.readAll());
            } catch (const std::invalid_argument& e) {
                throw Error(file.fileName() + QStringLiteral(": ") + QString::fromUtf8(e.what()));
            }
        }

        EmulatorServer::Options& o = result.server;
        o.port = static_cast<std::uint16_t>(number(portOpt, 1, 65535));
        o.replyPort = static_cast<std::uint16_t>(number(replyPortOpt, 1, 65535));
        o.delayMs = static_cast<int>(number(delayOpt, 0, 600000));
        o.jitterMs = static_cast<int>(number(jitterOpt, 0, 600000));
        o.intervalMs = static_cast<int>(number(intervalOpt, 0, 60000));
        o.burst = p.isSet(burstOpt);
        o.logPath = p.value(logOpt);
        o.firmwareDir = p.value(firmwareDirOpt);
        o.configDir = p.value(configDirOpt);
        o.floodCount = number(floodOpt, 0, 10000000);
        o.floodTo = p.value(floodToOpt);
        o.floodWithoutReplies = p.isSet(floodNoRepliesOpt);
        o.floodMaxSize = static_cast<int>(number(floodMaxOpt, 0, 65507));
        o.seed = static_cast<std::uint32_t>(number(seedOpt, 0, 0xFFFFFFFFLL));
        o.lifetimeSec = static_cast<int>(number(lifetimeOpt, 1, 86400));
        o.receiveBuffer = static_cast<int>(number(rcvbufOpt, 4096, 1 << 30));
        o.reorder = p.isSet(reorderOpt);
        bool lossOk = false;
        o.loss = p.value(lossOpt).toDouble(&lossOk);
        if (!lossOk || !(o.loss >= 0 && o.loss <= 1))
            throw OutOfRange{QByteArrayLiteral("--loss must be a share 0..1")};

        result.fleet = std::move(fleet);
    } catch (const OutOfRange& e) {
        result.error = e.message;
        result.exitCode = 2;
    } catch (const std::exception& e) {
        result.error = e.what();
        result.exitCode = 1;
    }
    return result;
}

}  // namespace velomar::emu
