// Command panel benchmark: a commands file of 500 sequences of 100 steps read and shown in the
// ｺﾏﾝﾄﾞ一覧 window, and the time from a key press in the program's frame to the telegram arriving at
// a loopback UDP peer (a thread stamps each arrival) while the History and Log are shown.
// Usage: bench_commands [--presses=N] [--runs=N] (--presses=0: the load alone)
#include "../benchapp.h"
#include "../benchserver.h"
#include "app/ui/cmainframe.h"
#include "document/cqndoc.h"
#include "res/commandids.h"
#include "session/ccommandsfile.h"
#include "session/ui/ccommandpanelwnd.h"
#include "session/ui/cqnview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

qint64 NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// `sequences` sequences of `steps` steps (send, wait, expect in turn; each sequence expects its own
// pattern, hex with ?? or a regular expression); the first one a single send on F5.
QByteArray CommandsFile(int sequences, int steps)
{
    QByteArray file = "name,key,action,form,data,checksum,ms,note\r\n";
    file += "key,F5,send,hex,01 03 00 00 00 0A C5 CD,,,\r\n";
    for (int s = 1; s < sequences; ++s) {
        const QByteArray name = "page" + QByteArray::number(s % 5) + "/seq" + QByteArray::number(s);
        for (int i = 0; i < steps; ++i) {
            switch (i % 3) {
            case 0: file += name + ",,send,text+vars,READ ${seq} $1\\r\\n,,,\r\n"; break;
            case 1: file += name + ",,wait,,,,10,\r\n"; break;
            default:  // a pattern of the sequence's own, as a recording has
                file += s % 2 ? name + ",,expect,hex,4F4B" + QByteArray::number(s % 256 + 256, 16).right(2) + " ?? 0D,,500,\r\n"
                              : name + ",,expect,regex,OK ([0-9]+) " + QByteArray::number(s) + ",,500,\r\n";
                break;
            }
        }
    }
    return file;
}

// This thread's CPU time (ms) and the pages it touched for the first time (minor faults) so far.
struct Usage
{
    double cpuMs = 0;
    long faults = 0;
    static Usage Now()
    {
        timespec cpu = {};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
        rusage usage = {};
        ::getrusage(RUSAGE_THREAD, &usage);
        return {double(cpu.tv_sec) * 1e3 + double(cpu.tv_nsec) / 1e6, usage.ru_minflt};
    }
    Usage operator-(const Usage &from) const { return {cpuMs - from.cpuMs, faults - from.faults}; }
};

double Quantile(std::vector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[size_t(q * double(values.size() - 1))];
}

void MeasureLoad(int runs)
{
    const QByteArray file = CommandsFile(500, 100);
    // The program's window is up before the panel opens: its styles and fonts are loaded once, at
    // the program's start, not when a file is read.
    {
        QWidget started;
        CCommandPanelWnd warm(&started);
        warm.show();
        QCoreApplication::processEvents();
    }
    std::vector<double> parse, shown;
    Usage firstRead, firstShown;
    for (int run = 0; run < runs; ++run) {
        QWidget keys;
        const Usage began = Usage::Now();
        QElapsedTimer timer;
        timer.start();
        CCommandsFile commands;
        QString error;
        if (!commands.Parse(file, &error)) {
            std::printf("refused: %s\n", qPrintable(error));
            return;
        }
        parse.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (run == 0)
            firstRead = Usage::Now() - began;
        CCommandPanelWnd panel(&keys);
        panel.SetCommands(std::move(commands));
        panel.show();
        QCoreApplication::processEvents();
        shown.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (run == 0)
            firstShown = Usage::Now() - began;
    }
    // The first run is the one a user sees: the allocator's heap and the expressions' compiled
    // code grow to the file's size in it.
    std::printf("| 500 × 100 steps (%lld KB): read | %.1f ms | %.1f ms (first %.1f) |\n", qlonglong(file.size() / 1024),
                Quantile(parse, 0.5), Quantile(parse, 1), parse.front());
    std::printf("| read, panel built and shown | %.1f ms | %.1f ms (first %.1f) |\n", Quantile(shown, 0.5),
                Quantile(shown, 1), shown.front());
    std::printf("| first run's CPU time: read / shown | %.1f ms / %.1f ms | %ld / %ld pages touched first |\n",
                firstRead.cpuMs, firstShown.cpuMs, firstRead.faults, firstShown.faults);
}

void MeasureKeyToWire(int presses)
{
    quint16 sinkPort = 0;
    const int sink = BindLoopbackUdp(&sinkPort);
    timeval wait = {0, 200000};
    ::setsockopt(sink, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::atomic<qint64> arrived{0};
    std::atomic<int> count{0};
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        char buffer[2048];
        while (!stop.load()) {
            if (::recv(sink, buffer, sizeof buffer, 0) > 0) {
                arrived.store(NowNs());
                count.fetch_add(1);
            }
        }
    });

    CQnDoc doc;
    doc.OnNewDocument();
    CMainFrame frame;
    frame.show();
    doc.SetSocketType(TYPE_UDP);
    doc.SetSlotString(CQnDoc::SLOT_UDP_ADDRESS, QStringLiteral("127.0.0.1"));
    doc.SetSlotString(CQnDoc::SLOT_UDP_PORT, QString::number(sinkPort));
    doc.SetSlotString(CQnDoc::SLOT_UDP_OWN_PORT, QStringLiteral("0"));
    doc.SetSlotBytes(CQnDoc::SLOT_COMMANDS, CommandsFile(500, 100));
    CQnView *view = frame.GetActiveView();
    view->OnInitialUpdate(&doc);
    SendMessage(view, WM_SESSION_EVENT, EV_CONNECT, 0);
    view->OnCommand(ID_VIEW_LOG);
    view->OnCommand(ID_VIEW_HISTORY);
    view->OnCommand(ID_VIEW_COMMANDS);
    frame.activateWindow();
    (void)QTest::qWaitForWindowActive(&frame);
    QCoreApplication::processEvents();

    std::vector<double> latencies;
    for (int i = 0; i < presses; ++i) {
        const int before = count.load();
        const qint64 pressed = NowNs();
        QTest::keyClick(&frame, Qt::Key_F5);
        QElapsedTimer limit;
        limit.start();
        while (count.load() == before && limit.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (count.load() != before)
            latencies.push_back(double(arrived.load() - pressed) / 1e6);
        while (view->CommandPanel()->Runner().IsRunning() && limit.elapsed() < 2000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    stop.store(true);
    reader.join();
    ::close(sink);
    std::printf("| key → wire, %d of %d presses arrived | p50 %.3f ms | p99 %.3f ms (max %.3f) |\n", int(latencies.size()),
                presses, Quantile(latencies, 0.5), Quantile(latencies, 0.99), Quantile(latencies, 1));
    SendMessage(view, WM_SESSION_EVENT, EV_DISCONNECT, 1);
    QCoreApplication::processEvents();
}

}  // namespace

int main(int argc, char *argv[])
{
    BenchApp app(argc, argv);
    int presses = 1000;
    int runs = 7;
    for (const QString &argument : app.arguments()) {
        if (argument.startsWith(QStringLiteral("--presses=")))
            presses = argument.mid(10).toInt();
        else if (argument.startsWith(QStringLiteral("--runs=")))
            runs = std::max(1, argument.mid(7).toInt());
    }
    std::printf("| row | median | worst |\n|---|---|---|\n");
    MeasureLoad(runs);
    if (presses > 0)
        MeasureKeyToWire(presses);
    return 0;
}
