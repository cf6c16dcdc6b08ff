// The TCP socket's log lines, events and whole-telegram sending, against loopback peers.
#include "loopbackpeer.h"
#include "net/ctcpsoc.h"
#include "recordingwnd.h"

#include <QTest>

#include <sys/socket.h>

namespace {

const QString kTerm = QStringLiteral("[CTCPSoc(Term)]");

struct Client
{
    explicit Client(int role = CTCPSoc::ROLE_TERM, bool withLog = true)
        : soc(&owner, 1, withLog ? owner.LogBuf() : nullptr, role)
    {
    }
    RecordingWnd owner;
    CTCPSoc soc;
};

// Connects `client` to a fresh listener; `far` is the accepted end.
bool Connect(Client &client, LoopbackPeer &server, LoopbackPeer &far)
{
    server = LoopbackPeer::ListenTcp();
    if (!client.soc.Create(0) || !client.soc.Connect("127.0.0.1", server.Port()))
        return false;
    far = server.AcceptTcp();
    return far.IsValid() &&
           QTest::qWaitFor([&] { return client.owner.Events(EV_SEND_READY).size() == 1; }, 5000);
}

QByteArray Pattern(qsizetype size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    char *out = bytes.data();
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char((i * 7 + seed + i / 251) & 0xFF);
    return bytes;
}

}  // namespace

