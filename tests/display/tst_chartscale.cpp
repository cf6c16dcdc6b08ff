// Chart scales: ticks at 1, 2, 5 times a power of ten, plain labels without exponents, time ticks on
// whole units of local time, and the per-column reduction that keeps every column's extremes.
#include "display/cchartscale.h"

#include <QDateTime>
#include <QTest>

#include <cmath>

class TestChartScale : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void ticksAndLabels_data()
    {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<int>("most");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("0 to 10") << 0.0 << 10.0 << 5 << QStringList{"0", "2", "4", "6", "8", "10"};
        QTest::newRow("thousands, no exponent") << 0.0 << 5000.0 << 5 << QStringList{"0", "1,000", "2,000", "3,000", "4,000", "5,000"};
        QTest::newRow("millions") << 1e6 << 3e6 << 2 << QStringList{"1,000,000", "2,000,000", "3,000,000"};
        QTest::newRow("negative thousands") << -2500.0 << -500.0 << 2 << QStringList{"-2,000", "-1,000"};
        QTest::newRow("grouped with decimals") << 1234.5 << 1235.0 << 2 << QStringList{"1,234.5", "1,235"};
        QTest::newRow("fractions") << -0.3 << 0.3 << 3 << QStringList{"-0.2", "0", "0.2"};
        QTest::newRow("small steps") << 1.001 << 1.004 << 4 << QStringList{"1.001", "1.002", "1.003", "1.004"};
        QTest::newRow("negative") << -45.0 << -5.0 << 4 << QStringList{"-40", "-30", "-20", "-10"};
        QTest::newRow("empty range") << 1.0 << 1.0 << 5 << QStringList{};
    }
    void ticksAndLabels()
    {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(int, most);
        QFETCH(QStringList, labels);
        double step = 0.0;
        QStringList shown;
        for (double tick : CChartScale::Ticks(low, high, most, &step))
            shown << CChartScale::Number(tick, step);
        QCOMPARE(shown, labels);
    }

    // A single value for a readout or a label: three significant digits, grouped, the unit prefixed
    // from a million up when it is metric.
    void amounts_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<bool>("metric");
        QTest::addColumn<QString>("text");
        QTest::newRow("bytes a second") << 5000.0 << "B/s" << true << "5,000 B/s";
        QTest::newRow("just under a million") << 999999.0 << "B/s" << true << "999,999 B/s";
        QTest::newRow("mega") << 1234567.0 << "B/s" << true << "1.23 MB/s";
        QTest::newRow("giga") << 2.5e9 << "B/s" << true << "2.5 GB/s";
        QTest::newRow("not metric stays whole") << 2.5e9 << "件" << false << "2,500,000,000 件";
        QTest::newRow("milliseconds") << 1.23456 << "ms" << false << "1.23 ms";
        QTest::newRow("small") << 0.0456 << "ms" << false << "0.0456 ms";
        QTest::newRow("zero") << 0.0 << "B/s" << true << "0 B/s";
        QTest::newRow("negative") << -12345.6 << "℃" << false << "-12,346 ℃";
        QTest::newRow("no value") << std::nan("") << "ms" << false << "-";
    }
    void amounts()
    {
        QFETCH(double, value);
        QFETCH(QString, unit);
        QFETCH(bool, metric);
        QFETCH(QString, text);
        QCOMPARE(CChartScale::Amount(value, unit, metric), text);
        QVERIFY(!text.contains(QLatin1Char('e')));
    }

    void logTicks_data()
    {
        QTest::addColumn<double>("low");
        QTest::addColumn<double>("high");
        QTest::addColumn<int>("most");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("a decade in 1, 2, 5") << 0.08 << 1.2 << 8 << QStringList{"0.1", "0.2", "0.5", "1"};
        QTest::newRow("powers only") << 0.01 << 100.0 << 6 << QStringList{"0.01", "0.1", "1", "10", "100"};
        QTest::newRow("every other power") << 0.001 << 10000.0 << 4 << QStringList{"0.001", "0.1", "10", "1,000"};
        QTest::newRow("not positive") << 0.0 << 10.0 << 4 << QStringList{};
    }
    void logTicks()
    {
        QFETCH(double, low);
        QFETCH(double, high);
        QFETCH(int, most);
        QFETCH(QStringList, labels);
        QStringList shown;
        for (double tick : CChartScale::LogTicks(low, high, most))
            shown << CChartScale::Amount(tick, QString());
        QCOMPARE(shown, labels);
    }

    void timeTicksFallOnWholeUnits_data()
    {
        QTest::addColumn<qlonglong>("spanUs");
        QTest::addColumn<int>("most");
        QTest::addColumn<qlonglong>("step");
        QTest::newRow("a minute in 6") << 60000000LL << 6 << 10000000LL;
        QTest::newRow("ten minutes in 5") << 600000000LL << 5 << 120000000LL;
        QTest::newRow("a second in 4") << 1000000LL << 4 << 500000LL;
        QTest::newRow("an hour in 4") << 3600000000LL << 4 << 900000000LL;
    }
    void timeTicksFallOnWholeUnits()
    {
        QFETCH(qlonglong, spanUs);
        QFETCH(int, most);
        QFETCH(qlonglong, step);
        const qint64 low = QDateTime(QDate(2026, 12, 10), QTime(21, 43, 40, 123)).toMSecsSinceEpoch() * 1000 + 456;
        qint64 got = 0;
        const std::vector<qint64> ticks = CChartScale::TimeTicks(low, low + spanUs, most, &got);
        QCOMPARE(got, step);
        QVERIFY(!ticks.empty());
        for (qint64 tick : ticks) {
            QVERIFY(tick >= low && tick <= low + spanUs);
            const QTime local = QDateTime::fromMSecsSinceEpoch(tick / 1000).time();
            const qint64 sinceMidnight = qint64(local.msecsSinceStartOfDay()) * 1000 + tick % 1000;
            QCOMPARE(sinceMidnight % step, 0);
        }
        QCOMPARE(CChartScale::TimeText(ticks.front(), step).size(), step < 1000000 ? 12 : 8);
    }

    void reductionKeepsEachColumnsExtremes()
    {
        // A million points, a sine with one spike: every column keeps its lowest and highest value.
        const size_t n = 1000000;
        std::vector<qint64> times(n);
        std::vector<double> values(n);
        for (size_t i = 0; i < n; ++i) {
            times[i] = qint64(i) * 10;
            values[i] = std::sin(double(i) / 5000.0);
        }
        values[777777] = 50.0;
        const std::vector<CChartScale::Column> columns = CChartScale::Reduce(times.data(), values.data(), n, 0, qint64(n) * 10, 500);
        QCOMPARE(columns.size(), size_t(500));
        double highest = -1.0;
        for (const CChartScale::Column &c : columns) {
            QVERIFY(c.any);
            QVERIFY(c.min <= c.first && c.first <= c.max && c.min <= c.last && c.last <= c.max);
            highest = std::max(highest, c.max);
        }
        QCOMPARE(highest, 50.0);
        QCOMPARE(columns[388].max, 50.0);  // 777777 of 1,000,000 in 500 columns
        // A window in the middle: only its points, the rest of the columns empty.
        const std::vector<CChartScale::Column> part = CChartScale::Reduce(times.data(), values.data(), n, 100, 130, 3);
        QCOMPARE(part[0].first, values[10]);
        QCOMPARE(part[2].last, values[12]);
        QVERIFY(CChartScale::Reduce(times.data(), values.data(), n, -100, -1, 4)[0].any == false);
    }
};

QTEST_GUILESS_MAIN(TestChartScale)
#include "tst_chartscale.moc"
