// Many-clients benchmark: N clients on loopback each send a 1 KB telegram every 100 ms for a while
// to an echoing TCP server, and check that every echo comes back whole, in order and to its own
// client. The server is the program's own frame and view (many clients, loopback on, History and
// Log shown; its longest stall and peak memory measured), then `socat ... fork PIPE` and, where it
// is installed, `ncat -k --sh-exec cat`, each a process per client.
// Usage: bench_clients [--clients=N] [--seconds=S] [--only=quillnet|socat|ncat]
//        bench_clients --accept=N[,N…]: how long the program takes to accept N clients that connect at
//        once while the Command Send window is open (its "送信先" list then holds every client).
#include "../benchapp.h"
#include "app/ui/cmainframe.h"
#include "display/ui/ccommandsenddlg.h"
#include "support/sessionprobe.h"
#include "document/cqndoc.h"
#include "platform/descriptorlimit.h"
#include "res/commandids.h"
#include "session/ui/cqnview.h"

#include "../benchserver.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kTelegram = 1024;
constexpr int kPeriodMs = 100;

qint64 NowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

char PatternByte(int client, qint64 offset)
{
    return char((client * 131 + offset * 7 + (offset >> 10)) & 0xFF);
}

struct Outcome
{
    qint64 sent = 0;        // telegrams
    qint64 echoed = 0;      // telegrams come back whole and right
    qint64 wrongBytes = 0;  // echo bytes that differ from what the client sent
    int connected = 0;
    double driverCpu = 0;   // CPU seconds of the clients' own thread
    std::vector<qint64> latencyUs;
};

double CpuSeconds(int who);

// The clients: connect all, then drive them for `seconds` from one thread with epoll.
Outcome Drive(quint16 port, int clients, int seconds, const std::atomic<bool> &abort)
{
    struct Client
    {
        int handle = -1;
        qint64 sentBytes = 0;
        qint64 receivedBytes = 0;
        qint64 nextSendUs = 0;
        std::deque<qint64> sendTimes;
    };
    Outcome outcome;
    std::vector<Client> all(static_cast<size_t>(clients));
    const int poller = ::epoll_create1(0);
    for (int i = 0; i < clients; ++i) {
        all[size_t(i)].handle = ConnectLoopback(port, true);
        epoll_event interest{};
        interest.events = EPOLLIN;
        interest.data.u32 = uint32_t(i);
        ::epoll_ctl(poller, EPOLL_CTL_ADD, all[size_t(i)].handle, &interest);
    }
    const qint64 start = NowUs() + 1'000'000;  // a second to be accepted
    for (int i = 0; i < clients; ++i)
        all[size_t(i)].nextSendUs = start + qint64(i) * kPeriodMs * 1000 / clients;
    const qint64 end = start + qint64(seconds) * 1'000'000;
    char buffer[65536];
    std::vector<epoll_event> events(256);
    while (!abort.load()) {
        const qint64 now = NowUs();
        if (now >= end + 2'000'000)
            break;  // the last echoes have had two seconds
        for (int i = 0; i < clients && now < end; ++i) {
            Client &c = all[size_t(i)];
            if (now < c.nextSendUs)
                continue;
            char telegram[kTelegram];
            for (int k = 0; k < kTelegram; ++k)
                telegram[k] = PatternByte(i, c.sentBytes + k);
            // A server that does not keep up fills the socket's buffer: the telegram is skipped, or,
            // once begun, finished blocking so the stream stays whole.
            const ssize_t begun = ::send(c.handle, telegram, kTelegram, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (begun > 0) {
                for (ssize_t done = begun; done < kTelegram;) {
                    const ssize_t n = ::send(c.handle, telegram + done, size_t(kTelegram - done), MSG_NOSIGNAL);
                    if (n <= 0)
                        break;
                    done += n;
                }
                c.sentBytes += kTelegram;
                c.sendTimes.push_back(now);
                ++outcome.sent;
            }
            c.nextSendUs += kPeriodMs * 1000;
        }
        const int n = ::epoll_wait(poller, events.data(), int(events.size()), 1);
        for (int e = 0; e < n; ++e) {
            const int i = int(events[size_t(e)].data.u32);
            Client &c = all[size_t(i)];
            const ssize_t got = ::recv(c.handle, buffer, sizeof buffer, MSG_DONTWAIT);
            for (ssize_t k = 0; k < got; ++k) {
                if (buffer[k] != PatternByte(i, c.receivedBytes + k))
                    ++outcome.wrongBytes;
            }
            if (got > 0) {
                const qint64 before = c.receivedBytes / kTelegram;
                c.receivedBytes += got;
                for (qint64 t = before; t < c.receivedBytes / kTelegram && !c.sendTimes.empty(); ++t) {
                    outcome.latencyUs.push_back(NowUs() - c.sendTimes.front());
                    c.sendTimes.pop_front();
                    ++outcome.echoed;
                }
            }
        }
    }
    for (const Client &c : all) {
        outcome.connected += c.sentBytes > 0;
        ::close(c.handle);
    }
    ::close(poller);
    outcome.driverCpu = CpuSeconds(RUSAGE_THREAD);
    return outcome;
}

double Percentile(std::vector<qint64> &values, double q)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return double(values[size_t(q * double(values.size() - 1))]) / 1000.0;
}

