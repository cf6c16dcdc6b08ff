// The TCP server endpoint: its log, the one-client rule and what reaches the view.
#include "loopbackpeer.h"
#include "net/ctcpsoc.h"
#include "net/ctcpsrvr.h"
#include "recordingwnd.h"
#include "support/endpointprobe.h"

#include <QTest>

#include <algorithm>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

struct Server
{
    Server() { srvr.CreateEndpoint(&view, view.LogBuf()); }
    quint16 Port() const { return quint16(srvr.Describe().ownPort); }
    // Connects a client and waits until the endpoint has taken it as the one client (an invalid
    // peer when it does not within 5 s).
    LoopbackPeer Join()
    {
        LoopbackPeer client = LoopbackPeer::ConnectTcp(Port());
        const qsizetype before = view.lines.filter("ON SEND").size();
        if (!QTest::qWaitFor([&] { return view.lines.filter("ON SEND").size() > before; }, 5000))
            return {};
        return client;
    }
    RecordingWnd view;
    CTCPSrvr srvr;
};

// Takes every descriptor the process may still open, under a lowered limit; gives them back, and the
// limit, when it goes.
class DescriptorFill
{
public:
    DescriptorFill()
    {
        ::getrlimit(RLIMIT_NOFILE, &m_limit);
        rlimit low = m_limit;
        low.rlim_cur = std::min<rlim_t>(m_limit.rlim_cur, 512);
        ::setrlimit(RLIMIT_NOFILE, &low);
        for (int handle; (handle = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            m_held.push_back(handle);
    }
    ~DescriptorFill()
    {
        for (int handle : m_held)
            ::close(handle);
        ::setrlimit(RLIMIT_NOFILE, &m_limit);
    }

private:
    rlimit m_limit{};
    std::vector<int> m_held;
};

}  // namespace

class TestTcpSrvr : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void buildAndAClientLogTheSession()
    {
        Server server;
        QVERIFY(server.srvr.Build(0));
        LoopbackPeer client = server.Join();
        QVERIFY(client.IsValid());
        QCOMPARE(server.view.lines,
                 (QStringList{">>> Create[port:0][CTCPSoc(Srvr)]<-[TCPSrvr]", ">>> Ver1.00  ｻｰﾊﾞ構築[TCPSrvr]",
                              ">>> Listen[CTCPSoc(Srvr)]<-[TCPSrvr]", ">>> ON ACCEPT ｸﾗｲｱﾝﾄ構築[TCPSrvr]",
                              QStringLiteral(">>> ｸﾗｲｱﾝﾄ情報 ADR:127.0.0.1 PORT:%1[CTCPSoc(Srvr)]<-[TCPSrvr]")
                                  .arg(client.Port()),
                              ">>> ON SEND[TCPSrvr]"}));
        QVERIFY(server.view.messages.isEmpty());  // accept and send-ready stay inside
    }

    void buildOnAPortInUseFails()
    {
        LoopbackPeer holder = LoopbackPeer::ListenTcp();
        Server server;
        QVERIFY(!server.srvr.Build(holder.Port()));
        QCOMPARE(server.view.lines.last(), "*** Create() 指定したアドレスは使用中です。[CTCPSoc(Srvr)]<-[TCPSrvr]");
        QVERIFY(server.view.lines.filter("ｻｰﾊﾞ構築").isEmpty());
    }

    void dataReachesTheViewAsReceiveEventTwo()
    {
        Server server;
        QVERIFY(server.srvr.Build(0));
        LoopbackPeer client = server.Join();
        QVERIFY(client.IsValid());
        QCOMPARE(client.Write("\x01\x02\xFF"), 3);
        QTRY_COMPARE(server.view.Events(EV_RECEIVE), QList<LPARAM>{2});
        QCOMPARE(server.view.journal.mid(server.view.journal.size() - 2),
                 (QStringList{">>> ON RECEIVE[TCPSrvr]", "ev 243 2"}));
        char buffer[QN_MAX_RECEIVE];
        QCOMPARE(server.srvr.Receive(buffer, QN_MAX_RECEIVE), 3);
        QCOMPARE(QByteArray(buffer, 3), "\x01\x02\xFF");
        QVERIFY(server.srvr.Send("ok", 2));
        QTRY_COMPARE(client.Drain(), "ok");
    }

