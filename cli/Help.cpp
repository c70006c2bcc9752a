#include "cli/Help.h"

#include <QStringList>

#include "core/FirmwareTransfer.h"

namespace velomar::cli {

namespace {

const QList<QPair<QString, QString>> kGlobalOptions{
    {QStringLiteral("--interface NAME|ADDR"),
     QStringLiteral("Work only through this local interface or IPv4 address (repeatable).")},
    {QStringLiteral("-q, --quiet"),
     QStringLiteral("No messages or progress on stderr, errors aside.")},
    {QStringLiteral("-h, --help"), QStringLiteral("This help, or a subcommand's.")},
    {QStringLiteral("--version"), QStringLiteral("The program's version.")},
};

// What happens to the texts devices send, and to requests that get no answer.
QString TextsAndRepeats() {
    return QStringLiteral(
               "Texts from devices (names, models, aliases) are shown with control and "
               "bidirectional\n"
               "characters as escapes (\\x1b, \\u202e); JSON keeps them exact. A CSV cell that "
               "would start a\n"
               "spreadsheet formula (=, +, -, @) gets a ' before it, which set --from takes off.\n"
               "The network may lose datagrams: a search for given MACs or at --ip, a record "
               "request\n"
               "and a network set with no answer are sent again, up to %1 times, each after its "
               "share\n"
               "of --timeout (1/%2 of it) or after a verify round; this is said on stderr. "
               "An apply\n"
               "or a firmware frame is never repeated: a lost answer there is a failure naming "
               "the step,\n"
               "and a configuration is reported applied only once the device reads back as "
               "written.\n")
        .arg(kRepeats)
        .arg(kRepeats + 1);
}

const QString kExitCodes = QStringLiteral(
    "Exit codes: 0 success; 1 a device refused or did not answer (some of a batch failed);\n"
    "2 bad usage or bad input (nothing was sent); 3 port 2057 unavailable; 4 fewer devices\n"
    "found than --expect asked for.");

}  // namespace

const QList<CommandHelp>& Commands() {
    static const QList<CommandHelp> commands{
        {QStringLiteral("search"),
         QStringLiteral("[--ip ADDR] [--timeout S] [--expect N] [--format table|json|ndjson|csv]"),
         QStringLiteral("Find the devices and show what each reports."),
         QStringLiteral("Asks through every local address at once (or only ADDR with --ip) and "
                        "lists each device\n"
                        "once: model, MAC, version, name, IP, mask, gateway, Pelorin IP, the local "
                        "address it\n"
                        "answered through and, in json, ndjson and csv, the raw fields as hex. "
                        "Finding none is\n"
                        "not an error unless --expect was given."),
         {{QStringLiteral("--ip ADDR"),
           QStringLiteral("Ask this address only (a device or a broadcast address).")},
          {QStringLiteral("--timeout S"),
           QStringLiteral("Seconds to wait for answers (default 3).")},
          {QStringLiteral("--expect N"),
           QStringLiteral("Stop once N devices answered; exit 4 when fewer did.")},
          {QStringLiteral("--format F"),
           QStringLiteral(
               "table (default), json, ndjson (one object per device as it answers) or csv.")}}},
        {QStringLiteral("interfaces"),
         QStringLiteral("[--format table|json]"),
         QStringLiteral("List the local IPv4 addresses a search goes through."),
         QString(),
         {{QStringLiteral("--format F"), QStringLiteral("table (default) or json.")}}},
        {QStringLiteral("set"),
         QStringLiteral("MAC [--ip A] [--mask M] [--gateway G] [--pelorin-ip P] [--name TEXT]\n"
                        "set --from FILE.csv [--dry-run] [--report FILE]"),
         QStringLiteral("Change the network settings of one device or of many."),
         QStringLiteral(
             "Values not given keep the device's current ones (read by a search first). Every row\n"
             "is checked before anything is sent: addresses, MACs that did not answer, a MAC "
             "listed\n"
             "twice, an IP that two devices would hold. The CSV file has a header line naming its\n"
             "columns: mac, and any of ip, mask, gateway, pelorin_ip, name; an empty cell keeps "
             "the\n"
             "device's value. After sending, each device is searched for again until it answers\n"
             "with its new values: verified, sent-but-unverified or failed."),
         {{QStringLiteral("--ip, --mask, --gateway, --pelorin-ip A"),
           QStringLiteral("New addresses.")},
          {QStringLiteral("--name TEXT"), QStringLiteral("New name (cut at 32 bytes of UTF-8).")},
          {QStringLiteral("--from FILE.csv"), QStringLiteral("One row per device.")},
          {QStringLiteral("--dry-run"), QStringLiteral("Print the plan; send nothing.")},
          {QStringLiteral("--report FILE"),
           QStringLiteral("Write the results as CSV or JSON (by the file's extension).")},
          {QStringLiteral("--timeout S"),
           QStringLiteral("Seconds for the search before (default 3).")},
          {QStringLiteral("--verify-timeout S"),
           QStringLiteral("Seconds to wait for the new values (default 10).")},
          {QStringLiteral("--format F"),
           QStringLiteral("table (default) or json for the results.")}}},
        {QStringLiteral("config show"),
         QStringLiteral("MAC [--format text|json] [--timeout S]"),
         QStringLiteral("Show a device's configuration under the names of 'config keys'."),
         QString(),
         {{QStringLiteral("--format F"), QStringLiteral("text (default) or json.")},
          {QStringLiteral("--timeout S"),
           QStringLiteral("Seconds to wait for the records (default 3).")}}},
        {QStringLiteral("config export"),
         QStringLiteral("MAC FILE.vlm [--timeout S]"),
         QStringLiteral("Save a device's configuration in the window's configuration file format."),
         QString(),
         {}},
        {QStringLiteral("config import"),
         QStringLiteral("MAC FILE.vlm [--dry-run] [--timeout S]"),
         QStringLiteral("Load a configuration file into a device and apply it."),
         QStringLiteral(
             "The file is read and checked whole, the device's configuration is read, the changes\n"
             "are printed; then every record is sent, applied, and the device's answer awaited."),
         {{QStringLiteral("--dry-run"), QStringLiteral("Print the changes; send nothing.")}}},
        {QStringLiteral("config diff"),
         QStringLiteral("MAC FILE.vlm | MAC MAC2 [--timeout S]"),
         QStringLiteral("Show how a device's configuration differs from a file or another device."),
         QString(),
         {}},
        {QStringLiteral("config set"),
         QStringLiteral("MAC KEY=VALUE... [--dry-run] [--timeout S]"),
         QStringLiteral("Change single settings and apply them."),
         QStringLiteral(
             "Network keys as listed by 'config keys'; port keys as portN.KEY (ports from 1).\n"
             "Every value is checked before anything is sent."),
         {{QStringLiteral("--dry-run"), QStringLiteral("Print the changes; send nothing.")}}},
        {QStringLiteral("config keys"),
         QString(),
         QStringLiteral("List the configuration keys and their values."),
         QString(),
         {}},
        {QStringLiteral("firmware"),
         QStringLiteral("MAC... IMAGE [--yes] [--timeout S] [--format table|json]"),
         QStringLiteral("Upgrade the firmware of one device after another."),
         QStringLiteral(
             "Shows each device's model and current version and asks first, unless --yes is given\n"
             "or stdin is not a terminal. The same frames and waits as the window: %1 s per\n"
             "block, %2 s for the final answer. Afterwards each device is searched for again and\n"
             "the version it reports is shown.")
             .arg(kFirmwareBlockReplyWait.count())
             .arg(kFirmwareFinalReplyWait.count()),
         {{QStringLiteral("--yes"), QStringLiteral("Do not ask.")},
          {QStringLiteral("--timeout S"), QStringLiteral("Seconds for each search (default 3).")},
          {QStringLiteral("--format F"),
           QStringLiteral("table (default) or json for the results.")}}},
        {QStringLiteral("doctor"),
         QString(),
         QStringLiteral("Check this computer: addresses, port 2057, firewall, receive buffer."),
         QStringLiteral(
             "Sends nothing. Each finding comes with its fix; exit 3 when port 2057 is held."),
         {}},
    };
    return commands;
}

const CommandHelp* FindCommand(const QString& name) {
    for (const CommandHelp& c : Commands()) {
        if (c.name == name) return &c;
    }
    return nullptr;
}

namespace {
QString OptionLines(const QList<QPair<QString, QString>>& options) {
    QString out;
    for (const auto& [flag, text] : options) {
        out += QStringLiteral("  %1\n      %2\n").arg(flag, text);
    }
    return out;
}
}  // namespace

QString GlobalHelp() {
    QString out = QStringLiteral(
        "Usage: velomar-cli [--interface NAME|ADDR]... [--quiet] COMMAND [ARGS]\n\n"
        "Finds and configures Tervane device servers (UDP port 2057) from a terminal or a script.\n"
        "A MAC may be written 00-1A-2B-3C-4D-5E, 00:1a:2b:3c:4d:5e or 001A2B3C4D5E; a device is\n"
        "reached by its MAC whatever its IP.\n\nCommands:\n");
    for (const CommandHelp& c : Commands())
        out += QStringLiteral("  %1\n      %2\n").arg(c.name, -14).arg(c.summary);
    out += QStringLiteral("\nGlobal options:\n") + OptionLines(kGlobalOptions);
    out += QStringLiteral("\nData goes to stdout, messages and progress to stderr.\n") +
           TextsAndRepeats() + kExitCodes + u'\n';
    out += QStringLiteral("'velomar-cli COMMAND --help' describes a command.\n");
    return out;
}

QString CommandHelpText(const CommandHelp& c) {
    QString out =
        QStringLiteral("Usage: velomar-cli %1 %2\n\n%3\n").arg(c.name, c.synopsis, c.summary);
    if (!c.details.isEmpty()) out += u'\n' + c.details + u'\n';
    if (!c.options.isEmpty()) out += QStringLiteral("\nOptions:\n") + OptionLines(c.options);
    out +=
        QStringLiteral("\nGlobal options (--interface, --quiet) apply too. ") + kExitCodes + u'\n';
    return out;
}

QString ManPage(const QString& version) {
    auto esc = [](QString t) {
        t.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
        t.replace(QStringLiteral("-"), QStringLiteral("\\-"));
        QStringList lines = t.split(u'\n');
        for (QString& l : lines) {
            if (l.startsWith(u'.') || l.startsWith(u'\'')) l.prepend(QStringLiteral("\\&"));
        }
        return lines.join(u'\n');
    };
    QString m = QStringLiteral(".TH VELOMAR-CLI 1 \"\" \"velomar-cli %1\" \"User Commands\"\n")
                    .arg(version);
    m += QStringLiteral(
        ".SH NAME\nvelomar\\-cli \\- find and configure Tervane device servers from a terminal\n");
    m += QStringLiteral(
        ".SH SYNOPSIS\n.B velomar\\-cli\n[\\-\\-interface NAME|ADDR]... [\\-\\-quiet] COMMAND "
        "[ARGS]\n");
    m += QStringLiteral(".SH DESCRIPTION\n") +
         esc(GlobalHelp().section(QStringLiteral("\n\n"), 1, 1)) + u'\n';
    m += QStringLiteral(".SH GLOBAL OPTIONS\n");
    for (const auto& [flag, text] : kGlobalOptions)
        m += QStringLiteral(".TP\n.B %1\n%2\n").arg(esc(flag), esc(text));
    m += QStringLiteral(".SH COMMANDS\n");
    for (const CommandHelp& c : Commands()) {
        m += QStringLiteral(".SS %1\n.nf\nvelomar\\-cli %1 %2\n.fi\n%3\n")
                 .arg(esc(c.name), esc(c.synopsis), esc(c.summary));
        if (!c.details.isEmpty()) m += QStringLiteral(".PP\n") + esc(c.details) + u'\n';
        for (const auto& [flag, text] : c.options)
            m += QStringLiteral(".TP\n.B %1\n%2\n").arg(esc(flag), esc(text));
    }
    m += QStringLiteral(
             ".SH OUTPUT\nData goes to stdout and nothing else does; messages and progress go to "
             "stderr.\n"
             "JSON is always {\"schema_version\": 1, \"devices\": [...], \"errors\": [...]}.\n") +
         esc(TextsAndRepeats());
    m += QStringLiteral(".SH EXIT STATUS\n") + esc(kExitCodes.section(QStringLiteral(": "), 1)) +
         u'\n';
    return m;
}

}  // namespace velomar::cli
