#include "cli/Help.h"

#include <QStringList>

namespace velomar::cli {

namespace {

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

const QList<Option>& GlobalOptions() {
    static const QList<Option> options{
        {{"--interface"},
         "NAME|ADDR",
         "Work only through this local interface or IPv4 address (repeatable).",
         Completion::Interface},
        {{"-q", "--quiet"}, {}, "No messages or progress on stderr, errors aside."},
        {{"-h", "--help"}, {}, "This help, or a subcommand's."},
        {{"--version"}, {}, "The program's version."},
    };
    return options;
}

QString OptionFlags(const Option& o) {
    return o.names.join(QStringLiteral(", ")) + (o.value.isEmpty() ? QString() : u' ' + o.value);
}

namespace {
QString OptionLines(const QList<Option>& options) {
    QString out;
    for (const Option& o : options)
        out += QStringLiteral("  %1\n      %2\n").arg(OptionFlags(o), o.help);
    return out;
}
}  // namespace

QString GlobalHelp() {
    QString out = QStringLiteral(
        "Usage: velomar-cli [--interface NAME|ADDR]... [--quiet] COMMAND [ARGS]\n\n"
        "Finds and configures Tervane device servers (UDP port 2057) from a terminal or a script.\n"
        "A MAC may be written 00-1A-2B-3C-4D-5E, 00:1a:2b:3c:4d:5e or 001A2B3C4D5E; a device is\n"
        "reached by its MAC whatever its IP.\n\nCommands:\n");
    for (const Command* c : Commands())
        out += QStringLiteral("  %1\n      %2\n").arg(c->name, -14).arg(c->summary);
    out += QStringLiteral("\nGlobal options:\n") + OptionLines(GlobalOptions());
    out += QStringLiteral("\nData goes to stdout, messages and progress to stderr.\n") +
           TextsAndRepeats() + kExitCodes + u'\n';
    out += QStringLiteral("'velomar-cli COMMAND --help' describes a command.\n");
    return out;
}

QString CommandHelpText(const Command& c) {
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
    for (const Option& o : GlobalOptions())
        m += QStringLiteral(".TP\n.B %1\n%2\n").arg(esc(OptionFlags(o)), esc(o.help));
    m += QStringLiteral(".SH COMMANDS\n");
    for (const Command* c : Commands()) {
        m += QStringLiteral(".SS %1\n.nf\nvelomar\\-cli %1 %2\n.fi\n%3\n")
                 .arg(esc(c->name), esc(c->synopsis), esc(c->summary));
        if (!c->details.isEmpty()) m += QStringLiteral(".PP\n") + esc(c->details) + u'\n';
        for (const Option& o : c->options)
            m += QStringLiteral(".TP\n.B %1\n%2\n").arg(esc(OptionFlags(o)), esc(o.help));
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

namespace velomar::cli {

namespace {
// The shell words an option's value or a plain argument may be completed from.
QString CompletionWords(Completion completion, const QStringList& choices) {
    switch (completion) {
        case Completion::File:
            return QStringLiteral("COMPREPLY=($(compgen -f -- \"$cur\"))");
        case Completion::Interface:
            return QStringLiteral(
                "COMPREPLY=($(compgen -W \"$(ls /sys/class/net 2>/dev/null)\" -- \"$cur\"))");
        case Completion::Choice:
            return QStringLiteral("COMPREPLY=($(compgen -W \"%1\" -- \"$cur\"))")
                .arg(choices.join(u' '));
        case Completion::None:
            break;
    }
    return {};
}

QStringList Names(const QList<Option>& options) {
    QStringList out;
    for (const Option& o : options) out += o.names;
    return out;
}
}  // namespace

QString BashCompletion() {
    QStringList top, groups;
    for (const Command* c : Commands()) {
        const QString word = c->group();
        if (!top.contains(word)) top << word;
        if (c->name.contains(u' ') && !groups.contains(word)) groups << word;
    }
    QString s =
        QStringLiteral(
            "# bash completion for velomar-cli, written from its command table\n"
            "_velomar_cli() {\n"
            "    local cur prev words cword\n"
            "    _init_completion 2>/dev/null || { cur=${COMP_WORDS[COMP_CWORD]}; "
            "prev=${COMP_WORDS[COMP_CWORD-1]}; words=(\"${COMP_WORDS[@]}\"); cword=$COMP_CWORD; }\n"
            "    local global=\"%1\"\n"
            "    local cmd=\"\" i\n"
            "    for ((i = 1; i < cword; i++)); do\n"
            "        case ${words[i]} in\n"
            "            --interface) ((i++)) ;;\n"
            "            -*) ;;\n"
            "            *) case \"$cmd\" in\n"
            "                   \"\") cmd=${words[i]} ;;\n"
            "                   %2) cmd=\"$cmd ${words[i]}\" ;;\n"
            "               esac ;;\n"
            "        esac\n"
            "    done\n"
            "    case $prev in\n"
            "        --interface) %3; return ;;\n"
            "    esac\n"
            "    local opts=\"\"\n"
            "    case $cmd in\n"
            "        \"\") COMPREPLY=($(compgen -W \"%4 $global\" -- \"$cur\")); return ;;\n")
            .arg(Names(GlobalOptions()).join(u' '), groups.join(u'|'),
                 CompletionWords(Completion::Interface, {}), top.join(u' '));
    for (const QString& g : groups) {
        s += QStringLiteral("        %1) COMPREPLY=($(compgen -W \"%2\" -- \"$cur\")); return ;;\n")
                 .arg(g, GroupMembers(g).join(u' '));
    }
    for (const Command* c : Commands()) {
        s += QStringLiteral("        \"%1\")\n            opts=\"%2\"\n            case $prev in\n")
                 .arg(c->name, Names(c->options).join(u' '));
        for (const Option& o : c->options) {
            if (o.completion == Completion::None) continue;
            s += QStringLiteral("                %1) %2; return ;;\n")
                     .arg(o.names.join(u'|'), CompletionWords(o.completion, o.choices));
        }
        s += QStringLiteral("            esac\n");
        if (c->arguments != Completion::None)
            s += QStringLiteral("            %1\n").arg(CompletionWords(c->arguments, {}));
        s += QStringLiteral("            ;;\n");
    }
    s += QStringLiteral(
        "    esac\n"
        "    if [[ $cur == -* ]]; then COMPREPLY=($(compgen -W \"$opts $global\" -- \"$cur\")); "
        "fi\n"
        "}\n"
        "complete -F _velomar_cli velomar-cli\n");
    return s;
}

}  // namespace velomar::cli
