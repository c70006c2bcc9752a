// Fleet benchmark: what velomar-cli's side-by-side sessions buy, through the real executable
// against tervane-emu in a network lab (198.18.0.0/15, namespaces made for the run).
//
// 1. Firmware: one device alone, then 16 devices with --parallel 16, a 256 KiB image each,
//    in the same run. Goal: the 16 finish within 2x the one, every image reassembled intact.
// 2. Backup: one device, then 64 devices (--parallel 8 by default), in the same run.
//    Goal: within 4x the one.
// The baseline is the same command for one device, so the ratio is the cost of the fleet.
// Nothing is sent from the namespace the benchmark was started in. Needs root.
//
// Usage: fleet_ops [--rounds N]

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "lab/NetLab.h"

using namespace velomar;

namespace {

QString Mac(int n) {
    return QStringLiteral("00-1A-2B-00-00-%1").arg(n, 2, 16, QLatin1Char('0')).toUpper();
}

// Seconds the command took, or -1 when it failed.
double Run(emu::NetLab& lab, const QStringList& arguments) {
    QStringList args{QStringLiteral("netns"), QStringLiteral("exec"), lab.workstationNamespace(),
                     QDir(emu::NetLab::binaryDir()).filePath(QStringLiteral("velomar-cli")),
                     QStringLiteral("--quiet")};
    args += arguments;
    const auto r = emu::LabProcess::run(QStringLiteral("ip"), args, 600000, true);
    if (r.exitCode != 0) {
        std::fprintf(stderr, "fleet_ops: velomar-cli %s failed (%d): %s\n",
                     qPrintable(arguments.join(u' ')), r.exitCode, qPrintable(r.errors));
        return -1;
    }
    return double(r.ms) / 1000;
}

QStringList Macs(int count) {
    QStringList m;
    for (int n = 1; n <= count; ++n) m << Mac(n);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
    }
    if (const QString why = emu::NetLab::unavailableReason(); !why.isEmpty()) {
        std::fprintf(stderr, "fleet_ops: no lab (%s); nothing was sent\n", qPrintable(why));
        return 2;
    }
    emu::NetLab lab(emu::NetLab::Options{1, 1});
    QTemporaryDir dir;
    auto emulator =
        lab.start(lab.deviceNamespace(1),
                  QDir(emu::NetLab::binaryDir()).filePath(QStringLiteral("tervane-emu")),
                  {QStringLiteral("--devices"), QStringLiteral("64"), QStringLiteral("--ports"),
                   QStringLiteral("2"), QStringLiteral("--firmware-dir"),
                   dir.filePath(QStringLiteral("fw"))});
    if (!emulator->waitForOutput(QStringLiteral("listening"), 10000)) {
        std::fprintf(stderr, "fleet_ops: tervane-emu did not start: %s\n",
                     qPrintable(emulator->output()));
        return 2;
    }
    QByteArray image(256 * 1024, '\0');
    QRandomGenerator(2057).fillRange(reinterpret_cast<quint32*>(image.data()), image.size() / 4);
    const QString path = dir.filePath(QStringLiteral("fw.bin"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size()) return 2;
    }
    std::printf("fleet_ops: tervane-emu with 64 devices of 2 ports in a lab; a %lld-byte image\n",
                static_cast<long long>(image.size()));

    std::vector<double> one, sixteen, backupOne, backupAll;
    for (int r = 0; r < rounds; ++r) {
        one.push_back(
            Run(lab, {QStringLiteral("firmware"), Mac(1), path, QStringLiteral("--yes")}));
        sixteen.push_back(
            Run(lab, QStringList{QStringLiteral("firmware")} + Macs(16) +
                         QStringList{path, QStringLiteral("--yes"), QStringLiteral("--parallel"),
                                     QStringLiteral("16")}));
        backupOne.push_back(
            Run(lab, {QStringLiteral("backup"), dir.filePath(QStringLiteral("one")), Mac(1)}));
        backupAll.push_back(Run(
            lab,
            QStringList{QStringLiteral("backup"), dir.filePath(QStringLiteral("all"))} + Macs(64)));
        for (const double v : {one.back(), sixteen.back(), backupOne.back(), backupAll.back()})
            if (v < 0) return 1;
        std::printf(
            "  round %d: firmware 1 device %.2f s, 16 in parallel %.2f s; backup 1 device %.2f s, "
            "64 devices %.2f s\n",
            r + 1, one.back(), sixteen.back(), backupOne.back(), backupAll.back());
    }
    int intact = 0;
    for (int n = 1; n <= 16; ++n) {
        QFile f(QDir(dir.filePath(QStringLiteral("fw")))
                    .filePath(Mac(n).remove(u'-') + QStringLiteral(".bin")));
        intact += f.open(QIODevice::ReadOnly) && f.readAll() == image;
    }
    const auto best = [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
    };
    std::printf(
        "firmware: 1 device %.2f s, 16 with --parallel 16 %.2f s: ratio %.2f (goal <= 2); %d of 16 "
        "images intact\n",
        best(one), best(sixteen), best(sixteen) / best(one), intact);
    std::printf("backup: 1 device %.2f s, 64 devices %.2f s: ratio %.2f (goal <= 4)\n",
                best(backupOne), best(backupAll), best(backupAll) / best(backupOne));
    return intact == 16 ? 0 : 1;
}
