#include "cli/Fleet.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "cli/Cli.h"
#include "cli/Session.h"

namespace velomar::cli {

QList<Option> FleetOptions(const QString& parallelHelp) {
    return QList<Option>{{{"--parallel"}, "N", parallelHelp},
                         {{"--timeout"},
                          "S",
                          "Seconds for the search and for each device's records (default 3)."},
                         {{"--format"},
                          "F",
                          "table (default) or json.",
                          Completion::Choice,
                          {"table", "json"}}} +
           UnicastOptions();
}

int Parallel(const Arguments& a, int fallback) {
    if (!a.has("--parallel")) return fallback;
    bool ok = false;
    const int n = a.value("--parallel").toInt(&ok);
    if (!ok || n < 1 || n > 64) {
        throw UsageError(
            QStringLiteral("--parallel: \"%1\" is not a number 1-64").arg(a.value("--parallel")));
    }
    return n;
}

void RunInParallel(int count, int parallel, const std::function<void(int)>& job) {
    std::atomic<int> nextJob{0};
    auto worker = [&] {
        for (int i = nextJob++; i < count; i = nextJob++) job(i);
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < std::min(parallel, count); ++t) threads.emplace_back(worker);
    worker();
    for (std::thread& t : threads) t.join();
}

std::vector<FoundDevice> FindDevices(Session& s, const std::vector<QByteArray>& named,
                                     std::chrono::milliseconds timeout) {
    std::vector<FoundDevice> found;
    if (named.empty()) {
        found = s.findAll(timeout);
    } else {
        found = s.find(named, timeout);
    }
    std::sort(found.begin(), found.end(),
              [](const FoundDevice& a, const FoundDevice& b) { return a.reply.mac < b.reply.mac; });
    return found;
}

std::vector<ConfigRead> ReadConfigs(Session& s, const std::vector<QByteArray>& macs,
                                    std::chrono::milliseconds timeout, int parallel) {
    std::vector<ConfigRead> reads(macs.size());
    RunInParallel(int(macs.size()), parallel, [&](int i) {
        try {
            reads[size_t(i)].config = s.config(macs[size_t(i)]).read(timeout);
        } catch (const Error& e) {
            reads[size_t(i)].error = e.text();
        }
    });
    return reads;
}

Backup CheckedBackup(const QString& dir) {
    Backup backup;
    try {
        backup = ReadBackupFolder(dir);
    } catch (const Error& e) {
        throw UsageError(e.text());
    }
    if (!backup.problems.isEmpty()) throw UsageError(backup.problems.join(QStringLiteral("; ")));
    return backup;
}

std::vector<QByteArray> MacArguments(const Arguments& a, int first) {
    std::vector<QByteArray> macs;
    for (const QString& m : a.positional.mid(first)) {
        const QByteArray mac = Mac(m);
        if (std::find(macs.begin(), macs.end(), mac) == macs.end()) macs.push_back(mac);
    }
    return macs;
}

}  // namespace velomar::cli
