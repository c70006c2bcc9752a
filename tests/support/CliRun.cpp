#include "support/CliRun.h"

#include <QDir>
#include <QJsonDocument>

namespace velomar::test {

QJsonObject CliResult::json() const {
    return QJsonDocument::fromJson(out.toUtf8()).object();
}

QString CliBinary() {
    return QDir(emu::NetLab::binaryDir()).filePath(QStringLiteral("velomar-cli"));
}

CliResult RunCli(Lab& lab, const QStringList& arguments, int timeoutMs) {
    QStringList args{QStringLiteral("netns"), QStringLiteral("exec"),
                     lab.net().workstationNamespace(), CliBinary()};
    args += arguments;
    // The lab's own runner: QProcess would blind ThreadSanitizer to this thread's locks.
    const emu::LabProcess::Result run =
        emu::LabProcess::run(QStringLiteral("ip"), args, timeoutMs, true);
    CliResult r;
    r.exitCode = run.exitCode;
    r.ms = run.ms;
    r.out = run.output;
    r.err = run.errors;
    return r;
}

}  // namespace velomar::test
