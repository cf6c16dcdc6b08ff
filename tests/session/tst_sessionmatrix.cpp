// The session event matrix: log lines, state changes and dropped events, on the real view.
#include "net/cudpwnd.h"
#include "net/loopbackpeer.h"
#include "sessionharness.h"
#include "support/sessionprobe.h"

#include <QTest>

#include <sys/socket.h>

namespace {

const QString kTag = QStringLiteral(" [CQnView]");

QStringList Tagged(const QStringList &texts)
{
    QStringList out;
    for (const QString &t : texts)
        out << t + kTag;
    return out;
}

// Disconnects and reconnects the view, as the user may, while the first socket notice that reaches
// the UDP endpoint is still on its way to the view.
class ReconnectOnNotice : public QObject
{
public:
    explicit ReconnectOnNotice(CQnView *view) : m_pView(view) {}
    bool seen = false;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (!seen && e->type() == CMessageEvent::EventType() &&
            static_cast<CMessageEvent *>(e)->m_nMessage == WM_UDP_RECEIVE) {
            seen = true;
            SendMessage(m_pView, WM_SESSION_EVENT, EV_DISCONNECT, 1);
            SendMessage(m_pView, WM_SESSION_EVENT, EV_CONNECT, 0);
        }
        return false;
    }

private:
    CQnView *m_pView;
};

// The size of the datagram waiting at the peer, -1 when none is.
ssize_t WaitingDatagram(const LoopbackPeer &peer)
{
    char byte;
    return ::recv(peer.Handle(), &byte, 1, MSG_DONTWAIT | MSG_PEEK | MSG_TRUNC);
}

}  // namespace

