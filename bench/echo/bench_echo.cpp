// Echo benchmark: the program's own frame and view as a TCP server with loopback on, against a plain
// threaded C echo server (the loopback limit) and socat, measured in one run on the same machine with
// the same load generator.
#include "../benchapp.h"
#include "../benchserver.h"
#include "res/commandids.h"
#include "display/ui/cmessagewnd.h"
#include "session/ui/cqnview.h"
#include "session/creplyruletable.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Figures
{
    double mbps1k = 0;
    double mbps1m = 0;
    double p50us = 0;
    double p99us = 0;
    double telegramsPerSecond = 0;
    double peakRssMb = 0;
    double longestStallMs = 0;
    double cpuMsPerMb1m = 0;  // user-interface thread CPU time per MB echoed in 1 MB writes
    double cpuUsPerTrip = 0;  // the same per 8-byte round trip
};

// CPU time of the calling thread: what the echo costs, whatever the load on the machine.
double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double Seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

// Writes `total` bytes in writes of `chunk` while a second thread reads the echo; MB/s of the echo.
double EchoThroughput(quint16 port, size_t chunk, size_t total)
{
    const int s = ConnectLoopback(port, false);
    if (s < 0)
        return 0;
    const auto start = Clock::now();
    std::thread reader([s, total] {
        std::vector<char> buffer(1 << 20);
        size_t received = 0;
        while (received < total) {
            const ssize_t n = ::recv(s, buffer.data(), buffer.size(), 0);
            if (n <= 0)
                break;
            received += size_t(n);
        }
    });
    std::vector<char> data(chunk, 'x');
    for (size_t sent = 0; sent < total;) {
        const ssize_t n = ::send(s, data.data(), std::min(chunk, total - sent), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += size_t(n);
    }
    reader.join();
    const double seconds = Seconds(start);
    ::close(s);
    return double(total) / (1024.0 * 1024.0) / seconds;
}

// Round trips of 8-byte telegrams, one in flight: latency percentiles and telegrams per second.
void EchoLatency(quint16 port, int count, Figures &out)
{
    const int s = ConnectLoopback(port, false);
    if (s < 0)
        return;
    std::vector<double> micros;
    micros.reserve(size_t(count));
    const char telegram[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const auto t0 = Clock::now();
        if (::send(s, telegram, sizeof telegram, MSG_NOSIGNAL) != sizeof telegram)
            break;
        char back[8];
        size_t got = 0;
        while (got < sizeof back) {
            const ssize_t n = ::recv(s, back + got, sizeof back - got, 0);
            if (n <= 0)
                break;
            got += size_t(n);
        }
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    out.telegramsPerSecond = double(micros.size()) / Seconds(start);
    ::close(s);
    if (micros.empty())
        return;
    std::sort(micros.begin(), micros.end());
    out.p50us = micros[micros.size() / 2];
    out.p99us = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
}

double PeakRssMb(qint64 pid)
{
    return StatusMb(pid, "VmHWM:");
}

// Runs the load on a thread while the event loop keeps serving; measures the longest gap between
// heartbeats of a 5 ms timer on the user-interface thread.
double RunLoad(const std::function<void()> &load)
{
    std::atomic<bool> done{false};
    QElapsedTimer beat;
    beat.start();
    qint64 longest = 0;
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longest = std::max(longest, beat.restart());
    });
    heartbeat.start(5);
    std::thread worker([&] {
        load();
        done = true;
    });
    // The loop sleeps between events as the program's own does (a spinning loop would take a core
    // from the load and count as the echo's CPU time); the heartbeat wakes it to see the end.
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    worker.join();
    // One more turn so that the last heartbeat gap is seen.
    QCoreApplication::processEvents();
    return double(longest);
}

struct Sizes
{
    size_t small = 64u << 20;   // bytes sent in 1 KB writes
    size_t large = 256u << 20;  // bytes sent in 1 MB writes
    int roundTrips = 5000;
    size_t flood = size_t(1) << 30;  // bytes of the memory flood, in 1 MB writes
    QString phase;                    // "1k", "1m" or "8": only that phase; empty: all three
};

