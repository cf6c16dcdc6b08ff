// The statistics window's two save buttons: each file arrives whole or not at all, and a file that
// cannot be written gets a message.
#include "session/ui/cstatswnd.h"
#include "session/ui/ctrafficchart.h"
#include "support/scriptedprompts.h"

#include <QImage>
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
};

QTEST_MAIN(TestStatsWnd)
#include "tst_statswnd.moc"