// CPU seconds of this process (RUSAGE_SELF) or of the calling thread (RUSAGE_THREAD).
double CpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One row of the table; stall, memory and CPU are known for the program only (negative: not measured).
void Report(const char *server, int clients, Outcome &o, double stallMs, double rssMb, double cpuPercent)
{
    const double p50 = Percentile(o.latencyUs, 0.5);  // sorts
    const double p99 = Percentile(o.latencyUs, 0.99);
    const double max = o.latencyUs.empty() ? 0 : double(o.latencyUs.back()) / 1000.0;
    auto measured = [](double value, const char *format) {
        char text[32];
        if (value < 0)
            return QByteArray("n/a");
        std::snprintf(text, sizeof text, format, value);
        return QByteArray(text);
    };
    std::printf("| %s | %d | %d | %lld | %lld | %lld | %.2f | %.2f | %.2f | %s | %s | %s |\n", server, clients, o.connected,
                o.sent, o.echoed, o.wrongBytes, p50, p99, max, measured(stallMs, "%.0f").constData(),
                measured(rssMb, "%.0f").constData(), measured(cpuPercent, "%.1f").constData());
    std::fflush(stdout);
}

// The program's window with a TCP server of many clients on `port`, not yet listening.
CQnView *ShowServer(CQnDoc &doc, CMainFrame &frame, quint16 port, int clients)
{
    doc.OnNewDocument();
    frame.show();
    doc.SetSocketType(TYPE_TCP_SERVER);
    doc.SetSlotString(CQnDoc::SLOT_SERVER_PORT, QString::number(port));
    doc.SetSlotString(CQnDoc::SLOT_SERVER_CLIENTS, QString::number(clients));
    CQnView *view = frame.GetActiveView();
    view->OnInitialUpdate(&doc);
    return view;
}

void RunProgram(int clients, int seconds)
{
    const quint16 port = FreeLoopbackPort();
    CQnDoc doc;
    CMainFrame frame;
    CQnView *view = ShowServer(doc, frame, port, clients);
    SendMessage(view, WM_SESSION_EVENT, EV_LOOPBACK_ON, 0);
    SendMessage(view, WM_SESSION_EVENT, EV_CONNECT, 0);
    view->OnCommand(ID_VIEW_LOG);
    view->OnCommand(ID_VIEW_HISTORY);
    QCoreApplication::processEvents();
    ResetPeakRss();
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);

    std::atomic<bool> abort{false};
    Outcome outcome;
    std::atomic<bool> done{false};
    std::thread driver([&] {
        outcome = Drive(port, clients, seconds, abort);
        done.store(true);
    });
    QElapsedTimer beat;
    double stallMs = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { stallMs = std::max(stallMs, double(beat.restart())); });
    QElapsedTimer warmUp;
    warmUp.start();
    beat.start();
    heartbeat.start();
    while (!done.load()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (warmUp.elapsed() < 1500)
            stallMs = 0;  // the connects of all clients at once are not the steady load
    }
    driver.join();
    // The clients' thread ran in this process too: its CPU is taken off the program's.
    const double cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore - outcome.driverCpu;
    Report("Quillnet (History+Log shown)", clients, outcome, stallMs, StatusMb(QCoreApplication::applicationPid(), "VmHWM:"),
           100.0 * cpu / (seconds + 3));
    SendMessage(view, WM_SESSION_EVENT, EV_DISCONNECT, 1);
    QCoreApplication::processEvents();
}