// The memory flood: resident sizes before, at the peak, and after both windows were cleared.
struct FloodFigures
{
    double mbps = 0;
    double startRssMb = 0;
    double peakRssMb = 0;
    double clearedRssMb = 0;
    double longestStallMs = 0;
    int historyLines = 0;
    double historyMb = 0;
};

// The three phases, each on a fresh connection; `settle` runs on the user-interface thread between
// phases (the program serves one client at a time and must have seen the last one go).
void Measure(quint16 port, const Sizes &sizes, Figures &out, const std::function<void()> &settle)
{
    const auto runs = [&sizes](const char *phase) { return sizes.phase.isEmpty() || sizes.phase == QLatin1String(phase); };
    double stall = 0;
    if (runs("1k")) {
        stall = std::max(stall, RunLoad([&] { out.mbps1k = EchoThroughput(port, 1024, sizes.small); }));
        settle();
    }
    if (runs("1m")) {
        const double cpu = ThreadCpuSeconds();
        stall = std::max(stall, RunLoad([&] { out.mbps1m = EchoThroughput(port, 1 << 20, sizes.large); }));
        out.cpuMsPerMb1m = (ThreadCpuSeconds() - cpu) * 1000.0 / double(sizes.large >> 20);
        settle();
    }
    if (runs("8")) {
        const double cpu = ThreadCpuSeconds();
        stall = std::max(stall, RunLoad([&] { EchoLatency(port, sizes.roundTrips, out); }));
        out.cpuUsPerTrip = (ThreadCpuSeconds() - cpu) * 1e6 / sizes.roundTrips;
    }
    out.longestStallMs = stall;
}

// 64 enabled rules of the kind 含む, each of 8 bytes starting with a byte of its own, none of which
// occurs in the load (all 'x'): every received block is searched for all of them and then echoed.
CReplyRuleTable SixtyFourContainsRules()
{
    CReplyRuleTable table;
    table.use = true;
    for (int i = 0; i < CReplyRuleTable::kMaxRules; ++i) {
        CReplyRule rule;
        rule.kind = CReplyRule::KindContains;
        rule.match = QStringLiteral("%1A5A5A5A5A5A5%2").arg(i * 4 + 1, 2, 16, QLatin1Char('0')).arg(i, 2, 16, QLatin1Char('0'));
        rule.reply = QStringLiteral("06");
        table.rules.append(rule);
    }
    return table;
}

Figures MeasureQuillnet(bool windowsShown, const Sizes &sizes, bool rules = false, bool stats = false)
{
    BenchServer server(true, windowsShown);
    if (rules)
        server.View()->SetReplyRules(SixtyFourContainsRules());
    if (stats)
        server.View()->OnCommand(ID_VIEW_STATS);
    ResetPeakRss();  // this row's own peak, not an earlier one's
    Figures figures;
    Measure(server.Port(), sizes, figures, [&server] {
        while (server.ClientHandle() >= 0)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    });
    figures.peakRssMb = PeakRssMb(QCoreApplication::applicationPid());
    return figures;
}

// A short row first, not shown: the first row of a process would otherwise also pay for the
// allocator's first pages, which the rows after it find ready.
void WarmUp(bool windowsShown, Sizes sizes)
{
    sizes.small = 8u << 20;
    sizes.large = 64u << 20;
    sizes.roundTrips = 500;
    MeasureQuillnet(windowsShown, sizes);
}

// A flood of 1 MB telegrams echoed with History and Log shown: what the program holds at most, and
// what it gives back when the user clears both windows.
FloodFigures MeasureFlood(const Sizes &sizes)
{
    BenchServer server(true, true);
    CQnView *view = server.View();
    FloodFigures figures;
    const qint64 pid = QCoreApplication::applicationPid();
    figures.startRssMb = StatusMb(pid, "VmRSS:");
    ResetPeakRss();
    figures.longestStallMs = RunLoad([&] { figures.mbps = EchoThroughput(server.Port(), 1 << 20, sizes.flood); });
    figures.peakRssMb = PeakRssMb(pid);
    figures.historyLines = view->HistoryWindow()->LineCount();
    figures.historyMb = double(view->HistoryWindow()->StoredBytes()) / (1024.0 * 1024.0);
    for (CMessageWnd *window : {view->HistoryWindow(), view->LogWindow()}) {
        if (auto *clear = qobject_cast<QAbstractButton *>(window->GetDlgItem(CMessageWnd::IDC_CLEAR)))
            clear->click();
    }
    QCoreApplication::processEvents();
    figures.clearedRssMb = StatusMb(pid, "VmRSS:");
    return figures;
}

