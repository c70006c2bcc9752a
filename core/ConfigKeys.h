#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include "core/DeviceConfig.h"

namespace velomar {

// The configuration under stable names, for scripts: the network record's fields
// ("ip", "telnet", ...) and each port's operation and serial fields ("port1.baudrate",
// port numbers from 1 as the dialog shows them). Values are the texts the dialog shows.
struct ConfigKey {
    QString name;  // "ip", or "baudrate" for port keys
    bool perPort;
    QString description;  // what it is and which values it takes
};
const QList<ConfigKey>& ConfigKeys();

// Every key with its value, in key order, ports in turn.
QList<QPair<QString, QString>> ConfigValues(const DeviceConfig& config);

// Sets one key from its text. Throws Error naming the key and the problem (unknown key,
// port beyond the device's, a value out of range or not in the list).
void SetConfigValue(DeviceConfig& config, const QString& key, const QString& value);

// The keys whose values differ, each as "key: old -> new".
QStringList ConfigDifferences(const DeviceConfig& from, const DeviceConfig& to);

}  // namespace velomar
