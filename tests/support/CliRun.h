#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "support/Lab.h"

// Runs the real velomar-cli inside the lab's workstation namespace, stdout and stderr
// apart, stdin not a terminal.
namespace velomar::test {

struct CliResult {
    int exitCode = -1;  // -1: did not end in time
    QString out;
    QString err;
    qint64 ms = 0;             // how long it ran
    QJsonObject json() const;  // stdout parsed as one JSON object
    // For failure messages.
    std::string text() const {
        return ("exit " + QString::number(exitCode) + "\nstdout:\n" + out + "\nstderr:\n" + err)
            .toStdString();
    }
};

CliResult RunCli(Lab& lab, const QStringList& arguments, int timeoutMs = 30000);
QString CliBinary();

}  // namespace velomar::test
