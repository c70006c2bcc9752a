#include "support/CliRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QProcess>

namespace velomar::test {

QJsonObject CliResult::json() const {
    return QJsonDocument::fromJson(out.toUtf8()).object();
}

QString CliBinary() {
    return QDir(emu::NetLab::binaryDir()).filePath(QStringLiteral("velomar-cli"));
}

CliResult RunCli(Lab& lab, const QStringList& arguments, int timeoutMs) {
    QProcess p;
    QStringList args{QStringLiteral("netns"), QStringLiteral("exec"), lab.net().workstationNamespace(), CliBinary()};
    args += arguments;
    QElapsedTimer timer;
    timer.start();
    p.start(QStringLiteral("ip"), args);
    p.closeWriteChannel();
    CliResult r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(3000);
    } else if (p.exitStatus() == QProcess::NormalExit) {
        r.exitCode = p.exitCode();
    }
    r.ms = timer.elapsed();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

}  // namespace velomar::test
