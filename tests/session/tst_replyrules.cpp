// Reply rules through the whole program for each socket type, against peers on loopback: the
// answer, its delay, loopback beside it, the History and Log lines, and the document file.
#include "display/ui/celidedlabel.h"
#include "res/commandids.h"
#include "net/loopbackpeer.h"
#include "sessionharness.h"
#include "support/ptydevice.h"
#include "support/sessionprobe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <algorithm>

namespace {

const QString kTag = QStringLiteral(" [CQnView]");

CReplyRule TextRule(int kind, const QString &match, const QString &reply, int delay = 0)
{
    CReplyRule r;
    r.kind = kind;
    r.matchText = true;
    r.match = match;
    r.replyText = true;
    r.reply = reply;
    r.delay = delay;
    return r;
}

CReplyRuleTable Table(const QList<CReplyRule> &rules)
{
    CReplyRuleTable t;
    t.use = true;
    t.rules = rules;
    return t;
}

// The peer a rule answers, over the connection type of the test's row: a client of the program's
// server, the server of its client, a UDP socket it sends to, or a device on a pseudo-terminal.
struct Device
{
    SessionHarness &h;
    int type;
    LoopbackPeer server = LoopbackPeer::ListenTcp();
    LoopbackPeer peer;
    PtyDevice line;
    quint16 port = 0;

    Device(SessionHarness &harness, int socketType) : h(harness), type(socketType)
    {
        if (type == TYPE_TCP_SERVER)
            h.ConfigureTcpServer();
        else if (type == TYPE_TCP_CLIENT)
            h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(server.Port()), QString()}, 4);
        else if (type == TYPE_SERIAL)
            h.Configure(TYPE_SERIAL, {line.Path(), QStringLiteral("115200")}, CQnDoc::SLOT_SERIAL_DEVICE);
        else {
            peer = LoopbackPeer::BindUdp();
            h.ConfigureUdp(peer.Port());
        }
    }
    // Connected, with what the peer read so far forgotten.
    bool Connect()
    {
        if (type != TYPE_TCP_SERVER || h.View()->State() == ST_DISCONNECTED)
            h.Command(ID_SOCKET_CONNECT);
        port = h.OwnPort();
        if (type == TYPE_TCP_SERVER) {
            peer = LoopbackPeer::ConnectTcp(port);
        } else if (type == TYPE_TCP_CLIENT) {
            peer = server.AcceptTcp();
        } else if (type == TYPE_SERIAL) {
            if (!QTest::qWaitFor([&] { return line.IsOpenedRaw(); }))
                return false;
            line.received.clear();
        } else {
            peer.Drain();  // the same socket: what the last connection sent is left behind
            peer.received.clear();
        }
        // The server has taken its client once the pane names it.
        return QTest::qWaitFor([&] {
            return h.View()->State() == ST_CONNECTED &&
                   (type != TYPE_TCP_SERVER || h.Frame()->GetConnectionPane()->FullText().startsWith(
                                                   QStringLiteral("ｸﾗｲｱﾝﾄ 127.0.0.1:%1 ").arg(peer.Port())));
        });
    }
    // All the peer has heard so far.
    const QByteArray &Heard() { return type == TYPE_SERIAL ? line.received : peer.Drain(); }
    void Ask(QByteArrayView request)
    {
        if (type == TYPE_SERIAL)
            line.Write(request.toByteArray());
        else if (type == TYPE_UDP)
            peer.WriteTo(request, port);
        else
            peer.Write(request);
    }
    // The peer goes (a client of the server) or the program disconnects.
    void Disconnect()
    {
        if (type == TYPE_TCP_SERVER) {
            peer = LoopbackPeer();  // the server takes one client: gone before the next comes
            QVERIFY(QTest::qWaitFor(
                [&] { return h.Frame()->GetConnectionPane()->FullText().startsWith(QStringLiteral("相手が切断しました")); }));
        } else {
            h.Command(ID_SOCKET_DISCONNECT);
        }
    }
};

void SocketTypes()
{
    QTest::addColumn<int>("type");
    QTest::newRow("TCP server") << int(TYPE_TCP_SERVER);
    QTest::newRow("TCP client") << int(TYPE_TCP_CLIENT);
    QTest::newRow("UDP") << int(TYPE_UDP);
    QTest::newRow("serial") << int(TYPE_SERIAL);
}

}  // namespace

class TestReplyRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void tcpServerAnswersByRuleAndLoopbackEchoesTheRest()
    {
        SessionHarness h;
        h.ConfigureTcpServer();
        h.View()->SetReplyRules(Table({TextRule(CReplyRule::KindContains, QStringLiteral("STAT"), QStringLiteral("ACK\\r\\n"))}));
        QVERIFY(h.Doc().IsModified());
        h.Command(ID_SOCKET_CONNECT);
        LoopbackPeer client = LoopbackPeer::ConnectTcp(h.OwnPort());
        QTRY_VERIFY(SessionProbe::TcpServer(h.View()) && h.LogLines().contains(QStringLiteral(">>> ON ACCEPT ｸﾗｲｱﾝﾄ構築[TCPSrvr]")));

        client.Write(QByteArray("STAT?"));
        QTRY_COMPARE(client.Drain(), QByteArray("ACK\r\n"));
        QCOMPARE(h.HistoryLines().mid(h.HistoryLines().size() - 2),
                 (QStringList{QStringLiteral("R 535441543F"), QStringLiteral("S 41434B0D0A")}));
        QCOMPARE(h.LogLines().filter(QStringLiteral("応答ﾙｰﾙ")), QStringList{QStringLiteral("応答ﾙｰﾙ1 送信 41434B0D0A") + kTag});

        // No rule holds and loopback is off: nothing goes back.
        client.received.clear();
        client.Write(QByteArray("other"));
        QTRY_VERIFY(h.HistoryLines().last() == QStringLiteral("R 6F74686572"));
        QVERIFY(LoopbackPeer::Barrier());
        QCOMPARE(client.Drain(), QByteArray());

        // Loopback on: a rule's reply takes the place of the echo; the rest is echoed.
        h.Command(ID_LOOPBACK_ON);
        client.Write(QByteArray("other"));
        QTRY_COMPARE(client.Drain(), QByteArray("other"));
        client.received.clear();
        client.Write(QByteArray("xSTAT"));
        QTRY_COMPARE(client.Drain(), QByteArray("ACK\r\n"));
        QCOMPARE(h.LogLines().filter(QStringLiteral("応答ﾙｰﾙ1 送信")).size(), 2);
        QVERIFY(LoopbackPeer::Barrier());
        QCOMPARE(client.Drain(), QByteArray("ACK\r\n"));

        // The switch off: loopback exactly as without rules.
        CReplyRuleTable off = h.View()->ReplyRules();
        off.use = false;
        h.View()->SetReplyRules(off);
        client.received.clear();
        client.Write(QByteArray("STAT"));
        QTRY_COMPARE(client.Drain(), QByteArray("STAT"));
        QVERIFY(h.LogLines().contains(QStringLiteral("受信-自動応答 53544154") + kTag));
    }

    void udpAnswersWhereLoopbackWouldEcho()
    {
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.ConfigureUdp(peer.Port());
        CReplyRule hex;
        hex.kind = CReplyRule::KindEquals;
        hex.match = QStringLiteral("01 02");
        hex.reply = QStringLiteral("0600");
        h.View()->SetReplyRules(Table({hex}));
        h.Command(ID_SOCKET_CONNECT);
        const quint16 own = h.OwnPort();
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        peer.WriteTo(QByteArray("\x01\x02", 2), own);
        QTRY_COMPARE(peer.Drain(), QByteArray("\x06\x00", 2));
        QCOMPARE(h.HistoryLines(), (QStringList{QStringLiteral("R 0102"), QStringLiteral("S 0600")}));
    }

    // Modbus requests whose own checksum the match leaves out, answered with the reply's checksum.
    void modbusRequestsGetRepliesWithTheirChecksums()
    {
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.ConfigureUdp(peer.Port());
        CReplyRule rtu;
        rtu.match = QStringLiteral("01 03 00 00 00 0A");
        rtu.reply = QStringLiteral("01 03 02 12 34");
        rtu.checksum = QStringLiteral("CRC-16/MODBUS:le");
        rtu.matchWithoutChecksum = true;
        CReplyRule ascii = TextRule(CReplyRule::KindEquals, QStringLiteral(":010300000001\\r\\n"), QStringLiteral(":01030200FF\\r\\n"));
        ascii.checksum = QStringLiteral("LRC/ASCII:from=1,before=0D0A");
        ascii.matchWithoutChecksum = true;
        h.View()->SetReplyRules(Table({rtu, ascii}));
        h.Command(ID_SOCKET_CONNECT);
        const quint16 own = h.OwnPort();
        QCOMPARE(h.View()->State(), ST_CONNECTED);

        peer.WriteTo(QByteArray("\x01\x03\x00\x00\x00\x0A\xC5\xCD", 8), own);
        QTRY_COMPARE(peer.Drain(), QByteArray("\x01\x03\x02\x12\x34\xB5\x33", 7));
        peer.received.clear();
        peer.WriteTo(QByteArray(":010300000001FB\r\n"), own);
        QTRY_COMPARE(peer.Drain(), QByteArray(":01030200FFFB\r\n"));
        QCOMPARE(h.LogLines().filter(QStringLiteral("応答ﾙｰﾙ")),
                 (QStringList{QStringLiteral("応答ﾙｰﾙ1 送信 0103021234B533") + kTag,
                              QStringLiteral("応答ﾙｰﾙ2 送信 3A3031303330323030464646420D0A") + kTag}));
    }

    // A pattern's group and the rule's count in the reply, its second part 100 ms after the first,
    // a `??` byte and the length in another; a disconnect drops the part still waiting.
    void repliesDependOnWhatWasAsked_data() { SocketTypes(); }
    void repliesDependOnWhatWasAsked()
    {
        QFETCH(int, type);
        SessionHarness h;
        Device device(h, type);
        CReplyRule pattern = TextRule(CReplyRule::KindRegex, QStringLiteral("^GET (\\w+)\\r$"),
                                      QStringLiteral("ACK $1\\r${wait:100}VAL${seq}\\r"));
        pattern.replyPlaceholders = true;
        CReplyRule wildcard;
        wildcard.match = QStringLiteral("02 ?? 03");
        wildcard.replyPlaceholders = true;
        wildcard.reply = QStringLiteral("06 $1 ${len:u8}");
        h.View()->SetReplyRules(Table({pattern, wildcard}));
        QVERIFY(device.Connect());

        QElapsedTimer clock;
        clock.start();
        device.Ask("GET temp\r");
        QTRY_VERIFY(device.Heard().startsWith("ACK temp\r"));
        QTRY_COMPARE(device.Heard(), QByteArray("ACK temp\rVAL1\r"));
        QVERIFY2(clock.elapsed() >= 98, qPrintable(QString::number(clock.elapsed())));
        device.Ask("GET x\r");
        QTRY_COMPARE(device.Heard(), QByteArray("ACK temp\rVAL1\rACK x\rVAL2\r"));
        device.Ask("\x02\x7F\x03");
        QTRY_VERIFY(device.Heard().endsWith("\x06\x7F\x03"));
        QCOMPARE(h.HistoryLines().filter(QStringLiteral("S ")).size(), 5);

        device.Ask("GET y\r");
        QTRY_COMPARE(h.View()->PendingReplies(), 1);
        h.Command(ID_SOCKET_DISCONNECT);
        QCOMPARE(h.View()->PendingReplies(), 0);
    }

    // A login-then-command device: a command before the login is refused, the login sets a state
    // in which commands are done and a status goes out every 50 ms; a new connection starts over.
    void aDeviceKeepsAStateAndSpeaksUnasked_data() { SocketTypes(); }
    void aDeviceKeepsAStateAndSpeaksUnasked()
    {
        QFETCH(int, type);
        SessionHarness h;
        Device device(h, type);
        CReplyRule status = TextRule(CReplyRule::KindPeriodic, QString(), QStringLiteral("STAT${seq}\\r"), 50);
        status.replyPlaceholders = true;
        status.state = QStringLiteral("READY");
        CReplyRule login = TextRule(CReplyRule::KindEquals, QStringLiteral("LOGIN\\r"), QStringLiteral("OK\\r"));
        login.nextState = QStringLiteral("READY");
        CReplyRule command = TextRule(CReplyRule::KindEquals, QStringLiteral("CMD\\r"), QStringLiteral("DONE\\r"));
        command.state = QStringLiteral("READY");
        h.View()->SetReplyRules(Table({status, login, command, TextRule(CReplyRule::KindEquals, QStringLiteral("CMD\\r"), QStringLiteral("NAK\\r"))}));
        const auto pane = [&] { return h.Frame()->GetConnectionPane()->FullText(); };
        for (int connection = 0; connection < 2; ++connection) {
            QVERIFY(device.Connect());
            QTRY_VERIFY(pane().endsWith(QStringLiteral("  状態 (なし)")));
            device.Ask("CMD\r");
            QTRY_COMPARE(device.Heard(), QByteArray("NAK\r"));
            device.Ask("LOGIN\r");
            QTRY_VERIFY(device.Heard().startsWith("NAK\rOK\r"));
            QTRY_VERIFY(pane().endsWith(QStringLiteral("  状態 READY")));
            QTRY_VERIFY(device.Heard().contains("STAT2\r"));
            QVERIFY(device.Heard().startsWith("NAK\rOK\rSTAT1\rSTAT2\r"));
            device.Ask("CMD\r");
            QTRY_VERIFY(device.Heard().contains("DONE\r"));
            device.Disconnect();
        }
    }

    void tcpClientDelayedReplyComesAfterItsDelay()
    {
        LoopbackPeer server = LoopbackPeer::ListenTcp();
        SessionHarness h;
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(server.Port()), QString()}, 4);
        constexpr int kDelay = 300;
        h.View()->SetReplyRules(Table({TextRule(CReplyRule::KindEndsWith, QStringLiteral("\\r"), QStringLiteral("> "), kDelay)}));
        h.Command(ID_SOCKET_CONNECT);
        QTRY_COMPARE(h.View()->State(), ST_CONNECTED);
        LoopbackPeer peer = server.AcceptTcp();

        QElapsedTimer clock;
        clock.start();
        peer.Write(QByteArray("DIR\r"));
        QTRY_COMPARE(h.View()->PendingReplies(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(peer.Drain(), QByteArray("> "), 10000);
        // A timer fires no earlier than its interval; the clock's own rounding is the tolerance.
        QVERIFY2(clock.elapsed() >= kDelay - 2, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(h.View()->PendingReplies(), 0);
        QCOMPARE(h.HistoryLines(), (QStringList{QStringLiteral("R 4449520D"), QStringLiteral("S 3E20")}));

        // A disconnect ends a reply still waiting.
        peer.Write(QByteArray("CD\r"));
        QTRY_COMPARE(h.View()->PendingReplies(), 1);
        h.Command(ID_SOCKET_DISCONNECT);
        QCOMPARE(h.View()->PendingReplies(), 0);
    }

    void aDelayedReplyBelongsToTheConnectionItAnswers()
    {
        SessionHarness h;
        h.ConfigureTcpServer();
        h.View()->SetReplyRules(Table({TextRule(CReplyRule::KindContains, QStringLiteral("ERR"), QStringLiteral("NAK\\r\\n"), 500)}));
        h.Command(ID_SOCKET_CONNECT);
        const quint16 port = h.OwnPort();
        {
            LoopbackPeer first = LoopbackPeer::ConnectTcp(port);
            QTRY_VERIFY(h.LogLines().contains(QStringLiteral(">>> ON ACCEPT ｸﾗｲｱﾝﾄ構築[TCPSrvr]")));
            first.Write(QByteArray("xxERRyy"));
            QTRY_COMPARE(h.View()->PendingReplies(), 1);
        }
        // The client's close ends its reply: no timer is left to answer the next client.
        QTRY_COMPARE(h.View()->PendingReplies(), 0);
        LoopbackPeer second = LoopbackPeer::ConnectTcp(port);
        second.Write(QByteArray("ERR"));
        QTRY_COMPARE(h.View()->PendingReplies(), 1);
        // Switching the rules off ends what they armed.
        CReplyRuleTable off = h.View()->ReplyRules();
        off.use = false;
        h.View()->SetReplyRules(off);
        QCOMPARE(h.View()->PendingReplies(), 0);
        QVERIFY(h.LogLines().filter(QStringLiteral("応答ﾙｰﾙ1 送信")).isEmpty());
    }

    void delayedRepliesAreBoundedAndTheExcessIsSaidOnce()
    {
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.ConfigureUdp(peer.Port());
        h.View()->SetReplyRules(Table({TextRule(CReplyRule::KindEquals, QStringLiteral("Q"), QStringLiteral("A"), 60000)}));
        h.Command(ID_SOCKET_CONNECT);
        const quint16 own = h.OwnPort();
        constexpr int kBound = 1024;
        for (int sent = 0; sent < kBound + 10; sent += 10) {
            for (int i = 0; i < 10; ++i)
                peer.WriteTo(QByteArray("Q"), own);
            QTRY_COMPARE(h.View()->PendingReplies(), std::min(sent + 10, kBound));
        }
        peer.WriteTo(QByteArray("M"), own);  // after everything before it
        QTRY_COMPARE(h.HistoryLines().last(), QStringLiteral("R 4D"));
        QCOMPARE(h.LogLines().filter(QStringLiteral("応答ﾙｰﾙ1 送信待ちの応答が上限を超えたため破棄しました")).size(), 1);
        h.Command(ID_SOCKET_DISCONNECT);
        QCOMPARE(h.View()->PendingReplies(), 0);
    }

    void rulesSurviveSaveAndReopen()
    {
        SessionHarness h;
        CReplyRuleTable table = Table({TextRule(CReplyRule::KindStartsWith, QStringLiteral("ｺﾏﾝﾄﾞ"), QStringLiteral("OK\\n"), 25),
                                       TextRule(CReplyRule::KindEquals, QStringLiteral("\\x02"), QStringLiteral("\\x06"))});
        table.rules[1].enabled = false;
        h.View()->SetReplyRules(table);
        const QString path = SessionHarness::TempPath(QStringLiteral("replyrules.qn"));
        QString error;
        QVERIFY(h.Doc().OnSaveDocument(path, &error));
        h.Doc().OnNewDocument();
        h.View()->OnInitialUpdate(&h.Doc());
        QVERIFY(h.View()->ReplyRules().rules.isEmpty());
        QVERIFY(h.Doc().OnOpenDocument(path, &error));
        h.View()->OnInitialUpdate(&h.Doc());
        QCOMPARE(h.View()->ReplyRules(), table);
        QVERIFY(h.LogLines().filter(QStringLiteral("応答ﾙｰﾙ")).isEmpty());

        // Damaged rule slots: the whole rules and one Log line.
        h.Doc().SetSlotInt(CQnDoc::SLOT_REPLY_RULE_INTS + CQnDoc::kReplyIntsPerRule + 3, 70000);
        h.View()->OnInitialUpdate(&h.Doc());
        QCOMPARE(h.View()->ReplyRules().rules, table.rules.mid(0, 1));
        QCOMPARE(h.LogLines().filter(QStringLiteral("応答ﾙｰﾙ")), QStringList{QStringLiteral("応答ﾙｰﾙ 壊れた設定 1 件を読み込みませんでした") + kTag});
        QFile::remove(path);
    }

    void aVersion2FileWithoutRulesOpensAndSavesUnchanged()
    {
        CQnDoc plain;
        plain.SetSlotString(0, QStringLiteral("127.0.0.1"));
        plain.SetSlotString(1, QStringLiteral("5000"));
        plain.SetSlotInt(0, TYPE_TCP_SERVER);
        const QString path = SessionHarness::TempPath(QStringLiteral("plain.qn"));
        const QString again = SessionHarness::TempPath(QStringLiteral("plain-again.qn"));
        QString error;
        QVERIFY(plain.OnSaveDocument(path, &error));

        SessionHarness h;
        QVERIFY(h.Doc().OnOpenDocument(path, &error));
        h.View()->OnInitialUpdate(&h.Doc());
        QVERIFY(h.View()->ReplyRules().rules.isEmpty());
        QVERIFY(!h.View()->ReplyRules().use);
        QCOMPARE(h.View()->SocketType(), TYPE_TCP_SERVER);
        QVERIFY(h.LogLines().filter(QStringLiteral("応答ﾙｰﾙ")).isEmpty());
        QVERIFY(h.Doc().OnSaveDocument(again, &error));
        QFile a(path), b(again);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QCOMPARE(b.readAll(), a.readAll());
        QFile::remove(path);
        QFile::remove(again);
    }
};

QTEST_MAIN(TestReplyRules)
#include "tst_replyrules.moc"
