// The values the channels gave: a series a channel (time in microseconds since the epoch, the
// History's time base, and the value), kept to a point count or a time span, and the figures of a
// run: count, lowest, highest, mean and the limit crossings.
#pragma once

#include "display/cchartscale.h"
#include "session/cchannel.h"
#include "session/cgrowingarray.h"
#include "session/cvalueblocks.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

class CChannelValues
{
public:
    static constexpr qsizetype kDefaultPoints = 2 * 1024 * 1024;
    static constexpr qsizetype kMaxCrossings = 100000;

    struct Crossing
    {
        qint64 when = 0;
        double value = 0.0;
        bool high = false;  // above the high limit, else below the low one
    };
    struct Figures
    {
        qint64 count = 0;
        double min = 0.0;
        double max = 0.0;
        double sum = 0.0;
        int crossings = 0;  // times a value left the limits (a value outside after one inside, or the first)
        Crossing first;     // the first of them
        double Mean() const { return count ? sum / double(count) : 0.0; }
    };

    // Starts over with the channels (every series and figure emptied).
    void SetChannels(const QList<CChannel> &channels);
    const QList<CChannel> &Channels() const { return m_channels; }
    int ChannelCount() const { return int(m_channels.size()); }

    // Keeps at most `points` a channel (the oldest go first) and, with `spanUs` > 0, only values
    // not older than the newest by more than the span.
    void SetKeep(qsizetype points, qint64 spanUs);

    void Add(int channel, qint64 when, double value);
    void CountBadChecksum() { ++m_nBadChecksums; }
    qint64 BadChecksums() const { return m_nBadChecksums; }
    // A serial number that grows with every value added (for a view to see there is something new).
    quint64 Serial() const { return m_serial; }

    // The kept values of a channel, oldest first.
    qsizetype Count(int channel) const;
    // The kept times and values of a channel as arrays of Count() (valid until the next Add).
    const qint64 *Times(int channel) const;
    const double *Values(int channel) const;
    qint64 TimeAt(int channel, qsizetype i) const;
    double ValueAt(int channel, qsizetype i) const;
    // The index of the first kept value at or after `when`.
    qsizetype LowerBound(int channel, qint64 when) const;
    // The lowest and highest of the kept values [from, to) of a channel, NaN left out (+inf and -inf
    // when there is none), read from the block summaries.
    void MinMax(int channel, qsizetype from, qsizetype to, double *low, double *high) const;
    // The kept values of a channel with times in [from, to) put into `columns` equal pixel columns:
    // what CChartScale::Reduce gives for them, each column's lowest and highest from the summaries.
    std::vector<CChartScale::Column> Reduce(int channel, qint64 from, qint64 to, int columns) const;
    const std::vector<Crossing> &Crossings(int channel) const;

    // The figures since the last ResetFigures (or SetChannels); kept values are not touched.
    const Figures &FiguresOf(int channel) const;
    void ResetFigures();
    // Some value since ResetFigures left its channel's limits.
    bool AnyCrossing() const;
    // "温度 [℃]: 12 件 最小 20.5 平均 21.25 最大 22 限界外 0 回", one line a channel.
    QStringList FiguresLines() const;
    // "温度 = 95.5 ℃ (上限 90 超過) 21:43:40.123456", of the first crossing of a channel.
    QString CrossingText(int channel) const;
    // Why a run fails by its limits: "限界外: " and the first crossing of each channel that left
    // them since ResetFigures, joined by "; "; empty when none did.
    QString LimitFailureText() const;

    // CSV of the kept values: "時刻" and one column a channel; the values of one time share a line.
    QList<QByteArray> ToCsv() const;
    // A time as the CSV writes it: local "2026-12-10 21:43:40.123456".
    static QString TimeText(qint64 when);

    void Clear();

private:
    struct Series
    {
        CGrowingArray<qint64> when;
        CGrowingArray<double> value;
        size_t begin = 0;  // values before it are dropped, compacted now and then
        CValueBlocks blocks;  // over `value` from index 0
        std::vector<Crossing> crossings;
        Figures figures;
        bool outside = false;
    };
    void Trim(Series &series);

    QList<CChannel> m_channels;
    std::vector<Series> m_series;
    qsizetype m_keepPoints = kDefaultPoints;
    qint64 m_keepSpanUs = 0;
    qint64 m_nBadChecksums = 0;
    quint64 m_serial = 0;
};
