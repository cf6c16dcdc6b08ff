// Values plotted live. A loopback UDP peer (a thread) sends telegrams carrying numbers at a steady
// pace to the program's own frame and view with the ｸﾞﾗﾌ window shown; a 1 ms timer on the GUI thread
// notes the gaps between its ticks, the longest being the longest event-loop stall. Then what 64
// channels cost the receive path: the program's view reading telegrams from the peer as fast as it
// can, with no channels and with 64, alternated in rounds.
// Usage: bench_plot [--seconds=N] [--rounds=N] [--cost]  (--cost: only what the channels cost)
#include "../benchapp.h"
#include "../benchserver.h"
#include "app/ui/cmainframe.h"
#include "document/cqndoc.h"
#include "res/commandids.h"
#include "session/cchannelparser.h"
#include "session/cchannelvalues.h"
#include "session/ui/cplotcanvas.h"
#include "session/ui/cplotwnd.h"
#include "session/ui/cqnview.h"
#include "support/sessionprobe.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The CPU time of the calling thread, in ns.
qint64 ThreadCpuNs()
{
    timespec t = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

double Quantile(std::vector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[size_t(q * double(values.size() - 1))];
}

// The telegram of value number `k`: `channels` fields "Vn=<number>;" in a line.
QByteArray Telegram(qint64 k, int channels)
{
    QByteArray line;
    for (int c = 0; c < channels; ++c)
        line += "V" + QByteArray::number(c) + '=' + QByteArray::number(double(k % 1000) / 10.0 + c, 'f', 1) + ';';
    return line + '\r';
}

// `channels` pattern channels, each reading its own field of the telegram; with `matched`, each also
// selects its telegrams by a text match of a head only some telegrams carry.
CChannelTable Channels(int channels, bool matched)
{
    CChannelTable table;
    for (int c = 0; c < channels; ++c) {
        CChannel channel;
        channel.name = QStringLiteral("v%1").arg(c);
        channel.unit = QStringLiteral("V");
        channel.pattern = QStringLiteral("V%1=([-0-9.]+);").arg(c);
        if (matched) {
            channel.matchKind = CReplyRule::KindStartsWith;
            channel.matchText = true;
            channel.match = QStringLiteral("V%1=").arg(c % 8);
        }
        table.channels << channel;
    }
    return table;
}

// A UDP socket bound to a free loopback port, sending to `port`.
int UdpTo(quint16 port)
{
    const int handle = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    ::connect(handle, reinterpret_cast<sockaddr *>(&a), sizeof a);
    return handle;
}

// The program's frame and view as a UDP endpoint on a free loopback port.
struct Program
{
    CQnDoc doc;
    CMainFrame frame;
    int sink = -1;

    Program()
    {
        quint16 sinkPort = 0;
        sink = BindLoopbackUdp(&sinkPort);
        doc.OnNewDocument();
        frame.show();
        doc.SetSocketType(TYPE_UDP);
        doc.SetSlotString(CQnDoc::SLOT_UDP_ADDRESS, QStringLiteral("127.0.0.1"));
        doc.SetSlotString(CQnDoc::SLOT_UDP_PORT, QString::number(sinkPort));
        doc.SetSlotString(CQnDoc::SLOT_UDP_OWN_PORT, QStringLiteral("0"));
        View()->OnInitialUpdate(&doc);
        frame.OnCommand(ID_SOCKET_CONNECT);
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents();
    }
    ~Program() { ::close(sink); }
    CQnView *View() const { return frame.GetActiveView(); }
    quint16 Port() const { return quint16(SessionProbe::OwnPort(View())); }
};

// `rate` telegrams a second of `channels` values each for `seconds`, with the ｸﾞﾗﾌ window shown
// (`everything`: the span 全部 over a million values kept beforehand).
void MeasureStall(int rate, int channels, int seconds, bool everything)
{
    Program program;
    CQnView *view = program.View();
    view->SetChannels(Channels(channels, false));
    if (everything) {
        // A million values a channel kept already, an hour before now.
        const qint64 now = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::system_clock::now().time_since_epoch()).count();
        for (int c = 0; c < channels; ++c)
            for (qint64 i = 0; i < 1000000; ++i)
                view->ChannelValues().Add(c, now - 3600LL * 1000000 + i * 3600, double(i % 977));
    }
    view->OnCommand(ID_VIEW_PLOT);
    CPlotWnd *plot = view->PlotWindow();
    if (everything)
        plot->Canvas()->SetSpan(0);
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();

    const quint16 port = program.Port();
    std::atomic<bool> done{false};
    std::atomic<qint64> sent{0};
    std::thread sender([&] {
        const int handle = UdpTo(port);
        const Clock::time_point start = Clock::now();
        const qint64 total = qint64(rate) * seconds;
        for (qint64 k = 0; k < total; ++k) {
            std::this_thread::sleep_until(start + std::chrono::nanoseconds(k * 1000000000LL / rate));
            const QByteArray telegram = Telegram(k, channels);
            if (::send(handle, telegram.constData(), size_t(telegram.size()), 0) > 0)
                sent.fetch_add(1);
        }
        ::close(handle);
        done.store(true);
    });

    // The gaps between the ticks of a 1 ms timer: where the loop was busy.
    std::vector<double> gaps;
    Clock::time_point last = Clock::now();
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    // The longest picture, seen as the canvas notes each picture's cost.
    qint64 longestPaintNs = 0;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        gaps.push_back(std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
        longestPaintNs = std::max(longestPaintNs, plot->Canvas()->LastPaintNs());
    });
    QElapsedTimer wall;
    wall.start();
    const qint64 cpuBefore = ThreadCpuNs();
    tick.start();
    QEventLoop loop;
    QTimer watch;
    watch.setInterval(20);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (done.load())
            loop.quit();
    });
    watch.start();
    loop.exec();
    // What is still on its way is read.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    tick.stop();
    const double cpuShare = double(ThreadCpuNs() - cpuBefore) / double(wall.nsecsElapsed());
    sender.join();

    qint64 values = 0;
    for (int c = 0; c < channels; ++c)
        values += view->ChannelValues().Count(c) - (everything ? 1000000 : 0);
    const double over16 = double(std::count_if(gaps.begin(), gaps.end(), [](double g) { return g > 16.0; }));
    std::printf("| %d telegrams/s × %d value%s, %s | %lld of %lld | %.2f ms | %.2f ms | %.1f ms | %.0f | %.1f ms | %.0f %% |\n",
                rate, channels, channels == 1 ? "" : "s", everything ? "全部 over 1,000,000 kept" : "1分",
                qlonglong(values), qlonglong(sent.load()) * channels, Quantile(gaps, 0.5), Quantile(gaps, 0.999),
                gaps.empty() ? 0.0 : *std::max_element(gaps.begin(), gaps.end()), over16,
                double(longestPaintNs) / 1e6, cpuShare * 100.0);
    std::fflush(stdout);
}

