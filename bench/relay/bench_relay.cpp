// The relay beside socat, in one run on the same machine: the engine alone (what `--relay` runs
// headless) and the relay window with its History shown, against socat TCP-LISTEN:… TCP:…
//  - added latency: a 1-byte ping-pong to an echo server, direct and through each path, p50/p90 of
//    the round trip and the half of its p50 the path adds (one crossing);
//  - floods: N MiB each way at once, every byte checked in order on arrival (nothing lost, doubled or
//    reordered), and the time they took;
//  - a pseudo-terminal set to 3,000,000 baud bridged to TCP: a stream each way at once, paced at the
//    line's rate (300,000 bytes/s) and then as fast as the pty goes, checked as the floods are.
// QT_QPA_PLATFORM=offscreen bench_relay [--mib 100] [--pings 3000] [--rounds 3] [--pty-seconds 5] [--pty-mib 16]
// (needs socat)
#include "../benchapp.h"
#include "../benchserver.h"

#include "display/ui/cmessagewnd.h"
#include "document/cqndoc.h"
#include "relay/crelay.h"
#include "relay/crelayaddress.h"
#include "relay/crelayside.h"
#include "relay/ui/crelaywnd.h"

#include <QEventLoop>
#include <QLineEdit>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

quint64 Mix(quint64 x)
{
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// The stream's bytes [offset, offset + n): every 8-byte word numbered, so a byte lost, doubled or moved
// changes what follows.
void Fill(char *out, qint64 offset, qint64 n, quint64 seed)
{
    qint64 word = offset / 8;
    int skip = int(offset % 8);
    for (qint64 done = 0; done < n; ++word, skip = 0) {
        const quint64 value = Mix(quint64(word) ^ seed);
        const qint64 take = std::min<qint64>(8 - skip, n - done);
        std::memcpy(out + done, reinterpret_cast<const char *>(&value) + skip, size_t(take));
        done += take;
    }
}

struct Flow
{
    qint64 got = 0;
    qint64 firstBad = -1;  // the first byte that differed (-1: none)
    bool Whole(qint64 total) const { return got == total && firstBad < 0; }
};

// Writes `total` bytes of the stream; `bytesPerSecond` > 0 paces them (10 ms slices).
void Pump(int fd, qint64 total, quint64 seed, qint64 bytesPerSecond)
{
    std::vector<char> buffer(1 << 20);
    const Clock::time_point start = Clock::now();
    for (qint64 sent = 0; sent < total;) {
        qint64 n = std::min<qint64>(qint64(buffer.size()), total - sent);
        if (bytesPerSecond > 0) {
            n = std::min<qint64>(n, bytesPerSecond / 100);
            std::this_thread::sleep_until(start + std::chrono::microseconds(sent * 1000000 / bytesPerSecond));
        }
        Fill(buffer.data(), sent, n, seed);
        for (qint64 at = 0; at < n;) {
            const ssize_t w = ::send(fd, buffer.data() + at, size_t(n - at), MSG_NOSIGNAL);
            if (w < 0 && errno == ENOTSOCK) {
                const ssize_t v = ::write(fd, buffer.data() + at, size_t(n - at));
                if (v <= 0)
                    return;
                at += v;
                continue;
            }
            if (w <= 0)
                return;
            at += w;
        }
        sent += n;
    }
}

// Reads until `total` bytes came or nothing came for 20 s, checking each against the stream.
void Drain(int fd, qint64 total, quint64 seed, Flow *flow)
{
    std::vector<char> buffer(256 * 1024), expected(256 * 1024);
    while (flow->got < total) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0)
            return;
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n <= 0)
            return;
        Fill(expected.data(), flow->got, n, seed);
        if (flow->firstBad < 0 && std::memcmp(buffer.data(), expected.data(), size_t(n)) != 0) {
            qint64 i = 0;
            while (buffer[size_t(i)] == expected[size_t(i)])
                ++i;
            flow->firstBad = flow->got + i;
        }
        flow->got += n;
    }
}

int AcceptNoDelay(int listener)
{
    const int c = ::accept(listener, nullptr, nullptr);
    const int one = 1;
    ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return c;
}

