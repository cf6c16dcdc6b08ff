// Telegrams through the whole program for each socket type: History, Log, loopback, Command Send and
// capture, against peers on loopback.
#include "res/commandids.h"
#include "display/ui/ccommandsenddlg.h"
#include "display/ui/cinputedit.h"
#include "display/ui/cmessagewnd.h"
#include "net/loopbackpeer.h"
#include "platform/cchecksumrule.h"
#include "sessionharness.h"
#include "support/tempconfighome.h"
#include "support/sessionprobe.h"

#include <QAbstractButton>
#include <QFile>
#include <QPushButton>
#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <future>
#include <thread>

namespace {

const QString kTag = QStringLiteral(" [CQnView]");

// Types the text into Command Send and presses "送信".
void SendTyped(SessionHarness &h, const QString &text, bool asText = false)
{
    h.Command(ID_COMMAND_SEND);
    CCommandSendDlg *dlg = h.View()->CommandWindow();
    QVERIFY(dlg->HasWindow());
    auto *textBox = qobject_cast<QAbstractButton *>(dlg->GetDlgItem(CCommandSendDlg::IDC_SEND_TEXT));
    QVERIFY(textBox);
    if (textBox->isChecked() != asText)
        textBox->click();
    dlg->Input()->setPlainText(text);
    auto *send = qobject_cast<QPushButton *>(dlg->GetDlgItem(CCommandSendDlg::IDC_SEND));
    QVERIFY(send && send->isEnabled());
    send->click();
    h.Settle();
}

QByteArray Bytes(int n, int seed)
{
    QByteArray data(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        data[i] = char((i * 31 + seed) & 0xFF);
    return data;
}

// Holds the files this process writes to `bytes` for its lifetime: a full disk in small.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes) : m_pOldHandler(std::signal(SIGXFSZ, SIG_IGN))
    {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit lowered = m_old;
        lowered.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_pOldHandler);
    }

private:
    rlimit m_old = {};
    void (*m_pOldHandler)(int);
};

}  // namespace

