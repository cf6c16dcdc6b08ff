// The disturbance of one direction of a relay: telegrams dropped, bytes or whole telegrams
// corrupted, telegrams split into pieces or merged, and delayed by a fixed time plus jitter. Every
// choice comes from one pseudo-random generator seeded by the user's seed, so the same telegrams
// with the same seed are disturbed the same way. Order is kept: a piece never leaves before the one
// taken before it. Each disturbance leaves a mark.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <deque>
#include <random>

class CRelayDisturber
{
public:
    struct Spec
    {
        int delayMs = 0;
        int jitterMs = 0;             // 0 to this much more, evenly
        double dropPercent = 0;       // a telegram
        double corruptPercent = 0;    // a byte
        double corruptTelegramPercent = 0;  // a telegram: one of its bytes
        int splitBytes = 0;           // pieces of at most this many bytes (0: whole)
        int mergeMs = 0;              // telegrams within this time go as one (0: each alone)

        bool IsEmpty() const;
        QString Text() const;
    };
    struct Mark
    {
        enum Kind { Delay, Drop, Corrupt, Split, Merge };
        Kind kind;
        QString text;  // what was done ("12 ﾊﾞｲﾄ目 41→C3")
    };

    CRelayDisturber(const Spec &spec, quint64 seed);

    // Reads "[A>B|B>A] delay:MS jitter:MS drop:% corrupt:% corrupt-telegram:% split:BYTES merge:MS
    // seed:N": the direction(s) it is for (both when none is named) and the seed when given.
    // False with the word that does not read in `error`.
    static bool Parse(const QString &text, Spec *spec, bool directions[2], quint64 *seed, bool *seedGiven, QString *error);
    static QString KindText(Mark::Kind kind);

    // Takes a telegram; what may go at once is appended to `ready`, the rest waits for Due().
    // `marks` (may be null) gets what was done to it.
    void Take(const QByteArray &bytes, QList<QByteArray> *ready, QList<Mark> *marks = nullptr);
    // The pieces whose time has come, in order.
    void Due(QList<QByteArray> *ready);
    // The same with a clock of the caller's (tests): `nowMs` since the disturber was made.
    void TakeAt(qint64 nowMs, const QByteArray &bytes, QList<QByteArray> *ready, QList<Mark> *marks);
    void DueAt(qint64 nowMs, QList<QByteArray> *ready);
    // Bytes waiting for their time.
    qint64 Waiting() const { return m_nWaiting; }
    // Forgets what waits (the connection ended).
    void Clear();
    const Spec &GetSpec() const { return m_spec; }

private:
    struct Entry
    {
        qint64 dueMs;
        qint64 mergeUntilMs;  // later pieces before this join it (-1: none)
        QByteArray bytes;
    };
    double Chance();  // [0, 1)

    Spec m_spec;
    std::mt19937_64 m_random;
    QElapsedTimer m_clock;
    std::deque<Entry> m_waiting;
    qint64 m_nWaiting = 0;
    qint64 m_nLastDue = 0;
};