    void secondClientIsDroppedWhileTheFirstKeepsWorking()
    {
        Server server;
        QVERIFY(server.srvr.Build(0));
        LoopbackPeer first = server.Join();
        QVERIFY(first.IsValid());
        LoopbackPeer second = LoopbackPeer::ConnectTcp(server.Port());
        QVERIFY(second.WaitEndOfStream());
        const QStringList tail = server.view.lines.mid(server.view.lines.size() - 3);
        QCOMPARE(tail, (QStringList{">>> ON ACCEPT ｸﾗｲｱﾝﾄは既に構築されています。[TCPSrvr]",
                                    ">>> ON ACCEPT 最大1ｸﾗｲｱﾝﾄのため構築後即破棄します。[TCPSrvr]",
                                    QStringLiteral(">>> ｸﾗｲｱﾝﾄ情報 ADR:127.0.0.1 PORT:%1[CTCPSoc(Srvr)]<-[TCPSrvr]")
                                        .arg(second.Port())}));
        QVERIFY(server.srvr.Send("still", 5));
        QTRY_COMPARE(first.Drain(), "still");
    }

    void clientClosingFreesTheSlotForTheNext()
    {
        Server server;
        QVERIFY(server.srvr.Build(0));
        {
            LoopbackPeer first = server.Join();
            QVERIFY(first.IsValid());
        }
        QTRY_COMPARE(server.view.lines.last(), ">>> ON CLOSE  ｸﾗｲｱﾝﾄ破棄[TCPSrvr]");
        QVERIFY(server.view.Events(EV_CLOSED).isEmpty());  // the view is not told
        LoopbackPeer next = server.Join();
        QVERIFY(next.IsValid());
        QVERIFY(server.view.lines.filter("既に構築").isEmpty());
        QVERIFY(server.srvr.Send("hi", 2));
        QTRY_COMPARE(next.Drain(), "hi");
    }

    void aFailedAcceptIsLoggedOnceAndRetriedLater_data()
    {
        QTest::addColumn<bool>("served");
        QTest::addColumn<QStringList>("failure");
        const QString error = "*** Accept() 受け入れるエントリ上のキューが空で、利用できるディスクリプタがありません。"
                              "[CTCPSoc(Srvr)]<-[TCPSrvr]";
        QTest::newRow("free slot") << false << QStringList{">>> ON ACCEPT ｸﾗｲｱﾝﾄ構築[TCPSrvr]", error};
        QTest::newRow("one client served")
            << true
            << QStringList{">>> ON ACCEPT ｸﾗｲｱﾝﾄは既に構築されています。[TCPSrvr]",
                           ">>> ON ACCEPT 最大1ｸﾗｲｱﾝﾄのため構築後即破棄します。[TCPSrvr]", error};
    }
    void aFailedAcceptIsLoggedOnceAndRetriedLater()
    {
#if defined(__SANITIZE_ADDRESS__)
        // The sanitizers' own memory checks need a free descriptor, which this test takes away.
        QSKIP("descriptor exhaustion is not testable under the sanitizers");
#endif
        QFETCH(bool, served);
        QFETCH(QStringList, failure);
        Server server;
        QVERIFY(server.srvr.Build(0));
        LoopbackPeer first = served ? server.Join() : LoopbackPeer();
        LoopbackPeer second = LoopbackPeer::ConnectTcp(server.Port());
        const qsizetype before = server.view.lines.size();
        {
            DescriptorFill fill;  // no descriptor left for the accepted connection
            QTRY_COMPARE(server.view.lines.size(), before + failure.size());
            // Several pauses long: a listener that spins writes its lines again and again.
            QVERIFY(!QTest::qWaitFor([&] { return server.view.lines.size() > before + failure.size(); },
                                     3 * CTCPSrvr::kAcceptPauseMs));
        }
        QCOMPARE(server.view.lines.mid(before), failure);
        QTRY_VERIFY(server.view.lines.filter("ｸﾗｲｱﾝﾄ情報").size() == 1 + served);
        LoopbackPeer &client = served ? first : second;
        QVERIFY(server.srvr.Send("ok", 2));
        QTRY_COMPARE(client.Drain(), QByteArray("ok"));
        if (served)
            QVERIFY(second.WaitEndOfStream());
    }

