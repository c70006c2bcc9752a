// velomar-cli firmware: the same frames and waits as the window, one device after another,
// and what each device reports afterwards.
#include <unistd.h>

#include <QFile>
#include <QHash>
#include <cstdio>

#include "cli/Cli.h"
#include "cli/Output.h"
#include "cli/Session.h"
#include "core/FirmwareTransfer.h"
#include "protocol/Bytes.h"
#include "protocol/Codecs.h"
#include "protocol/Firmware.h"

namespace velomar::cli {

namespace {

struct Outcome {
    QString mac, model, before, after, result, message;
};

// Why a transfer failed, from how far it came and the device's last answer.
QString FailureMessage(DeviceLink& link, const QByteArray& mac, int blocksAccepted, std::int64_t blocks) {
    const FirmwareReply last = FirmwareReply::decode(link.lastFirmwareReply(mac));
    const bool answered = last.block == blocksAccepted && !last.accepted();
    if (blocksAccepted < blocks) {
        return answered ? QStringLiteral("the device refused block %1").arg(blocksAccepted)
                        : QStringLiteral("no answer to block %1 within %2 s")
                              .arg(blocksAccepted)
                              .arg(kFirmwareBlockReplyWait.count());
    }
    return answered
               ? QStringLiteral("the device refused the final frame (block %1)").arg(blocksAccepted)
               : QStringLiteral("no answer to the final frame within %1 s")
                     .arg(kFirmwareFinalReplyWait.count());
}

Outcome Upgrade(Context& c, Session& s, const DeviceTexts& t, const QByteArray& mac,
                const QString& image) {
    Outcome o{t.mac, UpToNul(t.model), UpToNul(t.version), {}, {}, {}};
    const std::int64_t size = FirmwareFileSize(image);
    ProgressShow progress(c, t.mac, size);
    int blocksAccepted = 0;
    FirmwareTransferHooks hooks;
    hooks.send = [&](const QByteArray& frame) { s.link().broadcast(frame); };
    hooks.progress = [&](std::int64_t bytes) {
        ++blocksAccepted;
        progress.update(bytes);
    };
    FirmwareReplySlot& slot = s.link().firmwareSlot(mac);
    slot.clear();
    FirmwareResult result = FirmwareResult::Failed;
    try {
        const auto file = OpenFirmwareImage(image);
        FirmwareTransfer transfer(slot, steadyWaitClock(), std::move(hooks));
        result = transfer.run(*file, image, mac);
    } catch (const Error& e) {
        o.message = e.text();
    }
    progress.finish();
    if (result == FirmwareResult::Succeeded) {
        o.result = "succeeded";
        return o;
    }
    o.result = "failed";
    if (o.message.isEmpty()) {
        o.message = FailureMessage(s.link(), mac, blocksAccepted,
                                   (size + kFirmwareBlockSize - 1) / kFirmwareBlockSize);
    }
    c.error(QStringLiteral("%1: %2").arg(o.mac, o.message));
    return o;
}

bool Confirmed(Context& c, const Arguments& a, int devices, const QString& image) {
    if (a.has("--yes") || !isatty(0)) return true;
    c.err << QStringLiteral("Upgrade %1 device(s) with %2? [y/N] ").arg(devices).arg(image);
    c.err.flush();
    char answer[16] = {};
    return fgets(answer, sizeof answer, stdin) && (answer[0] == 'y' || answer[0] == 'Y');
}

void PrintOutcomes(Context& c, const QString& format, const std::vector<Outcome>& outcomes) {
    QJsonArray devices, errors;
    QList<QStringList> rows;
    for (const Outcome& o : outcomes) {
        devices.append(QJsonObject{{"mac", o.mac},
                                   {"model", o.model},
                                   {"version_before", o.before},
                                   {"version_after", o.after},
                                   {"result", o.result},
                                   {"message", o.message}});
        if (o.result != "succeeded") errors.append(ErrorJson(o.mac, o.message));
        rows << QStringList{o.mac,    o.model,
                            o.before, o.after.isEmpty() ? "(no answer)" : o.after,
                            o.result, o.message};
    }
    if (format == "json") {
        c.out << Envelope(devices, errors);
    } else {
        PrintTable(c.out, {"MAC", "MODEL", "BEFORE", "NOW", "RESULT", "MESSAGE"}, rows);
    }
    c.out.flush();
}

int Firmware(Context& c, const Arguments& a) {
    const QString format = Format(a, {"table", "json"});
    if (a.positional.size() < 2)
        throw UsageError(QStringLiteral("firmware needs at least one MAC and an image"));
    const QString image = a.positional.last();
    std::vector<QByteArray> macs;
    for (const QString& m : a.positional.mid(0, a.positional.size() - 1)) {
        const QByteArray mac = Mac(m);
        if (std::find(macs.begin(), macs.end(), mac) == macs.end()) macs.push_back(mac);
    }
    const auto timeout = Seconds(a, "--timeout", 3);
    try {
        OpenFirmwareImage(image);  // unreadable or too large: refused before anything is sent
    } catch (const Error& e) {
        throw UsageError(e.text());
    }
    Session s(c);
    QHash<QByteArray, FoundDevice> byMac;
    for (const FoundDevice& d : s.find(macs, timeout)) byMac.insert(d.reply.mac, d);
    QStringList missing;
    for (const QByteArray& m : macs) {
        if (!byMac.contains(m)) missing << MacToText(m);
    }
    if (!missing.isEmpty()) {
        c.error(QStringLiteral("no answer from %1; nothing was sent")
                    .arg(missing.join(QStringLiteral(", "))));
        return kBadUsage;
    }
    for (const QByteArray& m : macs) {
        const DeviceTexts& t = byMac.value(m).texts;
        c.message(QStringLiteral("%1  %2  version %3  %4")
                      .arg(t.mac, UpToNul(t.model), UpToNul(t.version), t.name));
    }
    if (!Confirmed(c, a, int(macs.size()), image)) {
        c.message(QStringLiteral("nothing was sent"));
        return kOk;
    }
    std::vector<Outcome> outcomes;
    for (const QByteArray& mac : macs)
        outcomes.push_back(Upgrade(c, s, byMac.value(mac).texts, mac, image));
    // What the devices report now.
    for (const FoundDevice& d : s.find(macs, timeout)) {
        for (Outcome& o : outcomes) {
            if (d.texts.mac == o.mac) o.after = UpToNul(d.texts.version);
        }
    }
    PrintOutcomes(c, format, outcomes);
    const bool allOk = std::all_of(outcomes.begin(), outcomes.end(),
                                   [](const Outcome& o) { return o.result == "succeeded"; });
    return allOk ? kOk : kDeviceFailed;
}

}  // namespace

const Command& FirmwareCommand() {
    static const Command command{
        "firmware",
        "MAC... IMAGE [--yes] [--timeout S] [--format table|json]",
        "Upgrade the firmware of one device after another.",
        QStringLiteral(
            "Shows each device's model and current version and asks first, unless --yes is given\n"
            "or stdin is not a terminal. The same frames and waits as the window: %1 s per\n"
            "block, %2 s for the final answer. Afterwards each device is searched for again and\n"
            "the version it reports is shown.")
            .arg(kFirmwareBlockReplyWait.count())
            .arg(kFirmwareFinalReplyWait.count()),
        {{{"--yes"}, {}, "Do not ask."},
         {{"--timeout"}, "S", "Seconds for each search (default 3)."},
         {{"--format"},
          "F",
          "table (default) or json for the results.",
          Completion::Choice,
          {"table", "json"}}},
        Completion::File,
        &Firmware};
    return command;
}

}  // namespace velomar::cli
