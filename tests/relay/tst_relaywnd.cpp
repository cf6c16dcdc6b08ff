// The relay window: started from its fields against loopback peers, its History and statistics,
// and what it keeps in the document.
#include "loopbackpeer.h"

#include "display/ui/cdumpview.h"
#include "display/ui/cfindbar.h"
#include "display/ui/cmessagewnd.h"
#include "display/ui/clineview.h"
#include "document/cqndoc.h"
#include "relay/crelay.h"
#include "relay/crelayside.h"
#include "relay/crelaysettings.h"
#include "relay/ui/crelaywnd.h"
#include "session/ui/cstatswnd.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTest>

namespace {

// Starts `window` between a client of its side A (listen:0) and a server for its side B, both
// connected once this returns true.
bool StartBetween(CRelayWnd *window, LoopbackPeer *server, LoopbackPeer *client, LoopbackPeer *accepted)
{
    *server = LoopbackPeer::ListenTcp();
    window->SideEdit(0)->setText(QStringLiteral("listen:0"));
    window->SideEdit(1)->setText(QStringLiteral("127.0.0.1:%1").arg(server->Port()));
    if (!window->Start())
        return false;
    *client = LoopbackPeer::ConnectTcp(quint16(window->Relay()->Side(0).OwnPort()));
    if (!QTest::qWaitFor([window] { return window->Relay()->Side(1).HasPeer(); }, 5000))
        return false;
    *accepted = server->AcceptTcp();
    return accepted->IsValid();
}

}  // namespace

class TestRelayWnd : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startsFromFields_data();
    void startsFromFields();
    void countsEachDirection_data();
    void countsEachDirection();
    void marksDisturbances_data();
    void marksDisturbances();
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

void TestRelayWnd::countsEachDirection_data()
{
    // What each direction's peer writes, the disturbance of A>B, and the figures of the window's
    // statistics as "name=value" (received: read from the direction's first side; sent: passed on).
    QTest::addColumn<QByteArray>("fromA");
    QTest::addColumn<QByteArray>("fromB");
    QTest::addColumn<QString>("disturbAtoB");
    QTest::addColumn<QStringList>("figures");
    QTest::newRow("both ways") << QByteArray("hello") << QByteArray("pong!!") << ""
                               << QStringList{"A>B.bytesIn.total=5", "A>B.bytesOut.total=5", "A>B.telegramsOut.total=1",
                                              "B>A.bytesIn.total=6", "B>A.bytesOut.total=6", "B>A.largestIn=6",
                                              "A>B.sendQueued=0", "A>B.queueDrops=-"};
    QTest::newRow("A>B dropped: read, not passed on")
        << QByteArray("hello") << QByteArray("ok") << "drop:100"
        << QStringList{"A>B.bytesIn.total=5", "A>B.telegramsIn.total=1", "A>B.bytesOut.total=0", "B>A.bytesOut.total=2"};
    QTest::newRow("A>B split: one in, pieces out")
        << QByteArray("abcdefgh") << QByteArray() << "split:1"
        << QStringList{"A>B.telegramsIn.total=1", "A>B.telegramsOut.total=8", "A>B.bytesOut.total=8", "B>A.bytesIn.total=0"};
}

void TestRelayWnd::countsEachDirection()
{
    QFETCH(QByteArray, fromA);
    QFETCH(QByteArray, fromB);
    QFETCH(QString, disturbAtoB);
    QFETCH(QStringList, figures);
    CQnDoc doc;
    CRelayWnd window(&doc);
    window.DisturbEdit(0)->setText(disturbAtoB);
    LoopbackPeer server, client, accepted;
    QVERIFY(StartBetween(&window, &server, &client, &accepted));
    accepted.CollectWhileRunning(65536);
    client.CollectWhileRunning(65536);
    QCOMPARE(client.Write(fromA), fromA.size());
    QCOMPARE(accepted.Write(fromB), fromB.size());
    QTRY_COMPARE(client.received, fromB);
    QTRY_COMPARE(window.Traffic(CRelay::AtoB).SinceConnect().bytesIn, qint64(fromA.size()));
    if (!disturbAtoB.startsWith(QStringLiteral("drop")))
        QTRY_COMPARE(accepted.received, fromA);
    window.ShowStatsWindow();
    CStatsWnd *stats = window.StatsWindow();
    QVERIFY(stats->isVisible());
    stats->Refresh();
    for (const QString &figure : figures) {
        const QStringList nameValue = figure.split(QLatin1Char('='));
        QCOMPARE(stats->Figure(nameValue[0]), nameValue[1]);
    }
    // The session's figures are not the relay's: no response times, no unnamed counts.
    QVERIFY(stats->Figure(QStringLiteral("response.p50")).isNull());
    QVERIFY(stats->Figure(QStringLiteral("bytesIn.total")).isNull());
}

