// The relay between real peers: loopback TCP on both sides, a pseudo-terminal on one.
#include "loopbackpeer.h"
#include "streamwriter.h"
#include "support/opensslpeer.h"
#include "support/ptydevice.h"

#include "document/cqndoc.h"

#include "relay/crelay.h"
#include "relay/crelayside.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

CRelayAddress Side(const QString &text)
{
    CRelayAddress address;
    QString error;
    if (!CRelayAddress::Parse(text, nullptr, &address, &error))
        qFatal("%s", qPrintable(error));
    return address;
}

// One end of the test on each side of the relay, joined through it.
struct Pair
{
    std::unique_ptr<CRelay> relay;
    LoopbackPeer a;  // the test's peer of side A
    LoopbackPeer b;  // of side B
    LoopbackPeer bListener;
};

// A listens for the test's client; B connects to a listener of the test's.
bool JoinListenToConnect(Pair *pair)
{
    pair->bListener = LoopbackPeer::ListenTcp();
    pair->relay = std::make_unique<CRelay>(Side(QStringLiteral("listen:0")),
                                           Side(QStringLiteral("127.0.0.1:%1").arg(pair->bListener.Port())));
    QString error;
    if (!pair->relay->Start(&error))
        return false;
    const unsigned port = pair->relay->Side(0).OwnPort();
    if (port == 0)
        return false;
    pair->a = LoopbackPeer::ConnectTcp(quint16(port));
    // B connects once A has its client.
    if (!QTest::qWaitFor([&] { return pair->relay->Side(1).IsOpen(); }, 5000))
        return false;
    pair->b = pair->bListener.AcceptTcp();
    return pair->a.IsValid() && pair->b.IsValid();
}

// Both sides connect, to two listeners of the test's.
bool JoinConnectToConnect(Pair *pair)
{
    LoopbackPeer aListener = LoopbackPeer::ListenTcp();
    pair->bListener = LoopbackPeer::ListenTcp();
    pair->relay = std::make_unique<CRelay>(Side(QStringLiteral("127.0.0.1:%1").arg(aListener.Port())),
                                           Side(QStringLiteral("127.0.0.1:%1").arg(pair->bListener.Port())));
    QString error;
    if (!pair->relay->Start(&error))
        return false;
    pair->a = aListener.AcceptTcp();
    pair->b = pair->bListener.AcceptTcp();
    return pair->a.IsValid() && pair->b.IsValid();
}

}  // namespace

class TestRelay : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void forwardsBothWaysAtOnceByteExact_data();
    void forwardsBothWaysAtOnceByteExact();
    void slowReaderHoldsWriterBackWithinBound();
    void peerCloseEndsOtherSideAfterItsBytes();
    void serialLineBridgedToTcp();
    void datagramsBridgedToTcp();
    void tlsEndedOnOneSide();
    void sideThatCannotOpenFailsStart();
};

void TestRelay::forwardsBothWaysAtOnceByteExact_data()
{
    QTest::addColumn<bool>("listen");
    QTest::addColumn<int>("aToB");
    QTest::addColumn<int>("bToA");
    QTest::newRow("listen, one byte each way") << true << 1 << 1;
    QTest::newRow("listen, one way only") << true << 5000 << 0;
    QTest::newRow("listen, 24 MiB flood both ways") << true << 24 << 24;
    QTest::newRow("connect both, 24 MiB flood both ways") << false << 24 << 24;
    QTest::newRow("connect both, uneven") << false << 3 << 70001;
}

void TestRelay::forwardsBothWaysAtOnceByteExact()
{
    QFETCH(bool, listen);
    QFETCH(int, aToB);
    QFETCH(int, bToA);
    // Rows of floods give MiB, others bytes.
    const qsizetype forward = aToB < 100 && aToB > 10 ? qsizetype(aToB) << 20 : aToB;
    const qsizetype backward = bToA < 100 && bToA > 10 ? qsizetype(bToA) << 20 : bToA;
    Pair pair;
    QVERIFY(listen ? JoinListenToConnect(&pair) : JoinConnectToConnect(&pair));
    const QByteArray one = PatternBytes(forward, 1);
    const QByteArray other = PatternBytes(backward, 2);
    pair.a.CollectWhileRunning(65536);
    pair.b.CollectWhileRunning(65536);
    StreamWriter fromA(pair.a.Handle(), one);
    StreamWriter fromB(pair.b.Handle(), other);
    QTRY_VERIFY_WITH_TIMEOUT(pair.b.received.size() >= forward && pair.a.received.size() >= backward, 60000);
    QVERIFY(pair.b.received == one);
    QVERIFY(pair.a.received == other);
    QCOMPARE(pair.relay->DirectionCounts(CRelay::AtoB).bytes, forward);
    QCOMPARE(pair.relay->DirectionCounts(CRelay::BtoA).bytes, backward);
    QCOMPARE(pair.relay->DirectionCounts(CRelay::AtoB).lost, 0);
    QVERIFY(pair.relay->DirectionCounts(CRelay::AtoB).peakWaiting <= CRelay::kHoldAt + CRelay::kReadChunk);
    QVERIFY(pair.relay->DirectionCounts(CRelay::BtoA).peakWaiting <= CRelay::kHoldAt + CRelay::kReadChunk);
}

