// Window placement: the profile's text form, and the frame reopening where and how it was closed.
#include "app/ui/cmainframe.h"
#include "res/commandids.h"
#include "app/ui/cpersistentframe.h"
#include "document/cqndoc.h"
#include "batch/ui/cbatchsenddlg.h"
#include "display/ui/cmessagewnd.h"
#include "platform/cinifile.h"
#include "session/ui/cqnview.h"
#include "support/tempconfighome.h"

#include <QScreen>
#include <QTest>

#include <memory>

using Rect = CPersistentFrame::Rect;
Q_DECLARE_METATYPE(CPersistentFrame::Rect)

namespace {

const QString kSection = QStringLiteral("Window size");

QString Profile(const QString &key)
{
    return CIniFile(CIniFile::ProfilePath()).GetString(kSection, key, QStringLiteral("<absent>"));
}

}  // namespace

class TestPersistentFrame : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<TempConfigHome> m_pConfig;

private Q_SLOTS:
    void init()
    {
        m_pConfig.reset();
        m_pConfig = std::make_unique<TempConfigHome>();
    }

    void rectangleIsStoredInFixedColumns_data()
    {
        QTest::addColumn<Rect>("rect");
        QTest::addColumn<QString>("text");
        QTest::newRow("ordinary") << Rect{10, 20, 510, 160} << QStringLiteral("  10   20  510  160 ");
        QTest::newRow("extremes of four columns") << Rect{-999, 9999, 0, -1} << QStringLiteral("-999 9999    0   -1 ");
        QTest::newRow("five characters") << Rect{-1200, -1000, 500, 140} << QStringLiteral("-1200 -1000  500  140 ");
    }
    void rectangleIsStoredInFixedColumns()
    {
        QFETCH(Rect, rect);
        QFETCH(QString, text);
        QCOMPARE(CPersistentFrame::FormatRect(rect), text);
    }

    void rectangleIsReadAtPositions0_5_10_15_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Rect>("rect");
        QTest::newRow("ordinary") << QStringLiteral("  10   20  510  160 ") << Rect{10, 20, 510, 160};
        QTest::newRow("four-column extremes") << QStringLiteral("-999 9999 -999 9999 ") << Rect{-999, 9999, -999, 9999};
        QTest::newRow("one wide value still reads") << QStringLiteral("-1200   20  510  160 ") << Rect{-1200, 20, 510, 160};
        QTest::newRow("two wide values lose right and bottom") << QStringLiteral("-1200 -1000  500  140 ")
                                                               << Rect{-1200, -1000, 0, 0};
        QTest::newRow("short text reads zeros") << QStringLiteral("  10") << Rect{10, 0, 0, 0};
        QTest::newRow("letters read as zero") << QStringLiteral("abcd efgh +12x -7") << Rect{0, 0, 12, -7};
        QTest::newRow("overflow saturates") << QStringLiteral("99999999999999") << Rect{INT_MAX, 999999999, 9999, 0};
    }
    void rectangleIsReadAtPositions0_5_10_15()
    {
        QFETCH(QString, text);
        QFETCH(Rect, rect);
        QCOMPARE(CPersistentFrame::ParseRect(text), rect);
    }

    void firstRunOpensNormalAtTopLeft500x140()
    {
        {
            CMainFrame frame;
            frame.ActivateFrame();
            QVERIFY(frame.isVisible());
            QCOMPARE(frame.windowState(), Qt::WindowNoState);
            QTRY_COMPARE(frame.frameGeometry().topLeft(), QPoint(0, 0));
            QCOMPARE(frame.size(), QSize(500, 140));
        }
        QCOMPARE(Profile(QStringLiteral("Rect")), QStringLiteral("   0    0  500  140 "));
        QCOMPARE(Profile(QStringLiteral("icon")), QStringLiteral("0"));
        QCOMPARE(Profile(QStringLiteral("max")), QStringLiteral("0"));
    }

    void closedMaximizedReopensMaximizedOverItsNormalRectangle()
    {
        {
            CPersistentFrame frame;
            frame.ActivateFrame();
            frame.move(30, 40);
            frame.resize(600, 300);
            QTRY_COMPARE(frame.frameGeometry().topLeft(), QPoint(30, 40));
            frame.showMaximized();
            QTRY_VERIFY(frame.windowState().testFlag(Qt::WindowMaximized));
            frame.close();
        }
        QCOMPARE(Profile(QStringLiteral("Rect")), QStringLiteral("  30   40  630  340 "));
        QCOMPARE(Profile(QStringLiteral("max")), QStringLiteral("1"));
        QCOMPARE(Profile(QStringLiteral("icon")), QStringLiteral("0"));

        CPersistentFrame frame;
        frame.ActivateFrame();
        QCOMPARE(frame.windowState(), Qt::WindowMaximized);
        QCOMPARE(frame.normalGeometry().size(), QSize(600, 300));
        frame.showNormal();
        QTRY_COMPARE(frame.frameGeometry().topLeft(), QPoint(30, 40));
        QCOMPARE(frame.size(), QSize(600, 300));
    }

    void minimizedFromMaximizedReopensMinimizedAndRestoresMaximized()
    {
        {
            CPersistentFrame frame;
            frame.ActivateFrame();
            frame.move(50, 60);
            frame.resize(400, 200);
            QTRY_COMPARE(frame.frameGeometry().topLeft(), QPoint(50, 60));
            frame.showMaximized();
            frame.setWindowState(frame.windowState() | Qt::WindowMinimized);
        }
        QCOMPARE(Profile(QStringLiteral("icon")), QStringLiteral("1"));
        QCOMPARE(Profile(QStringLiteral("max")), QStringLiteral("1"));
        QCOMPARE(Profile(QStringLiteral("Rect")), QStringLiteral("  50   60  450  260 "));

        CPersistentFrame frame;
        frame.ActivateFrame();
        QCOMPARE(frame.windowState(), Qt::WindowMinimized | Qt::WindowMaximized);
        QVERIFY(!frame.isActiveWindow());
        frame.ActivateFrame();
        QCOMPARE(frame.windowState(), Qt::WindowMaximized);
    }

    void storedRectangleIsUsedAsReadAndOnlyTheFirstActivationRestores()
    {
        CIniFile profile(CIniFile::ProfilePath());
        QVERIFY(profile.WriteString(kSection, QStringLiteral("Rect"), QStringLiteral("-300  250  100  450 ")));
        CPersistentFrame frame;
        frame.ActivateFrame();
        QTRY_COMPARE(frame.frameGeometry().topLeft(), QPoint(-300, 250));
        QCOMPARE(frame.size(), QSize(400, 200));
        frame.move(10, 10);
        frame.ActivateFrame();
        QTRY_COMPARE(frame.frameGeometry().topLeft(), QPoint(10, 10));
        QCOMPARE(frame.size(), QSize(400, 200));
    }

    void aPlacementOffEveryScreenIsBroughtBackAtItsSize()
    {
        QVERIFY(CIniFile(CIniFile::ProfilePath()).WriteString(kSection, QStringLiteral("Rect"), QStringLiteral("5000 5000 5500 5140 ")));
        CPersistentFrame window;
        window.ActivateFrame();
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        QTRY_COMPARE(window.frameGeometry().bottomRight(), area.bottomRight());
        QCOMPARE(window.size(), QSize(500, 140));
    }

    void everyWindowFitsItsScreen()
    {
        CMainFrame frame;
        frame.ActivateFrame();
        CQnDoc doc;
        CQnView *view = frame.GetActiveView();
        view->OnInitialUpdate(&doc);
        for (int id : {ID_VIEW_HISTORY, ID_VIEW_LOG, ID_BATCH_SEND})
            view->OnCommand(id);
        for (QWidget *window : {static_cast<QWidget *>(&frame), static_cast<QWidget *>(view->HistoryWindow()),
                                static_cast<QWidget *>(view->LogWindow()), static_cast<QWidget *>(view->BatchWindow())}) {
            QVERIFY(window->isVisible());
            const QRect area = window->screen()->availableGeometry();
            QTRY_VERIFY2(area.contains(window->frameGeometry()), qPrintable(window->windowTitle()));
        }
    }

    void aFrameNeverShownLeavesTheProfileAlone()
    {
        {
            CPersistentFrame frame;
        }
        QCOMPARE(Profile(QStringLiteral("Rect")), QStringLiteral("<absent>"));
    }
};

QTEST_MAIN(TestPersistentFrame)
#include "tst_persistentframe.moc"
