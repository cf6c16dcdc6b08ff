// The statistics window's two save buttons: each file arrives whole or not at all, and a file that
// cannot be written gets a message; the chart's readout under the mouse, and pause holding the chart;
// the CSV of a session and of a relay's two directions.
#include "session/ui/cstatswnd.h"
#include "session/ui/ctrafficchart.h"
#include "support/scriptedprompts.h"

#include <QCheckBox>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestStatsWnd : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void savesWholeOrSaysWhy_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("path");  // in a temporary folder unless absolute
        QTest::addColumn<QString>("message");  // empty: saved
        const QString full = QStringLiteral("ﾌｧｲﾙに書き込めません: /dev/full\nﾃﾞｨｽｸの空き容量が不足しています。");
        QTest::newRow("picture") << "画像で保存" << "chart.png" << QString();
        QTest::newRow("picture, full disk") << "画像で保存" << "/dev/full" << full;
        QTest::newRow("CSV, full disk") << "CSVで保存" << "/dev/full" << full;
    }
    void savesWholeOrSaysWhy()
    {
        QFETCH(QString, button);
        QFETCH(QString, path);
        QFETCH(QString, message);
        ScriptedPrompts prompts;
        CTrafficStats stats;
        CStatsWnd window(&stats, [] { return CEndpoint::Gauges(); });
        window.show();
        QTemporaryDir folder;
        if (!path.startsWith(QLatin1Char('/')))
            path = folder.filePath(path);
        prompts.fileNames.enqueue(path);
        QPushButton *save = nullptr;
        for (QPushButton *candidate : window.findChildren<QPushButton *>())
            if (candidate->text() == button)
                save = candidate;
        QVERIFY(save);
        save->click();
        QCOMPARE(prompts.MessageTexts(), message.isEmpty() ? QStringList() : QStringList{message});
        if (message.isEmpty())
            QCOMPARE(QImage(path).size(), window.Chart()->size());
    }

    void readoutSaysTheFiguresUnderTheMouse_data()
    {
        QTest::addColumn<int>("panel");
        QTest::addColumn<double>("fraction");  // across the plot, 1: its right edge
        QTest::addColumn<QStringList>("lines");
        // 60 seconds: second i received and sent 1,000·i bytes in i telegrams, the newest 1.5 MB; the
        // odd seconds had a response of i ms. The spread: 30 responses near 1 ms (p50), 5 near 3 ms (p99).
        QTest::newRow("newest bytes, equal each way") << int(CTrafficChart::PanelBytes) << 1.0
                                                      << QStringList{"0秒前", "受信 = 1.5 MB/s", "送信 = 1.5 MB/s"};
        QTest::newRow("ten seconds before") << int(CTrafficChart::PanelBytes) << 50.0 / 60.0
                                            << QStringList{"10秒前", "受信 = 49,000 B/s", "送信 = 49,000 B/s"};
        QTest::newRow("telegrams") << int(CTrafficChart::PanelTelegrams) << 50.0 / 60.0
                                   << QStringList{"10秒前", "受信 = 49 件/秒", "送信 = 49 件/秒"};
        QTest::newRow("a second with a response") << int(CTrafficChart::PanelResponse) << 1.0
                                                  << QStringList{"0秒前", "平均 = 59 ms", "最大 = 59 ms"};
        QTest::newRow("a second without") << int(CTrafficChart::PanelResponse) << 59.0 / 60.0
                                          << QStringList{"1秒前", "平均 = -", "最大 = -"};
        QTest::newRow("spread at the percentile") << int(CTrafficChart::PanelSpread) << -1.0
                                                  << QStringList{"30 件", "p50 = 1 ms", "p99 = 3 ms"};
    }
    void readoutSaysTheFiguresUnderTheMouse()
    {
        QFETCH(int, panel);
        QFETCH(double, fraction);
        QFETCH(QStringList, lines);
        CTrafficChart chart;
        chart.resize(640, 360);
        CTrafficChart::Picture picture;
        for (int i = 0; i < 60; ++i) {
            CTrafficStats::Second second;
            second.counts = {i, 1000 * i, i, 1000 * i};
            if (i % 2) {
                second.responses = 1;
                second.responseMicros = second.responseMaxMicros = 1000 * i;
            }
            picture.seconds.push_back(second);
        }
        picture.seconds.back().counts.bytesIn = picture.seconds.back().counts.bytesOut = 1'500'000;
        picture.histogram = {{1000, 30}, {3000, 5}};
        picture.p50 = 1000;
        picture.p99 = 3000;
        chart.SetPicture(picture);
        const QRect plot = chart.PlotOf(CTrafficChart::Panel(panel));
        QVERIFY(plot.width() > 100 && plot.height() > 50);
        // For the spread: the x where its p50 line is drawn, found in the picture.
        int x = plot.left() + int(fraction * (plot.width() - 1));
        if (fraction < 0) {
            const QImage image = chart.grab().toImage();
            x = -1;
            for (int at = plot.left() + 1; at < plot.right() && x < 0; ++at)
                for (int y = plot.top() + 1; y < plot.bottom(); ++y)
                    if ((image.pixel(at, y) & 0xffffff) == 0x505050)
                        x = at;
            QVERIFY(x > 0);
        }
        const QStringList readout = chart.ReadoutAt(QPoint(x, plot.center().y()));
        if (panel == CTrafficChart::PanelSpread)
            QCOMPARE(readout.mid(1), lines);
        else
            QCOMPARE(readout, lines);
        QVERIFY(chart.ReadoutAt(QPoint(plot.left() - 2, plot.center().y())).isEmpty());
    }

    void pauseHoldsTheChartWhileTheFiguresGoOn()
    {
        using namespace std::chrono_literals;
        const CTrafficStats::Clock::time_point t0 = CTrafficStats::Clock::now() - 10s;
        CTrafficStats stats;
        stats.Reset(t0);
        CStatsWnd window(&stats, [] { return CEndpoint::Gauges(); });
        stats.Received(100, t0 + 100ms);
        window.Refresh(t0 + 1500ms);
        QCOMPARE(window.Chart()->Shown().seconds.size(), size_t(1));
        window.findChild<QCheckBox *>()->click();
        QVERIFY(window.IsPaused());
        stats.Received(200, t0 + 1600ms);
        window.Refresh(t0 + 2500ms);
        QCOMPARE(window.Figure(QStringLiteral("bytesIn.total")), QStringLiteral("300"));
        QCOMPARE(window.Chart()->Shown().seconds.size(), size_t(1));
        window.SetPaused(false);  // the chart catches up at once
        qint64 bytes = 0;
        for (const CTrafficStats::Second &second : window.Chart()->Shown().seconds)
            bytes += second.counts.bytesIn;
        QCOMPARE(bytes, 300);
        window.SetPaused(true);
        window.Reset();  // a reset empties the held chart still
        QVERIFY(window.Chart()->Shown().seconds.empty());
    }

    void csvOfEachForm_data()
    {
        QTest::addColumn<bool>("relay");
        QTest::addColumn<QString>("heading");
        QTest::addColumn<QStringList>("lines");  // regular expressions, each matching a line
        QTest::newRow("session") << false << "time,telegrams_in,bytes_in,telegrams_out,bytes_out,responses,"
                                 << QStringList{"^\\d{4}-[^,]+,1,5,1,5,1,"};
        QTest::newRow("relay: a column for the direction")
            << true << "direction,time,telegrams_in,bytes_in,telegrams_out,bytes_out,"
            << QStringList{"^A>B,\\d{4}-[^,]+,1,5,1,5,", "^B>A,\\d{4}-[^,]+,1,3,0,0,"};
    }
    void csvOfEachForm()
    {
        QFETCH(bool, relay);
        QFETCH(QString, heading);
        QFETCH(QStringList, lines);
        // Traffic two seconds ago: the CSV holds whole seconds only.
        const auto now = CTrafficStats::Clock::now();
        CTrafficStats first, second;
        for (CTrafficStats *stats : {&first, &second})
            stats->Reset(now - std::chrono::seconds(3));
        first.Sent(5, now - std::chrono::seconds(2));
        first.Received(5, now - std::chrono::seconds(2));
        second.Received(3, now - std::chrono::seconds(2));
        std::unique_ptr<CStatsWnd> window =
            relay ? std::make_unique<CStatsWnd>(std::vector<CStatsWnd::Direction>{{"A>B", &first, {}}, {"B>A", &second, {}}})
                  : std::make_unique<CStatsWnd>(&first, [] { return CEndpoint::Gauges(); });
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("stats.csv"));
        QVERIFY(window->SaveCsv(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList saved = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(saved.first().startsWith(heading));
        QCOMPARE(saved.filter(QStringLiteral("time,")).size(), 1);
        for (const QString &line : lines)
            QVERIFY2(!saved.filter(QRegularExpression(line)).isEmpty(), qPrintable(saved.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(TestStatsWnd)
#include "tst_statswnd.moc"