int ConnectRetrying(quint16 port)
{
    for (int i = 0; i < 500; ++i) {
        const int s = ConnectLoopback(port, false);
        if (s >= 0)
            return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

// Runs `work` on a thread of its own while this thread's event loop serves the relay.
void RunBeside(const std::function<void()> &work)
{
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done)
            loop.quit();
    });
    poll.start(5);
    loop.exec();
    worker.join();
}

enum Kind { Direct, Engine, Window, Socat };
const char *const kKindNames[] = {"direct", "relay engine (headless)", "relay window, History shown", "socat"};

// One path from a client to `target`: nothing (direct), the relay engine, the relay window, or socat.
class Path
{
public:
    Path(Kind kind, const QString &sideA, const QString &sideB, const QStringList &socatArguments) : m_kind(kind)
    {
        QString error;
        if (kind == Engine) {
            CRelayAddress a, b;
            CRelayAddress::Parse(sideA, nullptr, &a, &error);
            CRelayAddress::Parse(sideB, nullptr, &b, &error);
            m_pRelay = std::make_unique<CRelay>(a, b);
            if (!m_pRelay->Start(&error))
                std::fprintf(stderr, "relay: %s\n", qPrintable(error));
        } else if (kind == Window) {
            m_doc.OnNewDocument();
            m_pWindow = std::make_unique<CRelayWnd>(&m_doc);
            m_pWindow->SideEdit(0)->setText(sideA);
            m_pWindow->SideEdit(1)->setText(sideB);
            if (!m_pWindow->Start())
                std::fprintf(stderr, "relay window: %s\n", qPrintable(m_pWindow->StateText()));
            m_pWindow->show();
            m_pWindow->History()->show();
        } else if (kind == Socat) {
            m_socat.start(QStringLiteral("socat"), socatArguments);
            m_socat.waitForStarted();
        }
        QCoreApplication::processEvents();
    }
    ~Path()
    {
        if (m_socat.state() != QProcess::NotRunning) {
            m_socat.terminate();
            m_socat.waitForFinished(5000);
        }
    }
    CRelay *Relay() const { return m_pRelay ? m_pRelay.get() : m_pWindow ? m_pWindow->Relay() : nullptr; }
    // The listening side's port (A's or B's).
    quint16 Port(int side) const { return Relay() ? quint16(Relay()->Side(side).OwnPort()) : 0; }
    int HistoryLines() const { return m_pWindow ? m_pWindow->History()->LineCount() : 0; }

private:
    Kind m_kind;
    CQnDoc m_doc;
    std::unique_ptr<CRelay> m_pRelay;
    std::unique_ptr<CRelayWnd> m_pWindow;
    QProcess m_socat;
};

// Round-trip times in µs of `count` 1-byte pings to the echo server at `echoPort` through `kind`.
std::vector<double> PingPong(Kind kind, quint16 echoPort, int count)
{
    const quint16 socatPort = FreeLoopbackPort();
    Path path(kind, QStringLiteral("listen:0"), QStringLiteral("127.0.0.1:%1").arg(echoPort),
              {QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(socatPort),
               QStringLiteral("TCP:127.0.0.1:%1,nodelay").arg(echoPort)});
    const quint16 port = kind == Direct ? echoPort : kind == Socat ? socatPort : path.Port(0);
    std::vector<double> times;
    RunBeside([&] {
        const int c = ConnectRetrying(port);
        char byte = 'x';
        for (int i = 0; i < 200 + count; ++i) {
            const Clock::time_point t0 = Clock::now();
            if (::send(c, &byte, 1, MSG_NOSIGNAL) != 1 || ::recv(c, &byte, 1, 0) != 1)
                break;
            if (i >= 200)
                times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        }
        ::close(c);
    });
    std::sort(times.begin(), times.end());
    return times;
}

struct Flood
{
    double seconds = 0;
    bool whole = false;
    int historyLines = 0;
};

