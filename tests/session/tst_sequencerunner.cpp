// Command sequences run through the real view against a peer on a loopback TCP connection and a
// device on a pseudo-terminal: each kind of step, placeholders from what arrived, checksums, and a
// failure that names the step, the pattern and what arrived.
#include "res/commandids.h"
#include "session/csequencerunner.h"
#include "sessionharness.h"
#include "support/ptydevice.h"

#include "net/loopbackpeer.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

namespace {

// A peer that answers each CR it receives with `answer`; a '|' in it splits the answer into two
// writes a little apart, so that an expect sees its bytes arrive in pieces.
class AnsweringPeer
{
public:
    explicit AnsweringPeer(LoopbackPeer peer, QByteArray answer) : m_peer(std::move(peer)), m_answer(std::move(answer))
    {
        m_notifier = std::make_unique<QSocketNotifier>(m_peer.Handle(), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] {
            const QByteArray part = m_peer.ReadNow();
            if (part.isEmpty()) {
                m_notifier->setEnabled(false);
                return;
            }
            received += part;
            for (qsizetype i = 0; i < part.count('\r') && !m_answer.isEmpty(); ++i) {
                const QList<QByteArray> pieces = m_answer.split('|');
                m_peer.Write(pieces[0]);
                if (pieces.size() > 1)
                    QTimer::singleShot(30, m_notifier.get(), [this, rest = pieces[1]] { m_peer.Write(rest); });
            }
        });
    }
    QByteArray received;

private:
    LoopbackPeer m_peer;
    QByteArray m_answer;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

CCommandsFile::Sequence Parse(const QByteArray &rows)
{
    CCommandsFile file;
    QString error;
    if (!file.Parse("name,key,action,form,data,checksum,ms,note\n" + rows, &error)) {
        qWarning("%s", qPrintable(error));
        return {};
    }
    return file.Sequences().value(0);
}

}  // namespace

