// The asynchronous socket's notification rules and error codes, on real loopback sockets.
#include "loopbackpeer.h"
#include "platform/casyncsocket.h"

#include <QTest>

#include <thread>

namespace {

// Records each notification as "<name> <code>".
class Probe : public CAsyncSocket
{
public:
    QStringList calls;
    int Count(const QString &call) const { return int(calls.count(call)); }

protected:
    void OnReceive(int code) override { calls << QStringLiteral("receive %1").arg(code); }
    void OnSend(int code) override { calls << QStringLiteral("send %1").arg(code); }
    void OnOutOfBandData(int code) override { calls << QStringLiteral("oob %1").arg(code); }
    void OnAccept(int code) override { calls << QStringLiteral("accept %1").arg(code); }
    void OnConnect(int code) override { calls << QStringLiteral("connect %1").arg(code); }
    void OnClose(int code) override { calls << QStringLiteral("close %1").arg(code); }
};

quint16 LocalPort(const CAsyncSocket &socket)
{
    return LoopbackPeer::LocalPort(socket.m_hSocket);
}

bool Barrier()
{
    return LoopbackPeer::Barrier();
}

// A client probe connected to `server`'s next connection; `accepted` is the far end.
bool ConnectProbe(Probe &client, LoopbackPeer &server, LoopbackPeer &accepted)
{
    server = LoopbackPeer::ListenTcp();
    if (!client.Create() || (!client.Connect("127.0.0.1", server.Port()) &&
                             CAsyncSocket::GetLastError() != WSAEWOULDBLOCK))
        return false;
    accepted = server.AcceptTcp();
    return accepted.IsValid() &&
           QTest::qWaitFor([&] { return client.calls.contains(QStringLiteral("send 0")); }, 5000);
}

}  // namespace

