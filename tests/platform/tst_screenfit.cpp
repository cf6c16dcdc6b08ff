// Keeping windows within reach: where a frame goes for a given set of screens.
#include "platform/ui/screenfit.h"

#include <QTest>

class TestScreenFit : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void frameIsBroughtOntoAScreen_data()
    {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QList<QRect>>("areas");
        QTest::addColumn<QRect>("fitted");
        const QList<QRect> one{QRect(0, 0, 800, 600)};
        const QList<QRect> two{QRect(0, 0, 1920, 1080), QRect(1920, 100, 800, 600)};
        QTest::newRow("on screen") << QRect(10, 10, 300, 200) << one << QRect(10, 10, 300, 200);
        QTest::newRow("partly off, title bar reachable") << QRect(-300, 250, 400, 200) << one << QRect(-300, 250, 400, 200);
        QTest::newRow("off every screen") << QRect(5000, 5000, 500, 140) << one << QRect(300, 460, 500, 140);
        QTest::newRow("title bar above the screen") << QRect(100, -10, 300, 200) << one << QRect(100, 0, 300, 200);
        QTest::newRow("title bar barely on screen") << QRect(790, 100, 300, 200) << one << QRect(500, 100, 300, 200);
        QTest::newRow("larger than the screen") << QRect(-50, 40, 1000, 700) << one << QRect(0, 0, 800, 600);
        QTest::newRow("on the second screen") << QRect(2000, 150, 500, 300) << two << QRect(2000, 150, 500, 300);
        QTest::newRow("larger than the second screen") << QRect(2000, 150, 1000, 700) << two << QRect(1920, 100, 800, 600);
        QTest::newRow("off both: the primary") << QRect(-5000, 300, 400, 200) << two << QRect(0, 300, 400, 200);
    }
    void frameIsBroughtOntoAScreen()
    {
        QFETCH(QRect, frame);
        QFETCH(QList<QRect>, areas);
        QFETCH(QRect, fitted);
        QCOMPARE(FitFrameToScreens(frame, areas, 20), fitted);
    }
};

QTEST_GUILESS_MAIN(TestScreenFit)
#include "tst_screenfit.moc"
