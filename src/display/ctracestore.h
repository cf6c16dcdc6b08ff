// The History's telegrams for a packet trace: each kept with the serial number of the first line
// that shows it, and dropped when that line leaves the History, so the trace holds what the History
// holds. Saved as a pcapng file, all of them or those of a range of lines.
#pragma once

#include "display/ctracetelegram.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <functional>

class CTraceStore
{
public:
    void Add(qint64 lineSerial, CTraceTelegram telegram);
    // Drops the telegrams of lines before `firstSerial` (gone from the History).
    void Trim(qint64 firstSerial);
    void Clear() { m_telegrams.clear(); }
    int Count() const { return int(m_telegrams.size()); }

    // The pcapng trace of the telegrams whose lines are in [fromSerial, toSerial); `judge` (may be
    // empty) sets a received telegram's checksum verdict.
    QByteArray Trace(qint64 fromSerial, qint64 toSerial, const QByteArray &serialDissector,
                     const std::function<int(const QByteArray &)> &judge = {}) const;
    // Writes Trace(...) to `path` in one step: on failure the old file stays as it was.
    static bool SaveTo(const QString &path, const QByteArray &trace, QString *error);

private:
    struct Entry
    {
        qint64 serial;
        CTraceTelegram telegram;
    };
    std::deque<Entry> m_telegrams;
};
