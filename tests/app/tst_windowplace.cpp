// The tool windows reopen where they were last closed, within the run and in the next one; a place
// off every screen is brought back; Command Send opens beside the main window the first time.
#include "app/ui/cmainframe.h"
#include "res/commandids.h"
#include "document/cqndoc.h"
#include "batch/ui/cbatchsenddlg.h"
#include "display/ui/ccommandsenddlg.h"
#include "display/ui/cmessagewnd.h"
#include "platform/cinifile.h"
#include "session/ui/cqnview.h"
#include "session/ui/cstatswnd.h"
#include "support/scriptedprompts.h"
#include "support/tempconfighome.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <memory>

namespace {

constexpr int kStats = KIND_BATCH_SEND + 1;  // the statistics window, which hides itself on close

// One run of the program: the main window over a new document.
struct Run
{
    Run()
    {
        doc.OnNewDocument();
        frame.GetActiveView()->OnInitialUpdate(&doc);
        frame.ActivateFrame();
    }
    QWidget *Window(int kind) const
    {
        CQnView *view = frame.GetActiveView();
        switch (kind) {
        case KIND_LOG: return view->LogWindow();
        case KIND_HISTORY: return view->HistoryWindow();
        case KIND_COMMAND_SEND: return view->CommandWindow();
        case kStats: return view->StatsWindow();
        default: return view->BatchWindow();
        }
    }
    void Open(int kind)
    {
        const int command[] = {0, ID_COMMAND_SEND, ID_VIEW_LOG, ID_VIEW_HISTORY, ID_BATCH_SEND, ID_VIEW_STATS};
        frame.OnCommand(command[kind]);
    }
    void Close(int kind)
    {
        if (kind == kStats)
            Window(kind)->close();
        else
            SendMessage(frame.GetActiveView(), WM_CHILD_CLOSE, WPARAM(kind), 0);
    }

    CQnDoc doc;
    CMainFrame frame;
};

}  // namespace

class TestWindowPlace : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<TempConfigHome> m_pConfig;
    ScriptedPrompts m_prompts;

private Q_SLOTS:
    void init()
    {
        m_pConfig.reset();
        m_pConfig = std::make_unique<TempConfigHome>();
    }

    void reopenedWindowReturnsToItsPlace_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("section");
        QTest::newRow("Log") << int(KIND_LOG) << QStringLiteral("Log window");
        QTest::newRow("History") << int(KIND_HISTORY) << QStringLiteral("History window");
        QTest::newRow("Command Send") << int(KIND_COMMAND_SEND) << QStringLiteral("Command Send window");
        QTest::newRow("batch send") << int(KIND_BATCH_SEND) << QStringLiteral("Batch send window");
        QTest::newRow("statistics") << kStats << QStringLiteral("Statistics window");
    }
    void reopenedWindowReturnsToItsPlace()
    {
        QFETCH(int, kind);
        QFETCH(QString, section);
        const QPoint place(230, 170);
        QSize size;
        {
            Run run;
            run.Open(kind);
            QWidget *window = run.Window(kind);
            QVERIFY(window->isVisible());
            window->move(place);
            size = window->size();
            run.Close(kind);
            QVERIFY(!window->isVisible());
            window->move(5, 5);  // wherever it went meanwhile, the next opening goes to the place
            run.Open(kind);
            QCOMPARE(window->pos(), place);
            run.Close(kind);
        }
        QCOMPARE(CIniFile(CIniFile::ProfilePath()).GetString(section, QStringLiteral("Rect"), QString()),
                 QString::asprintf("%4d %4d %4d %4d ", place.x(), place.y(), place.x() + size.width(),
                                   place.y() + size.height()));
        Run next;
        next.Open(kind);
        QCOMPARE(next.Window(kind)->pos(), place);
        QCOMPARE(next.Window(kind)->size(), size);
    }

    void theFramesCornerHoldsOverOpeningsUnderAWindowManager_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QPoint>("corner");  // where the frame opens; (-1, -1): anywhere on the screen
        QTest::newRow("stored place") << QStringLiteral(" 230  420  730  820 ") << QPoint(230, 420);
        QTest::newRow("far off the screen") << QStringLiteral("-900 -5000 -400 -4600 ") << QPoint(-1, -1);
    }
    void theFramesCornerHoldsOverOpeningsUnderAWindowManager()
    {
        QFETCH(QString, stored);
        QFETCH(QPoint, corner);
        CIniFile(CIniFile::ProfilePath()).WriteString(QStringLiteral("History window"), QStringLiteral("Rect"), stored);
        // A window manager frames a window some time after it is shown; the offscreen platform never does.
        const bool framed = QGuiApplication::platformName() != QStringLiteral("offscreen");
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        for (int opening = 0; opening < 3; ++opening) {
            Run run;
            run.Open(KIND_HISTORY);
            QWidget *window = run.Window(KIND_HISTORY);
            QTRY_VERIFY(!framed || window->windowHandle()->frameMargins().top() > 0);
            if (corner.x() >= 0)
                QTRY_COMPARE(window->frameGeometry().topLeft(), corner);
            else
                QTRY_VERIFY2(screen.contains(window->frameGeometry().topLeft()), qPrintable(QStringLiteral("%1,%2").arg(window->frameGeometry().x()).arg(window->frameGeometry().y())));
            run.Close(KIND_HISTORY);
        }
    }

    void placeOffEveryScreenIsBroughtBack()
    {
        CIniFile(CIniFile::ProfilePath()).WriteString(QStringLiteral("Log window"), QStringLiteral("Rect"),
                                                      QStringLiteral("-999 -999 -499 -599 "));
        Run run;
        run.Open(KIND_LOG);
        QWidget *log = run.Window(KIND_LOG);
        QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().contains(log->frameGeometry().topLeft()));
        QCOMPARE(log->size(), QSize(500, 400));
    }

    void commandSendOpensBesideTheMainWindowTheFirstTime()
    {
        Run run;
        run.Open(KIND_LOG);  // the History and Log do not decide where it goes
        run.Open(KIND_COMMAND_SEND);
        QWidget *command = run.Window(KIND_COMMAND_SEND);
        const QRect main = run.frame.frameGeometry();
        QVERIFY(!command->frameGeometry().intersects(main));
        QCOMPARE(command->frameGeometry().top(), main.top());
        QCOMPARE(command->frameGeometry().left(), main.right() + 1);
    }
};

QTEST_MAIN(TestWindowPlace)
#include "tst_windowplace.moc"
