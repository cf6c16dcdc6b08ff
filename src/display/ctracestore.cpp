#include "display/ctracestore.h"

#include "display/cpcapngwriter.h"

#include <QSaveFile>

#include <algorithm>

void CTraceStore::Add(qint64 lineSerial, CTraceTelegram telegram)
{
    m_telegrams.push_back(Entry{lineSerial, std::move(telegram)});
}

void CTraceStore::Trim(qint64 firstSerial)
{
    while (!m_telegrams.empty() && m_telegrams.front().serial < firstSerial)
        m_telegrams.pop_front();
}

QByteArray CTraceStore::Trace(qint64 fromSerial, qint64 toSerial, const QByteArray &serialDissector,
                              const std::function<int(const QByteArray &)> &judge) const
{
    CPcapngWriter writer;
    writer.SetSerialDissector(serialDissector);
    QByteArray out;
    qsizetype payload = 0;
    for (const Entry &entry : m_telegrams)
        payload += entry.telegram.bytes.size();
    // Headers and blocks add about 150 bytes a telegram.
    out.reserve(payload + qsizetype(m_telegrams.size()) * 160 + 4096);
    writer.Begin(out);
    const auto first = std::lower_bound(m_telegrams.begin(), m_telegrams.end(), fromSerial,
                                        [](const Entry &entry, qint64 serial) { return entry.serial < serial; });
    for (auto it = first; it != m_telegrams.end() && it->serial < toSerial; ++it) {
        if (judge && it->telegram.direction == 'R') {
            CTraceTelegram judged = it->telegram;
            judged.checksum = judge(judged.bytes);
            writer.Write(judged, out);
        } else {
            writer.Write(it->telegram, out);
        }
    }
    writer.Finish(out);
    return out;
}

bool CTraceStore::SaveTo(const QString &path, const QByteArray &trace, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(trace) != trace.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
