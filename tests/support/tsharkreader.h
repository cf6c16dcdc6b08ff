// Reads a trace file with tshark (the packet analyser's command-line reader), the independent judge
// of what the trace writer writes.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class TsharkReader
{
public:
    // The reader's path, empty when it is not installed.
    static QString Program();
    // One row of `fields` per packet that `filter` lets through (empty: every packet); false with
    // the reader's complaint in `error` when it cannot read the file.
    static bool Fields(const QString &file, const QString &filter, const QStringList &fields,
                       QList<QStringList> *rows, QString *error);
    // A bytes field as tshark prints it ("01:02" or "0102"), as bytes.
    static QByteArray Bytes(const QString &field);
    // frame.time_epoch ("1700000000.123456000") in microseconds.
    static qint64 Microseconds(const QString &field);
};