class TestSessionTraffic : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void udpExchangesTelegramsWithItsPeer()
    {
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        // Own port 0: the system's choice, which the pane reports; the Log says the port as set.
        h.ConfigureUdp(peer.Port());
        h.Command(ID_SOCKET_CONNECT);
        const quint16 own = h.OwnPort();
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        QVERIFY(h.LogLines().contains(QStringLiteral("ｿｹｯﾄ接続  接続先ｱﾄﾞﾚｽ:127.0.0.1 接続先ﾎﾟｰﾄ:%1 QNﾎﾟｰﾄ:%2")
                                          .arg(peer.Port()).arg(0) + kTag));

        // A datagram from the peer.
        QCOMPARE(peer.WriteTo(QByteArray("\x01\x02\xff", 3), own), qint64(3));
        QTRY_COMPARE(h.HistoryLines(), QStringList{QStringLiteral("R 0102FF")});
        QTRY_VERIFY(h.LogLines().contains(QStringLiteral("受信 0102FF") + kTag));
        QCOMPARE(SessionProbe::ReceiveLamp(h.View()).Color(), COLORREF(0x00FF00));
        QTRY_COMPARE(SessionProbe::ReceiveLamp(h.View()).Color(), COLORREF(0x808080));

        // A telegram typed as hex.
        SendTyped(h, QStringLiteral("0102FF"));
        QTRY_COMPARE(peer.Drain(), QByteArray("\x01\x02\xff", 3));
        QCOMPARE(h.HistoryLines().last(), QStringLiteral("S 0102FF"));
        QVERIFY(h.LogLines().contains(QStringLiteral("送信 0102FF") + kTag));

        // Loopback: the echo goes to the configured destination.
        h.Command(ID_LOOPBACK_ON);
        QCOMPARE(h.View()->State(), ST_CONNECTED_LOOPBACK);
        LoopbackPeer other = LoopbackPeer::BindUdp();
        other.WriteTo(QByteArray("hello"), own);
        peer.received.clear();
        QTRY_COMPARE(peer.Drain(), QByteArray("hello"));
        QVERIFY(other.ReadNow().isEmpty());
        const QStringList history = h.HistoryLines();
        QCOMPARE(history.mid(history.size() - 2), (QStringList{QStringLiteral("R 68656C6C6F"), QStringLiteral("S 68656C6C6F")}));
        QCOMPARE(h.LogLines().filter(QStringLiteral("受信-自動応答")), QStringList{QStringLiteral("受信-自動応答 68656C6C6F") + kTag});
    }

    void repeatedSendsReachThePeerAndAFailedSendStopsThem()
    {
        // Ten numbered telegrams with their CRC, at 1 ms, to a UDP peer.
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.Configure(TYPE_UDP, {QStringLiteral("127.0.0.1"), QString::number(peer.Port()), QStringLiteral("0")}, 0);
        h.Command(ID_SOCKET_CONNECT);
        h.Command(ID_COMMAND_SEND);
        CCommandSendDlg *dlg = h.View()->CommandWindow();
        const auto set = [dlg](int id, auto apply) { apply(dlg->GetDlgItem(id)); };
        set(CCommandSendDlg::IDC_CHECKSUM_ON, [](QWidget *w) { qobject_cast<QAbstractButton *>(w)->setChecked(true); });
        set(CCommandSendDlg::IDC_REPEAT_ON, [](QWidget *w) { qobject_cast<QAbstractButton *>(w)->setChecked(true); });
        set(CCommandSendDlg::IDC_SEQUENCE_ON, [](QWidget *w) { qobject_cast<QAbstractButton *>(w)->setChecked(true); });
        set(CCommandSendDlg::IDC_SEQUENCE_OFFSET, [](QWidget *w) { qobject_cast<QSpinBox *>(w)->setValue(5); });
        set(CCommandSendDlg::IDC_REPEAT_INTERVAL, [](QWidget *w) { qobject_cast<QSpinBox *>(w)->setValue(1); });
        set(CCommandSendDlg::IDC_REPEAT_COUNT, [](QWidget *w) { qobject_cast<QSpinBox *>(w)->setValue(10); });
        SendTyped(h, QStringLiteral("010300000000"));  // Modbus, the count of registers numbered 0 to 9
        QString error;
        const std::unique_ptr<CChecksumRule> crc = CChecksumRule::Parse(QStringLiteral("CRC-16/MODBUS:le"), &error);
        QByteArray expected;
        for (char n = 0; n < 10; ++n)
            expected += crc->Apply(QByteArray::fromHex("0103000000") + n);
        QTRY_COMPARE(peer.Drain().toHex(), expected.toHex());
        QCOMPARE(h.HistoryLines().last(), QStringLiteral("S ") + QString::fromLatin1(expected.right(8).toHex().toUpper()));
        const auto counter = [dlg] { return qobject_cast<QLabel *>(dlg->GetDlgItem(CCommandSendDlg::IDC_REPEAT_COUNTER))->text(); };
        QCOMPARE(counter(), QStringLiteral("10 / 10 回送信"));

        // Until stopped: 停止 ends it at once.
        set(CCommandSendDlg::IDC_REPEAT_COUNT, [](QWidget *w) { qobject_cast<QSpinBox *>(w)->setValue(0); });
        SendTyped(h, QStringLiteral("010300000000"));
        QVERIFY(dlg->IsRepeating());
        QTRY_VERIFY(h.HistoryLines().size() >= 13);
        auto *send = qobject_cast<QPushButton *>(dlg->GetDlgItem(CCommandSendDlg::IDC_SEND));
        QCOMPARE(send->text(), QStringLiteral("停止"));
        send->click();
        QVERIFY(!dlg->IsRepeating());
        QCOMPARE(send->text(), QStringLiteral("送信"));
        h.Command(ID_SOCKET_DISCONNECT);

        // A TCP server without a client cannot send: the repetition ends at its first send.
        h.ConfigureTcpServer();
        h.Command(ID_SOCKET_CONNECT);
        set(CCommandSendDlg::IDC_REPEAT_COUNT, [](QWidget *w) { qobject_cast<QSpinBox *>(w)->setValue(0); });
        SendTyped(h, QStringLiteral("AA0000000000"));
        QTRY_VERIFY(!dlg->IsRepeating());
        QCOMPARE(counter(), QStringLiteral("1 回送信 (送信に失敗したため停止)"));
        QCOMPARE(h.LogLines().count(QStringLiteral("+++ ｸﾗｲｱﾝﾄ未構築　送信不可[TCPSrvr]")), 1);
    }

    void udpOwnPortInUseShowsTheBoxAndStaysDisconnected()
    {
        LoopbackPeer taken = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.Configure(TYPE_UDP, {QStringLiteral("127.0.0.1"), QStringLiteral("9"), QString::number(taken.Port())}, 0);
        h.Command(ID_SOCKET_CONNECT);
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
        QCOMPARE(h.Prompts().MessageTexts(), QStringList{QStringLiteral("ソケットを作成できません。指定が重複している可能性があります。")});
        QVERIFY(h.LogLines().contains(QStringLiteral("ｿｹｯﾄを接続できません") + kTag));
    }

    void refusedSendsAreNeitherCountedNorShown_data()
    {
        QTest::addColumn<bool>("echo");
        QTest::newRow("command send") << false;
        QTest::newRow("loopback's echo") << true;
    }
    void refusedSendsAreNeitherCountedNorShown()
    {
        QFETCH(bool, echo);
        // Every datagram to a malformed destination is refused: the Log says why, once a send.
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.ConfigureUdp(peer.Port());
        h.Doc().SetSlotString(CQnDoc::SLOT_UDP_ADDRESS, QStringLiteral("999.1.1.1"));
        h.View()->OnInitialUpdate(&h.Doc());
        h.Command(ID_SOCKET_CONNECT);
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        if (echo) {
            h.Command(ID_LOOPBACK_ON);
            peer.WriteTo("ping", h.OwnPort());
            QTRY_VERIFY(h.HistoryLines().contains(QStringLiteral("R 70696E67")));
        } else {
            SendTyped(h, QStringLiteral("AA"));
        }
        const QStringList log = h.LogLines();
        QCOMPARE(log.filter(QStringLiteral("*** SendTo() アドレスの形式が正しくありません")).size(), 1);
        QVERIFY(h.HistoryLines().filter(QRegularExpression(QStringLiteral("^S "))).isEmpty());
        QVERIFY(log.filter(QRegularExpression(QStringLiteral("^(送信|受信-自動応答) "))).isEmpty());
        QCOMPARE(log.contains(QStringLiteral("受信 70696E67") + kTag), echo);
        QCOMPARE(h.View()->Traffic().SinceConnect().telegramsOut, 0);
        QCOMPARE(h.View()->Traffic().SinceConnect().telegramsIn, echo ? 1 : 0);
    }

    void tcpServerEchoesItsClientAndRecordsNoSendWithoutOne()
    {
        SessionHarness h;
        h.ConfigureTcpServer();
        h.Command(ID_SOCKET_CONNECT);
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        const quint16 port = h.OwnPort();
        QVERIFY(h.LogLines().contains(QStringLiteral("ｿｹｯﾄ接続  QNﾎﾟｰﾄ:0") + kTag));  // the port as set

        // No client yet: the warning, and the telegram is not recorded as sent.
        SendTyped(h, QStringLiteral("AA"));
        QVERIFY(h.LogLines().contains(QStringLiteral("+++ ｸﾗｲｱﾝﾄ未構築　送信不可[TCPSrvr]")));
        QVERIFY(!h.HistoryLines().contains(QStringLiteral("S AA")));

        LoopbackPeer client = LoopbackPeer::ConnectTcp(port);
        QTRY_VERIFY(h.LogLines().contains(QStringLiteral(">>> ON ACCEPT ｸﾗｲｱﾝﾄ構築[TCPSrvr]")));
        h.Command(ID_LOOPBACK_ON);
        client.Write(QByteArray("ping"));
        QTRY_COMPARE(client.Drain(), QByteArray("ping"));
        QCOMPARE(h.HistoryLines().mid(h.HistoryLines().size() - 2),
                 (QStringList{QStringLiteral("R 70696E67"), QStringLiteral("S 70696E67")}));

        h.Command(ID_SOCKET_DISCONNECT);
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
        QVERIFY(client.WaitEndOfStream());
    }

    void tcpClientWaitsForTheConnectionThenExchanges()
    {
        LoopbackPeer server = LoopbackPeer::ListenTcp();
        SessionHarness h;
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(server.Port()), QString()}, 4);
        h.View()->OnCommand(ID_SOCKET_CONNECT);
        // The connect event is posted; handle it alone to see the waiting state.
        QTRY_VERIFY(h.View()->State() != ST_DISCONNECTED);
        if (h.View()->State() == ST_WAIT_CONNECT) {
            QCOMPARE(SessionProbe::StatusLabel(h.View()).Text(), QStringLiteral("  ｿｹｯﾄ接続確立待ち"));
            QCOMPARE(SessionProbe::StatusLabel(h.View()).Color(), COLORREF(0x00FFFF));
            QVERIFY(!h.View()->IsCommandEnabled(ID_SOCKET_DISCONNECT));
        }
        QTRY_COMPARE(h.View()->State(), ST_CONNECTED);
        QCOMPARE(SessionProbe::StatusLabel(h.View()).Text(), QStringLiteral("    ｿｹｯﾄ接続中"));
        QCOMPARE(SessionProbe::StatusLabel(h.View()).Color(), COLORREF(0x00FF00));
        QVERIFY(h.LogLines().contains(QStringLiteral(">>> OnConnect[CTCPSoc(Term)]")));

        LoopbackPeer peer = server.AcceptTcp();
        SendTyped(h, QStringLiteral("AB\nC"), true);
        QTRY_COMPARE(peer.Drain(), QByteArray("AB\r\nC"));

        // The peer's close leaves the state as it is; disconnect still works and logs.
        peer = LoopbackPeer();
        QTRY_VERIFY(h.LogLines().contains(QStringLiteral(">>> OnClose[CTCPSoc(Term)]")));
        h.Settle();
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        h.Command(ID_SOCKET_DISCONNECT);
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
        QCOMPARE(h.LogLines().last(), QStringLiteral("ｿｹｯﾄ切断") + kTag);
    }

    void tcpClientRefusedEndsDisconnected()
    {
        const LoopbackPeer closed = LoopbackPeer::BindTcp();
        SessionHarness h;
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(closed.Port()), QString()}, 4);
        h.Command(ID_SOCKET_CONNECT);
        QTRY_VERIFY(h.LogLines().contains(QStringLiteral("ｿｹｯﾄ接続確立待ち応答NG") + kTag));
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
        QCOMPARE(SessionProbe::StatusLabel(h.View()).Text(), QStringLiteral("    ｿｹｯﾄ切断中"));
        QVERIFY(h.LogLines().contains(QStringLiteral("*** 接続を試みましたが、リジェクトされました。[CTCPSoc(Term)]")));
        QCOMPARE(SessionProbe::TcpClient(h.View()), nullptr);
    }

    void logLineShowsThirtyTwoBytesThenMarksTheRest_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("marked");
        QTest::newRow("32 bytes") << 32 << false;
        QTest::newRow("33 bytes") << 33 << true;
    }
    void logLineShowsThirtyTwoBytesThenMarksTheRest()
    {
        QFETCH(int, length);
        QFETCH(bool, marked);
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.Configure(TYPE_UDP, {QStringLiteral("127.0.0.1"), QString::number(peer.Port()), QStringLiteral("0")}, 0);
        h.Command(ID_SOCKET_CONNECT);
        SendTyped(h, QString(length * 2, QLatin1Char('7')));
        const QString shown = QString(64, QLatin1Char('7'));
        QCOMPARE(h.LogLines().last(), QStringLiteral("送信 ") + shown + (marked ? QStringLiteral(" +α") : QString()) + kTag);
        QCOMPARE(h.HistoryLines().last(), QStringLiteral("S ") + QString(length * 2, QLatin1Char('7')));
        QTRY_COMPARE(peer.Drain().size(), qsizetype(length));
    }

    void captureHoldsOnlyTheReceivedBytes()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cap.bin"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old content that must go");
        old.close();

        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.ConfigureUdp(peer.Port());
        h.Prompts().fileNames.enqueue(path);
        h.Command(ID_CAPTURE_START);
        QVERIFY(h.View()->IsCapturing());
        QCOMPARE(h.Prompts().calls.last().request.defaultExtension, QStringLiteral("bin"));
        QVERIFY(h.Prompts().calls.last().request.overwritePrompt);
        h.Command(ID_SOCKET_CONNECT);
        const quint16 own = h.OwnPort();
        h.Command(ID_LOOPBACK_ON);
        for (const char *t : {"\x01", "\x02", "\x03"}) {
            const int before = int(h.HistoryLines().size());
            peer.WriteTo(QByteArray(t, 1), own);
            QTRY_COMPARE(h.HistoryLines().size(), qsizetype(before + 2));  // R and the echoed S
        }
        h.Command(ID_CAPTURE_STOP);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("\x01\x02\x03", 3));
    }

    void captureOpenFailureAndWriteFailureAreReported()
    {
        QTemporaryDir dir;
        SessionHarness h;
        h.Prompts().fileNames.enqueue(dir.path());  // a folder cannot be opened for writing
        h.Command(ID_CAPTURE_START);
        QVERIFY(!h.View()->IsCapturing());
        QCOMPARE(h.Prompts().MessageTexts().last(), dir.path() + QStringLiteral(" Open err"));

        // A named pipe without a reader fails at once. Were the open to wait for a reader, one turns
        // up after 10 s so that the check fails instead of hanging; with a reader, capture starts.
        const QString pipe = dir.filePath(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        h.Prompts().fileNames.enqueue(pipe);
        std::promise<void> returned;
        int reader = -1;
        std::thread rescue([&, done = returned.get_future()] {
            if (done.wait_for(std::chrono::seconds(10)) == std::future_status::timeout)
                reader = ::open(QFile::encodeName(pipe).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        });
        h.Command(ID_CAPTURE_START);
        returned.set_value();
        rescue.join();
        QCOMPARE(h.Prompts().MessageTexts().last(), pipe + QStringLiteral(" Open err"));
        QVERIFY(!h.View()->IsCapturing());
        reader = ::open(QFile::encodeName(pipe).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        h.Prompts().fileNames.enqueue(pipe);
        h.Command(ID_CAPTURE_START);
        QVERIFY(h.View()->IsCapturing());
        h.Command(ID_CAPTURE_STOP);
        ::close(reader);

        // A full disk: capture ends with a message naming the file and the cause.
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        h.ConfigureUdp(peer.Port());
        h.Prompts().fileNames.enqueue(QStringLiteral("/dev/full"));
        h.Command(ID_CAPTURE_START);
        QVERIFY(h.View()->IsCapturing());
        h.Command(ID_SOCKET_CONNECT);
        const quint16 own = h.OwnPort();
        peer.WriteTo(QByteArray("x"), own);
        QTRY_VERIFY(!h.View()->IsCapturing());
        QVERIFY(h.Prompts().MessageTexts().last().startsWith(QStringLiteral("/dev/full Write err")));
        QVERIFY(h.View()->IsCommandEnabled(ID_CAPTURE_START));
    }

    void captureWriteFailureIsReportedOnceTheReceiveIsOver()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("cap.bin"));
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.ConfigureUdp(peer.Port());
        h.Prompts().fileNames.enqueue(path);
        h.Command(ID_CAPTURE_START);
        h.Command(ID_SOCKET_CONNECT);
        const quint16 own = h.OwnPort();
        h.Command(ID_LOOPBACK_ON);
        const QList<QByteArray> telegrams{"A", "BB", "CCC", "DDDD"};
        const auto deliver = [&](int i) {
            const qsizetype before = h.HistoryLines().size();
            peer.WriteTo(telegrams[i], own);
            QTRY_COMPARE(h.HistoryLines().size(), before + 2);  // R and the echoed S
        };
        // While the box is open its event loop runs, and two more telegrams arrive.
        h.Prompts().beforeAnswer = [&](const QString &text) {
            if (text.contains(QStringLiteral(" Write err")))
                deliver(2), deliver(3);
        };
        {
            FileSizeLimit limit(1);  // the file takes the first telegram and refuses the second
            deliver(0);
            peer.WriteTo(telegrams[1], own);
            QTRY_VERIFY(!h.View()->IsCapturing());
            QTRY_COMPARE(h.Prompts().MessageTexts().filter(QStringLiteral(" Write err")).size(), 1);
        }
        h.Settle();
        QStringList expected;
        for (const QByteArray &t : telegrams)
            expected << QStringLiteral("R ") + QString::fromLatin1(t.toHex().toUpper())
                     << QStringLiteral("S ") + QString::fromLatin1(t.toHex().toUpper());
        QCOMPARE(h.HistoryLines(), expected);
        QTRY_COMPARE(peer.Drain(), QByteArray("ABBCCCDDDD"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("A"));
    }

    // Echoed or not: whole blocks of the largest size and short ones alike.
    void largeTelegramArrivesInBoundedReadsAndWhole_data()
    {
        QTest::addColumn<bool>("echo");
        QTest::newRow("received") << false;
        QTest::newRow("echoed") << true;
    }

    void largeTelegramArrivesInBoundedReadsAndWhole()
    {
        QFETCH(bool, echo);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.bin"));
        SessionHarness h;
        h.ConfigureTcpServer();
        h.Prompts().fileNames.enqueue(path);
        h.Command(ID_CAPTURE_START);
        h.Command(ID_SOCKET_CONNECT);
        LoopbackPeer client = LoopbackPeer::ConnectTcp(h.OwnPort());
        if (echo) {
            QTRY_VERIFY(h.LogLines().contains(QStringLiteral(">>> ON ACCEPT ｸﾗｲｱﾝﾄ構築[TCPSrvr]")));
            h.Command(ID_LOOPBACK_ON);
            client.CollectWhileRunning(65536);
        }
        const QByteArray sent = Bytes(3 * 1024000 + 1, 7);
        qint64 written = 0;
        QTRY_VERIFY((written += qMax<qint64>(0, client.Write(sent.mid(written))), written == sent.size()));

        QByteArray received[2];  // R lines, S lines
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     received[0].clear();
                                     received[1].clear();
                                     for (const QString &line : h.HistoryLines())
                                         received[line.startsWith(u'S')] += QByteArray::fromHex(line.mid(2).toLatin1());
                                     return received[0].size() >= sent.size();
                                 }()),
                                 20000);
        for (const QString &line : h.HistoryLines()) {
            QVERIFY(line.startsWith(QStringLiteral("R ")) || (echo && line.startsWith(QStringLiteral("S "))));
            QVERIFY(line.size() - 2 <= 2 * 1024000);
        }
        QCOMPARE(received[0], sent);
        if (echo) {
            QCOMPARE(received[1], sent);
            QTRY_COMPARE_WITH_TIMEOUT(client.received.size(), sent.size(), 20000);
            QCOMPARE(client.received, sent);
        }
        h.Command(ID_CAPTURE_STOP);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), sent);
    }

    void responseTimeShowsTheDelayOfThePeersAnswer()
    {
        TempConfigHome home;
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.ConfigureUdp(peer.Port());
        h.Command(ID_SOCKET_CONNECT);
        const quint16 own = h.OwnPort();
        h.View()->HistoryWindow()->SetResponseTime(true);
        // The peer answers a known time after the telegram reached it.
        constexpr int kDelay = 120;
        QElapsedTimer round;
        round.start();
        SendTyped(h, QStringLiteral("01"));
        QTRY_COMPARE(peer.Drain(), QByteArray("\x01"));
        QTimer::singleShot(kDelay, Qt::PreciseTimer, [&] { peer.WriteTo(QByteArray("\x02"), own); });
        QTRY_COMPARE(h.HistoryLines().size(), 2);
        const double elapsed = double(round.nsecsElapsed()) / 1e6;
        const QRegularExpressionMatch shown =
            QRegularExpression(QStringLiteral("^R \\(\\+(\\d+\\.\\d{3}) ms\\) 02$")).match(h.HistoryLines().last());
        QVERIFY2(shown.hasMatch(), qPrintable(h.HistoryLines().last()));
        const double ms = shown.captured(1).toDouble();
        QVERIFY2(ms >= kDelay - 1 && ms <= elapsed, qPrintable(QStringLiteral("%1 of %2").arg(ms).arg(elapsed)));
        h.View()->HistoryWindow()->SetResponseTime(false);
    }
};

QTEST_MAIN(TestSessionTraffic)
#include "tst_sessiontraffic.moc"
