#include "display/ctracestore.h"

#include "display/cpcapngwriter.h"

#include <QSaveFile>

#include <algorithm>

void CTraceStore::Add(qint64 lineSerial, CTraceTelegram telegram, bool inLine)
{
    if (inLine)
        telegram.bytes.clear();
    m_telegrams.push_back(Entry{lineSerial, std::move(telegram), inLine});
}

void CTraceStore::Trim(qint64 firstSerial)
{
    while (!m_telegrams.empty() && m_telegrams.front().serial < firstSerial)
        m_telegrams.pop_front();
}

bool CTraceStore::WriteTrace(QIODevice *device, qint64 fromSerial, qint64 toSerial, const QByteArray &serialDissector,
                             const Judge &judge) const
{
    // Encoded into one buffer of a few megabytes, handed on and reused: a fresh buffer the size of
    // the whole trace costs more in page faults than the encoding itself.
    constexpr qsizetype kChunk = 4 * 1024 * 1024;
    CPcapngWriter writer;
    writer.SetSerialDissector(serialDissector);
    QByteArray out;
    out.reserve(kChunk + 2 * CPcapngWriter::kMaxSegment + 4096);
    writer.Begin(out);
    const auto flush = [&](qsizetype atLeast) {
        if (out.size() < atLeast)
            return true;
        const bool written = device->write(out) == out.size();
        out.resize(0);
        return written;
    };
    const auto first = std::lower_bound(m_telegrams.begin(), m_telegrams.end(), fromSerial,
                                        [](const Entry &entry, qint64 serial) { return entry.serial < serial; });
    for (auto it = first; it != m_telegrams.end() && it->serial < toSerial; ++it) {
        const bool judged = judge && it->telegram.direction == 'R';
        if (it->inLine || judged) {
            CTraceTelegram telegram = it->telegram;
            if (it->inLine && m_lineBytes)
                telegram.bytes = m_lineBytes(it->serial);
            if (judged)
                telegram.checksum = judge(telegram.bytes);
            writer.Write(telegram, out);
        } else {
            writer.Write(it->telegram, out);
        }
        if (!flush(kChunk))
            return false;
    }
    writer.Finish(out);
    return flush(1);
}

bool CTraceStore::SaveTo(const QString &path, qint64 fromSerial, qint64 toSerial, const QByteArray &serialDissector,
                         const Judge &judge, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !WriteTrace(&file, fromSerial, toSerial, serialDissector, judge) || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