void TestRelay::slowReaderHoldsWriterBackWithinBound()
{
    Pair pair;
    QVERIFY(JoinListenToConnect(&pair));
    const qsizetype total = qsizetype(64) << 20;
    const QByteArray data = PatternBytes(total, 3);
    StreamWriter writer(pair.a.Handle(), data);
    // B's peer reads nothing: the relay stops reading A, and A's writer stops with most unsent.
    QTRY_VERIFY_WITH_TIMEOUT(pair.relay->DirectionCounts(CRelay::AtoB).holds > 0, 20000);
    const qsizetype stalledAt = writer.Written();
    QVERIFY2(stalledAt < total / 2, qPrintable(QString::number(stalledAt)));
    QVERIFY(pair.relay->Waiting(CRelay::AtoB) <= CRelay::kHoldAt + CRelay::kReadChunk);
    // Reading again, everything comes through, in order, the queue bounded all the way.
    pair.b.CollectWhileRunning(1 << 20);
    QTRY_COMPARE_WITH_TIMEOUT(pair.b.received.size(), total, 60000);
    QVERIFY(pair.b.received == data);
    QVERIFY(pair.relay->DirectionCounts(CRelay::AtoB).peakWaiting <= CRelay::kHoldAt + CRelay::kReadChunk);
}

void TestRelay::peerCloseEndsOtherSideAfterItsBytes()
{
    Pair pair;
    QVERIFY(JoinListenToConnect(&pair));
    QSignalSpy ended(pair.relay.get(), &CRelay::ConnectionEnded);
    const QByteArray data = PatternBytes(3 << 20, 4);
    pair.b.CollectWhileRunning(65536);
    {
        StreamWriter writer(pair.a.Handle(), data);
        QTRY_VERIFY_WITH_TIMEOUT(writer.IsDone(), 20000);
    }
    pair.a = LoopbackPeer();  // closes A's peer with bytes still on their way
    QTRY_COMPARE_WITH_TIMEOUT(pair.b.received.size(), data.size(), 20000);
    QVERIFY(pair.b.received == data);
    QTRY_COMPARE(ended.size(), 1);
    QCOMPARE(ended.at(0).at(0).toInt(), 0);
    // The listening side takes the next client, and B connects again for it.
    pair.a = LoopbackPeer::ConnectTcp(quint16(pair.relay->Side(0).OwnPort()));
    QTRY_VERIFY(pair.relay->Side(1).IsOpen());
    LoopbackPeer again = pair.bListener.AcceptTcp();
    QVERIFY(again.IsValid());
    QVERIFY(pair.a.Write("again") == 5);
    again.CollectWhileRunning(65536);
    QTRY_COMPARE(again.received, QByteArray("again"));
}

void TestRelay::serialLineBridgedToTcp()
{
    PtyDevice device;
    if (!device.IsValid())
        QSKIP("no pseudo-terminal here");
    CRelay relay(Side(device.Path() + QStringLiteral(":115200")), Side(QStringLiteral("listen:0")));
    QString error;
    QVERIFY2(relay.Start(&error), qPrintable(error));
    QTRY_VERIFY(device.IsOpenedRaw());
    LoopbackPeer client = LoopbackPeer::ConnectTcp(quint16(relay.Side(1).OwnPort()));
    QVERIFY(client.IsValid());
    QTRY_VERIFY(relay.Side(1).HasPeer());
    client.CollectWhileRunning(65536);
    const QByteArray fromLine = PatternBytes(200000, 5);
    const QByteArray fromClient = PatternBytes(150000, 6);
    device.Write(fromLine);
    StreamWriter writer(client.Handle(), fromClient, 4096);
    QTRY_COMPARE_WITH_TIMEOUT(client.received.size(), fromLine.size(), 30000);
    QVERIFY(client.received == fromLine);
    QTRY_COMPARE_WITH_TIMEOUT(device.received.size(), fromClient.size(), 30000);
    QVERIFY(device.received == fromClient);
}

