#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace velomar {

class DeviceTableModel;

// The device table's rows as text for the clipboard: the text columns' titles, then each
// row as the table shows it, tab-separated, a line each.
QString RowsAsText(const DeviceTableModel& model, const QList<int>& rows);
// The whole list as velomar-cli search --format csv writes it (the same code): what each
// device reported, its raw fields, and the problems the last search found.
QByteArray ListAsCsv(const DeviceTableModel& model);

}  // namespace velomar
