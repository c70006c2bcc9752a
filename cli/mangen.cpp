// Writes velomar-cli's manual page from its help texts; links no network code at all.
#include <QTextStream>

#include "cli/Help.h"
#include "Version.h"

int main() {
    QTextStream(stdout) << velomar::cli::ManPage(QStringLiteral(VELOMAR_VERSION));
    return 0;
}