class TestSequenceRunner : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void aSequenceRunsAgainstARealPeer_data()
    {
        QTest::addColumn<bool>("pty");
        QTest::addColumn<QByteArray>("rows");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("atLeastMs");
        const int passed = CSequenceRunner::Passed;
        const int failed = CSequenceRunner::Failed;
        QTest::newRow("plain command") << false << QByteArray("a,,send,text,PING\\r") << QByteArray() << passed << QByteArray("PING\r") << "" << 0;
        QTest::newRow("send then expect text, in pieces")
            << false << QByteArray("a,,send,text,PING\\r\na,,expect,text,OK\\r\\n") << QByteArray("O|K\r\n") << passed << QByteArray("PING\r") << "" << 0;
        QTest::newRow("expect times out: step, pattern and arrival named")
            << false << QByteArray("a,,send,text,PING\\r\na,,expect,text,OK,,200") << QByteArray("NG\r\n") << failed << QByteArray("PING\r")
            << "「a」ｽﾃｯﾌﾟ2 expect text OK (200ms): 200ﾐﾘ秒以内に一致しませんでした。受信 4 ﾊﾞｲﾄ: 4E470D0A" << 200;
        QTest::newRow("regex group into the next send")
            << false << QByteArray("a,,send,text,ID?\\r\na,,expect,regex,ID=(\\d+)\\r,,,\na,,send,text+vars,GET $1 ${len}\\r")
            << QByteArray("ID=42\r") << passed << QByteArray("ID?\rGET 42 6\r") << "" << 0;
        QTest::newRow("hex with ?? and ${seq}")
            << false << QByteArray("a,,send,hex,0D\na,,expect,hex,02 ?? 03\na,,send,hex+vars,A0$1${seq:u8}") << QByteArray("\x02\x31\x03")
            << passed << QByteArray("\r\xA0\x31\x01") << "" << 0;
        QTest::newRow("checksum put in") << false << QByteArray("a,,send,text,123456789,CRC-16/MODBUS:le") << QByteArray() << passed
                                         << QByteArray("123456789\x37\x4B") << "" << 0;
        QTest::newRow("wait keeps its time") << false << QByteArray("a,,send,text,A\na,,wait,,,,150\na,,send,text,B") << QByteArray() << passed
                                             << QByteArray("AB") << "" << 150;
        QTest::newRow("a send of parts") << false << QByteArray("a,,send,text+vars,X${wait:100}Y") << QByteArray() << passed << QByteArray("XY") << "" << 100;
        QTest::newRow("pty: send then expect") << true << QByteArray("a,,send,text,STAT?\\r\na,,expect,text,READY") << QByteArray("READY\r")
                                               << passed << QByteArray("STAT?\r") << "" << 0;
        QTest::newRow("pty: expect fails with nothing arrived") << true << QByteArray("a,,send,text,Q\\r\na,,expect,hex,06,,100") << QByteArray()
                                                                << failed << QByteArray("Q\r") << "「a」ｽﾃｯﾌﾟ2 expect hex 06 (100ms): 100ﾐﾘ秒以内に一致しませんでした。受信なし" << 100;
    }
    void aSequenceRunsAgainstARealPeer()
    {
        QFETCH(bool, pty);
        QFETCH(QByteArray, rows);
        QFETCH(QByteArray, answer);
        QFETCH(int, outcome);
        QFETCH(QByteArray, sent);
        QFETCH(QString, failure);
        QFETCH(int, atLeastMs);
        SessionHarness h;
        PtyDevice device;
        std::unique_ptr<AnsweringPeer> peer;
        LoopbackPeer listener;
        if (pty) {
            device.answer = answer;
            h.Configure(TYPE_SERIAL, {device.Path(), QStringLiteral("115200")}, CQnDoc::SLOT_SERIAL_DEVICE);
        } else {
            listener = LoopbackPeer::ListenTcp();
            h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(listener.Port()), QStringLiteral("0")},
                        CQnDoc::SLOT_CLIENT_ADDRESS);
        }
        h.Command(ID_SOCKET_CONNECT);
        if (!pty)
            peer = std::make_unique<AnsweringPeer>(listener.AcceptTcp(), answer);
        QTRY_COMPARE(h.View()->State(), ST_CONNECTED);

        CSequenceRunner runner;
        runner.SetSender([&h](const QByteArray &bytes) { return h.View()->SendSequenceTelegram(bytes, QStringLiteral("a")); });
        h.View()->AttachSequenceRunner(&runner);
        QSignalSpy finished(&runner, &CSequenceRunner::Finished);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(runner.Start(Parse(rows), 1));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        QVERIFY(clock.elapsed() >= atLeastMs);
        QCOMPARE(finished[0][0].toInt(), outcome);
        QCOMPARE(finished[0][1].toString(), failure);
        QTRY_COMPARE(pty ? device.received : peer->received, sent);
        QVERIFY(!runner.IsRunning());
        h.View()->AttachSequenceRunner(nullptr);
        // Each telegram sent is in the History and the Log, named by its sequence.
        QVERIFY(h.HistoryLines().value(0).startsWith(QStringLiteral("S ")));
        QVERIFY(h.LogLines().join(u'\n').contains(QStringLiteral("ｺﾏﾝﾄﾞ「a」送信 ")));
    }

    void aSequenceStoppedOrWithoutConnectionEndsAtItsStep_data()
    {
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("failure");
        QTest::newRow("stopped while it waits") << true << int(CSequenceRunner::Stopped) << "「a」を中止しました (ｽﾃｯﾌﾟ2)";
        QTest::newRow("not connected") << false << int(CSequenceRunner::Failed) << "「a」ｽﾃｯﾌﾟ1 send text A: 送信できません (接続されていません)";
    }
    void aSequenceStoppedOrWithoutConnectionEndsAtItsStep()
    {
        QFETCH(bool, connected);
        QFETCH(int, outcome);
        QFETCH(QString, failure);
        SessionHarness h;
        LoopbackPeer listener = LoopbackPeer::ListenTcp();
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(listener.Port()), QStringLiteral("0")},
                    CQnDoc::SLOT_CLIENT_ADDRESS);
        LoopbackPeer accepted;
        if (connected) {
            h.Command(ID_SOCKET_CONNECT);
            accepted = listener.AcceptTcp();
            QTRY_COMPARE(h.View()->State(), ST_CONNECTED);
        }
        CSequenceRunner runner;
        runner.SetSender([&h](const QByteArray &bytes) { return h.View()->SendSequenceTelegram(bytes, QStringLiteral("a")); });
        QSignalSpy finished(&runner, &CSequenceRunner::Finished);
        runner.Start(Parse("a,,send,text,A\na,,wait,,,,60000\n"), 1);
        if (connected) {
            QCOMPARE(runner.Step(), 2);
            runner.Stop();
        }
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toInt(), outcome);
        QCOMPARE(finished[0][1].toString(), failure);
        QCOMPARE(runner.Failure(), outcome == CSequenceRunner::Failed ? failure : QString());
    }
};

QTEST_MAIN(TestSequenceRunner)
#include "tst_sequencerunner.moc"