// `mib` MiB each way at once between a client of `kind` and the server behind it.
Flood FloodBothWays(Kind kind, qint64 mib)
{
    quint16 target = 0;
    const int listener = ListenLoopback(&target);
    const quint16 socatPort = FreeLoopbackPort();
    Path path(kind, QStringLiteral("listen:0"), QStringLiteral("127.0.0.1:%1").arg(target),
              {QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(socatPort),
               QStringLiteral("TCP:127.0.0.1:%1").arg(target)});
    const quint16 port = kind == Socat ? socatPort : path.Port(0);
    const qint64 total = mib << 20;
    Flow toServer, toClient;
    Flood result;
    RunBeside([&] {
        const int c = ConnectRetrying(port);
        const int s = AcceptNoDelay(listener);
        const Clock::time_point t0 = Clock::now();
        std::thread threads[] = {std::thread(Pump, c, total, 1, 0), std::thread(Drain, s, total, 1, &toServer),
                                 std::thread(Pump, s, total, 2, 0), std::thread(Drain, c, total, 2, &toClient)};
        for (std::thread &t : threads)
            t.join();
        result.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        ::close(c);
        ::close(s);
    });
    ::close(listener);
    result.whole = toServer.Whole(total) && toClient.Whole(total);
    if (!result.whole)
        std::fprintf(stderr, "%s: to server %lld of %lld (first bad %lld), to client %lld (first bad %lld)\n",
                     kKindNames[kind], toServer.got, total, toServer.firstBad, toClient.got, toClient.firstBad);
    result.historyLines = path.HistoryLines();
    return result;
}

