// The statistics window's two save buttons: each file arrives whole or not at all, and a file that
// cannot be written gets a message; the CSV of a session and of a relay's two directions.
#include "session/ui/cstatswnd.h"
#include "session/ui/ctrafficchart.h"
#include "support/scriptedprompts.h"

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