class TestTcpSoc : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void connectOutcome_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<bool>("withLog");
        QTest::addColumn<QStringList>("tail");
        QTest::addColumn<LPARAM>("param");
        const QStringList refused{">>> OnConnect" + kTerm, "*** 接続を試みましたが、リジェクトされました。" + kTerm};
        QTest::newRow("refused") << false << true << refused << LPARAM(75597);
        QTest::newRow("refused, no log buffer") << false << false << QStringList() << LPARAM(75597);
        QTest::newRow("accepted") << true << true << QStringList{">>> OnConnect" + kTerm} << LPARAM(65536);
    }
    void connectOutcome()
    {
        QFETCH(bool, listening);
        QFETCH(bool, withLog);
        QFETCH(QStringList, tail);
        QFETCH(LPARAM, param);
        const LoopbackPeer server = listening ? LoopbackPeer::ListenTcp() : LoopbackPeer::BindTcp();
        const quint16 port = server.Port();
        Client client(CTCPSoc::ROLE_TERM, withLog);
        QVERIFY(client.soc.Create(0));
        QVERIFY(client.soc.Connect("127.0.0.1", port));
        QTRY_COMPARE(client.owner.Events(EV_CONNECT_DONE).size(), 1);
        QVERIFY(LoopbackPeer::Barrier());
        QCOMPARE(client.owner.Events(EV_CONNECT_DONE), QList<LPARAM>{param});
        QStringList expected{">>> Create[port:0]" + kTerm,
                             QStringLiteral(">>> Connect[adr:127.0.0.1 port:%1]").arg(port) + kTerm};
        QCOMPARE(client.owner.lines, withLog ? expected + tail : QStringList());
    }

    void failuresAreLoggedAtOnce_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("tail");
        const QString srvr = QStringLiteral("[CTCPSoc(Srvr)]");
        QTest::newRow("create on a port in use")
            << CTCPSoc::ROLE_TERM << "create in use" << QStringList{"*** Create() 指定したアドレスは使用中です。" + kTerm};
        QTest::newRow("name under .invalid")
            << CTCPSoc::ROLE_TERM << "connect nohost.invalid"
            << QStringList{">>> Connect[adr:nohost.invalid port:80]" + kTerm,
                           "*** Connect() ソケットはまだアドレスにバインドされていません。" + kTerm};
        const QString malformed = QStringLiteral("*** Connect() アドレスの形式が正しくありません (IPv4 は 4 つの 0～255 の数、IPv6 は ::1 や [fe80::1%eth0]、名前は 253 文字まで)。");
        for (const QString &typed : {QStringLiteral("[::1"), QStringLiteral("999.1.1.1"), QStringLiteral("fe80::1%nonexistent"), QString(300, u'a')}) {
            QTest::addRow("malformed %s", qPrintable(typed.left(20)))
                << CTCPSoc::ROLE_TERM << "connect " + typed
                << QStringList{QStringLiteral(">>> Connect[adr:%1 port:80]").arg(typed) + kTerm, malformed + kTerm};
        }
        QTest::newRow("listen on a term socket")
            << CTCPSoc::ROLE_TERM << "listen" << QStringList{">>> Listen" + kTerm, "*** ｻｰﾊﾞ/ｸﾗｲｱﾝﾄ制御異常" + kTerm};
        QTest::newRow("connect on a server socket")
            << CTCPSoc::ROLE_SRVR << "connect 127.0.0.1"
            << QStringList{">>> Connect[adr:127.0.0.1 port:80]" + srvr, "*** ｻｰﾊﾞ/ｸﾗｲｱﾝﾄ制御異常" + srvr};
        QTest::newRow("connect when connected")
            << CTCPSoc::ROLE_TERM << "connect twice" << QStringList{"*** Connect() ソケットは既に接続されています。" + kTerm};
        QTest::newRow("send before connecting")
            << CTCPSoc::ROLE_TERM << "send" << QStringList{">>> Send" + kTerm, "*** Send() ソケットが接続されていません。" + kTerm};
    }
    void failuresAreLoggedAtOnce()
    {
        QFETCH(int, role);
        QFETCH(QString, action);
        QFETCH(QStringList, tail);
        Client client(role);
        LoopbackPeer holder = LoopbackPeer::ListenTcp();
        const bool created = client.soc.Create(action == "create in use" ? holder.Port() : 0);
        bool ok = created;
        LoopbackPeer server, far;
        if (action == "connect twice")
            ok = Connect(client, server, far) && client.soc.Connect("127.0.0.1", server.Port());
        else if (action.startsWith("connect "))
            ok = client.soc.Connect(action.mid(8), 80);
        else if (action == "listen")
            ok = client.soc.Listen();
        else if (action == "send")
            ok = client.soc.Send("x", 1);
        QVERIFY(!ok);
        QCOMPARE(client.owner.lines.mid(client.owner.lines.size() - tail.size()), tail);
        if (action == "listen")  // listen was not called: nobody answers on the port
            QVERIFY(!LoopbackPeer::ConnectTcp(LoopbackPeer::LocalPort(client.soc.m_hSocket)).IsValid());
        QVERIFY(LoopbackPeer::Barrier());
        QCOMPARE(client.owner.messages.size(), action == "connect twice" ? 2 : 0);  // nothing follows
    }

    void outOfBandDataOnlyWritesItsTrace()
    {
        Client client;
        LoopbackPeer server, far;
        QVERIFY(Connect(client, server, far));
        QCOMPARE(far.Write("U", MSG_OOB), 1);
        QTRY_VERIFY(client.owner.lines.contains(">>> OnOutOfBandData" + kTerm));
        QCOMPARE(far.Write("n"), 1);
        QTRY_COMPARE(client.owner.Events(EV_RECEIVE).size(), 1);
        const QStringList journal = client.owner.journal;
        QCOMPARE(journal.mid(journal.indexOf(">>> OnOutOfBandData" + kTerm)),
                 (QStringList{">>> OnOutOfBandData" + kTerm, "ev 243 1"}));
    }

    void peerCloseThenReceiveGivesZeroQuietly()
    {
        Client client;
        LoopbackPeer server, far;
        QVERIFY(Connect(client, server, far));
        far = LoopbackPeer();
        QTRY_COMPARE(client.owner.Events(EV_CLOSED), QList<LPARAM>{1});
        QCOMPARE(client.owner.lines.last(), ">>> OnClose" + kTerm);
        char buffer[64];
        QCOMPARE(client.soc.Receive(buffer, sizeof buffer), 0);
        QCOMPARE(client.owner.lines.last(), ">>> OnClose" + kTerm);
    }

    void peerResetFailsTheSendAndTheProcessLives()
    {
        Client client;
        LoopbackPeer server, far;
        QVERIFY(Connect(client, server, far));
        far.Reset();
        QTRY_COMPARE(client.owner.Events(EV_CLOSED).size(), 1);
        const QByteArray block(65536, 'r');
        QVERIFY(!client.soc.Send(block.constData(), int(block.size())));
        QCOMPARE(client.owner.lines.last(), "*** Send() リモート側から仮想回路がリセットされました。 " + kTerm);
    }

    void telegramsArriveWholeAndInOrderAtASlowReader_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("10,000 bytes") << 10000;
        QTest::newRow("1,024,001 bytes") << 1024001;
        QTest::newRow("20 MB") << 20 * 1024 * 1024;
    }
    void telegramsArriveWholeAndInOrderAtASlowReader()
    {
        QFETCH(int, size);
        Client client;
        LoopbackPeer server, far;
        QVERIFY(Connect(client, server, far));
        const QByteArray first = Pattern(size, 1), second = Pattern(size, 2), third = Pattern(7, 3);
        for (const QByteArray *telegram : {&first, &second, &third})
            QVERIFY(client.soc.Send(telegram->constData(), int(telegram->size())));
        if (size > 8 * 1024 * 1024)
            QVERIFY(client.soc.QueuedBytes() > 0);  // more than the socket takes at once
        far.CollectWhileRunning(16384);
        QTRY_COMPARE_WITH_TIMEOUT(far.received.size(), 2 * size + 7, 120000);
        QVERIFY(far.received == first + second + third);
        QCOMPARE(client.soc.QueuedBytes(), 0);
        QTRY_VERIFY(client.owner.Events(EV_SEND_READY).size() >= 1);
        QCOMPARE(client.owner.lines.filter("***"), QStringList());
    }

    void queueForAPeerThatNeverReadsIsBounded()
    {
        Client client;
        LoopbackPeer server, far;
        QVERIFY(Connect(client, server, far));
        const QByteArray telegram = Pattern(QN_BUFFER_SIZE, 5);
        int accepted = 0;
        while (accepted < 100 && client.soc.Send(telegram.constData(), int(telegram.size())))
            ++accepted;
        QCOMPARE(client.owner.lines.last(),
                 "*** Send() Windows ソケットのインプリメントが、バッファのデッドロックをリポートています。" + kTerm);
        QVERIFY(client.soc.QueuedBytes() <= CTCPSoc::kMaxQueued);
        QVERIFY(client.soc.QueuedBytes() > CTCPSoc::kMaxQueued - QN_BUFFER_SIZE);
        // What was taken arrives whole; the refused telegram sent nothing.
        far.CollectWhileRunning(1 << 20);
        QTRY_COMPARE_WITH_TIMEOUT(far.received.size(), qsizetype(accepted) * QN_BUFFER_SIZE, 120000);
        QVERIFY(LoopbackPeer::Barrier());
        QCOMPARE(far.received.size(), qsizetype(accepted) * QN_BUFFER_SIZE);
    }

    void longLogLineIsCutInsideTheBuffer()
    {
        Client client;
        QVERIFY(client.soc.Create(0));
        const QString address(QN_BUFFER_SIZE + 100, QLatin1Char('a'));
        QVERIFY(!client.soc.Connect(address, 80));
        QVERIFY(client.owner.GuardIntact());
        QCOMPARE(client.owner.lines.size(), 3);
        QCOMPARE(client.owner.lines[1].size(), QN_BUFFER_SIZE - 1);
        QVERIFY(client.owner.lines[1].startsWith(">>> Connect[adr:aaa"));
    }
};

QTEST_GUILESS_MAIN(TestTcpSoc)
#include "tst_tcpsoc.moc"
