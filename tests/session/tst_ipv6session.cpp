// IPv6 through the whole program: each socket type to and from ::1 (the address typed plain, in
// brackets or as a name), the server and UDP listening on both families at once, and the texts that
// show IPv6 addresses in brackets.
#include "display/ui/celidedlabel.h"
#include "net/loopbackpeer.h"
#include "platform/casyncsocket.h"
#include "res/commandids.h"
#include "sessionharness.h"
#include "support/skiprun.h"

#include <QScopeGuard>
#include <QTest>

#include <netdb.h>
#include <sys/socket.h>

namespace {

QString Pane(SessionHarness &h)
{
    return h.Frame()->GetConnectionPane()->FullText();
}

// A resolver that knows every name as ::1 alone.
int Ipv6OnlyLookup(const char *, const char *, const addrinfo *hints, addrinfo **found)
{
    addrinfo numeric = *hints;
    numeric.ai_flags = AI_NUMERICHOST;
    return ::getaddrinfo("::1", nullptr, &numeric, found);
}

// A resolver that knows every name as 127.0.0.1, then ::1 (as a system whose hosts file names both).
int BothFamiliesLookup(const char *, const char *, const addrinfo *hints, addrinfo **found)
{
    addrinfo numeric = *hints;
    numeric.ai_flags = AI_NUMERICHOST;
    addrinfo *v6 = nullptr;
    if (::getaddrinfo("::1", nullptr, &numeric, &v6) != 0)
        return EAI_NONAME;
    if (::getaddrinfo("127.0.0.1", nullptr, &numeric, found) != 0) {
        ::freeaddrinfo(v6);
        return EAI_NONAME;
    }
    addrinfo *last = *found;
    while (last->ai_next)
        last = last->ai_next;
    last->ai_next = v6;  // freeaddrinfo frees each entry on its own
    return 0;
}

}  // namespace

class TestIpv6Session : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        if (!LoopbackPeer::HasIpv6Loopback())
            QN_SKIP_RUN("::1 cannot be bound: IPv6 is off on this machine");
    }

    void tcpClientReachesAnIpv6Peer_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("bothFamilies");  // the name has 127.0.0.1 first, where nobody listens
        QTest::newRow("plain") << "::1" << false;
        QTest::newRow("in brackets") << "[::1]" << false;
        QTest::newRow("a name of ::1 alone") << "device6.invalid" << false;
        QTest::newRow("a name of both, tried in order") << "localhost" << true;
    }
    void tcpClientReachesAnIpv6Peer()
    {
        QFETCH(QString, typed);
        QFETCH(bool, bothFamilies);
        const auto systemLookup = CAsyncSocket::SetNameLookup(bothFamilies ? BothFamiliesLookup : Ipv6OnlyLookup);
        const auto restore = qScopeGuard([&] { CAsyncSocket::SetNameLookup(systemLookup); });
        LoopbackPeer server = LoopbackPeer::ListenTcp(AF_INET6);
        SessionHarness h;
        h.Configure(TYPE_TCP_CLIENT, {typed, QString::number(server.Port()), QString()}, 4);
        h.Command(ID_SOCKET_CONNECT);
        LoopbackPeer peer;
        // A name is looked up while the loop runs.
        QTRY_VERIFY(peer.IsValid() || (peer = server.AcceptTcp(0)).IsValid());
        QTRY_COMPARE(h.View()->State(), ST_CONNECTED);
        const QString shown = typed.contains(QLatin1Char(':')) ? QStringLiteral("[::1]") : typed;
        QCOMPARE(Pane(h), QStringLiteral("接続先 %1:%2 接続済").arg(shown).arg(server.Port()));
        peer.Write("v6");
        QTRY_VERIFY(h.HistoryLines().contains(QStringLiteral("R 7636")));
    }

    void serverAndUdpTakeBothFamiliesAtOnce()
    {
        SessionHarness h;
        h.ConfigureTcpServer();
        h.Command(ID_SOCKET_CONNECT);
        h.Command(ID_LOOPBACK_ON);
        LoopbackPeer v6 = LoopbackPeer::ConnectTcp(h.OwnPort(), AF_INET6);
        QVERIFY(v6.IsValid());
        QTRY_COMPARE(h.LogLines().filter(QStringLiteral("ｸﾗｲｱﾝﾄ情報 ADR:[::1] PORT:")).size(), 1);
        QTRY_VERIFY(Pane(h).startsWith(QStringLiteral("ｸﾗｲｱﾝﾄ [::1]:")));
        v6.Write("six");
        QTRY_COMPARE(v6.Drain(), QByteArray("six"));
        h.Command(ID_SOCKET_DISCONNECT);
        // Again: an IPv4 client reads as plain IPv4, not as ::ffff:127.0.0.1.
        h.Command(ID_SOCKET_CONNECT);
        LoopbackPeer v4 = LoopbackPeer::ConnectTcp(h.OwnPort(), AF_INET);
        QTRY_VERIFY(Pane(h).startsWith(QStringLiteral("ｸﾗｲｱﾝﾄ 127.0.0.1:")));
        h.Command(ID_SOCKET_DISCONNECT);

        // UDP to ::1 from a port that IPv4 peers reach too, each line naming its sender.
        LoopbackPeer udp6 = LoopbackPeer::BindUdp(AF_INET6);
        LoopbackPeer udp4 = LoopbackPeer::BindUdp(AF_INET);
        h.ConfigureUdp(udp6.Port());
        h.Doc().SetSlotString(CQnDoc::SLOT_UDP_ADDRESS, QStringLiteral("::1"));
        h.Doc().SetSlotString(CQnDoc::SLOT_UDP_OPTIONS, QStringLiteral("from:1"));
        h.View()->OnInitialUpdate(&h.Doc());
        h.Command(ID_SOCKET_CONNECT);
        const quint16 own = h.OwnPort();
        QCOMPARE(Pane(h), QStringLiteral("UDP [::1]:%1 ← ﾎﾟｰﾄ %2").arg(udp6.Port()).arg(own));
        QCOMPARE(udp4.WriteTo("4", own), qint64(1));
        QCOMPARE(udp6.WriteTo("6", own), qint64(1));
        // The echo of each goes to the destination typed, ::1.
        QTRY_COMPARE(udp6.Drain(), QByteArray("46"));
        const QStringList history = h.HistoryLines();
        QVERIFY(history.contains(QStringLiteral("R@127.0.0.1:%1 34").arg(udp4.Port())));
        QVERIFY(history.contains(QStringLiteral("R@[::1]:%1 36").arg(udp6.Port())));
        QCOMPARE(history.filter(QStringLiteral("S 3")).size(), 2);
    }
};

QN_TEST_MAIN(TestIpv6Session)
#include "tst_ipv6session.moc"