// A stream each way at once between the master of a pty pair set to 3,000,000 baud (the slave is the
// relay's serial side) and a TCP client of the relay's listening side; paced at the line's rate when
// `bytesPerSecond` > 0.
Flood PtyBridge(Kind kind, qint64 bytes, qint64 bytesPerSecond)
{
    int master = -1, slave = -1;
    char name[128] = {};
    termios tio = {};
    cfmakeraw(&tio);
    cfsetispeed(&tio, B3000000);
    cfsetospeed(&tio, B3000000);
    if (::openpty(&master, &slave, name, &tio, nullptr) != 0)
        return {};
    const quint16 socatPort = FreeLoopbackPort();
    Path path(kind, QStringLiteral("%1:3000000").arg(QString::fromLatin1(name)), QStringLiteral("listen:0"),
              {QStringLiteral("%1,rawer,b3000000").arg(QString::fromLatin1(name)),
               QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr").arg(socatPort)});
    const quint16 port = kind == Socat ? socatPort : path.Port(1);
    Flow toTcp, toPty;
    Flood result;
    RunBeside([&] {
        const int c = ConnectRetrying(port);
        const Clock::time_point t0 = Clock::now();
        std::thread threads[] = {std::thread(Pump, master, bytes, 3, bytesPerSecond), std::thread(Drain, c, bytes, 3, &toTcp),
                                 std::thread(Pump, c, bytes, 4, bytesPerSecond), std::thread(Drain, master, bytes, 4, &toPty)};
        for (std::thread &t : threads)
            t.join();
        result.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        ::close(c);
    });
    result.whole = toTcp.Whole(bytes) && toPty.Whole(bytes);
    if (!result.whole)
        std::fprintf(stderr, "%s pty: to TCP %lld of %lld (first bad %lld), to pty %lld (first bad %lld)\n",
                     kKindNames[kind], toTcp.got, bytes, toTcp.firstBad, toPty.got, toPty.firstBad);
    ::close(slave);
    ::close(master);
    return result;
}

// A thread-per-connection echo server with TCP_NODELAY.
quint16 StartEchoServer()
{
    quint16 port = 0;
    const int listener = ListenLoopback(&port);
    std::thread([listener] {
        for (;;) {
            const int c = AcceptNoDelay(listener);
            if (c < 0)
                return;
            std::thread([c] {
                char buffer[65536];
                for (ssize_t n; (n = ::recv(c, buffer, sizeof buffer, 0)) > 0;) {
                    if (::send(c, buffer, size_t(n), MSG_NOSIGNAL) != n)
                        break;
                }
                ::close(c);
            }).detach();
        }
    }).detach();
    return port;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

qint64 Option(const QStringList &arguments, const char *name, qint64 fallback)
{
    const int at = int(arguments.indexOf(QLatin1String(name)));
    return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1].toLongLong() : fallback;
}

}  // namespace

int main(int argc, char **argv)
{
    BenchApp app(argc, argv);
    const QStringList arguments = app.arguments();
    const qint64 mib = Option(arguments, "--mib", 100);
    const int pings = int(Option(arguments, "--pings", 3000));
    const int rounds = int(Option(arguments, "--rounds", 3));
    const qint64 ptySeconds = Option(arguments, "--pty-seconds", 5);
    const qint64 ptyMib = Option(arguments, "--pty-mib", 16);

    const quint16 echo = StartEchoServer();
    std::map<int, std::vector<double>> p50, p90;
    for (int r = 0; r < rounds; ++r) {
        for (Kind kind : {Direct, Engine, Window, Socat}) {
            const std::vector<double> times = PingPong(kind, echo, pings);
            if (times.empty())
                continue;
            p50[kind].push_back(times[times.size() / 2]);
            p90[kind].push_back(times[times.size() * 9 / 10]);
            std::printf("round %d latency %-28s RTT p50 %7.1f µs p90 %7.1f µs\n", r + 1, kKindNames[kind], p50[kind].back(),
                        p90[kind].back());
            std::fflush(stdout);
        }
    }
    std::map<int, std::vector<double>> seconds;
    std::map<int, bool> whole;
    std::map<int, int> lines;
    for (int r = 0; r < rounds; ++r) {
        for (Kind kind : {Engine, Window, Socat}) {
            const Flood flood = FloodBothWays(kind, mib);
            seconds[kind].push_back(flood.seconds);
            whole[kind] = (r == 0 || whole[kind]) && flood.whole;
            lines[kind] = flood.historyLines;
            std::printf("round %d flood %lld MiB each way %-28s %6.2f s %7.1f MiB/s (sum) %s\n", r + 1, mib, kKindNames[kind],
                        flood.seconds, 2.0 * double(mib) / flood.seconds, flood.whole ? "whole" : "LOST/REORDERED");
            std::fflush(stdout);
        }
    }
    std::map<int, Flood> paced, fast;
    for (Kind kind : {Engine, Socat}) {
        paced[kind] = PtyBridge(kind, ptySeconds * 300000, 300000);
        fast[kind] = PtyBridge(kind, ptyMib << 20, 0);
        std::printf("pty 3 Mbaud %-28s paced %lld B each way %.2f s %s; unpaced %lld MiB each way %.2f s %.1f MiB/s (sum) %s\n",
                    kKindNames[kind], ptySeconds * 300000, paced[kind].seconds, paced[kind].whole ? "whole" : "LOST/REORDERED",
                    ptyMib, fast[kind].seconds, 2.0 * double(ptyMib) / fast[kind].seconds,
                    fast[kind].whole ? "whole" : "LOST/REORDERED");
        std::fflush(stdout);
    }

    std::printf("\n| path | RTT p50 µs | RTT p90 µs | added per crossing p50 µs |\n|---|---|---|---|\n");
    const double base = Median(p50[Direct]);
    for (Kind kind : {Direct, Engine, Window, Socat})
        std::printf("| %s | %.1f | %.1f | %s |\n", kKindNames[kind], Median(p50[kind]), Median(p90[kind]),
                    kind == Direct ? "—" : qPrintable(QString::number((Median(p50[kind]) - base) / 2, 'f', 1)));
    std::printf("\n| path | %lld MiB each way at once: s (median of %d) | MiB/s (sum) | whole and in order |\n|---|---|---|---|\n",
                mib, rounds);
    for (Kind kind : {Engine, Window, Socat}) {
        const double s = Median(seconds[kind]);
        std::printf("| %s | %.2f | %.1f | %s%s |\n", kKindNames[kind], s, 2.0 * double(mib) / s, whole[kind] ? "yes" : "NO",
                    kind == Window ? qPrintable(QStringLiteral(" (History: %1 lines)").arg(lines[kind])) : "");
    }
    std::printf("\nRatios (relay / socat): added latency engine %.2f, window %.2f; flood time engine %.2f, window %.2f; "
                "pty unpaced time engine %.2f\n",
                (Median(p50[Engine]) - base) / std::max(0.1, Median(p50[Socat]) - base),
                (Median(p50[Window]) - base) / std::max(0.1, Median(p50[Socat]) - base),
                Median(seconds[Engine]) / Median(seconds[Socat]), Median(seconds[Window]) / Median(seconds[Socat]),
                fast[Engine].seconds / fast[Socat].seconds);
    bool allWhole = true;
    for (const auto &[kind, ok] : whole)
        allWhole = allWhole && ok;
    for (Kind kind : {Engine, Socat})
        allWhole = allWhole && paced[kind].whole && fast[kind].whole;
    return allWhole ? 0 : 1;
}
