// The scales of a chart: tick positions at 1, 2 or 5 times a power of ten (times of day at whole
// seconds, minutes or hours), tick labels in plain digits, and a series reduced to the lowest and
// highest value of each pixel column so that a million points draw as a few hundred lines.
#pragma once

#include <QString>

#include <cstddef>
#include <vector>

class CChartScale
{
public:
    // At most about `most` ticks inside [low, high] (both included when they fall on one), their
    // distance in `step`.
    static std::vector<double> Ticks(double low, double high, int most, double *step = nullptr);
    // Ticks of a time axis in microseconds since the epoch, at steps of whole units of time.
    static std::vector<qint64> TimeTicks(qint64 low, qint64 high, int most, qint64 *step = nullptr);
    // A tick's label in plain digits, thousands grouped, as many decimals as the step needs ("0.25",
    // "1,500", "-3"), never an exponent for numbers a chart shows; with `unit`, " unit" follows.
    static QString Number(double value, double step, const QString &unit = QString());
    // Plain digits with at most `decimals` digits after the point, trailing zeros trimmed ("21.5").
    static QString Plain(double value, int decimals = 6);
    // `text` (plain digits) with its whole part in groups of three: "-1234567.5" → "-1,234,567.5".
    static QString Grouped(const QString &text);
    // The factor an axis reaching `largest` (its largest magnitude) divides its values by, and the
    // prefix its unit takes: 1 and "" below a million, 1e6 "M", 1e9 "G", 1e12 "T".
    static double Prefix(double largest, QString *prefix = nullptr);
    // A single value with about three significant digits and its unit, prefixed with `metric` as
    // Prefix says: "5,000 B/s", "1.23 MB/s", "0.045 ms", "12 件".
    static QString Amount(double value, const QString &unit, bool metric = false);
    // Ticks of a logarithmic axis inside [low, high] (both > 0): 1, 2 and 5 times the powers of ten,
    // or only the powers when that gives more than `most`, or every other power.
    static std::vector<double> LogTicks(double low, double high, int most);
    // A time tick's label: local "HH:mm:ss", with milliseconds when the step is below a second.
    static QString TimeText(qint64 when, qint64 step);
    // The range to show for values from `low` to `high`: a little room at both ends, a span of at
    // least 1e-9 around a single value.
    static void Pad(double *low, double *high);

    // One pixel column of a reduced series.
    struct Column
    {
        bool any = false;
        double min = 0.0;
        double max = 0.0;
        double first = 0.0;  // the column's first and last value, to join the columns in order
        double last = 0.0;
    };
    // The points with times in [from, to) put into `columns` equal columns; `times` ascending.
    static std::vector<Column> Reduce(const qint64 *times, const double *values, size_t count, qint64 from, qint64 to,
                                      int columns);
};