// The receive path: `count` telegrams from the peer as fast as the program reads them (UDP: each
// datagram a telegram). Only the reading is timed, not the sending (on loopback the datagram is in
// the program's socket when send returns). Gives µs a telegram, of the wall clock and of this
// thread's CPU time.
struct Cost
{
    double wall = 0.0;
    double cpu = 0.0;
};
Cost ReceiveRound(Program &program, const QByteArray &telegram, int count)
{
    const int handle = UdpTo(program.Port());
    const qint64 before = program.View()->Traffic().SinceConnect().telegramsIn;
    QElapsedTimer deadline;
    deadline.start();
    qint64 wallNs = 0;
    qint64 cpuNs = 0;
    // In bursts the socket's buffer holds, read by the program between them.
    const int burst = 64;
    for (int k = 0; k < count; k += burst) {
        for (int i = 0; i < burst; ++i)
            (void)::send(handle, telegram.constData(), size_t(telegram.size()), 0);
        QElapsedTimer reading;
        reading.start();
        const qint64 cpu = ThreadCpuNs();
        while (program.View()->Traffic().SinceConnect().telegramsIn < before + k + burst &&
               deadline.elapsed() < 60000)
            QCoreApplication::processEvents();
        wallNs += reading.nsecsElapsed();
        cpuNs += ThreadCpuNs() - cpu;
    }
    ::close(handle);
    return {double(wallNs) / 1000.0 / count, double(cpuNs) / 1000.0 / count};
}