void TestRelay::datagramsBridgedToTcp()
{
    LoopbackPeer device = LoopbackPeer::BindUdp();
    CRelay relay(Side(QStringLiteral("udp://127.0.0.1:%1").arg(device.Port())), Side(QStringLiteral("listen:0")));
    QString error;
    QVERIFY2(relay.Start(&error), qPrintable(error));
    LoopbackPeer client = LoopbackPeer::ConnectTcp(quint16(relay.Side(1).OwnPort()));
    QTRY_VERIFY(relay.Side(1).HasPeer());
    client.CollectWhileRunning(65536);
    // Datagrams that arrive together are each relayed, in order.
    QByteArray sent;
    for (int i = 0; i < 40; ++i) {
        const QByteArray datagram = PatternBytes(1 + i * 37, quint32(10 + i));
        QCOMPARE(device.WriteTo(datagram, quint16(relay.Side(0).OwnPort())), datagram.size());
        sent += datagram;
    }
    QTRY_COMPARE(client.received.size(), sent.size());
    QVERIFY(client.received == sent);
    QCOMPARE(relay.DirectionCounts(CRelay::AtoB).telegrams, 40);
    QCOMPARE(client.Write("answer"), 6);
    QTRY_COMPARE(relay.DirectionCounts(CRelay::BtoA).bytes + relay.DirectionCounts(CRelay::BtoA).lost, 6);
    QCOMPARE(relay.DirectionCounts(CRelay::BtoA).lost, 0);
    QByteArray back;
    QTRY_VERIFY(!(back += device.ReadNow()).isEmpty());
    QCOMPARE(back, QByteArray("answer"));
}

void TestRelay::tlsEndedOnOneSide()
{
    // TLS ends at the relay with the user's certificate; the other side is plain TCP.
    OpenSslCerts certs;
    if (!certs.IsValid() || !certs.Make(QStringLiteral("server"), {QStringLiteral("localhost"), QStringLiteral("IP:127.0.0.1")}))
        QSKIP("the openssl command cannot make certificates here");
    CQnDoc doc;
    doc.SetSlotString(CQnDoc::SLOT_SERVER_TLS_FIRST + 1, certs.Cert(QStringLiteral("server")));
    doc.SetSlotString(CQnDoc::SLOT_SERVER_TLS_FIRST + 2, certs.Key(QStringLiteral("server")));
    CRelayAddress a;
    QString error;
    QVERIFY2(CRelayAddress::Parse(QStringLiteral("tls-listen:0"), &doc, &a, &error), qPrintable(error));
    LoopbackPeer server = LoopbackPeer::ListenTcp();
    CRelay relay(a, Side(QStringLiteral("127.0.0.1:%1").arg(server.Port())));
    QVERIFY2(relay.Start(&error), qPrintable(error));
    OpenSslPeer client;
    QVERIFY(client.StartClient(quint16(relay.Side(0).OwnPort()), {QStringLiteral("-quiet")}));
    QTRY_VERIFY_WITH_TIMEOUT(relay.Side(1).IsOpen(), 10000);
    LoopbackPeer plain = server.AcceptTcp();
    QVERIFY(plain.IsValid());
    plain.CollectWhileRunning(65536);
    client.Write("over tls\n");
    QTRY_COMPARE_WITH_TIMEOUT(plain.received, QByteArray("over tls\n"), 10000);
    QCOMPARE(plain.Write("plain back\n"), 11);
    QTRY_VERIFY_WITH_TIMEOUT(client.Output().contains("plain back\n"), 10000);
}

void TestRelay::sideThatCannotOpenFailsStart()
{
    // Port held by a listener of the test's: the relay's own listen fails, and nothing stays open.
    LoopbackPeer holder = LoopbackPeer::ListenTcp();
    CRelay relay(Side(QStringLiteral("listen:%1").arg(holder.Port())), Side(QStringLiteral("127.0.0.1:1")));
    QString error;
    QVERIFY(!relay.Start(&error));
    QVERIFY2(error.startsWith(QStringLiteral("A (listen:")), qPrintable(error));
    QVERIFY(!relay.Side(0).IsOpen());
    QVERIFY(!relay.Side(1).IsOpen());
}

QTEST_GUILESS_MAIN(TestRelay)
#include "tst_relay.moc"