class TestAsyncSocket : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void unreadDataRaisesNothingMoreUntilReceived()
    {
        Probe client;
        LoopbackPeer server, far;
        QVERIFY(ConnectProbe(client, server, far));
        QCOMPARE(far.Write("ab"), 2);
        QTRY_COMPARE(client.Count("receive 0"), 1);
        QCOMPARE(far.Write("cd"), 2);
        QVERIFY(Barrier());
        QCOMPARE(client.Count("receive 0"), 1);
        char buffer[16];
        QCOMPARE(client.Receive(buffer, 1), 1);  // data remains: told again
        QTRY_COMPARE(client.Count("receive 0"), 2);
        QCOMPARE(client.Receive(buffer, sizeof buffer), 3);
        QCOMPARE(QByteArray(buffer, 3), "bcd");
        QVERIFY(Barrier());
        QCOMPARE(client.Count("receive 0"), 2);
    }

    // The data comes whole in one Receive, however it stands to the bytes the notice reads ahead;
    // the end after it is said once, a reset with its cause.
    void peerEndIsReportedOnceAfterTheData_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("reset");
        for (const bool reset : {false, true}) {
            const char *end = reset ? "reset" : "close";
            QTest::addRow("1 byte, %s", end) << 1 << reset;
            QTest::addRow("read-ahead exactly, %s", end) << CAsyncSocket::kReadAhead << reset;
            QTest::addRow("three read-aheads, %s", end) << 3 * CAsyncSocket::kReadAhead << reset;
        }
    }

    void peerEndIsReportedOnceAfterTheData()
    {
        QFETCH(int, size);
        QFETCH(bool, reset);
        Probe client;
        LoopbackPeer server, far;
        QVERIFY(ConnectProbe(client, server, far));
        QByteArray data(size, 'x');
        for (int i = 0; i < size; ++i)
            data[i] = char(i * 7);
        QCOMPARE(far.Write(data), qint64(size));
        if (reset)
            far.Reset();
        else
            far = LoopbackPeer();
        QTRY_COMPARE(client.Count("receive 0"), 1);
        QVERIFY(!client.calls.join(' ').contains("close"));
        QByteArray buffer(QN_MAX_RECEIVE, '\0');
        QCOMPARE(client.Receive(buffer.data(), QN_MAX_RECEIVE), size);
        QCOMPARE(buffer.left(size), data);
        const QString end = QStringLiteral("close %1").arg(reset ? WSAECONNRESET : 0);
        QTRY_COMPARE(client.Count(end), 1);
        QCOMPARE(client.Receive(buffer.data(), QN_MAX_RECEIVE), 0);
        QVERIFY(Barrier());
        QCOMPARE(client.calls, (QStringList{"connect 0", "send 0", "receive 0", end}));
    }

    void sendReadyComesFirstThenOnlyAfterWouldBlock()
    {
        Probe client;
        LoopbackPeer server, far;
        QVERIFY(ConnectProbe(client, server, far));
        QCOMPARE(client.Send("hi", 2), 2);
        QVERIFY(Barrier());
        QCOMPARE(client.Count("send 0"), 1);
        const QByteArray block(65536, 'z');
        qint64 total = 2;
        for (int sent = 0; sent != SOCKET_ERROR; total += sent > 0 ? sent : 0)
            sent = client.Send(block.constData(), int(block.size()));
        QCOMPARE(CAsyncSocket::GetLastError(), WSAEWOULDBLOCK);
        QVERIFY(Barrier());
        QCOMPARE(client.Count("send 0"), 1);
        far.CollectWhileRunning(1 << 20);
        QTRY_COMPARE(client.Count("send 0"), 2);
        QTRY_COMPARE(far.received.size(), total);
    }

    void acceptIsToldAgainOnlyAfterAccept()
    {
        Probe listener;
        QVERIFY(listener.Create(0, SOCK_STREAM, FD_ALL_EVENTS, "127.0.0.1"));
        QVERIFY(listener.Listen());
        LoopbackPeer first = LoopbackPeer::ConnectTcp(LocalPort(listener));
        LoopbackPeer second = LoopbackPeer::ConnectTcp(LocalPort(listener));
        QTRY_COMPARE(listener.Count("accept 0"), 1);
        QVERIFY(Barrier());
        QCOMPARE(listener.Count("accept 0"), 1);
        Probe a, b, c;
        QVERIFY(listener.Accept(a));
        QTRY_COMPARE(listener.Count("accept 0"), 2);
        QVERIFY(listener.Accept(b));
        QVERIFY(!listener.Accept(c));
        QCOMPARE(CAsyncSocket::GetLastError(), WSAEWOULDBLOCK);
        QVERIFY(!listener.Accept(a));  // already holds a connection
        QVERIFY(Barrier());
        QCOMPARE(listener.Count("accept 0"), 2);
        QTRY_COMPARE(a.Count("send 0"), 1);  // an accepted connection is writable at once
    }

    void eachDatagramIsReceivedWholeAndAnEmptyOneIsData()
    {
        Probe udp;
        QVERIFY(udp.Create(0, SOCK_DGRAM));
        LoopbackPeer sender = LoopbackPeer::BindUdp();
        QCOMPARE(sender.WriteTo("", LocalPort(udp)), 0);
        QCOMPARE(sender.WriteTo("hello", LocalPort(udp)), 5);
        QTRY_COMPARE(udp.Count("receive 0"), 1);
        char buffer[16];
        QString address;
        unsigned port = 0;
        QCOMPARE(udp.ReceiveFrom(buffer, sizeof buffer, address, port), 0);
        QCOMPARE(address, QStringLiteral("127.0.0.1"));
        QCOMPARE(port, unsigned(sender.Port()));
        QTRY_COMPARE(udp.Count("receive 0"), 2);
        QCOMPARE(udp.ReceiveFrom(buffer, sizeof buffer, address, port), 5);
        // Longer than the buffer: an error, and the datagram is gone.
        QCOMPARE(sender.WriteTo(QByteArray(40, 'L'), LocalPort(udp)), 40);
        QTRY_COMPARE(udp.Count("receive 0"), 3);
        QCOMPARE(udp.ReceiveFrom(buffer, sizeof buffer, address, port), SOCKET_ERROR);
        QCOMPARE(CAsyncSocket::GetLastError(), WSAEMSGSIZE);
        QCOMPARE(sender.WriteTo("ok", LocalPort(udp)), 2);
        QTRY_COMPARE(udp.Count("receive 0"), 4);
        QCOMPARE(udp.ReceiveFrom(buffer, sizeof buffer, address, port), 2);
        QVERIFY(!udp.calls.join(' ').contains("close"));
    }

    void lastErrorBelongsToTheThread()
    {
        Probe probe;
        QVERIFY(!probe.Connect("127.0.0.1", 1));
        QCOMPARE(CAsyncSocket::GetLastError(), WSAENOTSOCK);
        int seenThere = -1;
        std::thread([&] {
            seenThere = CAsyncSocket::GetLastError();
            CAsyncSocket::SetLastError(WSAECONNRESET);
        }).join();
        QCOMPARE(seenThere, 0);
        QCOMPARE(CAsyncSocket::GetLastError(), WSAENOTSOCK);
    }
};

QTEST_GUILESS_MAIN(TestAsyncSocket)
#include "tst_asyncsocket.moc"
