#include "session/cchannelvalues.h"

#include "batch/csvfile.h"
#include "session/cchanneltable.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <limits>

void CChannelValues::SetChannels(const QList<CChannel> &channels)
{
    m_channels = channels;
    m_series.assign(size_t(channels.size()), Series());
    m_nBadChecksums = 0;
    ++m_serial;
}

void CChannelValues::SetKeep(qsizetype points, qint64 spanUs)
{
    m_keepPoints = std::max<qsizetype>(1, points);
    m_keepSpanUs = std::max<qint64>(0, spanUs);
    for (Series &series : m_series)
        Trim(series);
    ++m_serial;
}

void CChannelValues::Clear()
{
    for (Series &series : m_series)
        series = Series();
    m_nBadChecksums = 0;
    ++m_serial;
}

void CChannelValues::Add(int channel, qint64 when, double value)
{
    if (channel < 0 || size_t(channel) >= m_series.size())
        return;
    Series &s = m_series[size_t(channel)];
    s.when.push_back(when);
    s.value.push_back(value);
    s.blocks.Add(value);
    Figures &f = s.figures;
    if (f.count == 0) {
        f.min = f.max = value;
    } else {
        f.min = std::min(f.min, value);
        f.max = std::max(f.max, value);
    }
    ++f.count;
    f.sum += value;
    const CChannel &c = m_channels[channel];
    const bool outside = c.Outside(value);
    if (outside && !s.outside) {
        const Crossing crossing{when, value, c.HasHigh() && value > c.high};
        if (f.crossings++ == 0)
            f.first = crossing;
        if (qsizetype(s.crossings.size()) >= kMaxCrossings)
            s.crossings.erase(s.crossings.begin(), s.crossings.begin() + kMaxCrossings / 2);
        s.crossings.push_back(crossing);
    }
    s.outside = outside;
    ++m_serial;
    Trim(s);
}

void CChannelValues::Trim(Series &s)
{
    const size_t end = s.when.size();
    size_t begin = s.begin;
    if (qsizetype(end - begin) > m_keepPoints)
        begin = end - size_t(m_keepPoints);
    if (m_keepSpanUs > 0 && end > begin) {
        const qint64 oldest = s.when.back() - m_keepSpanUs;
        begin = size_t(std::lower_bound(s.when.begin() + qsizetype(begin), s.when.end(), oldest) - s.when.begin());
    }
    s.begin = begin;
    // The dropped front is given back once it is as large as what is kept (amortised: each value
    // moves at most once a halving): whole blocks of the summaries with their values, or all of it
    // and the summaries made again when that is less than a block.
    if (s.begin > 4096 && s.begin >= (end - s.begin)) {
        const size_t whole = s.begin - s.begin % CValueBlocks::kLargest;
        const size_t drop = whole > 0 ? whole : s.begin;
        s.when.EraseFront(drop);
        s.value.EraseFront(drop);
        s.begin -= drop;
        if (whole > 0)
            s.blocks.DropFront(whole);
        else
            s.blocks.Rebuild(s.value.data(), s.value.size());
    }
}

qsizetype CChannelValues::Count(int channel) const
{
    if (channel < 0 || size_t(channel) >= m_series.size())
        return 0;
    const Series &s = m_series[size_t(channel)];
    return qsizetype(s.when.size() - s.begin);
}

const qint64 *CChannelValues::Times(int channel) const
{
    const Series &s = m_series[size_t(channel)];
    return s.when.data() + s.begin;
}

const double *CChannelValues::Values(int channel) const
{
    const Series &s = m_series[size_t(channel)];
    return s.value.data() + s.begin;
}

qint64 CChannelValues::TimeAt(int channel, qsizetype i) const
{
    const Series &s = m_series[size_t(channel)];
    return s.when[s.begin + size_t(i)];
}

double CChannelValues::ValueAt(int channel, qsizetype i) const
{
    const Series &s = m_series[size_t(channel)];
    return s.value[s.begin + size_t(i)];
}

qsizetype CChannelValues::LowerBound(int channel, qint64 when) const
{
    const Series &s = m_series[size_t(channel)];
    const auto from = s.when.begin() + qsizetype(s.begin);
    return std::lower_bound(from, s.when.end(), when) - from;
}

void CChannelValues::MinMax(int channel, qsizetype from, qsizetype to, double *low, double *high) const
{
    const Series &s = m_series[size_t(channel)];
    s.blocks.MinMax(s.value.data(), s.begin + size_t(from), s.begin + size_t(std::max(from, to)), low, high);
}

