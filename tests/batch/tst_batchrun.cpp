// Batch runs through the real view against a prompt server on loopback.
#include "res/commandids.h"
#include "batchsession.h"
#include "display/ui/cmessagewnd.h"
#include "platform/ui/uifonts.h"
#include "promptserver.h"
#include "support/sessionprobe.h"

#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString kDone = QStringLiteral("○:正常終了しました");
const QString kNoConnection = QStringLiteral("×:接続できません");
const QString kNoFile = QStringLiteral("×:送信ﾌｧｲﾙが見つかりません");
const QString kAborted = QStringLiteral("中止しました");
const QString kRunning = QStringLiteral("処理中");
const QString kLoopback = QStringLiteral("127.0.0.1");

// A port that refuses connections: bound but never listening, and held so that nobody else takes it.
class RefusingPort
{
public:
    RefusingPort() { m_holder.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress); }
    quint16 Port() const { return m_holder.localPort(); }

private:
    QTcpSocket m_holder;
};

// A loopback listener that never accepts and whose queue is already full: a connect to it stays
// pending, as to a destination that never answers.
class SilentListener
{
public:
    SilentListener()
        : m_handle(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)),
          m_filler(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_handle, reinterpret_cast<sockaddr *>(&address), length);
        ::listen(m_handle, 0);  // room for one connection, which the filler takes
        ::getsockname(m_handle, reinterpret_cast<sockaddr *>(&address), &length);
        m_port = ntohs(address.sin_port);
        ::connect(m_filler, reinterpret_cast<sockaddr *>(&address), length);
        pollfd queued{m_handle, POLLIN, 0};
        ::poll(&queued, 1, 5000);  // the filler is in the queue
    }
    ~SilentListener()
    {
        ::close(m_filler);
        ::close(m_handle);
    }
    QString PortText() const { return QString::number(m_port); }

private:
    int m_handle;
    int m_filler;
    quint16 m_port = 0;
};

QList<QByteArray> NumberedLines(const char *prefix, int count)
{
    QList<QByteArray> lines;
    for (int i = 1; i <= count; ++i)
        lines.append(QByteArray(prefix) + QByteArray::number(i));
    return lines;
}

}  // namespace

class TestBatchRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { InstallFontSubstitutions(); }

    void rowsRunUntilTheFirstRowWithoutAddress()
    {
        BatchSession s;
        PromptServer server;
        // Line ends of the file are not sent; bytes outside the code page go out unchanged.
        const QByteArray raw("\x82\xa0\x80\xff\x81", 5);
        s.SetRow(1, kLoopback, server.PortText(), s.SendFile("a.txt", "a1\r\n" + raw + "\r\na3\n"));
        s.SetRow(2, kLoopback, server.PortText(), s.SendFileOfLines("b.txt", {"b1", "b2"}));
        s.SetRow(3, QString(), server.PortText(), s.SendFileOfLines("c.txt", {"c1"}));
        s.Start();
        QTRY_VERIFY(s.Finished());

        QCOMPARE(s.Result(1), kDone);
        QCOMPARE(s.Result(2), kDone);
        QCOMPARE(s.Result(3), QString());
        QCOMPARE(server.ConnectionCount(), 2);
        QCOMPARE(server.Received(0), "a1\r" + raw + "\ra3\r");
        QCOMPARE(server.Received(1), QByteArray("b1\rb2\r"));
        QCOMPARE(s.prompts.MessageTexts(),
                 (QStringList{"一括送信を開始しますか？", "一括送信は終了しました。"}));
        QCOMPARE(s.prompts.calls.last().icon, Prompts::Information);
        // Five lines answered by the prompt; the rows' figures in the tip.
        QVERIFY2(s.dlg->SummaryLabel()->text().startsWith(QStringLiteral("応答時間 全体: 応答 5 件 p50 ")), qPrintable(s.dlg->SummaryLabel()->text()));
        QCOMPARE(s.dlg->SummaryLabel()->toolTip().count(QStringLiteral("応答")), 3);
        // The run pointed the document at the last row and leaves the connection closed.
        QCOMPARE(s.doc.GetSlotString(4), kLoopback);
        QCOMPARE(s.doc.GetSlotString(5), server.PortText());
        QCOMPARE(s.doc.GetSlotString(6), QStringLiteral("0"));
        QCOMPARE(s.view.SocketType(), TYPE_TCP_CLIENT);
        QTRY_COMPARE(s.view.State(), ST_DISCONNECTED);
    }

    void rowEndsAndTheNextRowStartsWithItsOwnFirstLine_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("closeAfter");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QByteArray>("row1Sent");  // what row 1's connection received; null: no connection

        QTest::newRow("send file missing") << "missing" << 0 << kNoFile << QByteArray();
        QTest::newRow("send file name empty") << "no name" << 0 << kNoFile << QByteArray();
        // A failed connect carries its cause, as the connection pane says it; a peer that closes mid-row has none.
        QTest::newRow("destination refuses") << "refused" << 0 << kNoConnection + QStringLiteral(": 接続を試みましたが、リジェクトされました。") << QByteArray();
        QTest::newRow("peer closes mid-row") << "lines" << 2 << kNoConnection << QByteArray("l1\rl2\r");
        QTest::newRow("empty first line") << "empty first" << 0 << kDone << QByteArray("");
        QTest::newRow("empty line 4 ends the file") << "empty fourth" << 0 << kDone << QByteArray("l1\rl2\rl3\r");
    }
    void rowEndsAndTheNextRowStartsWithItsOwnFirstLine()
    {
        QFETCH(QString, kind);
        QFETCH(int, closeAfter);
        QFETCH(QString, result);
        QFETCH(QByteArray, row1Sent);

        BatchSession s;
        PromptServer server;
        server.closeAfterLines = closeAfter;
        const RefusingPort refusing;
        QString port = server.PortText();
        QString file = s.SendFileOfLines("row1.txt", {"l1", "l2", "l3", "l4"});
        if (kind == "missing")
            file = s.dir.filePath("none.txt");
        else if (kind == "no name")
            file.clear();
        else if (kind == "refused")
            port = QString::number(refusing.Port());
        else if (kind == "empty first")
            file = s.SendFileOfLines("row1.txt", {"", "l2"});
        else if (kind == "empty fourth")
            file = s.SendFileOfLines("row1.txt", {"l1", "l2", "l3", "", "l5"});
        s.SetRow(1, kLoopback, port, file);
        s.SetRow(2, kLoopback, server.PortText(), s.SendFileOfLines("row2.txt", {"r2"}));
        s.Start();
        QTRY_VERIFY(s.Finished());

        QCOMPARE(s.Result(1), result);
        QCOMPARE(s.Result(2), kDone);
        const int row2 = row1Sent.isNull() ? 0 : 1;
        QCOMPARE(server.ConnectionCount(), row2 + 1);
        if (!row1Sent.isNull())
            QCOMPARE(server.Received(0), row1Sent);
        QCOMPARE(server.Received(row2), QByteArray("r2\r"));
    }

    void aPeerThatClosesAfterAnsweringTheLastLineLeavesTheNextRowAlone()
    {
        BatchSession s;
        PromptServer server;
        server.onLine = [&](int connection, int line) {
            if (connection == 0 && line == 2)
                server.Close(0);
        };
        s.SetRow(1, kLoopback, server.PortText(), s.SendFileOfLines("a.txt", {"a1", "a2"}));
        s.SetRow(2, kLoopback, server.PortText(), s.SendFileOfLines("b.txt", {"b1", "b2", "b3"}));
        s.SetRow(3, kLoopback, server.PortText(), s.SendFileOfLines("c.txt", {"c1"}));
        s.Start();
        QTRY_VERIFY(s.Finished());
        QCOMPARE(s.Result(1), kDone);
        QCOMPARE(s.Result(2), kDone);
        QCOMPARE(s.Result(3), kDone);
        QCOMPARE(server.Received(1), QByteArray("b1\rb2\rb3\r"));
        QCOMPARE(server.Received(2), QByteArray("c1\r"));
    }

    void aCloseReportedRightAfterTheLastPromptBelongsToTheEndedRow()
    {
        BatchSession s;
        PromptServer server;
        server.greeting.clear();
        server.answer.clear();
        s.SetRow(1, kLoopback, server.PortText(), s.SendFileOfLines("a.txt", {"a1"}));
        s.SetRow(2, kLoopback, server.PortText(), s.SendFileOfLines("b.txt", {"b1"}));
        s.Start();
        QTRY_COMPARE(s.view.State(), ST_CONNECTED);
        server.Write(0, "> ");
        QTRY_COMPARE(server.Lines(0), QList<QByteArray>{"a1"});
        server.greeting = server.answer = "> ";  // row 2 is answered as usual
        // The answer to the last line and the peer's close, as the view reports them one after the other.
        PostMessage(s.dlg, WM_SESSION_EVENT, EV_PROMPT, 0);
        PostMessage(s.dlg, WM_SESSION_EVENT, EV_CLOSED, 0);
        QTRY_VERIFY(s.Finished());
        QCOMPARE(s.Result(1), kDone);
        QCOMPARE(s.Result(2), kDone);
        QCOMPARE(server.Received(1), QByteArray("b1\r"));
    }

    void onlyTheFirstThousandLinesAreSent()
    {
        BatchSession s;
        PromptServer server;
        s.SetRow(1, kLoopback, server.PortText(), s.SendFileOfLines("long.txt", NumberedLines("line", 1200)));
        s.Start();
        QTRY_VERIFY_WITH_TIMEOUT(s.Finished(), 60000);
        QCOMPARE(s.Result(1), kDone);
        const QList<QByteArray> lines = server.Lines(0);
        QCOMPARE(lines.size(), 1000);
        QCOMPARE(lines.first(), QByteArray("line1"));
        QCOMPARE(lines.last(), QByteArray("line1000"));
    }

    void aLineLongerThanTheSendBufferIsCutToFit()
    {
        BatchSession s;
        PromptServer server;
        QByteArray longLine(QN_BUFFER_SIZE + 10, 'x');
        longLine[QN_BUFFER_SIZE - 3] = 'y';  // the last byte that fits beside CR and terminator
        s.SetRow(1, kLoopback, server.PortText(), s.SendFileOfLines("big.txt", {longLine, "next"}));
        s.Start();
        QTRY_VERIFY_WITH_TIMEOUT(s.Finished(), 60000);
        QCOMPARE(s.Result(1), kDone);
        const QList<QByteArray> lines = server.Lines(0);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0].size(), QN_BUFFER_SIZE - 2);
        QCOMPARE(lines[0].back(), 'y');
        QCOMPARE(lines[1], QByteArray("next"));
    }

    void abortDuringASecondRowEndsTheRunWhenThatRowEnds()
    {
        BatchSession s;
        PromptServer server;
        server.onLine = [&](int connection, int line) {
            if (connection == 1 && line == 1)
                s.dlg->AbortBatch();
        };
        for (int row = 1; row <= 3; ++row)
            s.SetRow(row, kLoopback, server.PortText(), s.SendFileOfLines("f.txt", {"x1", "x2", "x3"}));
        s.Start();
        QTRY_VERIFY(s.Finished());

        QCOMPARE(s.Result(1), kDone);
        QCOMPARE(s.Result(2), kAborted);
        QCOMPARE(s.Result(3), QString());
        // The row's own lines went on to its end; no third connection was made.
        QCOMPARE(server.ConnectionCount(), 2);
        QCOMPARE(server.Received(1), QByteArray("x1\rx2\rx3\r"));
        QCOMPARE(s.prompts.MessageTexts(),
                 (QStringList{"一括送信を開始しますか？", "中止しますか？", "中止しました。"}));
        QCOMPARE(s.dlg->Runner().IsAbortRequested(), false);
        QTRY_COMPARE(s.view.State(), ST_DISCONNECTED);
    }

    void anAbortConfirmedAfterTheRunEndedDoesNotTouchTheNextRun()
    {
        BatchSession s;
        PromptServer server;
        // The abort question stays open until the run has finished, then is answered Yes.
        s.prompts.beforeAnswer = [&](const QString &text) {
            if (text == QStringLiteral("中止しますか？"))
                QVERIFY(QTest::qWaitFor([&] { return !s.dlg->IsRunning(); }, 10000));
        };
        server.onLine = [&](int connection, int line) {
            if (connection == 0 && line == 1)
                QTimer::singleShot(0, s.dlg, [&] { s.dlg->AbortBatch(); });
        };
        s.SetRow(1, kLoopback, server.PortText(), s.SendFileOfLines("f.txt", {"x1", "x2"}));
        s.Start();
        QTRY_VERIFY(s.Asked(QStringLiteral("中止しますか？")));
        QCOMPARE(s.Result(1), kDone);
        QCOMPARE(s.dlg->Runner().IsAbortRequested(), false);

        server.onLine = nullptr;
        s.prompts.calls.clear();
        s.Start();
        QTRY_VERIFY(s.Finished());
        QCOMPARE(s.Result(1), kDone);
        QCOMPARE(server.Received(1), QByteArray("x1\rx2\r"));
    }

    void aRowWithoutAnswersCanBeEndedAfterTheAbort_data()
    {
        QTest::addColumn<bool>("byClose");
        QTest::newRow("abort button again") << false;
        QTest::newRow("close request") << true;
    }
    void aRowWithoutAnswersCanBeEndedAfterTheAbort()
    {
        QFETCH(bool, byClose);
        BatchSession s;
        PromptServer server;
        server.greeting.clear();  // the prompt never comes
        s.SetRow(1, kLoopback, server.PortText(), s.SendFileOfLines("f.txt", {"x1"}));
        s.SetRow(2, kLoopback, server.PortText(), s.SendFileOfLines("g.txt", {"y1"}));
        s.Start();
        QTRY_COMPARE(s.view.State(), ST_CONNECTED);
        QCOMPARE(s.Result(1), kRunning);

        s.dlg->AbortBatch();
        QCOMPARE(s.dlg->Runner().IsAbortRequested(), true);
        QVERIFY(s.dlg->GetDlgItem(CBatchSendDlg::IDC_ABORT)->isEnabled());
        const auto askAgain = [&] {
            if (byClose)
                QTest::keyClick(s.dlg, Qt::Key_Escape);
            else
                s.dlg->AbortBatch();
        };
        // Declined: the row keeps waiting for its answer.
        s.prompts.answers.enqueue(IDNO);
        askAgain();
        QVERIFY(s.dlg->IsRunning());
        QCOMPARE(s.view.State(), ST_CONNECTED);
        // Accepted: the row ends at once as aborted and the connection closes.
        askAgain();
        QTRY_VERIFY(!s.dlg->IsRunning());
        QCOMPARE(s.Result(1), kAborted);
        QCOMPARE(s.Result(2), QString());
        QCOMPARE(s.dlg->Runner().IsAbortRequested(), false);
        const QString again = QStringLiteral("中止を待っています。応答を待たずに直ちに中止しますか？");
        QCOMPARE(s.prompts.MessageTexts(),
                 (QStringList{"一括送信を開始しますか？", "中止しますか？", again, again, "中止しました。"}));
        QTRY_COMPARE(s.view.State(), ST_DISCONNECTED);
        QVERIFY(s.view.IsBatchWindowOpen());
        QCOMPARE(server.TotalLines(), 0);
    }

    void theProgramEndsDuringARunOnlyIfTheUserAbortsIt()
    {
        BatchSession s;
        PromptServer server;
        server.greeting.clear();  // the prompt never comes
        s.SetRow(1, kLoopback, server.PortText(), s.SendFileOfLines("f.txt", {"x1"}));
        s.Start();
        QTRY_COMPARE(s.view.State(), ST_CONNECTED);
        s.prompts.answers << IDNO << IDYES;
        QVERIFY(!s.view.CanCloseFrame());
        QVERIFY(s.dlg->IsRunning());
        QVERIFY(s.view.CanCloseFrame());
        QCOMPARE(s.prompts.MessageTexts(), (QStringList{"一括送信を開始しますか？", "中止しますか？", "中止しますか？"}));
    }

    void aForcedAbortEndsAConnectStillPending()
    {
        BatchSession s;
        SilentListener silent;
        s.SetRow(1, kLoopback, silent.PortText(), s.SendFileOfLines("f.txt", {"x1"}));
        s.Start();
        QTRY_COMPARE(s.view.State(), ST_WAIT_CONNECT);
        int stateWhenEnded = 0;
        s.prompts.beforeAnswer = [&](const QString &text) {
            if (text == QStringLiteral("中止しました。"))
                stateWhenEnded = s.view.State();
        };
        s.dlg->AbortBatch();
        s.dlg->AbortBatch();  // "abort now"
        QTRY_VERIFY(s.Finished());
        QCOMPARE(s.Result(1), kAborted);
        QCOMPARE(stateWhenEnded, ST_DISCONNECTED);
        QCOMPARE(SessionProbe::TcpClient(&s.view), nullptr);
        QCOMPARE(SessionProbe::StatusLabel(&s.view).Color(), COLORREF(0x0000FF));
        const QStringList log = s.view.LogWindow()->Lines().filter(QStringLiteral("ｿｹｯﾄ"));
        QVERIFY(log.size() >= 2);
        QVERIFY(log[log.size() - 2].endsWith(QStringLiteral("ｿｹｯﾄ接続確立待ち中止 [CQnView]")));
        QVERIFY(log.last().endsWith(QStringLiteral("ｿｹｯﾄ切断 [CQnView]")));

        // The next run's first row talks to its own destination.
        PromptServer server;
        s.SetRow(1, kLoopback, server.PortText(), s.SendFileOfLines("g.txt", {"y1"}));
        s.prompts.calls.clear();
        s.Start();
        QTRY_VERIFY(s.Finished());
        QCOMPARE(s.Result(1), kDone);
        QCOMPARE(server.ConnectionCount(), 1);
        QCOMPARE(server.Received(0), QByteArray("y1\r"));
    }

    void promptAndCloseWhileIdleChangeNothing_data()
    {
        QTest::addColumn<int>("event");
        QTest::newRow("prompt") << int(EV_PROMPT);
        QTest::newRow("closed") << int(EV_CLOSED);
    }
    void promptAndCloseWhileIdleChangeNothing()
    {
        QFETCH(int, event);
        BatchSession s;
        PromptServer server;
        s.SetRow(1, kLoopback, server.PortText(), s.SendFileOfLines("f.txt", {"x1"}));
        const int logLines = s.view.LogWindow()->LineCount();
        PostMessage(s.dlg, WM_SESSION_EVENT, WPARAM(event), 0);
        FlushPostedEvents();
        QVERIFY(!s.dlg->IsRunning());
        QCOMPARE(s.Result(1), QString());
        QCOMPARE(s.Grid().GetCellText(0, CBatchSendDlg::COL_RESULT).left(2), QStringLiteral("結果"));
        QVERIFY(s.prompts.calls.isEmpty());
        QCOMPARE(s.view.LogWindow()->LineCount(), logLines);  // nothing was posted to the view
    }

    void whatCountsAsTheAnswer_data()
    {
        QTest::addColumn<int>("ignoreFlag");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("paced");
        QTest::newRow("answer ends with the prompt") << 0 << QByteArray("ok\r\n> ") << true;
        QTest::newRow("answer without the prompt") << 0 << QByteArray("ok\r\n") << false;
        QTest::newRow("prompt not at the end") << 0 << QByteArray("> ok") << false;
        QTest::newRow("ignore flag: any answer") << 1 << QByteArray("ok\r\n") << true;
    }
    void whatCountsAsTheAnswer()
    {
        QFETCH(int, ignoreFlag);
        QFETCH(QByteArray, answer);
        QFETCH(bool, paced);
        BatchSession s(QStringLiteral("> "), ignoreFlag);
        PromptServer server;
        server.greeting = answer;
        server.answer = answer;
        s.SetRow(1, kLoopback, server.PortText(), s.SendFileOfLines("f.txt", {"x1", "x2"}));
        s.Start();
        if (paced) {
            QTRY_VERIFY(s.Finished());
            QCOMPARE(s.Result(1), kDone);
            QCOMPARE(server.Received(0), QByteArray("x1\rx2\r"));
            return;
        }
        // The greeting has been received and judged: no line goes out for it.
        QTRY_COMPARE(s.view.HistoryWindow()->LineCount(), 1);
        FlushPostedEvents();
        QCOMPARE(SessionProbe::CurrentLine(s.dlg->Runner()), 0);
        QCOMPARE(s.Result(1), kRunning);
    }

    void aPromptSplitOverTwoReadsCountsWhenAReadEndsWithIt()
    {
        BatchSession s;
        PromptServer server;
        server.greeting.clear();
        s.SetRow(1, kLoopback, server.PortText(), s.SendFileOfLines("f.txt", {"x1"}));
        s.Start();
        QTRY_COMPARE(server.ConnectionCount(), 1);
        QTRY_COMPARE(s.view.State(), ST_CONNECTED);
        server.Write(0, "login>");
        QTRY_COMPARE(s.view.HistoryWindow()->LineCount(), 1);
        FlushPostedEvents();
        QCOMPARE(SessionProbe::CurrentLine(s.dlg->Runner()), 0);
        server.Write(0, " ");
        QTRY_COMPARE(s.view.HistoryWindow()->LineCount(), 2);
        FlushPostedEvents();
        QCOMPARE(SessionProbe::CurrentLine(s.dlg->Runner()), 0);  // " " alone does not end with "> "
        server.Write(0, "again> ");
        QTRY_COMPARE(server.Lines(0), QList<QByteArray>{"x1"});
    }

    void batchSendWithLoopbackOnSwitchesItOff_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("stateAfter");
        QTest::newRow("disconnected: only the flag") << false << int(ST_DISCONNECTED);
        QTest::newRow("connected: state 2 becomes 3") << true << int(ST_CONNECTED);
    }
    void batchSendWithLoopbackOnSwitchesItOff()
    {
        QFETCH(bool, connected);
        QFETCH(int, stateAfter);
        TempConfigHome config;
        ScriptedPrompts prompts;
        CQnDoc doc;
        CQnView view;
        view.OnInitialUpdate(&doc);
        // A UDP endpoint on loopback is enough for a connected state.
        QTcpServer unused;
        unused.listen(QHostAddress::LocalHost, 0);
        doc.SetSlotString(0, kLoopback);
        doc.SetSlotString(1, QString::number(unused.serverPort()));
        doc.SetSlotString(2, QStringLiteral("0"));
        view.OnCommand(ID_LOOPBACK_ON);
        if (connected)
            view.OnCommand(ID_SOCKET_CONNECT);
        QTRY_COMPARE(view.Loopback(), 1);
        QTRY_COMPARE(view.State(), connected ? ST_CONNECTED_LOOPBACK : ST_DISCONNECTED);

        view.OnCommand(ID_BATCH_SEND);
        QCOMPARE(prompts.MessageTexts(), QStringList{"一括送信を行う場合ためﾙｰﾌﾟﾊﾞｯｸをOFFに変更します。"});
        QCOMPARE(prompts.calls[0].icon, Prompts::Information);
        QVERIFY(view.IsBatchWindowOpen());
        QCOMPARE(view.Loopback(), 1);  // switched off once the window is open
        QTRY_COMPARE(view.Loopback(), 0);
        QCOMPARE(view.State(), stateAfter);
    }
};

QTEST_MAIN(TestBatchRun)
#include "tst_batchrun.moc"
