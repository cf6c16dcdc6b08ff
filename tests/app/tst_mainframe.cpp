// The main window's menus, tool bar, status bar, accelerators and command routing.
#include "app/ui/cmainframe.h"
#include "relay/ui/crelaywnd.h"
#include "res/commandids.h"
#include "display/ui/celidedlabel.h"
#include "session/ui/cqnview.h"
#include "support/tempconfighome.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QToolBar>
#include <QUrl>

#include <memory>

namespace {

// The menu as lines: "ﾌｧｲﾙ(&F)", then "  item" per entry, "  -" for a separator, sub-menus deeper.
void Flatten(const QList<QAction *> &actions, const QString &indent, QStringList *lines)
{
    for (QAction *action : actions) {
        if (!action->isVisible())
            continue;
        if (action->isSeparator()) {
            lines->append(indent + QLatin1Char('-'));
            continue;
        }
        lines->append(indent + action->text());
        if (action->menu())
            Flatten(action->menu()->actions(), indent + QStringLiteral("  "), lines);
    }
}

}  // namespace

class TestMainFrame : public QObject
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

    void menuBarHoldsTheProgramsMenus()
    {
        CMainFrame frame;
        QStringList lines;
        Flatten(frame.menuBar()->actions(), QString(), &lines);
        const QStringList expected = {
            QStringLiteral("ﾌｧｲﾙ(&F)"),
            QStringLiteral("  新規作成(&N)\tCtrl+N"),
            QStringLiteral("  開く(&O)...\tCtrl+O"),
            QStringLiteral("  上書き保存(&S)\tCtrl+S"),
            QStringLiteral("  名前を付けて保存(&A)..."),
            QStringLiteral("  -"),
            QStringLiteral("  受信ﾃﾞｰﾀをﾊﾞｲﾅﾘﾌｧｲﾙで保存開始"),
            QStringLiteral("  受信ﾃﾞｰﾀをﾊﾞｲﾅﾘﾌｧｲﾙで保存終了"),
            QStringLiteral("  -"),
            QStringLiteral("  最新のﾌｧｲﾙ"),
            QStringLiteral("  -"),
            QStringLiteral("  ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)"),
            QStringLiteral("ｿｹｯﾄ(&S)"),
            QStringLiteral("  接続(&C)"),
            QStringLiteral("  切断(&L)"),
            QStringLiteral("  設定(&S)"),
            QStringLiteral("  ﾀｲﾌﾟ(&T)"),
            QStringLiteral("送信(&C)"),
            QStringLiteral("  ﾙｰﾌﾟﾊﾞｯｸ設定(&L)"),
            QStringLiteral("    ON(&O)"),
            QStringLiteral("    OFF(&F)"),
            QStringLiteral("  ｺﾏﾝﾄﾞ送信(&S)"),
            QStringLiteral("  一括送信(&A)"),
            QStringLiteral("  応答ﾙｰﾙ設定(&R)..."),
            QStringLiteral("  中継(&Y)..."),
            QStringLiteral("  -"),
            QStringLiteral("  DTR(&D)"),
            QStringLiteral("  RTS(&T)"),
            QStringLiteral("  ﾌﾞﾚｰｸ送信(&B)"),
            QStringLiteral("表示(&V)"),
            QStringLiteral("  送受信履歴(&S)"),
            QStringLiteral("  ﾛｸﾞ(&L)"),
            QStringLiteral("  通信統計(&T)"),
            QStringLiteral("  ｺﾏﾝﾄﾞ一覧(&C)"),
            QStringLiteral("  ｸﾞﾗﾌ(&G)"),
            QStringLiteral("  ﾁｬﾝﾈﾙ(&N)..."),
            QStringLiteral("ﾍﾙﾌﾟ(&H)"),
            QStringLiteral("  ﾊﾞｰｼﾞｮﾝ情報(qn) (&A)..."),
        };
        QCOMPARE(lines, expected);
        QVERIFY(!frame.GetAction(ID_FILE_MRU_FILE1)->isEnabled());
        // The relay window opens in any state of the session.
        frame.UpdateCommandUI();
        QVERIFY(frame.GetAction(ID_RELAY)->isEnabled());
        QVERIFY(!frame.RelayWindow());
        frame.OnCommand(ID_RELAY);
        QVERIFY(frame.RelayWindow() && frame.RelayWindow()->isVisible());
    }

    void toolBarHoldsSeventeenButtonsInOrder()
    {
        CMainFrame frame;
        QStringList tips;
        QStringList prompts;
        for (QAction *action : frame.GetToolBar()->actions()) {
            tips << (action->isSeparator() ? QStringLiteral("-") : action->toolTip());
            prompts << (action->isSeparator() ? QStringLiteral("-") : action->statusTip());
            QVERIFY(action->isSeparator() || !action->icon().isNull());
        }
        QCOMPARE(tips, (QStringList{QStringLiteral("新規ﾌｧｲﾙ"), QStringLiteral("開く"), QStringLiteral("-"),
                                    QStringLiteral("保存"), QStringLiteral("-"), QStringLiteral("ｿｹｯﾄ接続"),
                                    QStringLiteral("ｿｹｯﾄ切断"), QStringLiteral("ｿｹｯﾄ設定"), QStringLiteral("ｿｹｯﾄﾀｲﾌﾟ"),
                                    QStringLiteral("-"), QStringLiteral("ｺﾏﾝﾄﾞ送信"), QStringLiteral("一括送信"),
                                    QStringLiteral("応答ﾙｰﾙ設定"), QStringLiteral("DTR/RTS/ﾌﾞﾚｰｸ"), QStringLiteral("ﾙｰﾌﾟﾊﾞｯｸ ON"), QStringLiteral("ﾙｰﾌﾟﾊﾞｯｸ OFF"),
                                    QStringLiteral("-"), QStringLiteral("受信ﾃﾞｰﾀをﾊﾞｲﾅﾘﾌｧｲﾙで保存開始"),
                                    QStringLiteral("受信ﾃﾞｰﾀをﾊﾞｲﾅﾘﾌｧｲﾙで保存終了"), QStringLiteral("-"),
                                    QStringLiteral("ﾛｸﾞ"), QStringLiteral("送受信履歴"), QStringLiteral("通信統計"),
                                    QStringLiteral("-"), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報")}));
        const int order[] = {ID_FILE_NEW, ID_FILE_OPEN, 0, ID_FILE_SAVE, 0, ID_SOCKET_CONNECT, ID_SOCKET_DISCONNECT,
                             ID_SOCKET_SETTING, ID_SOCKET_TYPE, 0, ID_COMMAND_SEND, ID_BATCH_SEND, ID_REPLY_RULES, ID_LINE_MENU,
                             ID_LOOPBACK_ON,
                             ID_LOOPBACK_OFF, 0, ID_CAPTURE_START, ID_CAPTURE_STOP, 0, ID_VIEW_LOG, ID_VIEW_HISTORY,
                             ID_VIEW_STATS, 0, ID_APP_ABOUT};
        const QList<QAction *> actions = frame.GetToolBar()->actions();
        QCOMPARE(actions.size(), int(std::size(order)));
        for (int i = 0; i < actions.size(); ++i)
            QVERIFY(order[i] == 0 ? actions[i]->isSeparator() : actions[i] == frame.GetAction(order[i]));
        QCOMPARE(prompts.at(7), QStringLiteral("ｿｹｯﾄ接続時のIPｱﾄﾞﾚｽまたはﾎﾟｰﾄの設定を行います"));
        QCOMPARE(prompts.at(24), QStringLiteral("ﾌﾟﾛｸﾞﾗﾑの情報、ﾊﾞｰｼﾞｮﾝそして著作権を表示"));
        QVERIFY(!frame.GetToolBar()->isMovable());
        QVERIFY(!frame.GetToolBar()->isFloatable());

        // At the default width every button shows, none behind the extension button.
        frame.resize(500, 140);
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        for (QAction *action : actions) {
            if (!action->isSeparator())
                QVERIFY2(frame.GetToolBar()->widgetForAction(action)->isVisible(), qPrintable(action->toolTip()));
        }
        auto *extension = frame.GetToolBar()->findChild<QWidget *>(QStringLiteral("qt_toolbar_ext_button"));
        QVERIFY(!extension || !extension->isVisible());
    }

    void statusBarShowsReadyAndThePromptOfTheCommandUnderThePointer()
    {
        CMainFrame frame;
        frame.show();
        QCOMPARE(frame.GetMessagePane()->text(), QStringLiteral("ﾚﾃﾞｨ"));
        QStringList indicators;
        for (int id : {ID_INDICATOR_KANA, ID_INDICATOR_CAPS, ID_INDICATOR_NUM, ID_INDICATOR_SCRL})
            indicators << frame.GetIndicator(id)->text();
        QCOMPARE(indicators, (QStringList{QStringLiteral("ｶﾅ"), QStringLiteral("CAP"), QStringLiteral("NUM"), QStringLiteral("SCRL")}));

        // At the default size "ﾚﾃﾞｨ" keeps its room and the connection pane has the rest up to the
        // indicators: a server's text shows whole, a longer one is cut at its end.
        const CPersistentFrame::Rect size = CPersistentFrame::kDefaultRect;
        frame.resize(size.right - size.left, size.bottom - size.top);
        CElidedLabel *pane = frame.GetConnectionPane();
        const QString server = QStringLiteral("待受中 ﾎﾟｰﾄ 65535  ｸﾗｲｱﾝﾄ 10000 台");
        pane->SetFullText(server);
        QTRY_COMPARE(pane->text(), server);
        QVERIFY(frame.GetMessagePane()->width() >= frame.GetMessagePane()->fontMetrics().horizontalAdvance(QStringLiteral("ﾚﾃﾞｨ")));
        const QString reason = QStringLiteral("接続できません: 接続を試みましたが、相手のﾎﾟｰﾄに到達できませんでした。"
                                              "相手の機器の電源とｹｰﾌﾞルを確認してください。");
        pane->SetFullText(reason);
        QVERIFY2(pane->text().startsWith(QStringLiteral("接続できません: 接続を試みましたが")), qPrintable(pane->text()));
        QVERIFY(pane->text().endsWith(QChar(0x2026)));
        QCOMPARE(pane->toolTip(), reason);

        // A prompt has the room up to the indicators; the pane is back once it goes.
        frame.GetAction(ID_FILE_OPEN)->showStatusText(&frame);
        QCOMPARE(frame.statusBar()->currentMessage(), QStringLiteral("既存のﾌｧｲﾙを開く"));
        QVERIFY(!frame.GetMessagePane()->isVisible());
        QVERIFY(!frame.GetConnectionPane()->isVisible());
        QStatusTipEvent leave{QString()};
        QCoreApplication::sendEvent(&frame, &leave);
        QVERIFY(frame.GetMessagePane()->isVisible());
        QVERIFY(frame.GetConnectionPane()->isVisible());
    }

    void lockIndicatorsFollowTheKeyboardState()
    {
        CMainFrame frame;
        frame.UpdateIndicators(0x02);
        QVERIFY(frame.GetIndicator(ID_INDICATOR_CAPS)->isEnabled());
        QVERIFY(!frame.GetIndicator(ID_INDICATOR_NUM)->isEnabled());
        frame.UpdateIndicators(0x10);
        QVERIFY(!frame.GetIndicator(ID_INDICATOR_CAPS)->isEnabled());
        QVERIFY(frame.GetIndicator(ID_INDICATOR_NUM)->isEnabled());
    }

    void actionsFollowTheViewsEnableRule_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("checked");
        QTest::newRow("new") << ID_FILE_NEW << true << false;
        QTest::newRow("save as") << ID_FILE_SAVE_AS << true << false;
        QTest::newRow("about") << ID_APP_ABOUT << true << false;
        QTest::newRow("exit") << ID_APP_EXIT << true << false;
        QTest::newRow("print") << ID_FILE_PRINT << true << false;
        QTest::newRow("connect while disconnected") << ID_SOCKET_CONNECT << true << false;
        QTest::newRow("disconnect while disconnected") << ID_SOCKET_DISCONNECT << false << false;
        QTest::newRow("capture stop") << ID_CAPTURE_STOP << false << false;
        QTest::newRow("loopback on: enabled, so unchecked") << ID_LOOPBACK_ON << true << false;
        QTest::newRow("loopback off: disabled, so checked") << ID_LOOPBACK_OFF << false << true;
    }
    void actionsFollowTheViewsEnableRule()
    {
        QFETCH(int, id);
        QFETCH(bool, enabled);
        QFETCH(bool, checked);
        CMainFrame frame;
        QAction *action = frame.GetAction(id);
        QVERIFY(action);
        QCOMPARE(action->isEnabled(), enabled);
        QCOMPARE(action->isChecked(), checked);
        QCOMPARE(frame.GetActiveView()->IsCommandEnabled(id), enabled);
    }

    void commandStatesAreRefreshedOnTheViewsSignalAndWhenAMenuOpens()
    {
        CMainFrame frame;
        QAction *save = frame.GetAction(ID_FILE_SAVE);
        save->setEnabled(false);
        emit frame.GetActiveView()->CommandStateChanged();
        QVERIFY(save->isEnabled());
        save->setEnabled(false);
        QMenu *file = frame.menuBar()->actions().constFirst()->menu();
        emit file->aboutToShow();
        QVERIFY(save->isEnabled());
    }

    void applicationCommandsAreHandedOnAndAcceleratorsReachThem()
    {
        CMainFrame frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        QSignalSpy spy(&frame, &CMainFrame::AppCommand);
        QTest::keyClick(&frame, Qt::Key_N, Qt::ControlModifier);
        QTest::keyClick(&frame, Qt::Key_O, Qt::ControlModifier);
        QTest::keyClick(&frame, Qt::Key_S, Qt::ControlModifier);
        frame.GetAction(ID_APP_ABOUT)->trigger();
        frame.GetAction(ID_FILE_SAVE_AS)->trigger();
        QCOMPARE(spy.size(), 5);
        QCOMPARE(spy.at(0).at(0).toInt(), ID_FILE_NEW);
        QCOMPARE(spy.at(1).at(0).toInt(), ID_FILE_OPEN);
        QCOMPARE(spy.at(2).at(0).toInt(), ID_FILE_SAVE);
        QCOMPARE(spy.at(3).at(0).toInt(), ID_APP_ABOUT);
        QCOMPARE(spy.at(4).at(0).toInt(), ID_FILE_SAVE_AS);
        // Disabled commands are not handed on; view commands never reach the application.
        frame.GetAction(ID_SOCKET_CONNECT)->trigger();
        frame.OnCommand(ID_FILE_PRINT_PREVIEW + 1000);
        QCOMPARE(spy.size(), 5);
    }

    void nextPaneGivesTheViewTheFocus()
    {
        CMainFrame frame;
        frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frame));
        frame.GetSplitter()->setFocus();
        QTest::keyClick(&frame, Qt::Key_F6);
        QTRY_VERIFY(frame.GetActiveView()->hasFocus());
        QCOMPARE(frame.GetSplitter()->count(), 1);
    }

    void recentFilesFillTheMenuAndAreAlwaysEnabled()
    {
        CMainFrame frame;
        frame.SetRecentFiles({QStringLiteral("&1 /tmp/a.qn"), QStringLiteral("&2 /tmp/b.qn")});
        QAction *first = frame.GetAction(ID_FILE_MRU_FILE1);
        QCOMPARE(first->text(), QStringLiteral("&1 /tmp/a.qn"));
        QVERIFY(first->isEnabled());
        QVERIFY(frame.GetAction(ID_FILE_MRU_FILE1 + 1)->isVisible());
        QVERIFY(!frame.GetAction(ID_FILE_MRU_FILE1 + 2)->isVisible());
        QSignalSpy spy(&frame, &CMainFrame::AppCommand);
        frame.GetAction(ID_FILE_MRU_FILE1 + 1)->trigger();
        QCOMPARE(spy.value(0).value(0).toInt(), ID_FILE_MRU_FILE1 + 1);
        frame.SetRecentFiles({});
        QCOMPARE(first->text(), QStringLiteral("最新のﾌｧｲﾙ"));
        QVERIFY(!first->isEnabled());
    }

    void droppedFileIsHandedOn()
    {
        CMainFrame frame;
        QSignalSpy spy(&frame, &CMainFrame::FileDropped);
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/dropped.qn"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&frame, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&frame, &drop);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("/tmp/dropped.qn"));
    }

    void closeQueryCanKeepTheWindowOpen()
    {
        CMainFrame frame;
        frame.show();
        bool allow = false;
        int asked = 0;
        frame.SetCloseQuery([&] {
            ++asked;
            return allow;
        });
        QVERIFY(!frame.close());
        QVERIFY(frame.isVisible());
        allow = true;
        QVERIFY(frame.close());
        QCOMPARE(asked, 2);
    }
};

QTEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"