std::vector<CChartScale::Column> CChannelValues::Reduce(int channel, qint64 from, qint64 to, int columns) const
{
    std::vector<CChartScale::Column> out(size_t(std::max(0, columns)));
    const qsizetype n = Count(channel);
    if (columns <= 0 || to <= from || n == 0)
        return out;
    const qint64 *times = Times(channel);
    const double *values = Values(channel);
    const double span = double(to - from);
    // The column of a time exactly as CChartScale::Reduce puts it (it never falls as the time grows).
    const auto columnOf = [&](qint64 when) { return std::min(columns - 1, int(double(when - from) / span * columns)); };
    const qint64 *end = std::lower_bound(times, times + n, to);
    for (const qint64 *at = std::lower_bound(times, end, from); at != end;) {
        const int c = columnOf(*at);
        const qint64 *next = std::partition_point(at, end, [&](qint64 when) { return columnOf(when) <= c; });
        const qsizetype first = at - times;
        const qsizetype last = next - times - 1;
        CChartScale::Column &column = out[size_t(c)];
        column.any = true;
        column.first = values[first];
        column.last = values[last];
        // Folded one by one, a column whose first value is NaN keeps NaN as its lowest and highest;
        // NaN after the first changes neither.
        if (std::isnan(column.first))
            column.min = column.max = column.first;
        else
            MinMax(channel, first, last + 1, &column.min, &column.max);
        at = next;
    }
    return out;
}

const std::vector<CChannelValues::Crossing> &CChannelValues::Crossings(int channel) const
{
    return m_series[size_t(channel)].crossings;
}

const CChannelValues::Figures &CChannelValues::FiguresOf(int channel) const
{
    return m_series[size_t(channel)].figures;
}

void CChannelValues::ResetFigures()
{
    for (Series &s : m_series) {
        s.figures = Figures();
        s.outside = false;
    }
}

bool CChannelValues::AnyCrossing() const
{
    return std::any_of(m_series.begin(), m_series.end(), [](const Series &s) { return s.figures.crossings > 0; });
}

QStringList CChannelValues::FiguresLines() const
{
    QStringList lines;
    for (int i = 0; i < m_channels.size(); ++i) {
        const Figures &f = FiguresOf(i);
        QString line = m_channels[i].Title() + QStringLiteral(": %1 件").arg(f.count);
        if (f.count > 0)
            line += QStringLiteral(" 最小 %1 平均 %2 最大 %3")
                        .arg(CChannelTable::NumberText(f.min), CChannelTable::NumberText(f.Mean()),
                             CChannelTable::NumberText(f.max));
        line += QStringLiteral(" 限界外 %1 回").arg(f.crossings);
        lines << line;
    }
    if (m_nBadChecksums > 0)
        lines << QStringLiteral("ﾁｪｯｸｻﾑ不一致で読まなかった受信: %1 件").arg(m_nBadChecksums);
    return lines;
}

QString CChannelValues::CrossingText(int channel) const
{
    const Figures &f = FiguresOf(channel);
    if (f.crossings == 0)
        return QString();
    const CChannel &c = m_channels[channel];
    const QString limit = f.first.high ? QStringLiteral("上限 %1 超過").arg(CChannelTable::NumberText(c.high))
                                       : QStringLiteral("下限 %1 未満").arg(CChannelTable::NumberText(c.low));
    QString value = CChannelTable::NumberText(f.first.value);
    if (!c.unit.isEmpty())
        value += QLatin1Char(' ') + c.unit;
    return QStringLiteral("%1 = %2 (%3) %4").arg(c.name, value, limit, TimeText(f.first.when));
}

QString CChannelValues::LimitFailureText() const
{
    QStringList crossings;
    for (int i = 0; i < m_channels.size(); ++i) {
        if (FiguresOf(i).crossings > 0)
            crossings << CrossingText(i);
    }
    return crossings.isEmpty() ? QString() : QStringLiteral("限界外: ") + crossings.join(QStringLiteral("; "));
}

QString CChannelValues::TimeText(qint64 when)
{
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(when / 1000);
    return time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.")) +
           QStringLiteral("%1").arg(((when % 1000000) + 1000000) % 1000000, 6, 10, QLatin1Char('0'));
}

QList<QByteArray> CChannelValues::ToCsv() const
{
    QStringList header{QStringLiteral("時刻")};
    for (const CChannel &c : m_channels)
        header << c.Title();
    QList<QByteArray> lines{CsvLine(header)};
    // A merge over the series by time: each line takes every channel's values of its time (a channel
    // with several values at one time gives one line each).
    std::vector<qsizetype> at(m_series.size(), 0);
    for (;;) {
        qint64 next = std::numeric_limits<qint64>::max();
        for (int i = 0; i < int(m_series.size()); ++i) {
            if (at[size_t(i)] < Count(i))
                next = std::min(next, TimeAt(i, at[size_t(i)]));
        }
        if (next == std::numeric_limits<qint64>::max())
            break;
        QStringList cells{TimeText(next)};
        for (int i = 0; i < int(m_series.size()); ++i) {
            qsizetype &k = at[size_t(i)];
            if (k < Count(i) && TimeAt(i, k) == next)
                cells << CChannelTable::NumberText(ValueAt(i, k++));
            else
                cells << QString();
        }
        lines << CsvLine(cells);
    }
    return lines;
}
