// The status bar's connection pane through the whole program: what it says for each socket type,
// after a refused connect and after the peer's close, while the labels and the Log stay as they were.
#include "res/commandids.h"
#include "display/ui/celidedlabel.h"
#include "net/loopbackpeer.h"
#include "platform/casyncsocket.h"
#include "sessionharness.h"
#include "support/sessionprobe.h"

#include <QDir>
#include <QScopeGuard>
#include <QSemaphore>
#include <QRegularExpression>
#include <QTest>

#include <netdb.h>

namespace {

QString Pane(SessionHarness &h)
{
    return h.Frame()->GetConnectionPane()->FullText();
}

// With QN_SCREENSHOTS set, the main window as it looks now goes to <folder>/<name>.png.
void Screenshot(SessionHarness &h, const char *name)
{
    const QString folder = qEnvironmentVariable("QN_SCREENSHOTS");
    if (folder.isEmpty())
        return;
    h.Frame()->resize(640, 140);
    h.Frame()->show();
    QDir().mkpath(folder);
    h.Frame()->grab().save(folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
}

QSemaphore g_release;
bool g_bResolves = true;

// A resolver that answers only when the test lets it, with loopback for any name.
int HeldLookup(const char *, const char *, const addrinfo *hints, addrinfo **found)
{
    g_release.acquire();
    if (!g_bResolves)
        return EAI_NONAME;
    addrinfo numeric = *hints;
    numeric.ai_flags = AI_NUMERICHOST;
    return ::getaddrinfo("127.0.0.1", nullptr, &numeric, found);
}

}  // namespace

class TestConnectionPane : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void udpShowsDestinationAndTheBoundPort()
    {
        SessionHarness h;
        QCOMPARE(h.Frame()->GetConnectionPane()->accessibleName(), QStringLiteral("接続状態"));
        h.Configure(TYPE_UDP, {QStringLiteral("127.0.0.1"), QStringLiteral("5000"), QStringLiteral("0")}, 0);
        h.Command(ID_SOCKET_CONNECT);
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        // Port 0 was asked for: the pane names the port the system gave.
        const QRegularExpression shown(QStringLiteral("^UDP 127\\.0\\.0\\.1:5000 ← ﾎﾟｰﾄ ([0-9]+)$"));
        QTRY_VERIFY(shown.match(Pane(h)).hasMatch());
        QVERIFY(shown.match(Pane(h)).captured(1).toInt() > 0);
        Screenshot(h, "pane-udp");
        h.Command(ID_SOCKET_DISCONNECT);
        QTRY_COMPARE(Pane(h), QString());
    }

    void serverShowsItsRealPortItsClientAndTheClientsClose()
    {
        SessionHarness h;
        h.Configure(TYPE_TCP_SERVER, {QStringLiteral("0")}, 3);
        h.Command(ID_SOCKET_CONNECT);
        const QRegularExpression listening(QStringLiteral("^待受中 ﾎﾟｰﾄ ([0-9]+)$"));
        QTRY_VERIFY(listening.match(Pane(h)).hasMatch());
        const quint16 port = quint16(listening.match(Pane(h)).captured(1).toUInt());
        QVERIFY(port != 0);
        QVERIFY(h.LogLines().contains(QStringLiteral("ｿｹｯﾄ接続  QNﾎﾟｰﾄ:0 [CQnView]")));  // the Log as it was
        Screenshot(h, "pane-server-listening");

        LoopbackPeer client = LoopbackPeer::ConnectTcp(port);
        QVERIFY(client.IsValid());
        QTRY_COMPARE(Pane(h), QStringLiteral("ｸﾗｲｱﾝﾄ 127.0.0.1:%1 接続中").arg(client.Port()));
        Screenshot(h, "pane-server-client");

        client = LoopbackPeer();  // the client closes
        QTRY_COMPARE(Pane(h), QStringLiteral("相手が切断しました (待受中 ﾎﾟｰﾄ %1)").arg(port));
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        QCOMPARE(SessionProbe::StatusLabel(h.View()).Text(), QStringLiteral("    ｿｹｯﾄ接続中"));
        // Each client is a connection of its own for the traffic counts: the next one is a reconnect.
        QCOMPARE(h.View()->Traffic().Reconnects(), 0);
        LoopbackPeer next = LoopbackPeer::ConnectTcp(port);
        QTRY_COMPARE(Pane(h), QStringLiteral("ｸﾗｲｱﾝﾄ 127.0.0.1:%1 接続中").arg(next.Port()));
        QCOMPARE(h.View()->Traffic().Reconnects(), 1);
    }

