// UDP to a multicast group and to a broadcast address through the whole program, inside a network
// namespace of the test's own (loopback up and multicast; a veth pair for broadcast): the group is
// joined on open with its options and left on close, what a member sends arrives, and what Command
// Send sends reaches the members; a subnet's broadcast address is sent to.
#include "display/ui/ccommandsenddlg.h"
#include "display/ui/cinputedit.h"
#include "net/loopbackpeer.h"
#include "res/commandids.h"
#include "sessionharness.h"
#include "support/skiprun.h"

#include <QAbstractButton>
#include <QProcess>
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

    explicit Member(quint16 groupPort)
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
        inet_pton(AF_INET, kGroup, &join.imr_multiaddr);
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
        inet_pton(AF_INET, kGroup, &to.sin_addr);
        ::sendto(handle, data.constData(), size_t(data.size()), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    }
    QByteArray Read() const
    {
        char buffer[2048];
        const ssize_t n = ::recv(handle, buffer, sizeof buffer, 0);
        return n > 0 ? QByteArray(buffer, int(n)) : QByteArray();
    }
};

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
        // A veth pair of this namespace: 10.99.0.1/24 and 10.99.0.2/24, broadcast 10.99.0.255.
        const QString ip = QStandardPaths::findExecutable(QStringLiteral("ip"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
        if (ip.isEmpty())
            QSKIP("no ip command to make the namespace's interfaces");
        for (const QString &command : {QStringLiteral("link add qnb0 type veth peer name qnb1"),
                                       QStringLiteral("addr add 10.99.0.1/24 brd + dev qnb0"),
                                       QStringLiteral("addr add 10.99.0.2/24 brd + dev qnb1"),
                                       QStringLiteral("link set qnb0 up"), QStringLiteral("link set qnb1 up")}) {
            if (QProcess::execute(ip, command.split(QLatin1Char(' '))) != 0)
                QSKIP(qPrintable(QStringLiteral("ip %1 failed").arg(command)));
        }
        Member listener(0);  // any address of the namespace, broadcasts included
        SessionHarness h;
        const quint16 own = LoopbackPeer::BindUdp().Port();
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
};

QN_TEST_MAIN(TestMulticast)
#include "tst_multicast.moc"
