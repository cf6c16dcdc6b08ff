// The block summaries of a channel's values: the lowest and highest of any run of the kept values, and
// the pixel columns of a time span, equal what reading every value gives, after old values were
// dropped by count (whole blocks given back) or by time (the summaries made again).
#include "session/cchannelvalues.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

// Lowest and highest one value at a time, NaN left out, as the axis range was found before.
std::pair<double, double> BruteMinMax(const double *values, qsizetype from, qsizetype to)
{
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (qsizetype k = from; k < to; ++k) {
        low = std::min(low, values[k]);
        high = std::max(high, values[k]);
    }
    return {low, high};
}

bool Same(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

class TestValueBlocks : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void summariesEqualEveryValueRead_data()
    {
        QTest::addColumn<int>("added");
        QTest::addColumn<qlonglong>("keepPoints");
        QTest::addColumn<qlonglong>("keepSpanUs");
        QTest::addColumn<int>("nanEvery");    // every n-th value NaN (0: none)
        QTest::addColumn<int>("sameTimes");  // values sharing a time
        QTest::addColumn<quint32>("seed");
        const qlonglong all = CChannelValues::kDefaultPoints;
        QTest::newRow("fewer than a block") << 11 << all << 0LL << 0 << 1 << 1u;
        QTest::newRow("a largest block and some") << 65536 + 4113 << all << 0LL << 0 << 1 << 2u;
        QTest::newRow("a million, last 300,000 kept (whole blocks dropped)") << 1000000 << 300000LL << 0LL << 0 << 1 << 3u;
        QTest::newRow("last 2 ms kept (summaries made again)") << 30000 << all << 2000LL << 0 << 1 << 4u;
        QTest::newRow("NaN among them") << 70000 << 50000LL << 0LL << 7 << 1 << 5u;
        QTest::newRow("NaN, many values a time") << 40000 << all << 0LL << 3 << 5 << 6u;
    }
    void summariesEqualEveryValueRead()
    {
        QFETCH(int, added);
        QFETCH(qlonglong, keepPoints);
        QFETCH(qlonglong, keepSpanUs);
        QFETCH(int, nanEvery);
        QFETCH(int, sameTimes);
        QFETCH(quint32, seed);
        QRandomGenerator random(seed);
        CChannelValues values;
        CChannel channel;
        channel.name = QStringLiteral("v");
        values.SetChannels({channel});
        values.SetKeep(keepPoints, keepSpanUs);
        for (int i = 0; i < added; ++i) {
            const double value = nanEvery && i % nanEvery == 0 ? std::numeric_limits<double>::quiet_NaN()
                                                               : random.bounded(2000.0) - 1000.0;
            values.Add(0, 1000000 + qint64(i / sameTimes) * 10, value);
        }
        const qsizetype n = values.Count(0);
        QVERIFY(n > 0 && n < added + 1);
        const qint64 *times = values.Times(0);
        const double *v = values.Values(0);

        // Runs of values: the whole, each end, and random ones.
        std::vector<std::pair<qsizetype, qsizetype>> runs{{0, n}, {0, 1}, {n - 1, n}, {0, 0}, {n, n}};
        for (int r = 0; r < 60; ++r) {
            const qsizetype a = random.bounded(n + 1);
            const qsizetype b = random.bounded(n + 1);
            runs.push_back({std::min(a, b), std::max(a, b)});
        }
        for (const auto &[from, to] : runs) {
            double low = 0.0;
            double high = 0.0;
            values.MinMax(0, from, to, &low, &high);
            const auto [expectLow, expectHigh] = BruteMinMax(v, from, to);
            if (low != expectLow || high != expectHigh)
                QFAIL(qPrintable(QStringLiteral("[%1, %2): %3..%4, every value gives %5..%6")
                                     .arg(from).arg(to).arg(low).arg(high).arg(expectLow).arg(expectHigh)));
        }

        // Spans of time: everything, reaching past both ends, and random ones, in various widths.
        const qint64 first = times[0];
        const qint64 last = times[n - 1];
        std::vector<std::pair<qint64, qint64>> spans{{first, last + 1}, {first - 5000, last + 5000}, {first, first + 7},
                                                     {last - 3, last + 1}};
        for (int r = 0; r < 20; ++r) {
            const qint64 a = first + qint64(random.bounded(quint64(last - first + 1)));
            const qint64 b = first + qint64(random.bounded(quint64(last - first + 1)));
            spans.push_back({std::min(a, b), std::max(a, b) + 1});
        }
        for (const auto &[from, to] : spans) {
            for (int columns : {1, 3, 640}) {
                const std::vector<CChartScale::Column> fast = values.Reduce(0, from, to, columns);
                const std::vector<CChartScale::Column> each = CChartScale::Reduce(times, v, size_t(n), from, to, columns);
                QCOMPARE(fast.size(), each.size());
                for (size_t c = 0; c < each.size(); ++c) {
                    const CChartScale::Column &f = fast[c];
                    const CChartScale::Column &e = each[c];
                    if (f.any != e.any ||
                        (e.any && !(Same(f.min, e.min) && Same(f.max, e.max) && Same(f.first, e.first) &&
                                    Same(f.last, e.last))))
                        QFAIL(qPrintable(QStringLiteral("span [%1, %2) in %3 columns, column %4: %5 %6..%7 (%8, %9), "
                                                        "every value gives %10 %11..%12 (%13, %14)")
                                             .arg(from).arg(to).arg(columns).arg(c)
                                             .arg(f.any).arg(f.min).arg(f.max).arg(f.first).arg(f.last)
                                             .arg(e.any).arg(e.min).arg(e.max).arg(e.first).arg(e.last)));
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestValueBlocks)
#include "tst_valueblocks.moc"
