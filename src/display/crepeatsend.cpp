#include "display/crepeatsend.h"

QString CRepeatSend::CheckSequence(const QByteArray &telegram, const Sequence &sequence)
{
    if (sequence.offset < 0)
        return {};
    if (sequence.offset + sequence.bytes > telegram.size())
        return QStringLiteral("連番 (%1 ﾊﾞｲﾄ目から %2 ﾊﾞｲﾄ) が送信ﾃﾞｰﾀ (%3 ﾊﾞｲﾄ) の外です")
            .arg(sequence.offset)
            .arg(sequence.bytes)
            .arg(telegram.size());
    return {};
}

QByteArray CRepeatSend::Stamp(const QByteArray &telegram, const Sequence &sequence, quint32 step)
{
    if (sequence.offset < 0 || !CheckSequence(telegram, sequence).isEmpty())
        return telegram;
    QByteArray stamped = telegram;
    auto *at = reinterpret_cast<unsigned char *>(stamped.data()) + sequence.offset;
    const auto byteAt = [&](int i) { return sequence.bigEndian ? at + i : at + sequence.bytes - 1 - i; };
    quint32 typed = 0;
    for (int i = 0; i < sequence.bytes; ++i)
        typed = typed << 8 | *byteAt(i);
    quint32 value = typed + step;  // wraps at 32 bits; narrower counters drop the high bytes below
    for (int i = sequence.bytes - 1; i >= 0; --i, value >>= 8)
        *byteAt(i) = static_cast<unsigned char>(value);
    return stamped;
}

void CRepeatSend::Start(const QByteArray &telegram, const Sequence &sequence,
                        std::shared_ptr<const CChecksumRule> checksum, int intervalMs, int count)
{
    m_telegram = telegram;
    m_sequence = sequence;
    m_pChecksum = std::move(checksum);
    m_nIntervalMs = qMax(kMinIntervalMs, intervalMs);
    m_nCount = qMax(0, count);
    m_nSent = 0;
    m_bRunning = true;
}

bool CRepeatSend::IsDue(qint64 elapsedNs) const
{
    return m_bRunning && elapsedNs >= DeadlineNs();
}

QByteArray CRepeatSend::Next()
{
    QByteArray telegram = Stamp(m_telegram, m_sequence, static_cast<quint32>(m_nSent));
    if (m_pChecksum)
        telegram = m_pChecksum->Apply(telegram);
    ++m_nSent;
    if (m_nCount > 0 && m_nSent >= m_nCount)
        m_bRunning = false;
    return telegram;
}

int CRepeatSend::MillisecondsToNext(qint64 elapsedNs) const
{
    const qint64 rest = DeadlineNs() - elapsedNs;
    return rest <= 0 ? 0 : int((rest + 999999) / 1000000);
}
