#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <optional>

#include "Version.h"
#include "app/UnitDetect.h"
#include "config/UnitConfigure.h"
#include "platform/Platform.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// On Windows velomar.exe is a GUI program and has no console of its own: what it prints goes
// to the console it was started from, unless that stream was redirected to a file or pipe.
void ReachConsole() {
#ifdef _WIN32
    const bool outLost = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_UNKNOWN;
    const bool errLost = GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_UNKNOWN;
    if ((!outLost && !errLost) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
    // A stream that cannot be reopened stays where it was: the text is lost, nothing worse.
    if (outLost && !std::freopen("CONOUT$", "w", stdout)) return;
    if (errLost && !std::freopen("CONOUT$", "w", stderr)) return;
#endif
}

// Answers --help and --version, and refuses what the program does not take, before any
// window or socket exists (no display is needed for them). Returns the exit code when the
// program is to end here. Qt's own options (-platform, -style...) are left to QApplication.
std::optional<int> AnswerCommandLine(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("Finds, configures and upgrades Tervane serial device servers on the local "
                       "network."));
    // Qt's own help and version options would ask the application object for their texts.
    const QCommandLineOption help(
        {QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")},
        QStringLiteral("Displays this help."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Displays the version."));
    parser.addOptions({help, version});
    for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin",
                             "qwindowgeometry", "geometry", "qwindowicon", "qwindowtitle",
                             "session", "display", "style", "stylesheet", "qmljsdebugger"}) {
        QCommandLineOption qtOption(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    for (const char* name : {"reverse", "widgetcount"}) {
        QCommandLineOption qtOption(QString::fromLatin1(name));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(qtOption);
    }
    QString error;
    if (!parser.parse(arguments)) {
        error = parser.errorText();
    } else if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("Unexpected argument '%1'.")
                    .arg(parser.positionalArguments().constFirst());
    }
    if (!error.isEmpty() || parser.isSet(version) || parser.isSet(help)) ReachConsole();
    if (!error.isEmpty()) {
        std::fprintf(stderr, "velomar: %s\nTry 'velomar --help' for more information.\n",
                     qPrintable(error));
        return 2;
    }
    if (parser.isSet(version)) {
        std::printf("velomar %s\n", VELOMAR_VERSION);
        return 0;
    }
    if (parser.isSet(help)) {
        const QString text = parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                       QStringLiteral("velomar"));
        std::fputs(qPrintable(text), stdout);
        return 0;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (const std::optional<int> exitCode = AnswerCommandLine(argc, argv)) return *exitCode;
    QApplication app(argc, argv);
    // The application title is the caption of every message box. It is deliberately not
    // set as the display name, which Qt would append to every window caption.
    QApplication::setApplicationName(velomar::kAppTitle);
    QApplication::setApplicationVersion(QStringLiteral(VELOMAR_VERSION));
    velomar::TFormDetect window;
    velomar::TConfigForm config(&window);
    window.setConfigForm(&config);
    config.hide();
    window.show();
    return app.exec();
}
