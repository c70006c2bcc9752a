#include "cli/Session.h"

#include "cli/Cli.h"
#include "cli/Help.h"
#include "core/AddressTargets.h"
#include "protocol/Codecs.h"
#include "protocol/Mac.h"

namespace velomar::cli {

using namespace std::chrono;

Session::Session(Context& c) : context_(c), link_(SelectedAddresses(c.interfaces)) {
    open();
}

// The options are read before the port is taken: bad usage sends nothing.
Session::Session(Context& c, const Arguments& a, const QString& targetsOption)
    : context_(c),
      targets_(Targets(a, targetsOption)),
      rate_(Rate(a)),
      link_(SelectedAddresses(c.interfaces)) {
    link_.setUnicast(!targets_.isEmpty() || a.has(QStringLiteral("--unicast")));
    open();
}

void Session::open() {
    Context& c = context_;
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

DiscoveryOptions Session::searchOptions(milliseconds timeout) const {
    DiscoveryOptions o;
    o.timeout = timeout;
    o.retries = retries_;
    o.rate = rate_;
    // One address is the device itself: it is asked as the search by IP asks.
    if (targets_.size() == 1) {
        o.address = targets_.first();
    } else {
        o.targets = targets_;
    }
    return o;
}

std::vector<FoundDevice> Session::find(const std::vector<QByteArray>& macs, milliseconds timeout) {
    DiscoveryOptions o = searchOptions(timeout);
    o.untilMacs = macs;
    // Devices already found are asked at their own addresses.
    bool known = link_.unicast();
    for (const QByteArray& mac : macs) known = known && !link_.addressOf(mac).isEmpty();
    if (known) {
        o.address.clear();
        o.targets.clear();
    }
    return DiscoverySession(link_).run(o);
}

std::vector<FoundDevice> Session::findAll(milliseconds timeout) {
    return DiscoverySession(link_).run(searchOptions(timeout));
}

ConfigSession Session::config(const QByteArray& mac) {
    if (link_.unicast() && link_.addressOf(mac).isEmpty() && find({mac}, 3s).empty()) {
        context_.message(QStringLiteral("%1 did not answer a search: its requests are broadcast")
                             .arg(MacToText(mac)));
    }
    return ConfigSession(link_, mac, retries_);
}

QList<Option> UnicastOptions(const QString& targetsOption) {
    return {{{targetsOption},
             "LIST",
             "Search these addresses and ranges (198.18.4.0/24,198.18.5.7), one request each, "
             "for devices behind a router; implies --unicast."},
            {{"--unicast"},
             {},
             "Send every request after the search to the address the device answered from, not "
             "to the broadcast address."},
            {{"--rate"}, "N", "Search requests a second with a list of addresses (default 200)."}};
}

QList<Option> SearchTargetOptions() {
    QList<Option> options = UnicastOptions();
    options.removeAt(1);  // a command that only searches sends nothing after it
    options[0].help = QStringLiteral(
        "Search these addresses and ranges (198.18.4.0/24,198.18.5.7), "
        "one request each, for devices behind a router.");
    return options;
}

QStringList Targets(const Arguments& a, const QString& option) {
    if (!a.has(option)) return {};
    const AddressTargets t = ParseAddressTargets(a.value(option));
    if (!t.error.isEmpty()) throw UsageError(QStringLiteral("%1: %2").arg(option, t.error));
    return t.texts();
}

int Rate(const Arguments& a) {
    if (!a.has("--rate")) return 200;
    bool ok = false;
    const int rate = a.value("--rate").toInt(&ok);
    if (!ok || rate < 1 || rate > 100000) {
        throw UsageError(QStringLiteral("--rate: \"%1\" is not a number of requests a second "
                                        "(1-100000)")
                             .arg(a.value("--rate")));
    }
    return rate;
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
