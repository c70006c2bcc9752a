// Writes velomar-cli's manual page from its help texts; links no network code at all.
#include <QTextStream>

#include "Version.h"
#include "cli/Help.h"

int main() {
    QTextStream(stdout) << velomar::cli::ManPage(QStringLiteral(VELOMAR_VERSION));
    return 0;
}