// N clients connect from a thread of their own, as fast as the system lets them; the program accepts
// them with Command Send open. The time from the first connect until every client is accepted and
// in the "送信先" list, and the longest stall of the user-interface thread meanwhile.
void RunAccept(int clients)
{
    const quint16 port = FreeLoopbackPort();
    CQnDoc doc;
    CMainFrame frame;
    CQnView *view = ShowServer(doc, frame, port, clients);
    SendMessage(view, WM_SESSION_EVENT, EV_CONNECT, 0);
    view->OnCommand(ID_COMMAND_SEND);
    QCoreApplication::processEvents();
    const CTCPSrvr *server = SessionProbe::TcpServer(view);
    const auto *target = qobject_cast<QComboBox *>(view->CommandWindow()->GetDlgItem(CCommandSendDlg::IDC_PEER));
    if (!server || !target)
        return;
    std::vector<int> handles(size_t(clients), -1);
    std::atomic<bool> done{false};
    QElapsedTimer clock;
    clock.start();
    std::thread driver([&] {
        for (int &handle : handles)
            handle = ConnectLoopback(port, false);
        done.store(true);
    });
    QElapsedTimer beat;
    double stallMs = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { stallMs = std::max(stallMs, double(beat.restart())); });
    beat.start();
    heartbeat.start();
    while (server->Peers().size() < clients || target->count() < clients + 1) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (clock.elapsed() > 300000)
            break;
    }
    const qint64 elapsed = clock.elapsed();
    driver.join();
    std::printf("| %d | %d | %lld | %.0f |\n", clients, int(server->Peers().size()), elapsed, stallMs);
    std::fflush(stdout);
    SendMessage(view, WM_SESSION_EVENT, EV_DISCONNECT, 1);
    for (int handle : handles) {
        if (handle >= 0)
            ::close(handle);
    }
    QCoreApplication::processEvents();
}

void RunPeer(const char *name, const QString &program, const QStringList &arguments, quint16 port, int clients, int seconds)
{
    QProcess peer;
    peer.start(program, arguments);
    if (!peer.waitForStarted(5000))
        return;
    for (int i = 0; i < 50; ++i) {  // until it listens
        const int probe = ConnectLoopback(port, false);
        if (probe >= 0) {
            ::close(probe);
            break;
        }
        QThread::msleep(20);
    }
    std::atomic<bool> abort{false};
    Outcome outcome = Drive(port, clients, seconds, abort);
    peer.terminate();
    peer.waitForFinished(5000);
    Report(name, clients, outcome, -1, -1, -1);
}

}  // namespace

int main(int argc, char *argv[])
{
    BenchApp app(argc, argv);
    RaiseDescriptorLimit();
    int clients = 1000;
    int seconds = 60;
    QString only;
    QStringList accept;
    for (const QString &argument : app.arguments()) {
        if (argument.startsWith(QStringLiteral("--accept=")))
            accept = argument.mid(9).split(QLatin1Char(','));
        if (argument.startsWith(QStringLiteral("--clients=")))
            clients = argument.mid(10).toInt();
        else if (argument.startsWith(QStringLiteral("--seconds=")))
            seconds = argument.mid(10).toInt();
        else if (argument.startsWith(QStringLiteral("--only=")))
            only = argument.mid(7);
    }
    if (!accept.isEmpty()) {
        std::printf("Clients connecting at once, accepted with Command Send open.\n\n");
        std::printf("| clients | accepted | ms until all accepted and listed | longest stall ms |\n|---|---|---|---|\n");
        for (const QString &count : std::as_const(accept))
            RunAccept(count.toInt());
        return 0;
    }
    std::printf("%d clients, each a %d-byte telegram every %d ms for %d s, echoed over loopback.\n\n", clients, kTelegram,
                kPeriodMs, seconds);
    std::printf("| server | clients | connected | sent | echoed whole | wrong bytes | p50 ms | p99 ms | max ms | stall ms | peak RSS MB | CPU %% |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    if (only.isEmpty() || only == QStringLiteral("quillnet"))
        RunProgram(clients, seconds);
    if (only.isEmpty() || only == QStringLiteral("socat")) {
        const quint16 port = FreeLoopbackPort();
        RunPeer("socat TCP-LISTEN,fork PIPE", QStringLiteral("socat"),
                {QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,fork,reuseaddr,backlog=4096").arg(port), QStringLiteral("PIPE")},
                port, clients, seconds);
    }
    const QString ncat = QStandardPaths::findExecutable(QStringLiteral("ncat"));
    if (!ncat.isEmpty() && (only.isEmpty() || only == QStringLiteral("ncat"))) {
        const quint16 port = FreeLoopbackPort();
        RunPeer("ncat -k --sh-exec cat", ncat,
                {QStringLiteral("-k"), QStringLiteral("-l"), QStringLiteral("127.0.0.1"), QString::number(port),
                 QStringLiteral("-m"), QString::number(clients + 10), QStringLiteral("--sh-exec"), QStringLiteral("cat")},
                port, clients, seconds);
    }
    return 0;
}
