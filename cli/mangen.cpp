// Writes velomar-cli's manual page (no argument) or its bash completion ("completion") from
// the command table; it runs at build time and sends nothing.
#include <QCoreApplication>
#include <QTextStream>

#include "Version.h"
#include "cli/Help.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const bool completion = argc > 1 && QByteArray(argv[1]) == "completion";
    QTextStream(stdout) << (completion ? velomar::cli::BashCompletion()
                                       : velomar::cli::ManPage(QStringLiteral(VELOMAR_VERSION)));
    return 0;
}