// An echo server in a process of its own, started on a free loopback port: `arguments` with %1 for
// the port.
Figures MeasureServer(const QString &program, const QStringList &arguments, const Sizes &sizes)
{
    Figures figures;
    const quint16 port = FreeLoopbackPort();
    QStringList args;
    for (const QString &argument : arguments)
        args.append(argument.contains(QLatin1String("%1")) ? argument.arg(port) : argument);
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(program, args);
    if (!server.waitForStarted(5000)) {
        std::fprintf(stderr, "%s could not be started\n", qPrintable(program));
        return figures;
    }
    // Wait until it listens.
    const auto start = Clock::now();
    for (int s = -1; s < 0 && Seconds(start) < 5;) {
        s = ConnectLoopback(port, false);
        if (s >= 0)
            ::close(s);
    }
    Measure(port, sizes, figures, [] {});
    figures.peakRssMb = PeakRssMb(server.processId());
    server.terminate();
    server.waitForFinished(5000);
    return figures;
}

void PrintHeader()
{
    std::printf("| %-27s | %15s | %15s | %14s | %14s | %16s | %7s | %7s |\n", "echo server", "1 KB MB/s",
                "1 MB MB/s", "p50 µs", "p99 µs", "telegrams/s", "RSS MB", "stall ms");
    std::printf("|%s|%s|%s|%s|%s|%s|%s|%s|\n", "-----------------------------", "-----------------",
                "-----------------", "----------------", "----------------", "------------------", "---------",
                "---------");
}

void PrintRow(const char *name, const Figures &f, const Figures &base)
{
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    std::printf("| %-27s | %8.1f (%4.2f) | %8.1f (%4.2f) | %7.1f (%4.2f) | %7.1f (%4.2f) | %9.0f (%4.2f) | %7.1f | %7.0f |\n",
                name, f.mbps1k, ratio(f.mbps1k, base.mbps1k), f.mbps1m, ratio(f.mbps1m, base.mbps1m), f.p50us,
                ratio(f.p50us, base.p50us), f.p99us, ratio(f.p99us, base.p99us), f.telegramsPerSecond,
                ratio(f.telegramsPerSecond, base.telegramsPerSecond), f.peakRssMb, f.longestStallMs);
}

}  // namespace

