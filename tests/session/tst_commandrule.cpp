// The one enable rule: every command in each state, as the menu and tool bar show it, and the tool
// windows it opens and closes.
#include "res/commandids.h"
#include "display/ui/ccommandsenddlg.h"
#include "display/ui/cmessagewnd.h"
#include "net/loopbackpeer.h"
#include "sessionharness.h"
#include "support/sessionprobe.h"

#include <QAction>
#include <QPushButton>
#include <QTest>

namespace {

enum Setup { Disconnected, DisconnectedLoopback, Connected, ConnectedLoopback, Waiting, CommandOpen, Capturing };

const int kIds[] = {ID_SOCKET_CONNECT, ID_SOCKET_DISCONNECT, ID_SOCKET_SETTING, ID_SOCKET_TYPE, ID_LOOPBACK_ON,
                    ID_LOOPBACK_OFF, ID_COMMAND_SEND, ID_BATCH_SEND, ID_VIEW_HISTORY, ID_VIEW_LOG,
                    ID_CAPTURE_START, ID_CAPTURE_STOP, ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_FILE_SAVE_AS};

}  // namespace

class TestCommandRule : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyCommandInEveryState_data()
    {
        QTest::addColumn<int>("setup");
        QTest::addColumn<QString>("enabled");  // one letter per id of kIds: 1 enabled, 0 disabled
        QTest::addColumn<QString>("checked");  // for the two loopback items
        //                                                 cn dc st ty on of cs bs hi lg c+ c- nw op sv sa
        QTest::newRow("disconnected") << int(Disconnected) << QStringLiteral("1011101111101111") << QStringLiteral("01");
        QTest::newRow("disconnected, loopback on") << int(DisconnectedLoopback) << QStringLiteral("1011011111101111") << QStringLiteral("10");
        QTest::newRow("connected") << int(Connected) << QStringLiteral("0100101111100000") << QStringLiteral("01");
        QTest::newRow("connected, loopback") << int(ConnectedLoopback) << QStringLiteral("0100011111100000") << QStringLiteral("10");
        QTest::newRow("waiting for the connection") << int(Waiting) << QStringLiteral("0000000011000000") << QStringLiteral("11");
        QTest::newRow("command send open") << int(CommandOpen) << QStringLiteral("1011101011101111") << QStringLiteral("01");
        QTest::newRow("capturing") << int(Capturing) << QStringLiteral("1011101111011111") << QStringLiteral("01");
    }
    void everyCommandInEveryState()
    {
        QFETCH(int, setup);
        QFETCH(QString, enabled);
        QFETCH(QString, checked);
        SessionHarness h;
        LoopbackPeer udpPeer = LoopbackPeer::BindUdp();
        LoopbackPeer server = LoopbackPeer::ListenTcp();
        if (setup == DisconnectedLoopback || setup == ConnectedLoopback)
            h.Command(ID_LOOPBACK_ON);
        if (setup == Connected || setup == ConnectedLoopback) {
            h.Configure(TYPE_UDP, {QStringLiteral("127.0.0.1"), QString::number(udpPeer.Port()), QStringLiteral("0")}, 0);
            h.Command(ID_SOCKET_CONNECT);
        }
        if (setup == Waiting) {
            h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(server.Port()), QString()}, 4);
            // Handle the connect alone: its completion is still to come.
            SendMessage(h.View(), WM_SESSION_EVENT, EV_CONNECT, 0);
            QCOMPARE(h.View()->State(), ST_WAIT_CONNECT);
        }
        if (setup == CommandOpen)
            h.Command(ID_COMMAND_SEND);
        if (setup == Capturing) {
            h.Prompts().fileNames.enqueue(QStringLiteral("/dev/null"));
            h.Command(ID_CAPTURE_START);
        }
        h.Frame()->UpdateCommandUI();
        for (int i = 0; i < int(std::size(kIds)); ++i) {
            const bool expected = enabled[i] == QLatin1Char('1');
            QVERIFY2(h.View()->IsCommandEnabled(kIds[i]) == expected, qPrintable(QString::number(kIds[i])));
            QCOMPARE(h.Frame()->GetAction(kIds[i])->isEnabled(), expected);
        }
        QCOMPARE(h.Frame()->GetAction(ID_LOOPBACK_ON)->isChecked(), checked[0] == QLatin1Char('1'));
        QCOMPARE(h.Frame()->GetAction(ID_LOOPBACK_OFF)->isChecked(), checked[1] == QLatin1Char('1'));
    }

    void sendButtonFollowsTheConnection()
    {
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.Configure(TYPE_UDP, {QStringLiteral("127.0.0.1"), QString::number(peer.Port()), QStringLiteral("0")}, 0);
        h.Command(ID_COMMAND_SEND);
        QWidget *send = h.View()->CommandWindow()->GetDlgItem(CCommandSendDlg::IDC_SEND);
        QVERIFY(!send->isEnabled());
        h.Command(ID_SOCKET_CONNECT);
        QVERIFY(send->isEnabled());
        h.Command(ID_SOCKET_DISCONNECT);
        QVERIFY(!send->isEnabled());
    }

    void toolWindowsCloseAsTheirKindSays()
    {
        SessionHarness h;
        h.Event(EV_DISCONNECT);  // ignored while disconnected, and logged so
        h.Command(ID_VIEW_LOG);
        QVERIFY(h.View()->LogWindow()->isVisible());
        QCOMPARE(h.View()->LogWindow()->windowTitle(), QStringLiteral("ﾛｸﾞ"));
        PostMessage(h.View(), WM_CHILD_CLOSE, KIND_LOG, 0);
        h.Settle();
        QVERIFY(!h.View()->LogWindow()->isVisible());
        h.Command(ID_VIEW_LOG);
        QVERIFY(h.LogLines().contains(QStringLiteral("無視 [CQnView]")));

        h.Command(ID_VIEW_HISTORY);
        QCOMPARE(h.View()->HistoryWindow()->windowTitle(), QStringLiteral("送受信履歴"));

        h.Command(ID_COMMAND_SEND);
        QVERIFY(h.View()->IsCommandWindowOpen());
        PostMessage(h.View(), WM_CHILD_CLOSE, KIND_COMMAND_SEND, 0);
        h.Settle();
        QVERIFY(!h.View()->IsCommandWindowOpen());
        QVERIFY(h.Frame()->GetAction(ID_BATCH_SEND)->isEnabled());
    }

    void batchSendWhileCommandSendIsOpenAsksToCloseIt()
    {
        SessionHarness h;
        QAction *batch = h.Frame()->GetAction(ID_BATCH_SEND);
        h.Command(ID_COMMAND_SEND);
        // The disabled command says why in its tips, and gets its own back once the window closes.
        QVERIFY(!batch->isEnabled());
        const QString why = QStringLiteral("「ｺﾏﾝﾄﾞ送信」画面を閉じると使えます");
        QCOMPARE(batch->statusTip(), why);
        QCOMPARE(batch->toolTip(), why);
        PostMessage(h.View(), WM_CHILD_CLOSE, KIND_COMMAND_SEND, 0);
        h.Settle();
        QVERIFY(batch->isEnabled());
        QCOMPARE(batch->statusTip(), QStringLiteral("ｼﾅﾘｵﾌｧｲﾙを作成して一括送信します"));
        QCOMPARE(batch->toolTip(), QStringLiteral("一括送信"));
        h.Command(ID_COMMAND_SEND);
        SessionProbe::OpenToolWindow(h.View(), KIND_BATCH_SEND);
        QCOMPARE(h.Prompts().MessageTexts(), QStringList{QStringLiteral("「ｺﾏﾝﾄﾞ送信」画面を閉じてください。")});
        QCOMPARE(h.Prompts().calls.last().icon, Prompts::Exclamation);
        QVERIFY(!h.View()->IsBatchWindowOpen());
    }

    void portTextsReadAsDecimal_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << QStringLiteral("5000") << 5000;
        QTest::newRow("blanks and sign") << QStringLiteral("  +80x") << 80;
        QTest::newRow("empty") << QString() << 0;
        QTest::newRow("letters") << QStringLiteral("abc") << 0;
        QTest::newRow("negative") << QStringLiteral("-1") << -1;
    }
    void portTextsReadAsDecimal()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(SessionProbe::DecimalValue(text), value);
    }
};

QTEST_MAIN(TestCommandRule)
#include "tst_commandrule.moc"
