// Range search benchmark: `velomar-cli search --ip` over a /20 (4,094 host addresses) with
// 50 devices behind the lab's router (198.18.0.0/15, namespaces made for the run).
//
// Goal: every device found, and the search within 1.2x of 4,096 / rate, the time its
// requests must take at that rate. The bare baseline, in the same run, sends one request to
// each address of the range from a plain socket at the same pace and listens for nothing:
// the ratio against it is what the search adds to pacing alone (its replies, its wait after
// the last request). Nothing is sent from the namespace the benchmark was started in. Needs
// root.
//
// Usage: routed_search [--rate N] [--timeout S] [--rounds N]

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "core/AddressTargets.h"
#include "lab/NetLab.h"
#include "net/UdpSocket.h"
#include "protocol/Frame.h"

using namespace velomar;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDevices = 50;

// Seconds of the bare paced loop over the same addresses.
double Bare(const QStringList& targets, int rate) {
    UdpSocket socket;
    socket.bind(QStringLiteral("0.0.0.0"), 0);
    const auto period = std::chrono::nanoseconds(std::chrono::seconds(1)) / rate;
    const auto start = Clock::now();
    for (qsizetype i = 0; i < targets.size(); ++i) {
        std::this_thread::sleep_until(start + period * i);
        socket.sendTo(DiscoveryRequest(), targets[i], kDevicePort + 1);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    int rate = 200, rounds = 1;
    QString timeout = QStringLiteral("1");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--rate") == 0)
            rate = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--timeout") == 0)
            timeout = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::max(1, std::atoi(argv[++i]));
    }
    if (const QString why = emu::NetLab::unavailableReason(); !why.isEmpty()) {
        std::fprintf(stderr, "routed_search: no lab (%s); nothing was sent\n", qPrintable(why));
        return 2;
    }
    emu::NetLab lab(emu::NetLab::Options{1, kDevices, true});
    QTemporaryDir dir;
    std::vector<std::unique_ptr<emu::LabProcess>> emulators;
    for (int k = 1; k <= kDevices; ++k) {
        const QString fleet = dir.filePath(QStringLiteral("fleet%1.json").arg(k));
        QFile f(fleet);
        if (!f.open(QIODevice::WriteOnly)) return 2;
        f.write(QJsonDocument(
                    QJsonObject{{"devices", QJsonArray{QJsonObject{
                                                {"mac", QStringLiteral("00-1A-2B-00-01-%1")
                                                            .arg(k, 2, 16, QLatin1Char('0'))}}}}})
                    .toJson());
        f.close();
        emulators.push_back(lab.start(
            lab.deviceNamespace(k),
            QDir(emu::NetLab::binaryDir()).filePath(QStringLiteral("tervane-emu")),
            {QStringLiteral("--fleet"), fleet, QStringLiteral("--ports"), QStringLiteral("1")}));
    }
    for (auto& e : emulators) {
        if (!e->waitForOutput(QStringLiteral("listening"), 20000)) {
            std::fprintf(stderr, "routed_search: tervane-emu did not start: %s\n",
                         qPrintable(e->output()));
            return 2;
        }
    }
    const QString range = emu::NetLab::routedNetwork();
    const QStringList targets = ParseAddressTargets(range).texts();
    const double goal = 4096.0 / rate;
    std::printf("range %s: %lld addresses, %d devices behind the router, rate %d/s, timeout %s s\n",
                qPrintable(range), static_cast<long long>(targets.size()), kDevices, rate,
                qPrintable(timeout));
    bool ok = true;
    for (int round = 1; round <= rounds; ++round) {
        const double bare = Bare(targets, rate);
        const QStringList args{
            QStringLiteral("netns"),
            QStringLiteral("exec"),
            lab.workstationNamespace(),
            QDir(emu::NetLab::binaryDir()).filePath(QStringLiteral("velomar-cli")),
            QStringLiteral("--quiet"),
            QStringLiteral("search"),
            QStringLiteral("--ip"),
            range,
            QStringLiteral("--rate"),
            QString::number(rate),
            QStringLiteral("--timeout"),
            timeout,
            QStringLiteral("--format"),
            QStringLiteral("json")};
        const auto r = emu::LabProcess::run(QStringLiteral("ip"), args, 600000, true);
        const auto found =
            QJsonDocument::fromJson(r.output.toUtf8()).object().value("devices").toArray().size();
        const double search = double(r.ms) / 1000;
        const bool met = r.exitCode == 0 && found == kDevices && search <= 1.2 * goal;
        ok = ok && met;
        std::printf(
            "round %d: search %.2f s, %lld of %d devices; bare paced sends %.2f s; "
            "4096/rate %.2f s; search/goal %.3f (goal <= 1.2), search/bare %.3f  %s\n",
            round, search, static_cast<long long>(found), kDevices, bare, goal, search / goal,
            search / bare, met ? "met" : "NOT MET");
        if (r.exitCode != 0) std::fprintf(stderr, "%s\n", qPrintable(r.errors));
    }
    return ok ? 0 : 1;
}
