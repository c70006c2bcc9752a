#include "core/DeviceRows.h"

#include <QJsonArray>

#include "core/ShownText.h"
#include "protocol/Bytes.h"

namespace velomar {

namespace {
QString Hex(const QByteArray& b) {
    return QString::fromLatin1(b.toHex());
}
}  // namespace

QJsonObject DeviceJson(const FoundDevice& d, const QStringList* problems) {
    const DeviceTexts& t = d.texts;
    const DiscoveryReply& r = d.reply;
    QJsonObject o{{"model", UpToNul(t.model)},
                  {"mac", t.mac},
                  {"version", UpToNul(t.version)},
                  {"name", t.name},
                  {"ip", t.ip},
                  {"mask", t.mask},
                  {"gateway", t.gateway},
                  {"pelorin_ip", t.pelorin},
                  {"local_address", d.localAddress},
                  {"raw", QJsonObject{{"model", Hex(r.model)},
                                      {"mac", Hex(r.mac)},
                                      {"version", Hex(r.version)},
                                      {"name", Hex(r.name)},
                                      {"ip", Hex(r.ip)},
                                      {"mask", Hex(r.mask)},
                                      {"gateway", Hex(r.gateway)},
                                      {"pelorin_ip", Hex(r.pelorin)}}}};
    if (problems) o.insert("problems", QJsonArray::fromStringList(*problems));
    return o;
}

const QStringList& DeviceCsvColumns() {
    static const QStringList columns{"model",
                                     "mac",
                                     "version",
                                     "name",
                                     "ip",
                                     "mask",
                                     "gateway",
                                     "pelorin_ip",
                                     "local_address",
                                     "raw_model",
                                     "raw_mac",
                                     "raw_version",
                                     "raw_name",
                                     "raw_ip",
                                     "raw_mask",
                                     "raw_gateway",
                                     "raw_pelorin_ip",
                                     "problems"};
    return columns;
}

// The texts as the table shows them; the raw_ columns keep the exact bytes.
QStringList DeviceCsv(const FoundDevice& d, const QStringList& problems) {
    const QJsonObject o = DeviceJson(d);
    const QJsonObject raw = o.value("raw").toObject();
    QStringList f;
    for (const QString& c : DeviceCsvColumns()) {
        if (c == "problems") {
            f << problems.join(QStringLiteral("; "));
            continue;
        }
        f << (c.startsWith("raw_") ? raw.value(c.mid(4)).toString()
                                   : ShownText(o.value(c).toString()));
    }
    return f;
}

}  // namespace velomar
