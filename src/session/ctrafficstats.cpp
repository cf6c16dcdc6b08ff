#include "session/ctrafficstats.h"

#include "platform/nearestrank.h"

#include <algorithm>
#include <cmath>

#include <QDateTime>

namespace {

// Bucket 0 holds 0 µs; bucket i > 0 the times from kGrowth^(i-1) µs up to the next bound: 1 % wide,
// 1 µs to 30 years (longer times fall into the last): about 3,500 buckets.
constexpr double kGrowth = 1.01;
const double kLogGrowth = std::log(kGrowth);
constexpr qint64 kLongestMicros = 1'000'000'000'000'000;

}  // namespace

CTrafficStats::CTrafficStats()
{
    m_buckets.assign(size_t(BucketOf(kLongestMicros)) + 1, 0);
    Reset();
}

int CTrafficStats::BucketOf(qint64 micros)
{
    if (micros <= 0)
        return 0;
    return 1 + int(std::log(double(std::min(micros, kLongestMicros))) / kLogGrowth);
}

qint64 CTrafficStats::BucketLowerBound(int index)
{
    return index <= 0 ? 0 : qint64(std::ceil(std::pow(kGrowth, index - 1) - 1e-9));
}

void CTrafficStats::Reset(Clock::time_point now)
{
    m_origin = now;
    m_start = now;
    m_sinceConnect = {};
    m_nLargestIn = 0;
    m_nLargestOut = 0;
    // The connection open now (if any) stays the current one: the next connect is a reconnect.
    m_nConnects = m_bOpen ? 1 : 0;
    m_seconds.fill({});
    m_secondIndex.fill(-1);
    std::fill(m_buckets.begin(), m_buckets.end(), 0);
    m_nResponses = 0;
    m_nResponseMin = 0;
    m_nResponseMax = 0;
    m_nTimedSecond = -1;
    m_timedMicros.clear();
    m_awaiting.clear();
}

void CTrafficStats::Connected(Clock::time_point now)
{
    ++m_nConnects;
    m_bOpen = true;
    m_start = now;
    m_sinceConnect = {};
    m_awaiting.clear();
}

void CTrafficStats::Disconnected()
{
    m_bOpen = false;
    m_awaiting.clear();
}

void CTrafficStats::KeepPeers(const QList<int> &peers)
{
    // Swept only once the departed could be as many as those present: a sweep costs no more than
    // the notes it follows.
    if (m_awaiting.size() <= size_t(peers.size()) * 2 + 64)
        return;
    std::unordered_map<int, Clock::time_point> kept;
    for (int peer : peers) {
        if (const auto it = m_awaiting.find(peer); it != m_awaiting.end())
            kept.insert(*it);
    }
    m_awaiting.swap(kept);
}

qint64 CTrafficStats::SecondOf(Clock::time_point now) const
{
    return std::chrono::duration_cast<std::chrono::seconds>(now - m_origin).count();
}

CTrafficStats::Second &CTrafficStats::SlotFor(qint64 index)
{
    const size_t slot = size_t(index % kSeconds);
    if (m_secondIndex[slot] != index) {
        m_secondIndex[slot] = index;
        m_seconds[slot] = {};
    }
    return m_seconds[slot];
}

void CTrafficStats::Add(Counts &counts, bool in, qint64 bytes)
{
    ++(in ? counts.telegramsIn : counts.telegramsOut);
    (in ? counts.bytesIn : counts.bytesOut) += bytes;
}

CTrafficStats::Second *CTrafficStats::Count(bool in, qint64 bytes, qint64 index)
{
    Add(m_sinceConnect, in, bytes);
    qint64 &largest = in ? m_nLargestIn : m_nLargestOut;
    largest = std::max(largest, bytes);
    if (index < 0)
        return nullptr;
    Second &second = SlotFor(index);
    Add(second.counts, in, bytes);
    return &second;
}

void CTrafficStats::Received(qint64 bytes, Clock::time_point now, int peer)
{
    const qint64 index = SecondOf(now);
    Second *second = Count(true, bytes, index);
    const auto awaited = m_awaiting.find(peer);
    if (!second || awaited == m_awaiting.end())
        return;
    // The peer's first telegram after a send to it answers it; later ones answer nothing of this side's.
    const Clock::time_point sent = awaited->second;
    m_awaiting.erase(awaited);
    const qint64 micros = std::max<qint64>(
        0, std::chrono::duration_cast<std::chrono::microseconds>(now - sent).count());
    ++m_buckets[size_t(BucketOf(micros))];
    m_nResponseMin = m_nResponses == 0 ? micros : std::min(m_nResponseMin, micros);
    m_nResponseMax = std::max(m_nResponseMax, micros);
    ++m_nResponses;
    SettleBefore(index);
    m_nTimedSecond = index;
    if (m_timedMicros.size() < kMaxTimedPerSecond)
        m_timedMicros.push_back(micros);
    ++second->responses;
    second->responseMicros += micros;
    second->responseMaxMicros = std::max(second->responseMaxMicros, micros);
}

