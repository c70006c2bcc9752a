// velomar-cli: the fleet from a terminal and from scripts.
#include <QCoreApplication>

#include "Version.h"
#include "cli/Cli.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velomar-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELOMAR_VERSION));
    return velomar::cli::Run(QCoreApplication::arguments());
}