int main(int argc, char *argv[])
{
    BenchApp app(argc, argv);
    Sizes sizes;
    if (app.arguments().contains(QStringLiteral("--quick"))) {
        sizes.small = 8u << 20;
        sizes.large = 32u << 20;
        sizes.roundTrips = 1000;
        sizes.flood = 128u << 20;
    }

    // --rules: only the rows with and without reply rules, measured one after the other.
    // --only hidden|shown [1k|1m|8]: only that row of the program (for a profiler), printed alone,
    // optionally only one phase of it; --with-rules and --with-stats add the rules or the open
    // statistics window.
    const bool rulesOnly = app.arguments().contains(QStringLiteral("--rules"));
    const qsizetype only = app.arguments().indexOf(QStringLiteral("--only"));
    if (only >= 0 && only + 1 < app.arguments().size()) {
        if (only + 2 < app.arguments().size() && !app.arguments().at(only + 2).startsWith(QLatin1String("--")))
            sizes.phase = app.arguments().at(only + 2);
        const bool shownRow = app.arguments().at(only + 1) == QStringLiteral("shown");
        const Figures row = MeasureQuillnet(shownRow, sizes, app.arguments().contains(QStringLiteral("--with-rules")),
                                            app.arguments().contains(QStringLiteral("--with-stats")));
        PrintHeader();
        PrintRow(shownRow ? "quillnet, History+Log shown" : "quillnet, windows hidden", row, row);
        std::printf("\nUser-interface thread CPU per MB echoed in 1 MB writes: %.2f ms; per 8-byte round trip: %.1f µs.\n",
                    row.cpuMsPerMb1m, row.cpuUsPerTrip);
        return 0;
    }
    // --stats: History and Log shown, with the 通信統計 window closed and open, alternated.
    if (app.arguments().contains(QStringLiteral("--stats"))) {
        WarmUp(true, sizes);
        std::printf("History and Log shown; ratios to the row before it, measured alternately in this run.\n\n");
        PrintHeader();
        constexpr int kRounds = 5;
        std::vector<double> ratios[5];
        const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
        for (int round = 0; round < kRounds; ++round) {
            const Figures closed = MeasureQuillnet(true, sizes);
            const Figures open = MeasureQuillnet(true, sizes, false, true);
            PrintRow("statistics closed", closed, closed);
            PrintRow("statistics open", open, closed);
            ratios[0].push_back(ratio(open.mbps1k, closed.mbps1k));
            ratios[1].push_back(ratio(open.mbps1m, closed.mbps1m));
            ratios[2].push_back(ratio(open.p50us, closed.p50us));
            ratios[3].push_back(ratio(open.telegramsPerSecond, closed.telegramsPerSecond));
            ratios[4].push_back(ratio(open.cpuMsPerMb1m, closed.cpuMsPerMb1m));
        }
        const auto median = [](std::vector<double> values) {
            std::sort(values.begin(), values.end());
            return values[values.size() / 2];
        };
        std::printf("\nMedian of the %d rounds' ratios, open / closed: 1 KB MB/s %.3f, 1 MB MB/s %.3f, p50 %.3f,\n"
                    "telegrams/s %.3f, user-interface thread CPU per MB in 1 MB writes %.3f.\n",
                    kRounds, median(ratios[0]), median(ratios[1]), median(ratios[2]), median(ratios[3]), median(ratios[4]));
        return 0;
    }
    const QString cEcho = QCoreApplication::applicationDirPath() + QStringLiteral("/bench_cecho");
    // --ratios: the C server, socat, the program with its windows hidden and with History, Log and
    // 通信統計 shown, in that order in one run; one line of ratios to the C server at the end, which
    // bench/echo/alternate.sh collects from two builds run by turns.
    if (app.arguments().contains(QStringLiteral("--ratios"))) {
        WarmUp(false, sizes);
        const Figures c = MeasureServer(cEcho, {QStringLiteral("%1")}, sizes);
        const Figures s = MeasureServer(QStringLiteral("socat"),
                                        {QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork"), QStringLiteral("PIPE")}, sizes);
        const Figures hidden = MeasureQuillnet(false, sizes);
        const Figures shown = MeasureQuillnet(true, sizes, false, true);
        PrintHeader();
        PrintRow("C server, thread a client", c, c);
        PrintRow("socat PIPE", s, c);
        PrintRow("quillnet, windows hidden", hidden, c);
        PrintRow("quillnet, History+Log+統計", shown, c);
        const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
        std::printf("RATIOS hidden1m=%.3f shown1m=%.3f hidden1k=%.3f p50=%.3f p99=%.3f shownp50=%.3f "
                    "socat1m=%.3f cpums=%.3f cpuus=%.2f stall=%.0f\n",
                    ratio(hidden.mbps1m, c.mbps1m), ratio(shown.mbps1m, c.mbps1m), ratio(hidden.mbps1k, c.mbps1k),
                    ratio(hidden.p50us, c.p50us), ratio(hidden.p99us, c.p99us), ratio(shown.p50us, c.p50us),
                    ratio(hidden.mbps1m, s.mbps1m), hidden.cpuMsPerMb1m, hidden.cpuUsPerTrip,
                    std::max(hidden.longestStallMs, shown.longestStallMs));
        return 0;
    }
    const Figures limit = rulesOnly ? Figures{} : MeasureServer(cEcho, {QStringLiteral("%1")}, sizes);
    const Figures socat = rulesOnly ? Figures{}
        : MeasureServer(QStringLiteral("socat"),
                        {QStringLiteral("TCP-LISTEN:%1,bind=127.0.0.1,reuseaddr,fork"), QStringLiteral("PIPE")}, sizes);
    // The 1 KB phase again against the C server made to answer late: its blocks grow, and so does the
    // figure, which measures how late a server answers as much as how fast it is.
    Sizes oneK = sizes;
    oneK.phase = QStringLiteral("1k");
    const Figures late = rulesOnly ? Figures{} : MeasureServer(cEcho, {QStringLiteral("%1"), QStringLiteral("100")}, oneK);
    WarmUp(false, sizes);
    const Figures hidden = MeasureQuillnet(false, sizes);
    const Figures hiddenRules = MeasureQuillnet(false, sizes, true);
    const Figures shown = MeasureQuillnet(true, sizes);
    const Figures shownRules = MeasureQuillnet(true, sizes, true);
    const FloodFigures flood = rulesOnly ? FloodFigures{} : MeasureFlood(sizes);

    std::printf("Echo over loopback: 1 KB writes %zu MB, 1 MB writes %zu MB, %d round trips of 8 bytes.\n"
                "Ratios to the C echo server in parentheses (latency: lower is better). Peak RSS: VmHWM of the\n"
                "echoing process; for socat the listening parent (each connection runs in a forked child). Stall:\n"
                "longest gap of a 5 ms heartbeat timer on the user-interface thread.\n\n",
                sizes.small >> 20, sizes.large >> 20, sizes.roundTrips);
    PrintHeader();
    PrintRow("C server, thread a client", limit, limit);
    PrintRow("socat PIPE", socat, limit);
    PrintRow("quillnet, windows hidden", hidden, limit);
    PrintRow("quillnet, History+Log shown", shown, limit);
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    if (!rulesOnly)
        std::printf("\nWindows hidden against the C server / socat: 1 KB echo %.2f / %.2f, 1 MB echo %.2f / %.2f,\n"
                    "8-byte p50 %.2f / %.2f; telegrams/s with History and Log shown: %.0f.\n",
                    ratio(hidden.mbps1k, limit.mbps1k), ratio(hidden.mbps1k, socat.mbps1k),
                    ratio(hidden.mbps1m, limit.mbps1m), ratio(hidden.mbps1m, socat.mbps1m),
                    ratio(hidden.p50us, limit.p50us), ratio(hidden.p50us, socat.p50us), shown.telegramsPerSecond);
    if (!rulesOnly)
        std::printf("1 KB echo of the C server waiting 100 µs after each read under 64 KB (answering late, so that\n"
                    "the writes gather): %.1f MB/s, %.2f × the C server, %.2f × socat.\n",
                    late.mbps1k, ratio(late.mbps1k, limit.mbps1k), ratio(late.mbps1k, socat.mbps1k));
    std::printf("\nWith 64 reply rules of the kind 含む that never hold (so every block is searched, then\n"
                "echoed); ratios to the same row without rules, measured in this run:\n\n");
    PrintRow("hidden, 64 rules", hiddenRules, hidden);
    PrintRow("shown, 64 rules", shownRules, shown);
    std::printf("\nUser-interface thread CPU per MB echoed in 1 MB writes (the echo's own cost, robust to load):\n"
                "hidden %.2f ms, with 64 rules %.2f ms (%+.1f %%); shown %.2f ms, with 64 rules %.2f ms (%+.1f %%).\n"
                "Per 8-byte round trip: hidden %.1f µs, shown %.1f µs.\n",
                hidden.cpuMsPerMb1m, hiddenRules.cpuMsPerMb1m, (hiddenRules.cpuMsPerMb1m / hidden.cpuMsPerMb1m - 1) * 100,
                shown.cpuMsPerMb1m, shownRules.cpuMsPerMb1m, (shownRules.cpuMsPerMb1m / shown.cpuMsPerMb1m - 1) * 100,
                hidden.cpuUsPerTrip, shown.cpuUsPerTrip);
    if (!rulesOnly)
        std::printf("\nMemory flood: %zu MB echoed in 1 MB writes with History and Log shown, %.1f MB/s, longest stall %.0f ms.\n"
                "Resident size: %.0f MB before, %.0f MB at the peak, %.0f MB after both windows were cleared.\n"
                "The History held %d lines, %.1f MB of text, at the end.\n",
                sizes.flood >> 20, flood.mbps, flood.longestStallMs, flood.startRssMb, flood.peakRssMb,
                flood.clearedRssMb, flood.historyLines, flood.historyMb);
    return 0;
}