void CTrafficStats::Sent(qint64 bytes, Clock::time_point now, const QList<int> &peers)
{
    Count(false, bytes, SecondOf(now));
    if (peers.isEmpty())
        m_awaiting[0] = now;
    for (int peer : peers)
        m_awaiting[peer] = now;
}

double CTrafficStats::Elapsed(Clock::time_point now) const
{
    return std::chrono::duration<double>(now - m_start).count();
}

CTrafficStats::Second CTrafficStats::LastSecond(Clock::time_point now) const
{
    const std::vector<Second> last = History(1, now);
    return last.empty() ? Second{} : last.front();
}

void CTrafficStats::SettleSecond(Second &second, std::vector<qint64> &micros)
{
    if (micros.empty())
        return;
    second.responseP50 = NearestRankValue(micros, 0.50);
    second.responseP95 = NearestRankValue(micros, 0.95);
    second.responseP99 = NearestRankValue(micros, 0.99);
}

void CTrafficStats::SettleBefore(qint64 current) const
{
    if (m_nTimedSecond < 0 || m_nTimedSecond >= current)
        return;
    const size_t slot = size_t(m_nTimedSecond % kSeconds);
    if (m_secondIndex[slot] == m_nTimedSecond)
        SettleSecond(m_seconds[slot], m_timedMicros);
    m_nTimedSecond = -1;
    m_timedMicros.clear();
}

std::vector<CTrafficStats::Second> CTrafficStats::History(int count, Clock::time_point now) const
{
    const qint64 current = SecondOf(now);
    SettleBefore(current);
    const qint64 first = std::max<qint64>(0, current - std::clamp(count, 0, kSeconds));
    std::vector<Second> seconds;
    for (qint64 index = first; index < current; ++index) {
        const size_t slot = size_t(index % kSeconds);
        seconds.push_back(m_secondIndex[slot] == index ? m_seconds[slot] : Second{});
    }
    return seconds;
}

qint64 CTrafficStats::PercentileOf(double fraction) const
{
    // The nearest rank's bucket, read at its middle, within the exact extremes.
    const qint64 rank = NearestRank(m_nResponses, fraction);
    qint64 seen = 0;
    for (int index = 0; index < BucketCount(); ++index) {
        seen += m_buckets[size_t(index)];
        if (seen >= rank) {
            const qint64 middle = index == 0 ? 0 : qint64(std::llround(std::pow(kGrowth, index - 0.5)));
            return std::clamp(middle, m_nResponseMin, m_nResponseMax);
        }
    }
    return m_nResponseMax;
}

CTrafficStats::Responses CTrafficStats::ResponseTimes() const
{
    if (m_nResponses == 0)
        return {};
    return {m_nResponses, m_nResponseMin, PercentileOf(0.50), PercentileOf(0.95), PercentileOf(0.99), m_nResponseMax};
}

QByteArray CTrafficStats::Csv(const QDateTime &wallNow, Clock::time_point now) const
{
    const std::vector<Second> seconds = History(kSeconds, now);
    // The whole second before `now` ended `now - origin` rounded down; its wall-clock start follows.
    const qint64 current = SecondOf(now);
    const qint64 sinceCurrent = std::chrono::duration_cast<std::chrono::milliseconds>(
        now - (m_origin + std::chrono::seconds(current))).count();
    const QDateTime currentStart = wallNow.addMSecs(-sinceCurrent);
    const auto ms = [](qint64 micros) { return QByteArray::number(double(micros) / 1000.0, 'f', 3); };
    QByteArray csv("time,telegrams_in,bytes_in,telegrams_out,bytes_out,responses,response_mean_ms,"
                   "response_p50_ms,response_p95_ms,response_p99_ms,response_max_ms\n");
    const qint64 first = current - qint64(seconds.size());
    for (size_t i = 0; i < seconds.size(); ++i) {
        const Second &s = seconds[i];
        const QDateTime start = currentStart.addSecs(first + qint64(i) - current);
        const bool timed = s.responses > 0;
        csv += start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1() + ',' +
               QByteArray::number(s.counts.telegramsIn) + ',' + QByteArray::number(s.counts.bytesIn) + ',' +
               QByteArray::number(s.counts.telegramsOut) + ',' + QByteArray::number(s.counts.bytesOut) + ',' +
               QByteArray::number(s.responses) + ',' +
               (timed ? ms(s.responseMicros / s.responses) + ',' + ms(s.responseP50) + ',' + ms(s.responseP95) + ',' +
                            ms(s.responseP99) + ',' + ms(s.responseMaxMicros)
                      : QByteArray(",,,,")) +
               '\n';
    }
    return csv;
}
