#include "cli/Cli.h"

#include <QCoreApplication>
#include <QNetworkInterface>
#include <QRegularExpression>

#include "cli/Help.h"
#include "core/DeviceLink.h"
#include "core/ShownText.h"
#include "net/LocalAddresses.h"

namespace velomar::cli {

Context::Context() : out(stdout), err(stderr) {}

// Messages quote device names, file contents and values: shown with escapes, like every
// text that reaches a terminal.
void Context::message(const QString& text) {
    if (quiet) return;
    err << ShownText(text) << Qt::endl;
}

void Context::error(const QString& text) {
    err << "velomar-cli: " << ShownText(text) << Qt::endl;
}

void Context::line(const QString& text) {
    out << ShownText(text) << '\n';
}

QStringList SelectedAddresses(const QStringList& wanted) {
    const QStringList local = LocalIPv4Addresses();
    if (wanted.isEmpty()) return local;
    QStringList out;
    for (const QString& w : wanted) {
        QStringList matched;
        if (local.contains(w)) {
            matched << w;
        } else {
            const QNetworkInterface i = QNetworkInterface::interfaceFromName(w);
            for (const QNetworkAddressEntry& e : i.addressEntries()) {
                if (local.contains(e.ip().toString())) matched << e.ip().toString();
            }
        }
        if (matched.isEmpty()) {
            throw UsageError(QStringLiteral("--interface: \"%1\" is neither a local interface that "
                                            "is up nor one of its IPv4 addresses (%2)")
                                 .arg(w, local.isEmpty() ? QStringLiteral("none here")
                                                         : local.join(QStringLiteral(", "))));
        }
        for (const QString& m : matched) {
            if (!out.contains(m)) out << m;
        }
    }
    // In the system's order, as a search without --interface goes.
    QStringList ordered;
    for (const QString& l : local) {
        if (out.contains(l)) ordered << l;
    }
    return ordered;
}

namespace {

// The command line read against the command table. Global options go anywhere; the command
// is the first plain word, or two where the first names a group ("config show").
struct Parsed {
    const Command* command = nullptr;
    QString group;  // a group named without a command of it
    Arguments arguments;
    bool help = false;
    bool version = false;
};

Parsed Parse(Context& c, const QStringList& words) {
    Parsed p;
    QString name;
    for (int i = 0; i < words.size(); ++i) {
        QString arg = words[i];
        QString inlineValue;
        bool hasInline = false;
        if (arg.startsWith("--") && arg.contains(u'=')) {
            inlineValue = arg.section(u'=', 1);
            arg = arg.section(u'=', 0, 0);
            hasInline = true;
        }
        auto takeValue = [&]() {
            if (hasInline) return inlineValue;
            if (i + 1 >= words.size())
                throw UsageError(QStringLiteral("%1 needs a value").arg(arg));
            return words[++i];
        };
        if (arg == "--help" || arg == "-h") {
            p.help = true;
        } else if (arg == "--version") {
            p.version = true;
            return p;
        } else if (arg == "--quiet" || arg == "-q") {
            c.quiet = true;
        } else if (arg == "--interface") {
            c.interfaces << takeValue();
        } else if (arg == "--") {
            p.arguments.positional += words.mid(i + 1);
            break;
        } else if (arg.startsWith('-') && arg.size() > 1) {
            if (!p.command) {
                if (!p.group.isEmpty())
                    throw UsageError(QStringLiteral("%1 does not take %2").arg(p.group, arg));
                throw UsageError(QStringLiteral("unknown option %1 (before the command)").arg(arg));
            }
            const Option* o = p.command->option(arg);
            if (!o) throw UsageError(QStringLiteral("%1 does not take %2").arg(name, arg));
            p.arguments.options[arg] << (o->value.isEmpty() ? QString() : takeValue());
        } else if (name.isEmpty()) {
            name = arg;
            if (IsGroup(name)) {
                p.group = name;
                if (i + 1 < words.size() && !words[i + 1].startsWith('-')) name += ' ' + words[++i];
            }
            p.command = FindCommand(name);
            if (!p.command && name != p.group)
                throw UsageError(QStringLiteral("unknown command \"%1\"").arg(name));
        } else {
            p.arguments.positional << arg;
        }
    }
    return p;
}

}  // namespace

int Run(const QStringList& arguments) {
    Context c;
    try {
        const Parsed p = Parse(c, arguments.mid(1));
        if (p.version) {
            c.out << "velomar-cli " << QCoreApplication::applicationVersion() << Qt::endl;
            return kOk;
        }
        if (!p.command && p.group.isEmpty()) {
            (p.help ? c.out : c.err) << GlobalHelp();
            return p.help ? kOk : kBadUsage;
        }
        if (p.help) {
            if (p.command) {
                c.out << CommandHelpText(*p.command);
            } else {
                for (const QString& member : GroupMembers(p.group))
                    c.out << CommandHelpText(*FindCommand(p.group + u' ' + member)) << '\n';
            }
            return kOk;
        }
        if (!p.command) {
            throw UsageError(QStringLiteral("%1 needs %2")
                                 .arg(p.group, GroupMembers(p.group)
                                                   .join(QStringLiteral(", "))
                                                   .replace(QRegularExpression(", (?=[^,]*$)"),
                                                            QStringLiteral(" or "))));
        }
        return p.command->run(c, p.arguments);
    } catch (const UsageError& e) {
        c.error(e.text());
        c.err << "Try 'velomar-cli --help'." << Qt::endl;
        return kBadUsage;
    } catch (const PortInUseError& e) {
        c.error(e.text());
        return kPortUnavailable;
    } catch (const Error& e) {
        c.error(e.text());
        return kDeviceFailed;
    }
}

}  // namespace velomar::cli