void TestRelayWnd::marksDisturbances_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<QString>("disturbance");
    QTest::addColumn<QString>("mark");  // every mark line's text after the stamp (regular expression)
    QTest::newRow("A>B dropped") << int(CRelay::AtoB) << "drop:100" << "A>B 破棄 5 ﾊﾞｲﾄ";
    QTest::newRow("B>A delayed") << int(CRelay::BtoA) << "delay:3" << "B>A 遅延 3 ms";
    QTest::newRow("A>B corrupted") << int(CRelay::AtoB) << "corrupt-telegram:100" << "A>B 改変 [1-5] ﾊﾞｲﾄ目 [0-9A-F]{2}→[0-9A-F]{2}";
    QTest::newRow("B>A split") << int(CRelay::BtoA) << "split:2" << "B>A 分割 [3-5] 個";
}

void TestRelayWnd::marksDisturbances()
{
    QFETCH(int, direction);
    QFETCH(QString, disturbance);
    QFETCH(QString, mark);
    CQnDoc doc;
    CRelayWnd window(&doc);
    window.DisturbEdit(direction)->setText(disturbance);
    window.SeedEdit()->setText(QStringLiteral("7"));
    LoopbackPeer server, client, accepted;
    QVERIFY(StartBetween(&window, &server, &client, &accepted));
    const qint64 before = QDateTime::currentMSecsSinceEpoch() * 1000;
    QCOMPARE((direction == CRelay::AtoB ? client : accepted).Write("hello"), 5);
    CMessageWnd *history = window.History();
    const CLineStore &store = history->TextArea()->Store();
    const auto marks = [&store] {
        QStringList texts;
        for (int i = 0; i < store.Count(); ++i) {
            if (store.At(i).mark)
                texts << store.At(i).Text().mid(store.At(i).body);
        }
        return texts;
    };
    QTRY_VERIFY(!marks().isEmpty());
    const QRegularExpression expected(QLatin1Char('^') + mark + QLatin1Char('$'));
    for (const QString &text : marks())
        QVERIFY2(expected.match(text).hasMatch(), qPrintable(text));
    // After the telegram's line, which is no mark (nor is the seed's line); timed as a telegram is,
    // to the microsecond, the stamp shown being that time's.
    int first = 0;
    while (!store.At(first).mark)
        ++first;
    QVERIFY(first >= 2);
    const CLineStore::Line &line = store.At(first);
    QVERIFY(line.when >= before && line.when >= store.At(first - 1).when && store.At(first - 1).when > 0);
    QCOMPARE(line.Text().left(line.body), CMessageWnd::TimeStamp(std::time_t(line.when / 1000000)));

    // The find bar's filter shows the marks alone, in the lines and in the dump.
    history->ShowFindBar();
    QCOMPARE(history->FindBar()->DirectionBox()->count(), 4);
    history->FindBar()->DirectionBox()->setCurrentIndex(3);
    QCOMPARE(history->TextArea()->RowCount(), int(marks().size()));
    history->SetDumpView(true);
    QCOMPARE(history->Dump()->Model().Count(), int(marks().size()));
    history->SetDumpView(false);

    // Saved with the History, stamps and all.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("history.txt"));
    QString error;
    history->FindBar()->DirectionBox()->setCurrentIndex(0);
    QVERIFY2(history->SaveTo(path, &error), qPrintable(error));
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(saved.readAll());
    QVERIFY2(text.contains(store.At(first).Text() + QLatin1Char('\n')), qPrintable(text));
}

QTEST_MAIN(TestRelayWnd)
#include "tst_relaywnd.moc"