class TestSessionMatrix : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void eventsThatDoNotFitTheDisconnectedState_data()
    {
        QTest::addColumn<int>("event");
        QTest::addColumn<QStringList>("log");
        QTest::newRow("send") << int(EV_SEND) << Tagged({QStringLiteral("ﾏﾄﾘｸｽ 1 6"), QStringLiteral("ﾏﾄﾘｸｽ ｴﾗｰ")});
        QTest::newRow("disconnect") << int(EV_DISCONNECT) << Tagged({QStringLiteral("ﾏﾄﾘｸｽ 1 2"), QStringLiteral("無視")});
        QTest::newRow("receive") << int(EV_RECEIVE) << Tagged({QStringLiteral("ﾏﾄﾘｸｽ 1 5"), QStringLiteral("ﾏﾄﾘｸｽ ｴﾗｰ")});
        QTest::newRow("connect done") << int(EV_CONNECT_DONE) << Tagged({QStringLiteral("ﾏﾄﾘｸｽ 1 7"), QStringLiteral("ﾏﾄﾘｸｽ ｴﾗｰ")});
        QTest::newRow("closed: silent") << int(EV_CLOSED) << QStringList();
        QTest::newRow("send ready: silent") << int(EV_SEND_READY) << QStringList();
        QTest::newRow("accept: silent") << int(EV_ACCEPT) << QStringList();
        QTest::newRow("unknown: silent") << 99 << QStringList();
    }
    void eventsThatDoNotFitTheDisconnectedState()
    {
        QFETCH(int, event);
        QFETCH(QStringList, log);
        SessionHarness h;
        h.NewLogLines();
        h.Event(event, 0);
        QCOMPARE(h.NewLogLines(), log);
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
        QVERIFY(h.HistoryLines().isEmpty());
    }

    void loopbackSetWhileDisconnectedGivesTheLoopbackStateOnConnect()
    {
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.Configure(TYPE_UDP, {QStringLiteral("127.0.0.1"), QString::number(peer.Port()), QStringLiteral("0")}, 0);
        h.Event(EV_LOOPBACK_ON);
        QCOMPARE(h.View()->Loopback(), 1);
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
        h.Event(EV_CONNECT);
        QCOMPARE(h.View()->State(), ST_CONNECTED_LOOPBACK);

        // ON again in state 2 is an error and changes nothing; OFF goes to state 3.
        h.NewLogLines();
        h.Event(EV_LOOPBACK_ON);
        QCOMPARE(h.NewLogLines(), Tagged({QStringLiteral("ﾏﾄﾘｸｽ 2 3"), QStringLiteral("ﾏﾄﾘｸｽ ｴﾗｰ")}));
        QCOMPARE(h.View()->Loopback(), 1);
        QCOMPARE(h.View()->State(), ST_CONNECTED_LOOPBACK);
        h.Event(EV_LOOPBACK_OFF);
        QCOMPARE(h.NewLogLines(), Tagged({QStringLiteral("ﾏﾄﾘｸｽ 2 4")}));
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        h.Event(EV_LOOPBACK_ON);
        QCOMPARE(h.View()->State(), ST_CONNECTED_LOOPBACK);

        h.Event(EV_DISCONNECT, 1);
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
        QCOMPARE(SessionProbe::StatusLabel(h.View()).Text(), QStringLiteral("    ｿｹｯﾄ切断中"));
        QCOMPARE(SessionProbe::StatusLabel(h.View()).Color(), COLORREF(0x0000FF));
    }

    void waitingClientIgnoresDisconnectAndKeepsTheLoopbackChoice()
    {
        LoopbackPeer server = LoopbackPeer::ListenTcp();
        SessionHarness h;
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(server.Port()), QString()}, 4);
        h.Event(EV_LOOPBACK_ON);
        // Connect, then disconnect and loopback off while the completion is still on its way.
        PostMessage(h.View(), WM_SESSION_EVENT, EV_CONNECT, 0);
        PostMessage(h.View(), WM_SESSION_EVENT, EV_DISCONNECT, 1);
        PostMessage(h.View(), WM_SESSION_EVENT, EV_LOOPBACK_OFF, 0);
        h.NewLogLines();
        QTRY_COMPARE(h.View()->State(), ST_CONNECTED);
        const QStringList log = h.LogLines();
        QVERIFY(log.contains(QStringLiteral("ﾏﾄﾘｸｽ 4 2") + kTag));
        QVERIFY(log.contains(QStringLiteral("無視") + kTag));
        QVERIFY(log.contains(QStringLiteral("ﾏﾄﾘｸｽ 4 4") + kTag));
        QCOMPARE(h.View()->Loopback(), 0);
        LoopbackPeer accepted = server.AcceptTcp();
        QVERIFY(accepted.IsValid());
    }

    void receiveWhileDisconnectedLeavesTheDataUnread()
    {
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.Configure(TYPE_UDP, {QStringLiteral("127.0.0.1"), QString::number(peer.Port()), QStringLiteral("0")}, 0);
        h.Event(EV_CONNECT);
        h.Event(EV_DISCONNECT, 1);
        h.Event(EV_RECEIVE, 1);
        QVERIFY(h.HistoryLines().isEmpty());
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
    }

    void aReceiveNoticeThatOutlivesItsSocketIsDropped()
    {
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.ConfigureUdp(peer.Port());
        h.Event(EV_LOOPBACK_ON);
        h.Event(EV_CONNECT);
        const quint16 own = h.OwnPort();
        ReconnectOnNotice reconnect(h.View());
        SessionProbe::UdpEndpoint(h.View())->installEventFilter(&reconnect);
        peer.WriteTo("x", own);
        QTRY_VERIFY(reconnect.seen);
        h.Settle();
        QCOMPARE(h.View()->State(), ST_CONNECTED_LOOPBACK);
        QCOMPARE(h.HistoryLines(), QStringList());
        QCOMPARE(WaitingDatagram(peer), ssize_t(-1));  // no empty echo either

        // An empty datagram on the new socket (own port 0: a port of its own) is data: shown and echoed.
        peer.WriteTo(QByteArray(), h.OwnPort());
        QTRY_COMPARE(h.HistoryLines(), (QStringList{QStringLiteral("R "), QStringLiteral("S ")}));
        QTRY_COMPARE(WaitingDatagram(peer), ssize_t(0));
    }

    void setTypeOnlyWhileDisconnected()
    {
        SessionHarness h;
        h.Event(EV_SET_TYPE, TYPE_TCP_CLIENT);
        QCOMPARE(h.View()->SocketType(), TYPE_TCP_CLIENT);
        QCOMPARE(h.Doc().GetSlotInt(0), TYPE_TCP_CLIENT);
        QVERIFY(h.Doc().IsModified());
        QCOMPARE(SessionProbe::TypeLabel(h.View()).Text(), QStringLiteral("  TCP-IP(ｸﾗｲｱﾝﾄ)"));
        QCOMPARE(SessionProbe::TypeLabel(h.View()).Color(), COLORREF(0xFF00FF));
    }
};

QTEST_MAIN(TestSessionMatrix)
#include "tst_sessionmatrix.moc"
