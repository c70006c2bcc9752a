// velomar-cli firmware: the same frames and waits as the window, to one device after
// another or to several at once, staged: a failure budget, a model check before anything is
// sent, a report, and a resume from an earlier report.
#include <unistd.h>

#include <QFile>
#include <QHash>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <limits>
#include <thread>

#include "cli/Cli.h"
#include "cli/Fleet.h"
#include "cli/Output.h"
#include "cli/Session.h"
#include "core/FirmwareTransfer.h"
#include "core/FleetFiles.h"
#include "protocol/Bytes.h"
#include "protocol/Codecs.h"
#include "protocol/Firmware.h"

namespace velomar::cli {

namespace {

using Clock = std::chrono::steady_clock;

struct Outcome {
    QByteArray mac6;
    QString mac, model, before, after, result = "not started", message;
    int blocks = 0;
    double seconds = 0;
};

// One transfer on a thread of its own; the main thread reads its progress and prints.
struct Transfer {
    Outcome* outcome = nullptr;
    std::atomic<std::int64_t> bytes{0};
    std::atomic<bool> done{false};
    std::thread thread;
};

// Why a transfer failed, from how far it came and the device's last answer.
QString FailureMessage(DeviceLink& link, const QByteArray& mac, int blocksAccepted,
                       std::int64_t blocks) {
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

// Transfers side by side share the processors: each sleeps until its answer comes instead
// of looking for it first, as a lone transfer does.
class SleepingWaitClock : public SteadyWaitClock {
  public:
    bool waitFor(const FirmwareReplySlot& slot, std::chrono::milliseconds timeout) override {
        return slot.waitFor(timeout);
    }
};

// Runs on the transfer's thread: it writes only its outcome and progress.
void Upgrade(Session& s, Transfer& t, const QString& image, std::int64_t size, bool alone) {
    Outcome& o = *t.outcome;
    const auto start = Clock::now();
    FirmwareTransferHooks hooks;
    hooks.send = [&](const QByteArray& frame) { s.link().broadcast(frame); };
    hooks.progress = [&](std::int64_t bytes) {
        ++o.blocks;
        t.bytes = bytes;
    };
    FirmwareReplySlot& slot = s.link().firmwareSlot(o.mac6);
    slot.clear();
    FirmwareResult result = FirmwareResult::Failed;
    try {
        const auto file = OpenFirmwareImage(image);
        static SleepingWaitClock sleeping;
        FirmwareTransfer transfer(slot, alone ? steadyWaitClock() : sleeping, std::move(hooks));
        result = transfer.run(*file, image, o.mac6);
    } catch (const Error& e) {
        o.message = e.text();
    }
    o.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (result == FirmwareResult::Succeeded) {
        o.result = "succeeded";
    } else {
        o.result = "failed";
        if (o.message.isEmpty()) {
            o.message = FailureMessage(s.link(), o.mac6, o.blocks,
                                       (size + kFirmwareBlockSize - 1) / kFirmwareBlockSize);
        }
    }
    t.done = true;
}

// The transfers as they go: on a terminal one line per running device, redrawn in place;
// otherwise a line per device at every tenth.
class ProgressBoard {
  public:
    ProgressBoard(Context& c, std::int64_t total)
        : c_(c), total_(std::max<std::int64_t>(total, 1)), terminal_(isatty(2)) {}

    void show(const std::vector<Transfer*>& running) {
        if (c_.quiet) return;
        if (!terminal_) {
            for (const Transfer* t : running) {
                const std::int64_t bytes = t->bytes;
                const int tenth = int(bytes * 10 / total_);
                if (lastTenth_.value(t->outcome->mac, -1) == tenth) continue;
                lastTenth_[t->outcome->mac] = tenth;
                c_.err << t->outcome->mac << ": " << bytes * 100 / total_ << "% (" << bytes
                       << " of " << total_ << " bytes)" << Qt::endl;
            }
            return;
        }
        clear();
        for (const Transfer* t : running) {
            const int percent = int(t->bytes * 100 / total_);
            const int filled = percent * 30 / 100;
            c_.err << t->outcome->mac << " [" << QString(filled, u'#') << QString(30 - filled, u'.')
                   << "] " << percent << "%\x1b[K\n";
        }
        drawn_ = int(running.size());
        c_.err.flush();
    }
    bool terminal() const { return terminal_; }
    // A message above the board.
    void say(const QString& line) {
        clear();
        c_.error(line);
    }
    void clear() {
        if (!terminal_ || c_.quiet || drawn_ == 0) return;
        c_.err << "\x1b[" << drawn_ << "A\x1b[J";
        drawn_ = 0;
    }

  private:
    Context& c_;
    std::int64_t total_;
    bool terminal_;
    int drawn_ = 0;
    QHash<QString, int> lastTenth_;  // the tenth last printed, per device
};

// The staged rollout: at most `parallel` transfers at once; once `maxFailures` devices
// failed no new transfer starts (the running ones finish), the rest stay "not started".
void Roll(Context& c, Session& s, std::vector<Outcome>& outcomes, const QString& image,
          int parallel, int maxFailures) {
    const std::int64_t size = FirmwareFileSize(image);
    ProgressBoard board(c, size);
    std::vector<std::unique_ptr<Transfer>> running;
    size_t next = 0;
    int failures = 0;
    for (;;) {
        while (int(running.size()) < parallel && next < outcomes.size() && failures < maxFailures) {
            auto t = std::make_unique<Transfer>();
            t->outcome = &outcomes[next++];
            Transfer& ref = *t;
            t->thread = std::thread([&s, &ref, &image, size, parallel] {
                Upgrade(s, ref, image, size, parallel == 1);
            });
            running.push_back(std::move(t));
        }
        if (running.empty()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        for (auto it = running.begin(); it != running.end();) {
            if (!(*it)->done) {
                ++it;
                continue;
            }
            (*it)->thread.join();
            const Outcome& o = *(*it)->outcome;
            if (o.result != "succeeded") {
                ++failures;
                board.say(QStringLiteral("%1: %2").arg(o.mac, o.message));
            } else if (!board.terminal()) {
                board.show({it->get()});  // its last tenth, however quick it was
            }
            it = running.erase(it);
        }
        std::vector<Transfer*> now;
        for (const auto& t : running) now.push_back(t.get());
        board.show(now);
    }
    board.clear();
    for (Outcome& o : outcomes) {
        if (o.result == "not started") {
            o.message = QStringLiteral("not started: %1 device(s) had failed").arg(failures);
        }
    }
}

QJsonObject OutcomeJson(const Outcome& o) {
    return QJsonObject{{"mac", o.mac},
                       {"model", o.model},
                       {"version_before", o.before},
                       {"version_after", o.after},
                       {"blocks", o.blocks},
                       {"seconds", std::round(o.seconds * 1000) / 1000},
                       {"result", o.result},
                       {"message", o.message}};
}

QString OutcomesEnvelope(const std::vector<Outcome>& outcomes) {
    QJsonArray devices, errors;
    for (const Outcome& o : outcomes) {
        devices.append(OutcomeJson(o));
        if (o.result != "succeeded") errors.append(ErrorJson(o.mac, o.message));
    }
    return Envelope(devices, errors);
}

void WriteOutcomeReport(const QString& path, const std::vector<Outcome>& outcomes) {
    QList<QStringList> rows;
    for (const Outcome& o : outcomes) {
        rows << QStringList{o.mac,
                            o.model,
                            o.before,
                            o.after,
                            QString::number(o.blocks),
                            QString::number(o.seconds, 'f', 3),
                            o.result,
                            o.message};
    }
    WriteReport(path, OutcomesEnvelope(outcomes),
                {"mac", "model", "version_before", "version_after", "blocks", "seconds", "result",
                 "message"},
                rows);
}

// The devices a run is for: those named, less (with --resume) those an earlier report
// says succeeded; with --resume alone, every device of that report that did not.
std::vector<QByteArray> Targets(const Arguments& named, const Arguments& a) {
    std::vector<QByteArray> macs = MacArguments(named, 0);
    if (!a.has("--resume")) return macs;
    const QString path = a.value("--resume");
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw UsageError(QStringLiteral("cannot open %1: %2").arg(path, f.errorString()));
    std::vector<ReportedResult> report;
    try {
        report = ReadResultReport(f.readAll(), path);
    } catch (const Error& e) {
        throw UsageError(e.text());
    }
    auto succeeded = [&](const QByteArray& mac) {
        return std::any_of(report.begin(), report.end(), [&](const ReportedResult& r) {
            return r.mac == mac && r.result == "succeeded";
        });
    };
    std::vector<QByteArray> out;
    if (macs.empty()) {
        for (const ReportedResult& r : report) {
            if (!succeeded(r.mac) && std::find(out.begin(), out.end(), r.mac) == out.end())
                out.push_back(r.mac);
        }
    } else {
        for (const QByteArray& m : macs) {
            if (!succeeded(m)) out.push_back(m);
        }
    }
    return out;
}

int MaxFailures(const Arguments& a) {
    if (a.has("--keep-going")) return std::numeric_limits<int>::max();
    if (!a.has("--max-failures")) return 1;
    bool ok = false;
    const int k = a.value("--max-failures").toInt(&ok);
    if (!ok || k < 1) {
        throw UsageError(QStringLiteral("--max-failures: \"%1\" is not a positive number")
                             .arg(a.value("--max-failures")));
    }
    return k;
}

bool Confirmed(Context& c, const Arguments& a, int devices, const QString& image) {
    if (a.has("--yes") || !isatty(0)) return true;
    c.err << QStringLiteral("Upgrade %1 device(s) with %2? [y/N] ").arg(devices).arg(image);
    c.err.flush();
    char answer[16] = {};
    return fgets(answer, sizeof answer, stdin) && (answer[0] == 'y' || answer[0] == 'Y');
}

int Firmware(Context& c, const Arguments& a) {
    const QString format = Format(a, {"table", "json"});
    const int needed = a.has("--resume") ? 1 : 2;
    if (a.positional.size() < needed)
        throw UsageError(QStringLiteral("firmware needs at least one MAC and an image"));
    const QString image = a.positional.last();
    Arguments named = a;
    named.positional.removeLast();  // the image
    const std::vector<QByteArray> macs = Targets(named, a);
    const auto timeout = Seconds(a, "--timeout", 3);
    const int parallel = Parallel(a, 1);
    const int maxFailures = MaxFailures(a);
    CheckReportOption(a);
    try {
        OpenFirmwareImage(image);  // unreadable or too large: refused before anything is sent
    } catch (const Error& e) {
        throw UsageError(e.text());
    }
    if (macs.empty()) {
        c.message(QStringLiteral("every device of %1 succeeded already; nothing to do")
                      .arg(a.value("--resume")));
        return kOk;
    }
    Session s(c, a);
    QHash<QByteArray, FoundDevice> byMac;
    for (const FoundDevice& d : s.find(macs, timeout)) byMac.insert(d.reply.mac, d);
    QStringList missing, otherModel;
    for (const QByteArray& m : macs) {
        if (!byMac.contains(m)) {
            missing << MacToText(m);
        } else if (a.has("--model") && UpToNul(byMac.value(m).texts.model) != a.value("--model")) {
            otherModel << QStringLiteral("%1 is a %2")
                              .arg(MacToText(m), UpToNul(byMac.value(m).texts.model));
        }
    }
    if (!missing.isEmpty()) {
        c.error(QStringLiteral("no answer from %1; nothing was sent")
                    .arg(missing.join(QStringLiteral(", "))));
        return kBadUsage;
    }
    if (!otherModel.isEmpty()) {
        c.error(QStringLiteral("not every device is a %1: %2; nothing was sent")
                    .arg(a.value("--model"), otherModel.join(QStringLiteral(", "))));
        return kBadUsage;
    }
    std::vector<Outcome> outcomes;
    for (const QByteArray& m : macs) {
        const DeviceTexts& t = byMac.value(m).texts;
        c.message(QStringLiteral("%1  %2  version %3  %4")
                      .arg(t.mac, UpToNul(t.model), UpToNul(t.version), t.name));
        Outcome o;
        o.mac6 = m;
        o.mac = t.mac;
        o.model = UpToNul(t.model);
        o.before = UpToNul(t.version);
        outcomes.push_back(o);
    }
    if (!Confirmed(c, a, int(macs.size()), image)) {
        c.message(QStringLiteral("nothing was sent"));
        return kOk;
    }
    Roll(c, s, outcomes, image, parallel, maxFailures);
    // What the devices report now.
    std::vector<QByteArray> tried;
    for (const Outcome& o : outcomes) {
        if (o.result != "not started") tried.push_back(o.mac6);
    }
    for (const FoundDevice& d :
         tried.empty() ? std::vector<FoundDevice>{} : s.find(tried, timeout)) {
        for (Outcome& o : outcomes) {
            if (d.reply.mac == o.mac6) o.after = UpToNul(d.texts.version);
        }
    }
    if (format == "json") {
        c.out << OutcomesEnvelope(outcomes);
    } else {
        QList<QStringList> rows;
        for (const Outcome& o : outcomes) {
            rows << QStringList{o.mac,    o.model,
                                o.before, o.after.isEmpty() ? "(no answer)" : o.after,
                                o.result, o.message};
        }
        PrintTable(c.out, {"MAC", "MODEL", "BEFORE", "NOW", "RESULT", "MESSAGE"}, rows);
    }
    c.out.flush();
    if (a.has("--report")) WriteOutcomeReport(a.value("--report"), outcomes);
    const bool allOk = std::all_of(outcomes.begin(), outcomes.end(),
                                   [](const Outcome& o) { return o.result == "succeeded"; });
    return allOk ? kOk : kDeviceFailed;
}

}  // namespace

const Command& FirmwareCommand() {
    static const Command command{
        "firmware",
        "MAC... IMAGE [--yes] [--parallel N] [--max-failures K | --keep-going] [--model M]\n"
        "firmware [MAC...] IMAGE --resume REPORT [--report FILE] [--timeout S] "
        "[--format table|json]\n"
        "(either form) [--ip LIST | --unicast] [--rate N]",
        "Upgrade the firmware of many devices, staged.",
        QStringLiteral(
            "Shows each device's model and current version and asks first, unless --yes is given\n"
            "or stdin is not a terminal. The same frames and waits as the window: %1 s per\n"
            "block, %2 s for the final answer, per device; --parallel N transfers run at once.\n"
            "After K failed devices (--max-failures, 1 by default) no new transfer starts: the\n"
            "running ones finish and the rest are reported \"not started\". Afterwards each "
            "device\n"
            "is searched for again and the version it reports is shown.")
            .arg(kFirmwareBlockReplyWait.count())
            .arg(kFirmwareFinalReplyWait.count()),
        QList<Option>{
            {{"--yes"}, {}, "Do not ask."},
            {{"--parallel"}, "N", "Transfers at once (default 1)."},
            {{"--max-failures"}, "K", "Start no new transfer once K devices failed (default 1)."},
            {{"--keep-going"}, {}, "No failure limit."},
            {{"--model"},
             "M",
             "Every device must report this model; checked before anything is sent."},
            {{"--report"},
             "FILE",
             "Write one result per device as CSV or JSON (by the file's extension).",
             Completion::File},
            {{"--resume"},
             "REPORT",
             "Upgrade only what did not succeed in an earlier --report.",
             Completion::File},
            {{"--timeout"}, "S", "Seconds for each search (default 3)."},
            {{"--format"},
             "F",
             "table (default) or json for the results.",
             Completion::Choice,
             {"table", "json"}}} +
            UnicastOptions(),
        Completion::File,
        &Firmware};
    return command;
}

}  // namespace velomar::cli
