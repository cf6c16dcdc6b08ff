// What went over the connection, counted for the statistics window: telegrams and bytes each way since
// the connection was made and second by second over the last ten minutes, the largest telegram, the
// reconnects, and the response times (the first received telegram after each sent one, as the History
// times them; a server of many clients pairs each client's answer with what was sent to it) in a
// bounded histogram. Cheap enough for the receive path: a few additions a telegram.
#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <array>
#include <chrono>
#include <unordered_map>
#include <vector>

class QDateTime;

class CTrafficStats
{
public:
    using Clock = std::chrono::steady_clock;
    // The seconds kept for the chart and the CSV file: ten minutes.
    static constexpr int kSeconds = 600;

    struct Counts
    {
        qint64 telegramsIn = 0;
        qint64 bytesIn = 0;
        qint64 telegramsOut = 0;
        qint64 bytesOut = 0;
    };
    // One second of traffic; `responses` and `responseMicros` add up the response times that ended in
    // it, the percentiles are those of that second's response times (zeros while it had none).
    struct Second
    {
        Counts counts;
        qint64 responses = 0;
        qint64 responseMicros = 0;
        qint64 responseMaxMicros = 0;
        qint64 responseP50 = 0;
        qint64 responseP95 = 0;
        qint64 responseP99 = 0;
    };
    // Response times in microseconds; zeros while none was timed.
    struct Responses
    {
        qint64 count = 0;
        qint64 min = 0;
        qint64 p50 = 0;
        qint64 p95 = 0;
        qint64 p99 = 0;
        qint64 max = 0;
    };

    CTrafficStats();

    // The session's notes, at the points where the History learns of telegrams. `peer` is the client
    // of a server of many that sent, `peers` those a telegram went to (empty: the one peer).
    void Received(qint64 bytes, Clock::time_point now = Clock::now(), int peer = 0);
    void Sent(qint64 bytes, Clock::time_point now = Clock::now(), const QList<int> &peers = {});
    // A connection was made: the counts since connect start again; every connection after the first
    // since the last reset is a reconnect.
    void Connected(Clock::time_point now = Clock::now());
    // The connection has ended (a disconnect, the one client of a server gone).
    void Disconnected();
    // Forgets every count (the window's "ﾘｾｯﾄ"); a connection open now stays the current one.
    void Reset(Clock::time_point now = Clock::now());
    // Forgets the sends awaiting an answer from clients that are no longer among `peers`.
    void KeepPeers(const QList<int> &peers);

    const Counts &SinceConnect() const { return m_sinceConnect; }
    qint64 LargestIn() const { return m_nLargestIn; }
    qint64 LargestOut() const { return m_nLargestOut; }
    int Reconnects() const { return m_nConnects > 1 ? m_nConnects - 1 : 0; }
    // The second `now` falls in, counted from the last reset (0 the first).
    qint64 SecondOf(Clock::time_point now) const;
    // Seconds since the counts since connect started (connect or reset).
    double Elapsed(Clock::time_point now = Clock::now()) const;
    // The last whole second (counted from the reset) before `now`.
    Second LastSecond(Clock::time_point now = Clock::now()) const;
    // The whole seconds before `now`, oldest first, at most `count` (≤ kSeconds) of them; seconds
    // before the start are left out.
    std::vector<Second> History(int count, Clock::time_point now = Clock::now()) const;
    // Response times since the last reset; percentiles within 1 % of the true value.
    Responses ResponseTimes() const;
    // The histogram behind ResponseTimes: the count of each bucket and the bucket's lower bound.
    int BucketCount() const { return int(m_buckets.size()); }
    qint64 BucketCountAt(int index) const { return m_buckets[size_t(index)]; }
    static qint64 BucketLowerBound(int index);

    // The seconds kept, one CSV line each after a heading: the second's local time, its counts and
    // its response times in milliseconds. `wallNow` is the wall-clock time at `now`.
    QByteArray Csv(const QDateTime &wallNow, Clock::time_point now = Clock::now()) const;

private:
    static int BucketOf(qint64 micros);
    static void Add(Counts &counts, bool in, qint64 bytes);
    // Counts a telegram received (`in`) or sent in second `index`; that second, null before the last reset.
    Second *Count(bool in, qint64 bytes, qint64 index);
    // The slot of second `index`, emptied when it last held an older second.
    Second &SlotFor(qint64 index);
    qint64 PercentileOf(double fraction) const;
    // Fills the percentiles of second `index` from the response times noted in it.
    static void SettleSecond(Second &second, std::vector<qint64> &micros);
    // Settles the second of m_timedMicros once it lies before second `current`.
    void SettleBefore(qint64 current) const;

    Clock::time_point m_origin;  // second 0 of the seconds kept: the last reset
    Clock::time_point m_start;   // the last connect or reset
    Counts m_sinceConnect;
    qint64 m_nLargestIn = 0;
    qint64 m_nLargestOut = 0;
    int m_nConnects = 0;
    // Mutable: a second's percentiles are settled when it is first read after it ended.
    mutable std::array<Second, kSeconds> m_seconds{};
    std::array<qint64, kSeconds> m_secondIndex{};  // which second each slot holds (-1: none)
    std::vector<qint64> m_buckets;
    qint64 m_nResponses = 0;
    qint64 m_nResponseMin = 0;
    qint64 m_nResponseMax = 0;
    // The response times of the latest second that had any, until its percentiles are settled; at
    // most kMaxTimedPerSecond of them (a second with more settles on the first ones).
    static constexpr size_t kMaxTimedPerSecond = 1 << 20;
    mutable qint64 m_nTimedSecond = -1;
    mutable std::vector<qint64> m_timedMicros;
    // The last send to each peer (0: the one peer) that no telegram of it has answered yet.
    std::unordered_map<int, Clock::time_point> m_awaiting;
    bool m_bOpen = false;  // a connection is open: after a reset its next connect is a reconnect
};
