// The History's telegrams for a packet trace: each kept with the serial number of the first line
// that shows it, and dropped when that line leaves the History, so the trace holds what the History
// holds. Saved as a pcapng file, all of them or those of a range of lines.
#pragma once

#include "display/ctracetelegram.h"

#include <QByteArray>
#include <QString>

#include <deque>

class QIODevice;
#include <functional>

class CTraceStore
{
public:
    // `inLine`: the telegram's bytes are left out (`telegram.bytes` may be empty) and read back
    // from its line when the trace is written (SetLineBytes): a History that shows the bytes as hex
    // digits keeps them once, as digits.
    void Add(qint64 lineSerial, CTraceTelegram telegram, bool inLine = false);
    // The bytes of the telegram shown on the line of `serial`, for the telegrams added `inLine`.
    using LineBytes = std::function<QByteArray(qint64 serial)>;
    void SetLineBytes(LineBytes bytesOf) { m_lineBytes = std::move(bytesOf); }
    // Drops the telegrams of lines before `firstSerial` (gone from the History).
    void Trim(qint64 firstSerial);
    void Clear() { m_telegrams.clear(); }
    int Count() const { return int(m_telegrams.size()); }

    // Writes the pcapng trace of the telegrams whose lines are in [fromSerial, toSerial) to `device`
    // as it encodes them, a few megabytes at a time; `judge` (may be empty) sets a received
    // telegram's checksum verdict. False when the device refuses a write.
    using Judge = std::function<int(const QByteArray &)>;
    bool WriteTrace(QIODevice *device, qint64 fromSerial, qint64 toSerial, const QByteArray &serialDissector,
                    const Judge &judge = {}) const;
    // The same into a file in one step: on failure the old file stays as it was.
    bool SaveTo(const QString &path, qint64 fromSerial, qint64 toSerial, const QByteArray &serialDissector,
                const Judge &judge, QString *error) const;

private:
    struct Entry
    {
        qint64 serial;
        CTraceTelegram telegram;
        bool inLine;
    };
    std::deque<Entry> m_telegrams;
    LineBytes m_lineBytes;
};
