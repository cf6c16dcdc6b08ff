#include "display/cchartscale.h"

#include <QDateTime>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr qint64 kMs = 1000;
constexpr qint64 kSecond = 1000 * kMs;
constexpr qint64 kMinute = 60 * kSecond;
constexpr qint64 kHour = 60 * kMinute;
constexpr std::array<qint64, 24> kTimeSteps = {
    kMs,          2 * kMs,      5 * kMs,     10 * kMs,    20 * kMs,    50 * kMs,    100 * kMs,   200 * kMs,
    500 * kMs,    kSecond,      2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond, kMinute,
    2 * kMinute,  5 * kMinute,  10 * kMinute, 15 * kMinute, 30 * kMinute, kHour,      3 * kHour,   6 * kHour};

}  // namespace

std::vector<double> CChartScale::Ticks(double low, double high, int most, double *stepOut)
{
    std::vector<double> ticks;
    if (!(high > low) || most < 1 || !std::isfinite(low) || !std::isfinite(high))
        return ticks;
    const double rough = (high - low) / most;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = 10.0 * power;
    for (double m : {1.0, 2.0, 5.0}) {
        if (m * power >= rough) {
            step = m * power;
            break;
        }
    }
    const double first = std::ceil(low / step - 1e-9);
    for (double k = first; k * step <= high + step * 1e-9 && ticks.size() < 1000; k += 1.0)
        ticks.push_back(std::fabs(k * step) < step * 1e-9 ? 0.0 : k * step);
    if (stepOut)
        *stepOut = step;
    return ticks;
}

std::vector<qint64> CChartScale::TimeTicks(qint64 low, qint64 high, int most, qint64 *stepOut)
{
    std::vector<qint64> ticks;
    if (high <= low || most < 1)
        return ticks;
    const qint64 rough = (high - low) / most;
    qint64 step = kTimeSteps.back();
    for (qint64 s : kTimeSteps) {
        if (s >= rough) {
            step = s;
            break;
        }
    }
    while (step < rough)
        step *= 2;
    // Whole minutes and hours of local time: offset by the zone's distance from UTC.
    const qint64 zone = qint64(QDateTime::fromMSecsSinceEpoch(low / 1000).offsetFromUtc()) * kSecond;
    qint64 t = ((low + zone) / step) * step - zone;
    if (t < low)
        t += step;
    for (; t <= high && ticks.size() < 1000; t += step)
        ticks.push_back(t);
    if (stepOut)
        *stepOut = step;
    return ticks;
}

QString CChartScale::Plain(double value, int decimals)
{
    if (!std::isfinite(value))
        return QString();
    QString text = QString::number(value, 'f', std::clamp(decimals, 0, 12));
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QStringLiteral("-0"))
        text = QStringLiteral("0");
    return text;
}

QString CChartScale::Grouped(const QString &text)
{
    const qsizetype digits = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    qsizetype point = text.indexOf(QLatin1Char('.'));
    if (point < 0)
        point = text.size();
    QString out = text;
    for (qsizetype at = point - 3; at > digits; at -= 3)
        out.insert(at, QLatin1Char(','));
    return out;
}

QString CChartScale::Number(double value, double step, const QString &unit)
{
    const int decimals = step > 0.0 && step < 1.0 ? int(std::ceil(-std::log10(step) - 1e-9)) : 0;
    const QString text = Grouped(Plain(value, decimals));
    return unit.isEmpty() ? text : text + QLatin1Char(' ') + unit;
}

double CChartScale::Prefix(double largest, QString *prefix)
{
    struct Step
    {
        double factor;
        const char *prefix;
    };
    static constexpr Step kSteps[] = {{1e12, "T"}, {1e9, "G"}, {1e6, "M"}};
    for (const Step &s : kSteps) {
        if (std::fabs(largest) >= s.factor) {
            if (prefix)
                *prefix = QLatin1String(s.prefix);
            return s.factor;
        }
    }
    if (prefix)
        prefix->clear();
    return 1.0;
}

QString CChartScale::Amount(double value, const QString &unit, bool metric)
{
    if (!std::isfinite(value))
        return QStringLiteral("-");
    QString prefix;
    const double factor = metric ? Prefix(value, &prefix) : 1.0;
    const double shown = value / factor;
    // Three significant digits, but never fewer digits than the whole part has.
    const int decimals = shown == 0.0 ? 0 : std::clamp(2 - int(std::floor(std::log10(std::fabs(shown)))), 0, 9);
    const QString text = Grouped(Plain(shown, decimals));
    const QString tail = prefix + unit;
    return tail.isEmpty() ? text : text + QLatin1Char(' ') + tail;
}

std::vector<double> CChartScale::LogTicks(double low, double high, int most)
{
    std::vector<double> ticks;
    if (!(low > 0.0) || !(high > low) || !std::isfinite(high) || most < 1)
        return ticks;
    const int first = int(std::floor(std::log10(low)));
    const int last = int(std::ceil(std::log10(high)));
    const auto gather = [&](std::initializer_list<double> multiples, int every) {
        ticks.clear();
        for (int power = first; power <= last; ++power) {
            if ((power - first) % every != 0 && every > 1)
                continue;
            for (double m : multiples) {
                const double tick = m * std::pow(10.0, power);
                if (tick >= low * (1 - 1e-9) && tick <= high * (1 + 1e-9))
                    ticks.push_back(tick);
            }
        }
    };
    gather({1.0, 2.0, 5.0}, 1);
    if (int(ticks.size()) > most)
        gather({1.0}, 1);
    for (int every = 2; int(ticks.size()) > most && every < 400; every *= 2)
        gather({1.0}, every);
    return ticks;
}

QString CChartScale::TimeText(qint64 when, qint64 step)
{
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(when / 1000);
    return time.toString(step < kSecond ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
}

void CChartScale::Pad(double *low, double *high)
{
    if (!(*high > *low)) {
        const double room = std::max(1e-9, std::fabs(*low) * 0.05 + (*low == 0.0 ? 1.0 : 0.0));
        *low -= room;
        *high += room;
        return;
    }
    const double room = (*high - *low) * 0.05;
    *low -= room;
    *high += room;
}

std::vector<CChartScale::Column> CChartScale::Reduce(const qint64 *times, const double *values, size_t count, qint64 from,
                                                     qint64 to, int columns)
{
    std::vector<Column> out(size_t(std::max(0, columns)));
    if (columns <= 0 || to <= from || count == 0)
        return out;
    const qint64 *begin = std::lower_bound(times, times + count, from);
    const qint64 *end = std::lower_bound(begin, times + count, to);
    const double span = double(to - from);
    for (const qint64 *t = begin; t != end; ++t) {
        const double value = values[t - times];
        const int c = std::min(columns - 1, int(double(*t - from) / span * columns));
        Column &col = out[size_t(c)];
        if (!col.any) {
            col = {true, value, value, value, value};
            continue;
        }
        col.min = std::min(col.min, value);
        col.max = std::max(col.max, value);
        col.last = value;
    }
    return out;
}
