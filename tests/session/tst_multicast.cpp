// UDP to a multicast group and to a broadcast address through the whole program, inside a network
// namespace of the test's own (loopback up and multicast; a veth pair for broadcast): the group is
// joined on open with its options and left on close, what a member sends arrives, and what Command
// Send sends reaches the members; a subnet's broadcast address is sent to; an echo that comes back
// is not echoed again; a member hears its own group alone; a join that fails says why.
#include "display/ui/ccommandsenddlg.h"
#include "display/ui/cinputedit.h"
#include "net/loopbackpeer.h"
#include "res/commandids.h"
#include "sessionharness.h"
#include "support/skiprun.h"

#include <QAbstractButton>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char *const kGroup = "239.255.7.7";

// Moves this process into a network namespace of its own and brings its loopback up with multicast.
bool OwnNetworkNamespace(QString *why)
{
    if (::unshare(CLONE_NEWNET) != 0) {
        *why = QStringLiteral("no network namespace could be made (%1)").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = ::ioctl(s, SIOCGIFFLAGS, &request) == 0 &&
                    (request.ifr_flags |= IFF_UP | IFF_MULTICAST, ::ioctl(s, SIOCSIFFLAGS, &request) == 0);
    ::close(s);
    if (!up)
        *why = QStringLiteral("loopback of the namespace cannot be brought up");
    return up;
}

// A member of the group on loopback, bound to the group's port beside the program.
struct Member
{
    int handle = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    quint16 port = 0;

    const char *group;

    explicit Member(quint16 groupPort, const char *groupAddress = kGroup) : group(groupAddress)
    {
        const int on = 1;
        ::setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_port = htons(groupPort);
        ::bind(handle, reinterpret_cast<sockaddr *>(&any), sizeof any);
        socklen_t length = sizeof any;
        ::getsockname(handle, reinterpret_cast<sockaddr *>(&any), &length);
        port = ntohs(any.sin_port);
        ip_mreqn join{};
        inet_pton(AF_INET, group, &join.imr_multiaddr);
        join.imr_ifindex = int(if_nametoindex("lo"));
        ::setsockopt(handle, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof join);
        ::setsockopt(handle, IPPROTO_IP, IP_MULTICAST_IF, &join, sizeof join);
    }
    ~Member() { ::close(handle); }
    void Send(const QByteArray &data) const
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        inet_pton(AF_INET, group, &to.sin_addr);
        ::sendto(handle, data.constData(), size_t(data.size()), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    }
    QByteArray Read() const
    {
        char buffer[2048];
        const ssize_t n = ::recv(handle, buffer, sizeof buffer, 0);
        return n > 0 ? QByteArray(buffer, int(n)) : QByteArray();
    }
};

// A veth pair of the namespace, 10.99.0.1/24 and 10.99.0.2/24 (broadcast 10.99.0.255), with the
// default route through the first so that 255.255.255.255 goes out. Made once; false with the reason.
bool Veth(QString *why)
{
    static QString failure;
    static bool made = [] {
        const QString ip = QStandardPaths::findExecutable(QStringLiteral("ip"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        if (ip.isEmpty()) {
            failure = QStringLiteral("no ip command to make the namespace's interfaces");
            return false;
        }
        for (const QString &command : {QStringLiteral("link add qnb0 type veth peer name qnb1"),
                                       QStringLiteral("addr add 10.99.0.1/24 brd + dev qnb0"),
                                       QStringLiteral("addr add 10.99.0.2/24 brd + dev qnb1"),
                                       QStringLiteral("link set qnb0 up"), QStringLiteral("link set qnb1 up"),
                                       QStringLiteral("route add default dev qnb0")}) {
            if (QProcess::execute(ip, command.split(QLatin1Char(' '))) != 0) {
                failure = QStringLiteral("ip %1 failed").arg(command);
                return false;
            }
        }
        return true;
    }();
    *why = failure;
    return made;
}

// A port no socket holds: in the test's own namespace nothing else can take it before the program.
quint16 FreePort()
{
    return LoopbackPeer::BindUdp().Port();
}

// Configures UDP to `destination` from `port` to the same port, with `options`, and connects.
void OpenUdp(SessionHarness &h, const QString &destination, quint16 port, const QString &options)
{
    h.Configure(TYPE_UDP, {destination, QString::number(port), QString::number(port)}, 0);
    h.Doc().SetSlotString(CQnDoc::SLOT_UDP_OPTIONS, options);
    h.View()->OnInitialUpdate(&h.Doc());
    h.Command(ID_SOCKET_CONNECT);
}

}  // namespace

class TestMulticast : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QString why;
        if (!OwnNetworkNamespace(&why))
            QN_SKIP_RUN(qPrintable(why));
    }

    void aGroupIsJoinedReceivesAndIsAnswered()
    {
        Member member(0);  // a port of the system's choice, the group's port from then on
        const quint16 port = member.port;
        SessionHarness h;
        h.Configure(TYPE_UDP, {QString::fromLatin1(kGroup), QString::number(port), QString::number(port)}, 0);
        h.Doc().SetSlotString(CQnDoc::SLOT_UDP_OPTIONS, QStringLiteral("if:lo ttl:2"));
        h.View()->OnInitialUpdate(&h.Doc());
        h.Command(ID_SOCKET_CONNECT);
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        QVERIFY(h.LogLines().contains(QStringLiteral("--- ﾏﾙﾁｷｬｽﾄ参加 239.255.7.7 ｲﾝﾀｰﾌｪｰｽ:lo TTL:2 自分の送信を受信:ON[CUDPWnd]")));

        member.Send("hello");
        QTRY_VERIFY(h.HistoryLines().contains(QStringLiteral("R 68656C6C6F")));
        QCOMPARE(member.Read(), QByteArray("hello"));  // its own, looped back

        h.Command(ID_COMMAND_SEND);
        CCommandSendDlg *dlg = h.View()->CommandWindow();
        dlg->Input()->setPlainText(QStringLiteral("AA55"));
        qobject_cast<QAbstractButton *>(dlg->GetDlgItem(CCommandSendDlg::IDC_SEND))->click();
        QByteArray heard;
        QTRY_COMPARE(heard += member.Read(), QByteArray("\xAA\x55", 2));
        // With 自分の送信を受信 on, the program hears its own send too.
        QTRY_VERIFY(h.HistoryLines().contains(QStringLiteral("R AA55")));

        h.Command(ID_SOCKET_DISCONNECT);
        QVERIFY(h.LogLines().contains(QStringLiteral("--- ﾏﾙﾁｷｬｽﾄ離脱 239.255.7.7[CUDPWnd]")));
    }

    void aSubnetsBroadcastAddressIsSentTo()
    {
        QString why;
        if (!Veth(&why))
            QSKIP(qPrintable(why));
        Member listener(0);  // any address of the namespace, broadcasts included
        SessionHarness h;
        const quint16 own = FreePort();
        h.Configure(TYPE_UDP, {QStringLiteral("10.99.0.255"), QString::number(listener.port), QString::number(own)}, 0);
        h.Command(ID_SOCKET_CONNECT);
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        h.Command(ID_COMMAND_SEND);
        CCommandSendDlg *dlg = h.View()->CommandWindow();
        dlg->Input()->setPlainText(QStringLiteral("B0"));
        qobject_cast<QAbstractButton *>(dlg->GetDlgItem(CCommandSendDlg::IDC_SEND))->click();
        QByteArray heard;  // once from the wire, once more as the host's own broadcast
        QTRY_VERIFY((heard += listener.Read()).startsWith('\xB0'));
    }

    void anEchoComesBackButIsNotEchoedAgain_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::newRow("group") << QString::fromLatin1(kGroup);
        QTest::newRow("broadcast") << "255.255.255.255";
        QTest::newRow("subnet broadcast") << "10.99.0.255";
    }
    void anEchoComesBackButIsNotEchoedAgain()
    {
        QFETCH(QString, destination);
        const bool group = destination == QLatin1String(kGroup);
        QString why;
        if (!group && !Veth(&why))
            QSKIP(qPrintable(why));
        // The own port is the destination's: the echo reaches the program itself.
        const quint16 port = FreePort();
        SessionHarness h;
        OpenUdp(h, destination, port, group ? QStringLiteral("if:lo") : QString());
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        h.Command(ID_LOOPBACK_ON);
        LoopbackPeer sender = LoopbackPeer::BindUdp();
        QCOMPARE(sender.WriteTo("x", port), qint64(1));
        // One datagram in, one echo out; the echo heard again is a received line and nothing more.
        QTRY_COMPARE(h.HistoryLines().count(QStringLiteral("R 78")), 2);
        QCOMPARE(h.HistoryLines().count(QStringLiteral("S 78")), 1);
        QCOMPARE(h.LogLines().filter(QStringLiteral("受信-自動応答 78")).size(), 1);
    }

    void aMemberHearsItsOwnGroupAlone()
    {
        const quint16 port = FreePort();
        Member other(port, "239.255.7.8");  // another group on the same port of this machine
        Member fellow(port);
        SessionHarness h;
        OpenUdp(h, QString::fromLatin1(kGroup), port, QStringLiteral("if:lo"));
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        other.Send("other");
        fellow.Send("mine");
        QTRY_VERIFY(h.HistoryLines().contains(QStringLiteral("R 6D696E65")));
        QVERIFY(!h.HistoryLines().contains(QStringLiteral("R 6F74686572")));
    }

    void aFailedJoinSaysWhy()
    {
        SessionHarness h;
        OpenUdp(h, QString::fromLatin1(kGroup), FreePort(), QStringLiteral("if:qn-none"));
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
        QVERIFY(h.LogLines().contains(QStringLiteral("*** ﾏﾙﾁｷｬｽﾄ参加できません 239.255.7.7: ｲﾝﾀｰﾌｪｰｽ qn-none がありません[CUDPWnd]")));
    }

    void anIpv6GroupIsJoinedOnItsScope()
    {
        const int sender = ::socket(AF_INET6, SOCK_DGRAM, 0);
        const auto closeSender = qScopeGuard([sender] { ::close(sender); });
        const quint16 port = FreePort();
        SessionHarness h;
        OpenUdp(h, QStringLiteral("ff12::7%lo"), port, QString());
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        sockaddr_in6 to{};
        to.sin6_family = AF_INET6;
        to.sin6_port = htons(port);
        to.sin6_scope_id = if_nametoindex("lo");
        inet_pton(AF_INET6, "ff12::7", &to.sin6_addr);
        const unsigned lo = to.sin6_scope_id;
        ::setsockopt(sender, IPPROTO_IPV6, IPV6_MULTICAST_IF, &lo, sizeof lo);
        if (::sendto(sender, "v6", 2, 0, reinterpret_cast<sockaddr *>(&to), sizeof to) != 2)
            QSKIP("the namespace's loopback carries no IPv6 multicast");
        QTRY_VERIFY(h.HistoryLines().contains(QStringLiteral("R 7636")));
    }
};

QN_TEST_MAIN(TestMulticast)
#include "tst_multicast.moc"