    void withoutAClientSendAndReceiveWarn_data()
    {
        QTest::addColumn<bool>("send");
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("result");
        QTest::newRow("send") << true << "+++ ｸﾗｲｱﾝﾄ未構築　送信不可[TCPSrvr]" << int(FALSE);
        QTest::newRow("receive") << false << "+++ ｸﾗｲｱﾝﾄ未構築　受信不可[TCPSrvr]" << 0;
    }
    void withoutAClientSendAndReceiveWarn()
    {
        QFETCH(bool, send);
        QFETCH(QString, line);
        QFETCH(int, result);
        Server server;
        QVERIFY(server.srvr.Build(0));
        char buffer[16] = "x";
        QCOMPARE(send ? server.srvr.Send(buffer, 1) : server.srvr.Receive(buffer, sizeof buffer), result);
        QCOMPARE(server.view.lines.last(), line);
        QVERIFY(line.contains(QChar(0x3000)));
    }

    void teardown_data()
    {
        QTest::addColumn<bool>("withClient");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("no client") << false << QStringList{">>> ﾃﾞｽﾄﾗｸﾀ ｻｰﾊﾞ破棄[TCPSrvr]"};
        QTest::newRow("one client") << true
                                    << QStringList{">>> ﾃﾞｽﾄﾗｸﾀ ｸﾗｲｱﾝﾄ破棄[TCPSrvr]", ">>> ﾃﾞｽﾄﾗｸﾀ ｻｰﾊﾞ破棄[TCPSrvr]"};
    }
    void teardown()
    {
        QFETCH(bool, withClient);
        QFETCH(QStringList, lines);
        Server server;
        QVERIFY(server.srvr.Build(0));
        const quint16 port = server.Port();
        LoopbackPeer client = withClient ? server.Join() : LoopbackPeer();
        QCOMPARE(client.IsValid(), withClient);
        const qsizetype before = server.view.lines.size();
        server.srvr.Teardown();
        QCOMPARE(server.view.lines.mid(before), lines);
        QVERIFY(EndpointProbe::IsTornDown(server.srvr));
        if (withClient)
            QVERIFY(client.WaitEndOfStream());
        QVERIFY(!LoopbackPeer::ConnectTcp(port).IsValid());
        QVERIFY(server.srvr.Build(port));  // the same port is free again at once
    }

    void staleOrUnknownEventsDoNoHarm()
    {
        Server server;
        QVERIFY(server.srvr.Build(0));
        LoopbackPeer client = server.Join();
        QVERIFY(client.IsValid());
        PostMessage(&server.srvr, WM_SESSION_EVENT, 99, 2);
        PostMessage(&server.srvr, WM_SESSION_EVENT, EV_CLOSED, 2);
        PostMessage(&server.srvr, WM_SESSION_EVENT, EV_CLOSED, 2);  // the client is gone already
        PostMessage(&server.srvr, WM_SESSION_EVENT, EV_ACCEPT, 1);
        server.srvr.Teardown();  // an accept notice may outlive the listening socket
        QTRY_COMPARE(server.view.lines.filter("ON CLOSE").size(), 2);
        QVERIFY(server.view.lines.contains("*** 不明なﾒｯｾｰｼﾞ[TCPSrvr]"));
    }

    void relayNeverWritesPastTheLogBuffer()
    {
        Server server;
        std::memset(server.view.LogBuf(), 'x', QN_BUFFER_SIZE - 5);
        server.view.LogBuf()[QN_BUFFER_SIZE - 5] = '\0';
        SendMessage(&server.srvr, WM_SOCKET_LOG, 0, 0);
        QVERIFY(server.view.GuardIntact());
        QCOMPARE(server.view.lines.last().size(), QN_BUFFER_SIZE - 1);
        QVERIFY(server.view.lines.last().endsWith("x<-[T"));
    }
};

QTEST_GUILESS_MAIN(TestTcpSrvr)
#include "tst_tcpsrvr.moc"
