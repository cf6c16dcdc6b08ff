// Reply rules on one direction of a relay, and the checksum check of both, between loopback peers.
#include "loopbackpeer.h"

#include "document/cqndoc.h"
#include "relay/crelay.h"
#include "relay/crelayreplies.h"
#include "relay/crelayside.h"
#include "session/creplyruletable.h"

#include <QSignalSpy>
#include <QTest>

namespace {

CRelayAddress Side(const QString &text)
{
    CRelayAddress address;
    QString error;
    if (!CRelayAddress::Parse(text, nullptr, &address, &error))
        qFatal("%s", qPrintable(error));
    return address;
}

}  // namespace

class TestRelayReplies : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rulesAnswerOneDirection_data();
    void rulesAnswerOneDirection();
};

void TestRelayReplies::rulesAnswerOneDirection_data()
{
    QTest::addColumn<int>("ruleDirection");  // -1: no rules
    QTest::addColumn<QString>("checksum");
    QTest::addColumn<QByteArray>("fromA");
    QTest::addColumn<QByteArray>("fromB");
    QTest::addColumn<QByteArray>("aGets");
    QTest::addColumn<QByteArray>("bGets");
    QTest::addColumn<int>("badAtoB");
    QTest::addColumn<int>("badBtoA");
    QTest::newRow("A>B rule answers A, B sees nothing") << 0 << "" << QByteArray("PING") << QByteArray() << QByteArray("PONG") << QByteArray() << 0 << 0;
    QTest::newRow("A>B rule passes what does not match") << 0 << "" << QByteArray("DATA") << QByteArray() << QByteArray() << QByteArray("DATA") << 0 << 0;
    QTest::newRow("B>A rule answers B") << 1 << "" << QByteArray() << QByteArray("PING") << QByteArray() << QByteArray("PONG") << 0 << 0;
    QTest::newRow("B>A rule leaves A>B alone") << 1 << "" << QByteArray("PING") << QByteArray() << QByteArray() << QByteArray("PING") << 0 << 0;
    // "12345678" ends with no valid SUM8; "1234" + its SUM8 (0xCA) is good.
    QTest::newRow("checksum: bad both ways") << -1 << "SUM8" << QByteArray("12345678") << QByteArray("ABC") << QByteArray("ABC") << QByteArray("12345678") << 1 << 1;
    QTest::newRow("checksum: good") << -1 << "SUM8" << QByteArray("1234\xCA") << QByteArray() << QByteArray() << QByteArray("1234\xCA") << 0 << 0;
}

void TestRelayReplies::rulesAnswerOneDirection()
{
    QFETCH(int, ruleDirection);
    QFETCH(QString, checksum);
    QFETCH(QByteArray, fromA);
    QFETCH(QByteArray, fromB);
    QFETCH(QByteArray, aGets);
    QFETCH(QByteArray, bGets);
    QFETCH(int, badAtoB);
    QFETCH(int, badBtoA);
    CQnDoc doc;
    CReplyRuleTable table;
    table.use = true;
    CReplyRule rule;
    rule.matchText = rule.replyText = true;
    rule.match = QStringLiteral("PING");
    rule.reply = QStringLiteral("PONG");
    table.rules << rule;
    table.Store(doc);

    LoopbackPeer server = LoopbackPeer::ListenTcp();
    CRelay relay(Side(QStringLiteral("listen:0")), Side(QStringLiteral("127.0.0.1:%1").arg(server.Port())));
    CRelayReplies replies(&relay);
    QString error;
    QVERIFY2(replies.UseRules(doc, ruleDirection, &error), qPrintable(error));
    QVERIFY2(replies.CheckChecksum(checksum, &error), qPrintable(error));
    QVERIFY(relay.Start(&error));
    LoopbackPeer a = LoopbackPeer::ConnectTcp(quint16(relay.Side(0).OwnPort()));
    QTRY_VERIFY(relay.Side(1).IsOpen());
    LoopbackPeer b = server.AcceptTcp();
    QVERIFY(b.IsValid());
    QTRY_VERIFY(relay.Side(1).HasPeer());
    a.CollectWhileRunning(65536);
    b.CollectWhileRunning(65536);
    if (!fromA.isEmpty())
        QCOMPARE(a.Write(fromA), fromA.size());
    if (!fromB.isEmpty())
        QCOMPARE(b.Write(fromB), fromB.size());
    QTRY_COMPARE(a.received, aGets);
    QTRY_COMPARE(b.received, bGets);
    QTRY_COMPARE(replies.BadChecksums(CRelay::AtoB), qint64(badAtoB));
    QCOMPARE(replies.BadChecksums(CRelay::BtoA), qint64(badBtoA));
    // An answered telegram is not forwarded, and nothing more arrives after a round trip.
    const QByteArray marker("END!");
    QCOMPARE(a.Write(marker), marker.size());
    QTRY_VERIFY(b.received.endsWith(marker));
    QCOMPARE(b.received, bGets + marker);
    QCOMPARE(a.received, aGets);
}

QTEST_GUILESS_MAIN(TestRelayReplies)
#include "tst_relayreplies.moc"