void MeasureChannelCost(int rounds)
{
    const int count = 20000;
    const QByteArray telegram = Telegram(7, 8);  // "V0=0.7;V1=1.7;…;V7=7.7;\r"
    struct Row
    {
        const char *name;
        int channels;
        bool matched;
        std::vector<double> micros;
        std::vector<double> cpu;
    };
    std::vector<Row> rows = {{"no channels", 0, false, {}, {}},
                             {"64 channels, each a pattern over every telegram", 64, false, {}, {}},
                             {"64 channels, each selecting by a head (前方一致) first", 64, true, {}, {}}};
    Program program;
    for (int round = 0; round < rounds; ++round) {
        // Each round begins with another row: the History and Log grow through the run, and a row
        // always read first would be read while they were smallest.
        for (size_t k = 0; k < rows.size(); ++k) {
            Row &row = rows[(k + size_t(round)) % rows.size()];
            program.View()->SetChannels(Channels(row.channels, row.matched));
            const Cost cost = ReceiveRound(program, telegram, count);
            row.micros.push_back(cost.wall);
            row.cpu.push_back(cost.cpu);
        }
    }
    const double base = Quantile(rows[0].micros, 0.5);
    const double baseCpu = Quantile(rows[0].cpu, 0.5);
    for (const Row &row : rows) {
        const double median = Quantile(row.micros, 0.5);
        const double cpu = Quantile(row.cpu, 0.5);
        std::printf("| %s | %.2f µs | %.2f µs | %+.1f %% | %.2f µs | %+.1f %% |\n", row.name, median,
                    Quantile(row.micros, 0.0), (median / base - 1.0) * 100.0, cpu, (cpu / baseCpu - 1.0) * 100.0);
    }
    // The parser alone on the same telegram.
    for (const Row &row : rows) {
        if (row.channels == 0)
            continue;
        CChannelParser parser;
        parser.SetTable(Channels(row.channels, row.matched));
        CChannelValues values;
        values.SetChannels(Channels(row.channels, row.matched).channels);
        const int n = 100000;
        QElapsedTimer timer;
        timer.start();
        const qint64 cpu = ThreadCpuNs();
        int read = 0;
        for (int i = 0; i < n; ++i) {
            read += parser.Feed('R', 0, reinterpret_cast<const unsigned char *>(telegram.constData()), int(telegram.size()),
                                i, &values);
            if (i % 50000 == 49999)
                values.Clear();
        }
        std::printf("| the parser alone, %s | %.2f µs a telegram, CPU %.2f µs (%d values) |\n", row.name,
                    double(timer.nsecsElapsed()) / 1000.0 / n, double(ThreadCpuNs() - cpu) / 1000.0 / n, read / n);
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv)
{
    BenchApp app(argc, argv);
    int seconds = 10;
    int rounds = 5;
    for (const QString &argument : app.arguments()) {
        if (argument.startsWith(QStringLiteral("--seconds=")))
            seconds = argument.mid(10).toInt();
        if (argument.startsWith(QStringLiteral("--rounds=")))
            rounds = argument.mid(9).toInt();
    }
    if (!app.arguments().contains(QStringLiteral("--cost"))) {
        std::printf("| values arriving, ｸﾞﾗﾌ shown | values read of sent | loop gap p50 | p99.9 | longest | gaps over 16 ms | "
                    "longest picture | GUI thread CPU |\n");
        std::printf("|---|---|---|---|---|---|---|---|\n");
        MeasureStall(10000, 1, seconds, false);
        MeasureStall(1000, 10, seconds, false);
        MeasureStall(10000, 1, seconds, true);
    }
    std::printf("\n| receive path, telegram of 8 fields (%d rounds of 20,000) | median | best | beside none | CPU median | "
                "beside none |\n", rounds);
    std::printf("|---|---|---|---|---|---|\n");
    MeasureChannelCost(rounds);
    return 0;
}
