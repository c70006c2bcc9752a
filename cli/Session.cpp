#include "cli/Session.h"

#include "cli/Cli.h"
#include "cli/Help.h"
#include "protocol/Mac.h"

namespace velomar::cli {

using namespace std::chrono;

Session::Session(Context& c) : link_(SelectedAddresses(c.interfaces)) {
    if (link_.localAddresses().isEmpty()) {
        c.message(QStringLiteral("no local IPv4 address is up: broadcasts go nowhere"));
    }
    retries_.repeats = kRepeats;
    retries_.notice = [this, &c](const QString& text) {
        std::lock_guard lock(noticeMutex_);
        c.message(text);
    };
    link_.open();
}

std::vector<FoundDevice> Session::find(const std::vector<QByteArray>& macs, milliseconds timeout) {
    DiscoveryOptions o;
    o.timeout = timeout;
    o.untilMacs = macs;
    o.retries = retries_;
    return DiscoverySession(link_).run(o);
}

milliseconds Seconds(const Arguments& a, const QString& option, double fallback) {
    if (!a.has(option)) return milliseconds(qint64(fallback * 1000));
    bool ok = false;
    const double s = a.value(option).toDouble(&ok);
    if (!ok || s <= 0 || s > 3600) {
        throw UsageError(QStringLiteral("%1: \"%2\" is not a number of seconds (0-3600)")
                             .arg(option, a.value(option)));
    }
    return milliseconds(qint64(s * 1000));
}

QString Format(const Arguments& a, const QStringList& allowed) {
    const QString f = a.value(QStringLiteral("--format"), allowed.first());
    if (!allowed.contains(f)) {
        throw UsageError(
            QStringLiteral("--format: \"%1\" is not one of %2").arg(f, allowed.join(u'|')));
    }
    return f;
}

QByteArray Mac(const QString& text) {
    const auto mac = ParseMac(text);
    if (!mac) {
        throw UsageError(QStringLiteral("\"%1\" is not a MAC address (00-1A-2B-3C-4D-5E, "
                                        "00:1a:2b:3c:4d:5e or 001A2B3C4D5E)")
                             .arg(text));
    }
    return *mac;
}

}  // namespace velomar::cli
