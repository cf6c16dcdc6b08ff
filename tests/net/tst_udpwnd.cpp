// The UDP endpoint: opening, whole datagrams, the two-hop receive notice, sends the system refuses
// told as failures, its own datagrams known as such, and the reader thread's bounded queue.
#include "support/threadnames.h"
#include "loopbackpeer.h"
#include "net/cudpreader.h"
#include "net/cudpsoc.h"
#include "net/cudpwnd.h"
#include "recordingwnd.h"
#include "support/scriptedprompts.h"
#include "support/endpointprobe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTest>
#include <QtEndian>

#include <atomic>
#include <netdb.h>
#include <thread>

namespace {

struct Endpoint
{
    Endpoint() { wnd.CreateEndpoint(0, 100, &view, 1, view.LogBuf()); }
    quint16 Port() const { return quint16(wnd.Describe().ownPort); }
    RecordingWnd view;
    CUDPWnd wnd;
};

// A resolver standing in for the system's: counts its calls and finds every name on 127.0.0.1,
// or none at all.
int g_nLookups = 0;
bool g_bNamesResolve = true;
int CountingLookup(const char *, const char *service, const addrinfo *hints, addrinfo **found)
{
    ++g_nLookups;
    return g_bNamesResolve ? ::getaddrinfo("127.0.0.1", service, hints, found) : EAI_NONAME;
}

// Datagram k of a test: its number, then filler up to `size` bytes.
QByteArray Numbered(int k, int size)
{
    QByteArray datagram(size, char('a' + k % 26));
    qToBigEndian<quint32>(quint32(k), datagram.data());
    return datagram;
}

int ThreadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

}  // namespace

