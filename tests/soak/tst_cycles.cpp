// Many short connections as a TCP client, accepted or refused: the program gives back every
// descriptor and its memory settles where it started.
#include "res/commandids.h"
#include "net/ctcpsoc.h"
#include "net/loopbackpeer.h"
#include "session/sessionharness.h"
#include "soakprobe.h"
#include "support/sessionprobe.h"

#include <QTest>

namespace {

constexpr int kCycles = 1000;
// Enough cycles first that the Log window is full and every lazily built part exists.
constexpr int kWarmUp = 300;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryMeasurable = false;  // freed memory waits in the sanitizer's quarantine
#else
constexpr bool kMemoryMeasurable = true;
#endif
constexpr qint64 kRssSlackKb = 4096;

}  // namespace

class TestCycles : public QObject
{
    Q_OBJECT
private:
    // Connects and disconnects `count` times, the peer accepting and closing each connection.
    static bool ConnectAndDisconnect(SessionHarness &h, LoopbackPeer &listener, int count)
    {
        for (int i = 0; i < count; ++i) {
            h.Command(ID_SOCKET_CONNECT);
            if (!SoakProbe::RunUntil([&] { return h.View()->State() == ST_CONNECTED; }, 5000))
                return false;
            LoopbackPeer accepted = listener.AcceptTcp();
            if (!accepted.IsValid())
                return false;
            h.Command(ID_SOCKET_DISCONNECT);
            if (h.View()->State() != ST_DISCONNECTED || SessionProbe::TcpClient(h.View()))
                return false;
        }
        return true;
    }

    // Connects `count` times to a port nobody listens on.
    static bool Refused(SessionHarness &h, int count)
    {
        for (int i = 0; i < count; ++i) {
            h.Command(ID_SOCKET_CONNECT);
            if (!SoakProbe::RunUntil([&] { return h.View()->State() == ST_DISCONNECTED && !SessionProbe::TcpClient(h.View()); }, 5000))
                return false;
        }
        return true;
    }

    static void Report(const char *what, int fdBefore, int fdAfter, qint64 rssBefore, qint64 rssAfter)
    {
        qInfo("%s: descriptors %d -> %d, VmRSS %lld kB -> %lld kB", what, fdBefore, fdAfter, rssBefore, rssAfter);
    }

private Q_SLOTS:
    void acceptedConnectionsGiveBackTheirResources()
    {
        LoopbackPeer listener = LoopbackPeer::ListenTcp();
        SessionHarness h;
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(listener.Port()), QString()}, 4);
        QVERIFY(ConnectAndDisconnect(h, listener, kWarmUp));
        h.Settle();
        const int fdBefore = SoakProbe::OpenDescriptors();
        const qint64 rssBefore = SoakProbe::ResidentKilobytes();
        QVERIFY(ConnectAndDisconnect(h, listener, kCycles));
        h.Settle();
        const int fdAfter = SoakProbe::OpenDescriptors();
        const qint64 rssAfter = SoakProbe::ResidentKilobytes();
        Report("1000 connect/disconnect cycles", fdBefore, fdAfter, rssBefore, rssAfter);
        QCOMPARE(fdAfter, fdBefore);
        if (kMemoryMeasurable)
            QVERIFY2(rssAfter - rssBefore < kRssSlackKb, qPrintable(QString::number(rssAfter - rssBefore)));
    }

    void refusedConnectsGiveBackTheirResources()
    {
        const LoopbackPeer closed = LoopbackPeer::BindTcp();
        SessionHarness h;
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(closed.Port()), QString()}, 4);
        QVERIFY(Refused(h, kWarmUp));
        h.Settle();
        const int fdBefore = SoakProbe::OpenDescriptors();
        const qint64 rssBefore = SoakProbe::ResidentKilobytes();
        QVERIFY(Refused(h, kCycles));
        h.Settle();
        const int fdAfter = SoakProbe::OpenDescriptors();
        const qint64 rssAfter = SoakProbe::ResidentKilobytes();
        Report("1000 refused connects", fdBefore, fdAfter, rssBefore, rssAfter);
        QVERIFY(h.LogLines().contains(QStringLiteral("ｿｹｯﾄ接続確立待ち応答NG [CQnView]")));
        QCOMPARE(fdAfter, fdBefore);
        if (kMemoryMeasurable)
            QVERIFY2(rssAfter - rssBefore < kRssSlackKb, qPrintable(QString::number(rssAfter - rssBefore)));
    }
};

QTEST_MAIN(TestCycles)
#include "tst_cycles.moc"
