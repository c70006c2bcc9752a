#pragma once

#include <QByteArray>

#include "config/RecordGrid.h"
#include "protocol/OperationRecord.h"
#include "protocol/SerialRecord.h"

namespace velomar {

class Error;

// The rows of OpGrid: one port's operation record per row.
class OperationGridModel : public RecordGridModel {
    Q_OBJECT
  public:
    enum Column {
        No,
        PortAlias,
        Operation,
        SrcPort,
        Type,
        DestIp,
        DestPort,
        Alive,
        Latency,
        Nodelay
    };
    explicit OperationGridModel(QObject* parent = nullptr);

    // Fills the row named by the record's port index. A frame too short for the record,
    // a port without a row, or a code past the end of its list throws; the fields placed
    // before a bad code stay.
    void decode(const QByteArray& frame);
    void show(const OperationRecord& record);
    // The cells of one row as a record (ConfigExchange makes the 'O' frame of it). Throws
    // the conversion error of an empty or non-numeric number cell, or of a destination
    // that is not an address.
    OperationRecord record(int port) const;
};

// The rows of SerialGrid: one port's serial record per row.
class SerialGridModel : public RecordGridModel {
    Q_OBJECT
  public:
    enum Column { No, Interface, Baudrate, DataBit, StopBit, Parity, FlowControl };
    explicit SerialGridModel(QObject* parent = nullptr);

    void decode(const QByteArray& frame);
    void show(const SerialRecord& record);
    // The cells of one row as a record; an empty cell travels as 0xFF, so this never fails
    // for an existing row.
    SerialRecord record(int port) const;
};

// The grid's answer to a port index for which it has no row.
Error RowBoundsError(int row);
// Thrown for a received record shorter than its layout.
Error ShortRecordError(int size);

}  // namespace velomar