class TestUdpWnd : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void openOnAPortHeldElsewhereShowsTheBox()
    {
        ScriptedPrompts prompts;
        LoopbackPeer holder = LoopbackPeer::BindUdp();
        Endpoint endpoint;
        QVERIFY(!endpoint.wnd.Open("127.0.0.1", 9, holder.Port()));
        QCOMPARE(prompts.calls.size(), 1);
        QCOMPARE(prompts.calls[0].text, QStringLiteral("ソケットを作成できません。指定が重複している可能性があります。"));
        QCOMPARE(prompts.calls[0].caption, Prompts::AppTitle());
        QCOMPARE(prompts.calls[0].buttons, Prompts::Ok);
        QCOMPARE(prompts.calls[0].icon, Prompts::NoIcon);
        QCOMPARE(endpoint.wnd.LastFailure().text, QStringLiteral("指定したアドレスは使用中です。"));
        QVERIFY(endpoint.view.lines.isEmpty());
    }

    void eachDatagramIsOneReceiveEventAndOneWholeReceive()
    {
        Endpoint endpoint;
        QVERIFY(endpoint.wnd.Open("127.0.0.1", 9, 0));
        QTRY_VERIFY(ThreadNames().contains(QStringLiteral("qn-udp-reader")));
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        for (const QByteArray &datagram : {QByteArray("first"), QByteArray(), QByteArray(60000, 's')})
            QCOMPARE(peer.WriteTo(datagram, endpoint.Port()), datagram.size());
        std::vector<char> buffer(QN_MAX_RECEIVE);
        QList<int> sizes;
        endpoint.view.onMessage = [&](const RecordingWnd::Message &m) {
            if (m.message == WM_UDP_RECEIVE)
                sizes.append(endpoint.wnd.Receive(buffer.data(), QN_MAX_RECEIVE));
        };
        QTRY_COMPARE(sizes, (QList<int>{5, 0, 60000}));
        QVERIFY(LoopbackPeer::Barrier());
        QCOMPARE(endpoint.view.Count(WM_UDP_RECEIVE), 3);
        for (const RecordingWnd::Message &m : endpoint.view.messages)
            QCOMPARE(m.wParam, WPARAM(1));
    }

    void sendGoesToTheConfiguredDestinationNeverTheSender()
    {
        Endpoint endpoint;
        LoopbackPeer destination = LoopbackPeer::BindUdp();
        LoopbackPeer stranger = LoopbackPeer::BindUdp();
        QVERIFY(endpoint.wnd.Open("127.0.0.1", destination.Port(), 0));
        QCOMPARE(stranger.WriteTo("ping", endpoint.Port()), 4);
        QTRY_COMPARE(endpoint.view.Count(WM_UDP_RECEIVE), 1);
        char buffer[16];
        QCOMPARE(endpoint.wnd.Receive(buffer, sizeof buffer), 4);
        QVERIFY(!endpoint.wnd.LastWasOwnSend());
        QVERIFY(endpoint.wnd.Send("\x00\x01", 2));
        QTRY_COMPARE(destination.Drain(), QByteArray("\x00\x01", 2));
        QVERIFY(stranger.ReadNow().isEmpty());
    }

    void sendFailsWhenTheSystemRefusesIt_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<QString>("lastError");  // empty: sent
        QTest::newRow("nobody answers") << "silent port" << "";
        QTest::newRow("broadcast the interface list does not name") << "127.255.255.255" << "";
        QTest::newRow("after close") << "closed" << "ディスクリプタがソケットではありません。";
        QTest::newRow("name under .invalid") << "unresolvable" << "ソケットが Bind を使ってバインドされていません。";
        QTest::newRow("malformed address") << "999.1.1.1" << "アドレスの形式が正しくありません (IPv4 は 4 つの 0～255 の数、IPv6 は ::1 や [fe80::1%eth0]、名前は 253 文字まで)。";
    }
    void sendFailsWhenTheSystemRefusesIt()
    {
        QFETCH(QString, scenario);
        QFETCH(QString, lastError);
        ScriptedPrompts prompts;
        const LoopbackPeer silentPeer = LoopbackPeer::BindUdp();  // held, never read
        const quint16 silent = silentPeer.Port();
        Endpoint endpoint;
        const QString address = scenario == "unresolvable" ? "nohost.invalid" : scenario.contains(u'.') ? scenario : "127.0.0.1";
        QVERIFY(endpoint.wnd.Open(address, silent, 0));
        if (scenario == "closed")
            endpoint.wnd.Close();
        for (int i = 0; i < 3; ++i)
            QCOMPARE(bool(endpoint.wnd.Send("abc", 3)), lastError.isEmpty());
        QCOMPARE(endpoint.wnd.LastFailure().text, lastError);
        QVERIFY(LoopbackPeer::Barrier());
        // Each refusal is in the Log, as a stream's failed send is.
        const QStringList said(lastError.isEmpty() ? 0 : 3, "*** SendTo() " + lastError + "[CUDPSoc]");
        QCOMPARE(endpoint.view.lines, said);
        QVERIFY(prompts.calls.isEmpty());
    }

    void ownDatagramsAreKnownFromOthers_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::newRow("own port on loopback") << "127.0.0.1";
        QTest::newRow("loopback's broadcast") << "127.255.255.255";
    }
    void ownDatagramsAreKnownFromOthers()
    {
        QFETCH(QString, destination);
        RecordingWnd view;
        CUDPSoc soc(&view, 1);
        QVERIFY(soc.Create(0));
        const quint16 own = LoopbackPeer::LocalPort(soc.m_hSocket);
        LoopbackPeer stranger = LoopbackPeer::BindUdp();
        QVERIFY(soc.SendTo("me", 2, own, destination));
        QTRY_COMPARE(view.Count(WM_UDP_RECEIVE), 1);
        char buffer[16];
        QCOMPARE(soc.Receive(buffer, sizeof buffer), 2);
        QVERIFY(soc.LastWasOwn());
        QCOMPARE(stranger.WriteTo("you", own), 3);
        QTRY_COMPARE(view.Count(WM_UDP_RECEIVE), 2);
        QCOMPARE(soc.Receive(buffer, sizeof buffer), 3);
        QVERIFY(!soc.LastWasOwn());
    }

    void aHostNameIsLookedUpOncePerOpen_data()
    {
        QTest::addColumn<bool>("resolves");
        QTest::addColumn<int>("arriving");
        QTest::addColumn<QString>("lastError");
        QTest::newRow("name found") << true << 100 << QString();
        QTest::newRow("name not found") << false << 0 << QStringLiteral("ソケットが Bind を使ってバインドされていません。");
    }
    void aHostNameIsLookedUpOncePerOpen()
    {
        QFETCH(bool, resolves);
        QFETCH(int, arriving);
        QFETCH(QString, lastError);
        g_nLookups = 0;
        g_bNamesResolve = resolves;
        const auto systemLookup = CAsyncSocket::SetNameLookup(CountingLookup);
        const auto restore = qScopeGuard([&] { CAsyncSocket::SetNameLookup(systemLookup); });
        LoopbackPeer destination = LoopbackPeer::BindUdp();
        Endpoint endpoint;
        QVERIFY(endpoint.wnd.Open("peer.invalid", destination.Port(), 0));
        for (int i = 0; i < 100; ++i)
            QCOMPARE(bool(endpoint.wnd.Send("d", 1)), resolves);
        QCOMPARE(g_nLookups, 1);
        QCOMPARE(endpoint.wnd.LastFailure().text, lastError);
        int arrived = 0;
        while (!destination.ReadNow().isEmpty())
            ++arrived;
        QCOMPARE(arrived, arriving);
    }

    void openAfterCloseMakesAFreshSocket()
    {
        Endpoint endpoint;
        QVERIFY(endpoint.wnd.Open("127.0.0.1", 9, 0));
        const quint16 first = endpoint.Port();
        endpoint.wnd.Close();
        char buffer[8];
        QCOMPARE(endpoint.wnd.Receive(buffer, sizeof buffer), 0);
        QVERIFY(endpoint.wnd.Open("127.0.0.1", 9, first));  // the port is free again
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        QCOMPARE(peer.WriteTo("again", first), 5);
        QTRY_COMPARE(endpoint.view.Count(WM_UDP_RECEIVE), 1);
        QCOMPARE(endpoint.wnd.Receive(buffer, sizeof buffer), 5);
    }

    void aFullQueueDropsLaterDatagramsAndSaysSoAtMostOnceASecond()
    {
        constexpr int kSize = 100;
        constexpr int kHeld = 8;
        constexpr int kSent = 30;
        const qsizetype systemLimit = CUDPSoc::SetQueueLimit(kHeld * (kSize + CUdpReader::kItemOverhead));
        const auto restore = qScopeGuard([&] { CUDPSoc::SetQueueLimit(systemLimit); });
        Endpoint endpoint;
        QVERIFY(endpoint.wnd.Open("127.0.0.1", 9, 0));
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        std::vector<char> buffer(QN_MAX_RECEIVE);
        QList<int> numbers;
        const auto receive = [&] {
            QCOMPARE(endpoint.wnd.Receive(buffer.data(), QN_MAX_RECEIVE), kSize);
            numbers.append(int(qFromBigEndian<quint32>(buffer.data())));
            QCOMPARE(QByteArray(buffer.data(), kSize), Numbered(numbers.last(), kSize));
        };
        bool reading = false;
        endpoint.view.onMessage = [&](const RecordingWnd::Message &m) {
            if (m.message == WM_UDP_RECEIVE && reading)
                receive();
        };
        QList<qint64> loggedAt;
        QElapsedTimer clock;
        clock.start();
        QList<int> expected;
        for (int round = 0; round < 2; ++round) {
            // The queue fills while nobody reads; the rest of the round is dropped, none reordered.
            reading = false;
            for (int k = 0; k < kSent; ++k)
                QCOMPARE(peer.WriteTo(Numbered(round * kSent + k, kSize), endpoint.Port()), kSize);
            QTRY_COMPARE(EndpointProbe::Socket(endpoint.wnd)->DroppedDatagrams(), quint64((round + 1) * (kSent - kHeld)));
            for (int k = 0; k < kHeld; ++k)
                expected.append(round * kSent + k);
            reading = true;
            receive();  // the round's one notice went unanswered: this read asks for the next
            QVERIFY(QTest::qWaitFor([&] { return endpoint.view.lines.size() > round; }, 5000));
            loggedAt.append(clock.elapsed());
            QTRY_COMPARE(numbers, expected);
        }
        // The first line comes at once and counts the drops seen by then; a drop the reader meets a
        // moment later waits for the second line.
        QCOMPARE(endpoint.view.lines.size(), 2);
        const QRegularExpression line(QStringLiteral("^\\*\\*\\* 受信ｷｭｰ満杯\\(上限1KB\\) (\\d+)件破棄\\[CUDPSoc\\]$"));
        int logged = 0;
        for (const QString &text : endpoint.view.lines) {
            const QRegularExpressionMatch match = line.match(text);
            QVERIFY2(match.hasMatch() && match.captured(1).toInt() > 0, qPrintable(text));
            logged += match.captured(1).toInt();
        }
        QCOMPARE(logged, 2 * (kSent - kHeld));
        QVERIFY2(loggedAt[1] - loggedAt[0] >= 900, qPrintable(QString::number(loggedAt[1] - loggedAt[0])));
        QVERIFY(endpoint.view.GuardIntact());
    }

    void closingDuringABurstEndsTheReaderThread_data()
    {
        QTest::addColumn<bool>("destroy");
        QTest::newRow("close") << false;
        QTest::newRow("endpoint destroyed") << true;
    }
    void closingDuringABurstEndsTheReaderThread()
    {
        QFETCH(bool, destroy);
        const int threads = ThreadCount();
        auto endpoint = std::make_unique<Endpoint>();
        QVERIFY(endpoint->wnd.Open("127.0.0.1", 9, 0));
        const quint16 port = endpoint->Port();
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        std::atomic<bool> stop{false};
        std::thread sender([&] {
            for (int k = 0; !stop.load(std::memory_order_relaxed); ++k)
                peer.WriteTo(Numbered(k, 1000), port);
        });
        const auto finish = qScopeGuard([&] {
            stop = true;
            sender.join();
        });
        QTRY_VERIFY(endpoint->view.Count(WM_UDP_RECEIVE) > 0);
        QCOMPARE(ThreadCount(), threads + 2);  // the sender and the endpoint's reader
        if (destroy) {
            endpoint.reset();
        } else {
            endpoint->wnd.Close();
            char byte;
            QCOMPARE(endpoint->wnd.Receive(&byte, 1), 0);
            QVERIFY(endpoint->wnd.LastFailure().text.startsWith(QStringLiteral("ディスクリプタがソケットではありません。")));
        }
        QCOMPARE(ThreadCount(), threads + 1);
    }
};

QTEST_GUILESS_MAIN(TestUdpWnd)
#include "tst_udpwnd.moc"
