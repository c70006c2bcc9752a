#include "app/DeviceListExport.h"

#include "app/DeviceTableModel.h"
#include "core/Csv.h"
#include "core/DeviceRows.h"

namespace velomar {

QString RowsAsText(const DeviceTableModel& model, const QList<int>& rows) {
    QStringList header;
    for (int c = DeviceTableModel::ColModel; c < DeviceTableModel::ColApply; ++c)
        header << DeviceTableModel::title(c);
    QString text = header.join(u'\t') + u'\n';
    for (int row : rows) {
        QStringList cells;
        for (int c = DeviceTableModel::ColModel; c < DeviceTableModel::ColApply; ++c)
            cells << model.shownText(row, c);
        text += cells.join(u'\t') + u'\n';
    }
    return text;
}

QByteArray ListAsCsv(const DeviceTableModel& model) {
    QString text = CsvLine(DeviceCsvColumns()) + u'\n';
    for (int row = 0; row < model.count(); ++row) {
        if (const auto device = model.device(row))
            text += CsvLine(DeviceCsv(*device, model.entry(row).problems)) + u'\n';
    }
    return text.toUtf8();
}

}  // namespace velomar
