// Repeated sends of the Command Send window: the schedule (every n ms, n times or until stopped,
// each send due at its own deadline counted from the start, so a late tick is caught up and the pace
// holds), and the telegram of each send: a sequence number counted up from the bytes typed at its
// offset, then the checksum over the result.
#pragma once

#include "platform/cchecksumrule.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <memory>

class CRepeatSend
{
public:
    // A counter of 1, 2 or 4 bytes at a byte offset of the telegram (offset -1: none).
    struct Sequence
    {
        int offset = -1;
        int bytes = 1;
        bool bigEndian = true;
    };
    static constexpr int kMinIntervalMs = 1;

    // Empty when `telegram` can carry `sequence`, else the reason (a text for the user).
    static QString CheckSequence(const QByteArray &telegram, const Sequence &sequence);
    // `telegram` with the counter at its offset: the value typed there plus `step`, wrapping at
    // the counter's width.
    static QByteArray Stamp(const QByteArray &telegram, const Sequence &sequence, quint32 step);

    // Starts a run of `count` sends (0: until stopped), one every `intervalMs` milliseconds, of
    // `telegram` with `sequence` and, when given, `checksum`.
    void Start(const QByteArray &telegram, const Sequence &sequence, std::shared_ptr<const CChecksumRule> checksum,
               int intervalMs, int count);
    void Stop() { m_bRunning = false; }
    bool IsRunning() const { return m_bRunning; }
    int Sent() const { return m_nSent; }
    int Count() const { return m_nCount; }

    // At `elapsedNs` since the start: is the next send due?
    bool IsDue(qint64 elapsedNs) const;
    // The telegram of the next send; counts it as sent (and ends the run after the last one).
    QByteArray Next();
    // Milliseconds from `elapsedNs` until the next send is due (0 when it is due already).
    int MillisecondsToNext(qint64 elapsedNs) const;

private:
    qint64 DeadlineNs() const { return qint64(m_nSent) * m_nIntervalMs * 1000000; }

    QByteArray m_telegram;
    Sequence m_sequence;
    std::shared_ptr<const CChecksumRule> m_pChecksum;
    int m_nIntervalMs = kMinIntervalMs;
    int m_nCount = 0;
    int m_nSent = 0;
    bool m_bRunning = false;
};
