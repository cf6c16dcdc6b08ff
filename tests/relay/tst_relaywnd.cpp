// The relay window: started from its fields against loopback peers, its History and statistics,
// and what it keeps in the document.
#include "loopbackpeer.h"

#include "display/ui/cmessagewnd.h"
#include "document/cqndoc.h"
#include "relay/crelay.h"
#include "relay/crelayside.h"
#include "relay/crelaysettings.h"
#include "relay/ui/crelaywnd.h"

#include <QApplication>
#include <QRegularExpression>
#include <QTest>

class TestRelayWnd : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startsFromFields_data();
    void startsFromFields();
};

void TestRelayWnd::startsFromFields_data()
{
    QTest::addColumn<QString>("sideA");
    QTest::addColumn<QString>("disturbAtoB");
    QTest::addColumn<QString>("seed");
    QTest::addColumn<bool>("starts");
    QTest::addColumn<QString>("historyHas");  // a History line that must be there (regular expression)
    QTest::addColumn<QString>("checksum");
    QTest::newRow("plain") << "listen:0" << "" << "" << true << "^.*A>B 127\\.0\\.0\\.1:\\d+ " << "";
    QTest::newRow("disturbed, seed kept") << "listen:0" << "split:2" << "5" << true << "^.*A>B 分割 " << "";
    QTest::newRow("checksum marks the bad") << "listen:0" << "" << "" << true << "^.*A>B ﾁｪｯｸｻﾑ不正 受信 6F 正しくは A5" << "SUM8";
    QTest::newRow("bad side") << "listen" << "" << "" << false << "" << "";
    QTest::newRow("bad disturbance") << "listen:0" << "drop:x" << "" << false << "" << "";
    QTest::newRow("bad seed") << "listen:0" << "" << "-1" << false << "" << "";
    QTest::newRow("bad checksum rule") << "listen:0" << "" << "" << false << "" << "NO-SUCH-SUM";
}

void TestRelayWnd::startsFromFields()
{
    QFETCH(QString, sideA);
    QFETCH(QString, disturbAtoB);
    QFETCH(QString, seed);
    QFETCH(bool, starts);
    QFETCH(QString, historyHas);
    QFETCH(QString, checksum);
    LoopbackPeer server = LoopbackPeer::ListenTcp();
    CQnDoc doc;
    CRelayWnd window(&doc);
    window.SideEdit(0)->setText(sideA);
    window.SideEdit(1)->setText(QStringLiteral("127.0.0.1:%1").arg(server.Port()));
    window.DisturbEdit(0)->setText(disturbAtoB);
    window.SeedEdit()->setText(seed);
    window.ChecksumEdit()->setText(checksum);
    QCOMPARE(window.Start(), starts);
    // What was typed is kept, started or not.
    QCOMPARE(CRelaySettings::Read(doc).sideA, sideA);
    QCOMPARE(doc.IsModified(), true);
    if (!starts) {
        QVERIFY(!window.StateText().isEmpty());
        QVERIFY(!window.IsRunning());
        return;
    }
    const QRegularExpression port(QStringLiteral("A: 待受中 ﾎﾟｰﾄ (\\d+)"));
    const QRegularExpressionMatch match = port.match(window.StateText());
    QVERIFY2(match.hasMatch(), qPrintable(window.StateText()));
    LoopbackPeer client = LoopbackPeer::ConnectTcp(quint16(match.captured(1).toUInt()));
    QTRY_VERIFY(window.Relay()->Side(1).IsOpen());
    LoopbackPeer accepted = server.AcceptTcp();
    QVERIFY(accepted.IsValid());
    accepted.CollectWhileRunning(65536);
    QCOMPARE(client.Write("hello"), 5);
    QTRY_COMPARE(accepted.received, QByteArray("hello"));
    QTRY_VERIFY(window.StatsText(CRelay::AtoB).contains(QStringLiteral("ﾊﾞｲﾄ 5 ")));
    const QStringList lines = window.History()->Lines();
    QVERIFY2(!lines.filter(QRegularExpression(historyHas)).isEmpty(), qPrintable(lines.join(QLatin1Char('\n'))));
    if (!seed.isEmpty())
        QVERIFY(!lines.filter(QStringLiteral("ｼｰﾄﾞ %1").arg(seed)).isEmpty());
    window.Stop();
    QVERIFY(!window.IsRunning());
    QCOMPARE(window.StateText(), QStringLiteral("停止中"));
}

QTEST_MAIN(TestRelayWnd)
#include "tst_relaywnd.moc"
