// The "ｺﾏﾝﾄﾞ一覧" window in the real frame against a loopback peer: pages of buttons, keys that work
// while another window of the program is active, a failure shown on the button and in the Log, the
// commands kept in the document, and a document without commands saved byte for byte.
#include "display/ui/ccommandsenddlg.h"
#include "display/ui/clineview.h"
#include "display/ui/cmessagewnd.h"
#include "document/cqndoc.h"
#include "res/commandids.h"
#include "session/ui/ccommandpanelwnd.h"
#include "session/ui/ccommandseditdlg.h"
#include "sessionharness.h"

#include "net/loopbackpeer.h"

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

namespace {

const QByteArray kCommands =
    "name,key,action,form,data,checksum,ms,note\r\n"
    "ping,F1,send,text,PING\\r,,,送信のみ\r\n"
    "電源/ON,Shift+F2,send,hex,01 02,,,\r\n"
    "電源/OFF,Ctrl+3,send,text+vars,OFF${seq},,,\r\n"
    "ask,,send,text,Q\r\n"
    "ask,,expect,text,NEVER,,100,\r\n";

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class TestCommandPanel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keysAndButtonsSendWhileAnyWindowIsActive_data()
    {
        QTest::addColumn<int>("key");  // 0: the button is clicked
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("F1") << int(Qt::Key_F1) << 0 << "ping" << QByteArray("PING\r");
        QTest::newRow("Shift+F2") << int(Qt::Key_F2) << int(Qt::ShiftModifier) << "電源/ON" << QByteArray("\x01\x02");
        QTest::newRow("Ctrl+3, ${seq} counts each run") << int(Qt::Key_3) << int(Qt::ControlModifier) << "電源/OFF" << QByteArray("OFF1OFF2");
        QTest::newRow("a click") << 0 << 0 << "ping" << QByteArray("PING\rPING\r");
    }
    void keysAndButtonsSendWhileAnyWindowIsActive()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, name);
        QFETCH(QByteArray, sent);
        SessionHarness h;
        LoopbackPeer listener = LoopbackPeer::ListenTcp();
        h.Doc().SetSlotBytes(CQnDoc::SLOT_COMMANDS, kCommands);
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(listener.Port()), QStringLiteral("0")},
                    CQnDoc::SLOT_CLIENT_ADDRESS);
        h.Command(ID_SOCKET_CONNECT);
        LoopbackPeer peer = listener.AcceptTcp();
        peer.CollectWhileRunning(4096);
        QTRY_COMPARE(h.View()->State(), ST_CONNECTED);
        CCommandPanelWnd *panel = h.View()->CommandPanel();
        QCOMPARE(panel->Pages()->count(), 2);
        QCOMPARE(panel->Pages()->tabText(1), QStringLiteral("電源"));
        QCOMPARE(panel->Button(QStringLiteral("電源/ON"))->text(), QStringLiteral("ON (Shift+F2)"));
        QCOMPARE(panel->Button(QStringLiteral("ping"))->toolTip(), QStringLiteral("送信のみ"));

        // The keys work with the main window active, the panel not even open.
        h.Frame()->show();
        h.Frame()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h.Frame()));
        const int repeats = sent.size() > 5 && key != 0 ? 2 : 1;
        for (int i = 0; i < (key == 0 ? 2 : repeats); ++i) {
            if (key == 0)
                panel->Button(name)->click();
            else
                QTest::keyClick(h.Frame(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        }
        QTRY_COMPARE(peer.received, sent);
    }

    // A page's buttons are made when it is first shown: a sequence run by its key before then
    // still shows its failure on its button.
    void aFailureIsShownOnItsButtonAndInTheLog_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("page");
        QTest::newRow("on the page shown") << "ask" << 0;
        QTest::newRow("on a page not yet shown") << "電源/ask" << 1;
    }
    void aFailureIsShownOnItsButtonAndInTheLog()
    {
        QFETCH(QString, name);
        QFETCH(int, page);
        SessionHarness h;
        LoopbackPeer listener = LoopbackPeer::ListenTcp();
        h.Doc().SetSlotBytes(CQnDoc::SLOT_COMMANDS, kCommands + "電源/ask,,send,text,Q\r\n電源/ask,,expect,text,NEVER,,100,\r\n");
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(listener.Port()), QStringLiteral("0")},
                    CQnDoc::SLOT_CLIENT_ADDRESS);
        h.Command(ID_SOCKET_CONNECT);
        LoopbackPeer peer = listener.AcceptTcp();
        QTRY_COMPARE(h.View()->State(), ST_CONNECTED);
        h.Command(ID_VIEW_COMMANDS);
        CCommandPanelWnd *panel = h.View()->CommandPanel();
        QVERIFY(panel->isVisible());
        QVERIFY(panel->Run(name));
        QVERIFY(panel->StatusText().startsWith(QStringLiteral("実行中: 「%1」ｽﾃｯﾌﾟ2/2 expect text NEVER").arg(name)));
        QVERIFY(!panel->Run(QStringLiteral("ping")));  // one at a time
        peer.Write("NO");
        const QString failure = QStringLiteral("「%1」ｽﾃｯﾌﾟ2 expect text NEVER (100ms): 100ﾐﾘ秒以内に一致しませんでした。受信 2 ﾊﾞｲﾄ: 4E4F").arg(name);
        QTRY_COMPARE(panel->StatusText(), QStringLiteral("失敗: ") + failure);
        // The button as the page shows it.
        panel->Pages()->setCurrentIndex(page);
        QPushButton *button = nullptr;
        for (QPushButton *shown : panel->Pages()->widget(page)->findChildren<QPushButton *>()) {
            if (shown->text() == QStringLiteral("ask"))
                button = shown;
        }
        QVERIFY(button);
        QCOMPARE(panel->Button(name), button);
        QCOMPARE(button->toolTip(), failure);
        QVERIFY(!button->styleSheet().isEmpty());
        QVERIFY(h.LogLines().contains(QStringLiteral("ｺﾏﾝﾄﾞ失敗 %1 [CQnView]").arg(failure)));
    }

    void aSessionRecordedFromTheHistoryReplays_data()
    {
        QTest::addColumn<int>("firstRow");  // -1: nothing selected, all lines
        QTest::addColumn<QStringList>("steps");  // action data, waits left out (their length is the clock's)
        QTest::newRow("all lines") << -1 << QStringList{"send 50494E470D", "expect 4F4B", "send 50494E470D", "expect 4F4B"};
        QTest::newRow("the last two lines selected") << 2 << QStringList{"send 50494E470D", "expect 4F4B"};
    }
    void aSessionRecordedFromTheHistoryReplays()
    {
        QFETCH(int, firstRow);
        QFETCH(QStringList, steps);
        SessionHarness h;
        LoopbackPeer listener = LoopbackPeer::ListenTcp();
        h.Doc().SetSlotBytes(CQnDoc::SLOT_COMMANDS, kCommands);
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(listener.Port()), QStringLiteral("0")},
                    CQnDoc::SLOT_CLIENT_ADDRESS);
        h.Command(ID_SOCKET_CONNECT);
        LoopbackPeer peer = listener.AcceptTcp();
        QTRY_COMPARE(h.View()->State(), ST_CONNECTED);
        CCommandPanelWnd *panel = h.View()->CommandPanel();
        CMessageWnd *history = h.View()->HistoryWindow();
        QByteArray sent;
        for (int i = 0; i < 2; ++i) {  // the manual session: PING answered by OK, twice
            QVERIFY(panel->Run(QStringLiteral("ping")));
            sent += "PING\r";
            QTRY_COMPARE(peer.Drain(), sent);
            peer.Write("OK");
            QTRY_COMPARE(history->LineCount(), 2 * i + 2);
        }
        if (firstRow >= 0)
            history->TextArea()->SetSelection({firstRow, 0}, {history->LineCount(), 0});
        const QString name = h.View()->RecordHistorySequence();
        QCOMPARE(name, QStringLiteral("記録1"));
        const CCommandsFile::Sequence *recorded = panel->Commands().Find(name);
        QVERIFY(recorded);
        QStringList got;
        const QList<QStringList> rows = panel->Commands().Rows();
        for (const int row : recorded->rows) {
            if (rows[row][CCommandsFile::COL_ACTION] != QLatin1String("wait"))
                got << rows[row][CCommandsFile::COL_ACTION] + u' ' + rows[row][CCommandsFile::COL_DATA];
        }
        QCOMPARE(got, steps);
        QCOMPARE(h.Doc().GetSlotBytes(CQnDoc::SLOT_COMMANDS), panel->Commands().ToBytes());
        QVERIFY(h.Doc().GetSlotBytes(CQnDoc::SLOT_COMMANDS).startsWith(kCommands));  // the rows before stay as they were
        QVERIFY(panel->Button(name));

        // Replayed against the same peer: it answers the recorded telegrams as before.
        QVERIFY(panel->Run(name));
        for (int i = 0; i < steps.size() / 2; ++i) {
            sent += "PING\r";
            QTRY_COMPARE(peer.Drain(), sent);
            peer.Write("OK");
        }
        QTRY_COMPARE(panel->StatusText().left(3), QStringLiteral("完了:"));
        QCOMPARE(h.View()->RecordHistorySequence(), QStringLiteral("記録2"));
    }

    void theCommandsAreTheDocumentsOwn_data()
    {
        QTest::addColumn<QByteArray>("commands");
        QTest::newRow("without commands: saved byte for byte") << QByteArray();
        QTest::newRow("with commands: kept byte for byte") << kCommands;
    }
    void theCommandsAreTheDocumentsOwn()
    {
        QFETCH(QByteArray, commands);
        const QString first = SessionHarness::TempPath(QStringLiteral("panel-first.qn"));
        const QString second = SessionHarness::TempPath(QStringLiteral("panel-second.qn"));
        CQnDoc plain;
        plain.SetSlotString(CQnDoc::SLOT_CLIENT_ADDRESS, QStringLiteral("127.0.0.1"));
        plain.SetSlotBytes(CQnDoc::SLOT_COMMANDS, commands);
        QString error;
        QVERIFY(plain.OnSaveDocument(first, &error));

        SessionHarness h;
        QVERIFY(h.Doc().OnOpenDocument(first, &error));
        h.View()->OnInitialUpdate(&h.Doc());
        QCOMPARE(h.View()->CommandPanel()->Commands().Sequences().size(), commands.isEmpty() ? 0 : 4);
        QVERIFY(h.Doc().OnSaveDocument(second, &error));
        QCOMPARE(ReadAll(second), ReadAll(first));
    }

    void theEditorTakesOnlyRowsTheFileTakes()
    {
        SessionHarness h;
        CCommandsFile file;
        QString error;
        QVERIFY(file.Parse(kCommands, &error));
        CCommandsEditDlg dialog(file);
        QCOMPARE(dialog.TestText(2), QStringLiteral("4F464631 (4 ﾊﾞｲﾄ)"));  // OFF${seq} on a first run
        QCOMPARE(dialog.TestText(1), QStringLiteral("0102 (2 ﾊﾞｲﾄ)"));
        dialog.Grid()->item(0, 2)->setText(QStringLiteral("sned"));
        QCOMPARE(dialog.TestText(0), QStringLiteral("3列目 (action): action は send, wait, expect, dtr, rts, break のどれかです"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));  // still open
        QVERIFY(h.Prompts().calls.value(0).text.contains(QStringLiteral("2行目 3列目 (action)")));
        dialog.Grid()->item(0, 2)->setText(QStringLiteral("send"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.Commands().ToBytes(), kCommands);
    }

    void commandSendsLineEndIsTheDocuments()
    {
        SessionHarness h;
        h.Command(ID_COMMAND_SEND);
        CCommandSendDlg *send = h.View()->CommandWindow();
        qobject_cast<QComboBox *>(send->GetDlgItem(CCommandSendDlg::IDC_LINE_END))->setCurrentIndex(CLineEnd::CrLf);
        QCOMPARE(h.Doc().GetSlotBytes(CQnDoc::SLOT_SEND_LINE_END), QByteArray("crlf"));
        QVERIFY(h.Doc().IsModified());
        h.Doc().SetSlotString(CQnDoc::SLOT_SEND_LINE_END, QStringLiteral("lf"));
        h.View()->OnInitialUpdate(&h.Doc());  // another document opened
        QCOMPARE(send->LineEnd(), CLineEnd::Lf);
    }
};

QTEST_MAIN(TestCommandPanel)
#include "tst_commandpanel.moc"
