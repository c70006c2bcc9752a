#include "core/FleetFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include "core/Csv.h"
#include "protocol/Codecs.h"
#include "protocol/Errors.h"
#include "protocol/Mac.h"

namespace velomar {

namespace {
Error Problem(const QString& file, const QString& text) {
    return Error(QStringLiteral("%1: %2").arg(file, text));
}

std::vector<ReportedResult> FromJson(const QJsonObject& root, const QString& fileName) {
    if (!root.value(QLatin1String("devices")).isArray())
        throw Problem(fileName, QStringLiteral("no \"devices\" list"));
    std::vector<ReportedResult> out;
    const QJsonArray devices = root.value(QLatin1String("devices")).toArray();
    for (qsizetype i = 0; i < devices.size(); ++i) {
        const QJsonObject d = devices.at(i).toObject();
        const auto mac = ParseMac(d.value(QLatin1String("mac")).toString());
        const QString result = d.value(QLatin1String("result")).toString();
        if (!mac || result.isEmpty()) {
            throw Problem(fileName, QStringLiteral("device %1 has no MAC or no result").arg(i + 1));
        }
        out.push_back({*mac, result});
    }
    return out;
}

std::vector<ReportedResult> FromCsv(const QByteArray& data, const QString& fileName) {
    const std::vector<CsvRecord> records = ReadCsv(data, fileName);
    if (records.empty()) throw Problem(fileName, QStringLiteral("no header line"));
    const QStringList header = records.front().fields;
    const qsizetype macAt = header.indexOf(QStringLiteral("mac"));
    const qsizetype resultAt = header.indexOf(QStringLiteral("result"));
    if (macAt < 0 || resultAt < 0)
        throw Problem(fileName, QStringLiteral("the header has no \"mac\" and \"result\" columns"));
    std::vector<ReportedResult> out;
    for (size_t r = 1; r < records.size(); ++r) {
        const CsvRecord& rec = records[r];
        const auto mac = rec.fields.size() > macAt ? ParseMac(rec.fields.at(macAt)) : std::nullopt;
        const QString result = rec.fields.size() > resultAt ? rec.fields.at(resultAt) : QString();
        if (!mac || result.isEmpty()) {
            throw Problem(QStringLiteral("%1:%2").arg(fileName).arg(rec.line),
                          QStringLiteral("no MAC or no result"));
        }
        out.push_back({*mac, result});
    }
    return out;
}
}  // namespace

std::vector<ReportedResult> ReadResultReport(const QByteArray& data, const QString& fileName) {
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(data, &error);
    if (error.error == QJsonParseError::NoError) {
        if (!json.isObject()) throw Problem(fileName, QStringLiteral("not a report"));
        return FromJson(json.object(), fileName);
    }
    if (data.trimmed().startsWith('{')) {
        throw Problem(fileName, QStringLiteral("not valid JSON (%1)").arg(error.errorString()));
    }
    return FromCsv(data, fileName);
}

QString BackupFileName(const QByteArray& mac6) {
    return MacToText(mac6) + QStringLiteral(".vlm");
}

Backup ReadBackup(const QMap<QString, QByteArray>& files) {
    Backup backup;
    QHash<QByteArray, QJsonObject> inventory;
    if (files.contains(QLatin1String(kInventoryFile))) {
        const QJsonDocument doc =
            QJsonDocument::fromJson(files.value(QLatin1String(kInventoryFile)));
        if (!doc.isObject() || !doc.object().value(QLatin1String("devices")).isArray()) {
            backup.problems
                << QStringLiteral("%1: not the JSON a search writes").arg(kInventoryFile);
        }
        for (const auto& d : doc.object().value(QLatin1String("devices")).toArray()) {
            if (const auto mac = ParseMac(d.toObject().value(QLatin1String("mac")).toString()))
                inventory.insert(*mac, d.toObject());
        }
    }
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (!it.key().endsWith(QLatin1String(".vlm"))) continue;
        const auto mac = ParseMac(it.key().chopped(4));
        if (!mac || BackupFileName(*mac) != it.key()) continue;  // not one of ours
        try {
            backup.devices[*mac] = {DecodeConfigFile(it.value(), it.key()), inventory.value(*mac)};
        } catch (const Error& e) {
            backup.problems << e.text();
        }
    }
    return backup;
}

Backup ReadBackupFolder(const QString& dir) {
    const QDir d(dir);
    if (!d.exists()) throw Error(QStringLiteral("%1: no such folder").arg(dir));
    QMap<QString, QByteArray> files;
    for (const QString& name :
         d.entryList({QStringLiteral("*.vlm"), QLatin1String(kInventoryFile)}, QDir::Files)) {
        QFile f(d.filePath(name));
        if (!f.open(QIODevice::ReadOnly)) {
            throw Error(QStringLiteral("cannot read %1: %2").arg(f.fileName(), f.errorString()));
        }
        files.insert(name, f.readAll());
    }
    return ReadBackup(files);
}

bool WriteIfChanged(const QString& path, const QByteArray& bytes) {
    QFile old(path);
    if (old.open(QIODevice::ReadOnly) && old.size() == bytes.size() && old.readAll() == bytes)
        return false;
    old.close();
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        throw Error(QStringLiteral("cannot write %1: %2").arg(path, f.errorString()));
    }
    return true;
}

}  // namespace velomar
