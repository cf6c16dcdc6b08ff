// The traffic counts: response-time percentiles, the seconds kept, reconnects and reset with the clock
// given; then the whole program echoing a UDP peer that keeps a steady pace.
#include "net/loopbackpeer.h"
#include "sessionharness.h"
#include "res/commandids.h"
#include "session/ctrafficstats.h"
#include "session/ui/cqnview.h"
#include "session/ui/cstatswnd.h"
#include "session/ui/ctrafficchart.h"

#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>

using namespace std::chrono_literals;
using Clock = CTrafficStats::Clock;

class TrafficStatsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void percentilesAreWithinOnePercent_data()
    {
        QTest::addColumn<QList<qint64>>("micros");
        QTest::addColumn<QList<qint64>>("expected");  // count, min, p50, p95, p99, max
        QList<qint64> ramp;
        for (qint64 i = 1; i <= 1000; ++i)
            ramp << i * 1000;
        QTest::newRow("one") << QList<qint64>{5000} << QList<qint64>{1, 5000, 5000, 5000, 5000, 5000};
        QTest::newRow("ramp 1..1000 ms") << ramp << QList<qint64>{1000, 1000, 500000, 950000, 990000, 1000000};
        QTest::newRow("zero and one µs") << QList<qint64>{0, 0, 1} << QList<qint64>{3, 0, 0, 1, 1, 1};
        QTest::newRow("past the longest bucket") << QList<qint64>{2'000'000'000} << QList<qint64>{1, 2'000'000'000, 2'000'000'000, 2'000'000'000, 2'000'000'000, 2'000'000'000};
        QList<qint64> slow;  // 1,500 s to 2,490 s
        for (qint64 i = 0; i < 100; ++i)
            slow << (1500 + i * 10) * 1'000'000;
        QTest::newRow("ramp past 1,000 s") << slow << QList<qint64>{100, 1'500'000'000, 1'990'000'000, 2'440'000'000, 2'480'000'000, 2'490'000'000};
    }
    void percentilesAreWithinOnePercent()
    {
        QFETCH(QList<qint64>, micros);
        QFETCH(QList<qint64>, expected);
        const Clock::time_point t0 = Clock::now();
        CTrafficStats stats;
        stats.Reset(t0);
        Clock::time_point t = t0;
        for (qint64 m : micros) {
            stats.Sent(1, t);
            t += std::chrono::microseconds(m);
            stats.Received(1, t);
        }
        const CTrafficStats::Responses r = stats.ResponseTimes();
        const QList<qint64> got{r.count, r.min, r.p50, r.p95, r.p99, r.max};
        for (int i = 0; i < got.size(); ++i)
            QVERIFY2(qAbs(got[i] - expected[i]) <= expected[i] / 100, qPrintable(QStringLiteral("%1: %2 for %3").arg(i).arg(got[i]).arg(expected[i])));
    }

    void onlyTheFirstReceiveAfterASendIsTimed()
    {
        const Clock::time_point t0 = Clock::now();
        CTrafficStats stats;
        stats.Reset(t0);
        stats.Received(10, t0 + 1ms);  // answers nothing
        stats.Sent(3, t0 + 2ms);
        stats.Received(20, t0 + 7ms);
        stats.Received(30, t0 + 9ms);
        QCOMPARE(stats.ResponseTimes().count, 1);
        QCOMPARE(stats.ResponseTimes().max, 5000);
        QCOMPARE(stats.SinceConnect().telegramsIn, 3);
        QCOMPARE(stats.SinceConnect().bytesIn, 60);
        QCOMPARE(stats.LargestIn(), 30);
        QCOMPARE(stats.LargestOut(), 3);
        // A connection made between a send and a receive ends the wait.
        stats.Sent(1, t0 + 10ms);
        stats.Connected(t0 + 11ms);
        stats.Received(1, t0 + 12ms);
        QCOMPARE(stats.ResponseTimes().count, 1);
        QCOMPARE(stats.SinceConnect().telegramsIn, 1);

        // Each second's own percentiles: 1..100 ms answered in second 1, one of 7 ms in second 2.
        stats.Reset(t0);
        for (int i = 1; i <= 100; ++i) {
            stats.Sent(1, t0 + 1s);
            stats.Received(1, t0 + 1s + std::chrono::milliseconds(i) - 1ms);
        }
        stats.Sent(1, t0 + 2s);
        stats.Received(1, t0 + 2s + 7ms);
        const std::vector<CTrafficStats::Second> seconds = stats.History(3, t0 + 3s);
        QCOMPARE(seconds.size(), size_t(3));
        QCOMPARE((QList<qint64>{seconds[1].responseP50, seconds[1].responseP95, seconds[1].responseP99, seconds[1].responseMaxMicros}),
                 (QList<qint64>{49000, 94000, 98000, 99000}));
        QCOMPARE((QList<qint64>{seconds[2].responses, seconds[2].responseP50, seconds[2].responseP99}), (QList<qint64>{1, 7000, 7000}));
    }

    // A script of notes, each "c" connect, "d" disconnect, "r" reset, "s<peers>@<ms>" a send to those
    // peers (none: the one peer) or "i<peer>@<ms>" a receive from one.
    void reconnectsAndResponsesFollowTheNotes_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("reconnects");
        QTest::addColumn<QList<qint64>>("responses");  // count, max in ms
        QTest::newRow("reset with no connection open") << "c d r c" << 0 << QList<qint64>{0, 0};
        QTest::newRow("reset with the connection open") << "c r c" << 1 << QList<qint64>{0, 0};
        QTest::newRow("reconnect without reset") << "c d c c" << 2 << QList<qint64>{0, 0};
        QTest::newRow("one peer: the first receive answers") << "c s@0 i@5 i@9" << 0 << QList<qint64>{1, 5};
        QTest::newRow("another client's receive answers nothing") << "c s1@0 i2@3 i1@8" << 0 << QList<qint64>{1, 8};
        QTest::newRow("a send to all: each client answers") << "c s1,2@0 i2@4 i1@6 i1@9" << 0 << QList<qint64>{2, 6};
        QTest::newRow("the latest send is answered") << "c s1@0 s1@10 i1@12" << 0 << QList<qint64>{1, 2};
        QTest::newRow("a disconnect ends the wait") << "c s@0 d c i@4" << 1 << QList<qint64>{0, 0};
    }
    void reconnectsAndResponsesFollowTheNotes()
    {
        QFETCH(QString, script);
        QFETCH(int, reconnects);
        QFETCH(QList<qint64>, responses);
        const Clock::time_point t0 = Clock::now();
        CTrafficStats stats;
        stats.Reset(t0);
        for (const QString &note : script.split(u' ')) {
            const QStringList parts = note.mid(1).split(u'@');
            const Clock::time_point at = t0 + std::chrono::milliseconds(parts.value(1).toInt());
            QList<int> peers;
            for (const QString &peer : parts.value(0).split(u',', Qt::SkipEmptyParts))
                peers << peer.toInt();
            switch (note.at(0).unicode()) {
            case 'c': stats.Connected(at); break;
            case 'd': stats.Disconnected(); break;
            case 'r': stats.Reset(at); break;
            case 's': stats.Sent(1, at, peers); break;
            case 'i': stats.Received(1, at, peers.value(0)); break;
            }
        }
        QCOMPARE(stats.Reconnects(), reconnects);
        QCOMPARE((QList<qint64>{stats.ResponseTimes().count, stats.ResponseTimes().max / 1000}), responses);
    }

    void secondsAreKeptForTenMinutesAndReset()
    {
        const Clock::time_point t0 = Clock::now();
        CTrafficStats stats;
        stats.Reset(t0);
        stats.Connected(t0);
        for (int s = 0; s < 700; ++s) {
            for (int i = 0; i <= s % 3; ++i)
                stats.Received(100, t0 + std::chrono::seconds(s) + std::chrono::milliseconds(100 * i));
        }
        const Clock::time_point now = t0 + 700s + 500ms;
        const std::vector<CTrafficStats::Second> kept = stats.History(CTrafficStats::kSeconds + 5, now);
        QCOMPARE(kept.size(), size_t(CTrafficStats::kSeconds));
        QCOMPARE(kept.front().counts.telegramsIn, 100 % 3 + 1);  // second 100, the oldest kept
        QCOMPARE(kept.back().counts.bytesIn, (699 % 3 + 1) * 100);
        QCOMPARE(stats.LastSecond(now).counts.telegramsIn, 699 % 3 + 1);
        QCOMPARE(stats.LastSecond(now + 1s).counts.telegramsIn, 0);  // second 700 had nothing
        QCOMPARE(stats.History(10, t0 + 3s).size(), size_t(3));
        // The CSV file: a heading and a line a second kept, each second at its wall-clock time.
        const QDateTime wall(QDate(2026, 12, 10), QTime(12, 0, 0, 500));
        const QList<QByteArray> csv = stats.Csv(wall, now).split('\n');
        QCOMPARE(csv.size(), CTrafficStats::kSeconds + 2);  // and the empty rest after the last line end
        QVERIFY(csv[0].startsWith("time,telegrams_in,bytes_in,"));
        QCOMPARE(csv[CTrafficStats::kSeconds], QByteArray("2026-12-10 11:59:59,") + QByteArray::number(699 % 3 + 1) + ','
                                                    + QByteArray::number((699 % 3 + 1) * 100) + ",0,0,0,,,,,");
        stats.Connected(now);
        stats.Connected(now);
        QCOMPARE(stats.Reconnects(), 2);
        stats.Reset(now);
        QCOMPARE(stats.Reconnects(), 0);
        QCOMPARE(stats.SinceConnect().telegramsIn, 0);
        QCOMPARE(stats.LastSecond(now + 1s).counts.telegramsIn, 0);
    }

    void aSteadyPeerIsCountedWithinFivePercent()
    {
        // The peer sends every 5 ms and the program echoes: the next telegram is the echo's answer.
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.ConfigureUdp(peer.Port());
        h.Command(ID_SOCKET_CONNECT);
        const quint16 own = h.OwnPort();
        h.Command(ID_LOOPBACK_ON);
        std::vector<Clock::time_point> sent;
        qint64 echoed = 0;
        QTimer pace;
        pace.setTimerType(Qt::PreciseTimer);
        pace.setInterval(5);
        const QByteArray telegram(32, 'x');
        QObject::connect(&pace, &QTimer::timeout, [&] {
            sent.push_back(Clock::now());
            peer.WriteTo(telegram, own);
            while (!peer.ReadNow().isEmpty())
                ++echoed;
        });
        const Clock::time_point t0 = Clock::now();
        h.View()->Traffic().Reset(t0);
        pace.start();
        QTRY_VERIFY_WITH_TIMEOUT(Clock::now() - t0 >= 2300ms, 10000);
        const Clock::time_point now = Clock::now();
        const CTrafficStats &stats = h.View()->Traffic();
        const CTrafficStats::Second last = stats.LastSecond(now);
        pace.stop();
        const auto whole = std::chrono::duration_cast<std::chrono::seconds>(now - t0);
        const qint64 inLast = std::count_if(sent.begin(), sent.end(), [&](Clock::time_point t) {
            return t >= t0 + whole - 1s && t < t0 + whole;
        });
        QVERIFY2(qAbs(last.counts.telegramsIn - inLast) <= inLast / 20, qPrintable(QStringLiteral("%1 of %2").arg(last.counts.telegramsIn).arg(inLast)));
        QCOMPARE(last.counts.bytesIn, last.counts.telegramsIn * telegram.size());

        QTRY_COMPARE(stats.SinceConnect().telegramsIn, qint64(sent.size()));
        QCOMPARE(stats.SinceConnect().telegramsOut, qint64(sent.size()));
        std::vector<qint64> gaps;
        for (size_t i = 1; i < sent.size(); ++i)
            gaps.push_back(std::chrono::duration_cast<std::chrono::microseconds>(sent[i] - sent[i - 1]).count());
        std::nth_element(gaps.begin(), gaps.begin() + qsizetype(gaps.size() / 2), gaps.end());
        const qint64 median = gaps[gaps.size() / 2];
        const CTrafficStats::Responses r = stats.ResponseTimes();
        QCOMPARE(r.count, qint64(sent.size() - 1));
        QVERIFY2(qAbs(r.p50 - median) <= median / 20, qPrintable(QStringLiteral("p50 %1 µs, peer %2 µs").arg(r.p50).arg(median)));
        QVERIFY(r.min <= r.p50 && r.p50 <= r.p95 && r.p95 <= r.p99 && r.p99 <= r.max);
        QCOMPARE(stats.LargestIn(), telegram.size());

        // The window shows the same counts and draws them; its saves hold them.
        h.Command(ID_VIEW_STATS);
        CStatsWnd *window = h.View()->StatsWindow();
        QVERIFY(window->isVisible());
        window->Refresh(now);
        QCOMPARE(window->Figure(QStringLiteral("telegramsIn.last")), QString::number(last.counts.telegramsIn));
        QCOMPARE(window->Figure(QStringLiteral("response.p50")), QString::number(double(r.p50) / 1000.0, 'f', 3));
        QCOMPARE(window->Figure(QStringLiteral("queueDrops")), QStringLiteral("0"));
        QCOMPARE(window->Figure(QStringLiteral("kernelDrops")), QStringLiteral("0"));
        const QImage chart = window->Chart()->grab().toImage();
        const auto coloured = [&](QRect area, QRgb colour) {
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x)
                    if ((chart.pixel(x, y) & 0xffffff) == (colour & 0xffffff))
                        return true;
            return false;
        };
        const QRect topLeft(0, 0, chart.width() / 2, chart.height() / 2);
        const QRect bottomRight(chart.width() / 2, chart.height() / 2, chart.width() / 2, chart.height() / 2);
        QVERIFY2(coloured(topLeft, qRgb(0x1f, 0x5f, 0xbf)), "received bytes drawn");
        QVERIFY2(coloured(bottomRight, qRgb(0x1f, 0x5f, 0xbf)), "response histogram drawn");
        QTemporaryDir folder;
        QString error;
        QVERIFY2(window->SavePng(folder.filePath(QStringLiteral("chart.png")), &error), qPrintable(error));
        QCOMPARE(QImage(folder.filePath(QStringLiteral("chart.png"))).size(), chart.size());
        QVERIFY(window->SaveCsv(folder.filePath(QStringLiteral("stats.csv"))));
        QFile csv(folder.filePath(QStringLiteral("stats.csv")));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll().count('\n'), 1 + 2);  // the heading and the two whole seconds
        QVERIFY(!window->SaveCsv(folder.filePath(QStringLiteral("no/such/folder.csv")), &error));
        window->Reset();
        QCOMPARE(window->Figure(QStringLiteral("telegramsIn.total")), QStringLiteral("0"));
        QCOMPARE(window->Figure(QStringLiteral("response.p50")), QStringLiteral("-"));
    }
};

QTEST_MAIN(TrafficStatsTest)
#include "tst_trafficstats.moc"
