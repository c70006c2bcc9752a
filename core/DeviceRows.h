#pragma once

#include <QJsonObject>
#include <QStringList>

#include "core/Discovery.h"

// A device found by a search, as the command line writes it and the window saves its list:
// JSON (texts exact, raw fields as hex, its problems when given) and a CSV row (texts as
// ShownText shows them, the raw fields as hex, the problems last, joined by "; ").
namespace velomar {

QJsonObject DeviceJson(const FoundDevice& device, const QStringList* problems = nullptr);
const QStringList& DeviceCsvColumns();
QStringList DeviceCsv(const FoundDevice& device, const QStringList& problems);

}  // namespace velomar