    void clientShowsItsServerAndThePeersClose()
    {
        LoopbackPeer server = LoopbackPeer::ListenTcp();
        SessionHarness h;
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(server.Port()), QString()}, 4);
        h.Command(ID_SOCKET_CONNECT);
        const QString endpoint = QStringLiteral("接続先 127.0.0.1:%1").arg(server.Port());
        QTRY_COMPARE(h.View()->State(), ST_CONNECTED);
        QTRY_COMPARE(Pane(h), endpoint + QStringLiteral(" 接続済"));
        Screenshot(h, "pane-client");

        LoopbackPeer accepted = server.AcceptTcp();
        QVERIFY(accepted.IsValid());
        accepted = LoopbackPeer();
        QTRY_COMPARE(Pane(h), QStringLiteral("相手が切断しました (") + endpoint + QLatin1Char(')'));
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        QCOMPARE(SessionProbe::StatusLabel(h.View()).Color(), COLORREF(0x00FF00));
        Screenshot(h, "pane-peer-closed");
    }

    void refusedConnectShowsTheReasonWhileDisconnected()
    {
        const LoopbackPeer refused = LoopbackPeer::BindTcp();
        SessionHarness h;
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(refused.Port()), QString()}, 4);
        h.Command(ID_SOCKET_CONNECT);
        const QString reason = QStringLiteral("接続できません: 接続を試みましたが、リジェクトされました。");
        QTRY_COMPARE(Pane(h), reason);
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
        QVERIFY(h.LogLines().contains(QStringLiteral("ｿｹｯﾄ接続確立待ち応答NG [CQnView]")));
        QCOMPARE(h.Frame()->GetConnectionPane()->toolTip(), reason);
        Screenshot(h, "pane-refused");

        // The reason stays while disconnected and goes with the next attempt's outcome.
        h.Event(EV_LOOPBACK_ON);  // another event in between changes nothing
        QCOMPARE(Pane(h), reason);
        LoopbackPeer server = LoopbackPeer::ListenTcp();
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(server.Port()), QString()}, 4);
        h.Command(ID_SOCKET_CONNECT);
        QTRY_COMPARE(Pane(h), QStringLiteral("接続先 127.0.0.1:%1 接続済").arg(server.Port()));
    }

    void aHostNameIsLookedUpWhileTheWindowGoesOn_data()
    {
        QTest::addColumn<bool>("resolves");
        QTest::newRow("found") << true;
        QTest::newRow("not found") << false;
    }
    void aHostNameIsLookedUpWhileTheWindowGoesOn()
    {
        QFETCH(bool, resolves);
        g_bResolves = resolves;
        const auto systemLookup = CAsyncSocket::SetNameLookup(HeldLookup);
        const auto restore = qScopeGuard([&] { CAsyncSocket::SetNameLookup(systemLookup); });
        LoopbackPeer server = LoopbackPeer::ListenTcp();
        SessionHarness h;
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("device.invalid"), QString::number(server.Port()), QString()}, 4);
        h.Command(ID_SOCKET_CONNECT);
        // The look-up is held: the window goes on and says what it waits for.
        const QString endpoint = QStringLiteral("接続先 device.invalid:%1").arg(server.Port());
        QTRY_COMPARE(Pane(h), endpoint + QStringLiteral(" 接続中..."));
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
        g_release.release();
        if (resolves) {
            QTRY_COMPARE(h.View()->State(), ST_CONNECTED);
            QTRY_COMPARE(Pane(h), endpoint + QStringLiteral(" 接続済"));
        } else {
            QTRY_COMPARE(Pane(h), QStringLiteral("接続できません: ｱﾄﾞﾚｽを解決できません"));
            QVERIFY(h.LogLines().contains(QStringLiteral("ｿｹｯﾄを接続できません [CQnView]")));
        }
    }

    void longTextIsElidedAtTheEnd()
    {
        CElidedLabel label;
        label.resize(120, 20);
        const QString text = QStringLiteral("接続できません: ") + QString(200, QLatin1Char('x')) + QStringLiteral("END");
        label.SetFullText(text);
        QVERIFY(label.text().size() < text.size());
        QVERIFY(label.text().startsWith(QStringLiteral("接続できません")));
        QVERIFY(label.text().endsWith(QChar(0x2026)));
        QCOMPARE(label.toolTip(), text);
    }
};

QTEST_MAIN(TestConnectionPane)
#include "tst_connectionpane.moc"
