// quillnet --relay: the real executable between two loopback peers, ended by its duration or a
// signal, its trace read by the packet analyser.
#include "net/loopbackpeer.h"
#include "support/tsharkreader.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

struct Relay
{
    QProcess process;
    QString stderrText;
    // The port a listening side reported ("A: 待受中 ﾎﾟｰﾄ 40000"); 0 when none came.
    quint16 WaitListenPort(QChar side)
    {
        const QRegularExpression line(QStringLiteral("%1: 待受中 ﾎﾟｰﾄ (\\d+)").arg(side));
        QRegularExpressionMatch match;
        (void)QTest::qWaitFor(
            [&] {
                stderrText += QString::fromUtf8(process.readAllStandardError());
                match = line.match(stderrText);
                return match.hasMatch() || process.state() == QProcess::NotRunning;
            },
            10000);
        return match.hasMatch() ? quint16(match.captured(1).toUInt()) : 0;
    }
    int Finish()
    {
        if (!process.waitForFinished(20000))
            return -1;
        stderrText += QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

}  // namespace

class TestRelayCommand : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void refusesBeforeOpening_data();
    void refusesBeforeOpening();
    void relaysUntilDurationOrSignal_data();
    void relaysUntilDurationOrSignal();
};

void TestRelayCommand::refusesBeforeOpening_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said");
    QTest::newRow("one side") << QStringList{"--relay", "listen:0"} << 2 << "相手を二つ";
    QTest::newRow("three sides") << QStringList{"--relay", "listen:0", "127.0.0.1:1", "127.0.0.1:2"} << 2 << "相手を二つ";
    QTest::newRow("side that does not read") << QStringList{"--relay", "listen:0", "nowhere"} << 2 << "nowhere";
    QTest::newRow("duration zero") << QStringList{"--relay", "listen:0", "127.0.0.1:1", "--duration", "0"} << 2 << "--duration";
    QTest::newRow("duration without relay") << QStringList{"--duration", "3"} << 2 << "--relay と一緒に";
    QTest::newRow("disturbance that does not read") << QStringList{"--relay", "listen:0", "127.0.0.1:1", "--disturb", "drop:200"} << 2 << "drop:200";
    QTest::newRow("batch option") << QStringList{"--relay", "listen:0", "127.0.0.1:1", "--results", "x.csv"} << 2 << "--results";
    QTest::newRow("settings that cannot be read") << QStringList{"--relay", "listen:0", "127.0.0.1:1", "--settings", "/nonexistent/x.qn"} << 2 << "設定ﾌｧｲﾙ";
    QTest::newRow("trace into a folder") << QStringList{"--relay", "listen:0", "127.0.0.1:1", "--pcapng", "/"} << 2 << "pcapng";
    QTest::newRow("replies without settings") << QStringList{"--relay", "listen:0", "127.0.0.1:1", "--relay-replies", "A>B"} << 2 << "--relay-replies";
    QTest::newRow("checksum that does not read") << QStringList{"--relay", "listen:0", "127.0.0.1:1", "--checksum", "NO-SUCH-SUM"} << 2 << "NO-SUCH-SUM";
    QTest::newRow("duration ends a relay that never had a peer") << QStringList{"--relay", "listen:0", "127.0.0.1:1", "--duration", "0.3"} << 0 << "A>B: 0 電文";
}

void TestRelayCommand::refusesBeforeOpening()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    Relay relay;
    relay.process.start(QStringLiteral(QN_EXECUTABLE), arguments);
    QCOMPARE(relay.Finish(), exitCode);
    QVERIFY2(relay.stderrText.contains(said), qPrintable(relay.stderrText));
}

void TestRelayCommand::relaysUntilDurationOrSignal_data()
{
    QTest::addColumn<int>("signal");  // 0: --duration ends it
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("more");
    QTest::addColumn<QString>("said");
    QTest::newRow("SIGINT") << int(SIGINT) << 130 << QStringList() << "A>B: 1 電文 5 ﾊﾞｲﾄ";
    QTest::newRow("SIGTERM, a seed said") << int(SIGTERM) << 130 << QStringList{"--disturb", "B>A delay:1", "--seed", "77"} << "妨害 B>A: delay:1 ｼｰﾄﾞ 77";
    QTest::newRow("duration") << 0 << 0 << QStringList{"--duration", "1.5"} << "B>A: 1 電文 5 ﾊﾞｲﾄ";
}

void TestRelayCommand::relaysUntilDurationOrSignal()
{
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    QFETCH(QStringList, more);
    QFETCH(QString, said);
    QTemporaryDir dir;
    const QString trace = dir.filePath(QStringLiteral("relay.pcapng"));
    LoopbackPeer server = LoopbackPeer::ListenTcp();
    Relay relay;
    relay.process.start(QStringLiteral(QN_EXECUTABLE), QStringList{"--relay", "listen:0", QStringLiteral("127.0.0.1:%1").arg(server.Port()),
                                                                   "--pcapng", trace} + more);
    const quint16 port = relay.WaitListenPort(u'A');
    QVERIFY2(port != 0, qPrintable(relay.stderrText));
    LoopbackPeer client = LoopbackPeer::ConnectTcp(port);
    LoopbackPeer accepted = server.AcceptTcp(10000);
    QVERIFY(accepted.IsValid());
    client.CollectWhileRunning(65536);
    accepted.CollectWhileRunning(65536);
    QCOMPARE(client.Write("hello"), 5);
    QTRY_COMPARE(accepted.received, QByteArray("hello"));
    QCOMPARE(accepted.Write("world"), 5);
    QTRY_COMPARE(client.received, QByteArray("world"));
    if (signal != 0)
        QCOMPARE(::kill(pid_t(relay.process.processId()), signal), 0);
    QCOMPARE(relay.Finish(), exitCode);
    QVERIFY2(relay.stderrText.contains(said), qPrintable(relay.stderrText));

    // Each telegram twice: as read on one side's connection and as sent on the other's.
    if (TsharkReader::Program().isEmpty())
        QSKIP("tshark is not installed");
    QList<QStringList> rows;
    QString error;
    QVERIFY2(TsharkReader::Fields(trace, QStringLiteral("tcp.len > 0"), {"tcp.stream", "tcp.payload"}, &rows, &error), qPrintable(error));
    QStringList payloads;
    QSet<QString> streams;
    for (const QStringList &row : std::as_const(rows)) {
        streams.insert(row.value(0));
        payloads << QString::fromLatin1(TsharkReader::Bytes(row.value(1)));
    }
    QCOMPARE(payloads, QStringList({"hello", "hello", "world", "world"}));
    QCOMPARE(streams.size(), 2);
}

QTEST_GUILESS_MAIN(TestRelayCommand)
#include "tst_relaycommand.moc"
