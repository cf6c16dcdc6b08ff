// UDP burst benchmark: the program's own frame and view as a UDP endpoint while a thread sends it a
// burst of 100-byte datagrams back to back over loopback; counts what arrived at the view, what the
// kernel dropped for the socket and what the endpoint's full queue dropped.
// Usage: bench_udpburst [--rows=N:shown,N:hidden,...] [--queue-limit=BYTES]
#include "../benchapp.h"
#include "../benchserver.h"
#include "app/ui/cmainframe.h"
#include "document/cqndoc.h"
#include "display/ui/cmessagewnd.h"
#include "net/cudpsoc.h"
#include "net/cudpwnd.h"
#include "res/commandids.h"
#include "session/ui/cqnview.h"
#include "support/sessionprobe.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kDatagramSize = 100;

struct Figures
{
    int sent = 0;
    int arrived = 0;
    qint64 kernelDrops = 0;
    qint64 queueDrops = 0;
    double peakQueueMb = 0;
    double peakRssMb = 0;
    double seconds = 0;
    double longestStallMs = 0;
};

// A UDP socket bound to 127.0.0.1 on a port of the system's choice.
int BindLoopbackUdp(quint16 &port)
{
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &length);
    port = ntohs(a.sin_port);
    return s;
}

// The receive queue (bytes) and drop count of the UDP socket bound to `port`, from /proc/net/udp(6).
bool KernelCounters(quint16 port, qint64 &queued, qint64 &drops)
{
    const QByteArray suffix = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    // A socket of both families is listed in the IPv6 table.
    for (const char *path : {"/proc/net/udp", "/proc/net/udp6"}) {
        QFile table(QString::fromLatin1(path));
        if (!table.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : table.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() < 13 || !fields[1].endsWith(suffix))
                continue;
            queued = fields[4].split(':').value(1).toLongLong(nullptr, 16);
            drops = fields[12].toLongLong();
            return true;
        }
    }
    return false;
}

// Counts the receive events the view handles: each is one read of the endpoint.
class ReceiveCounter : public QObject
{
public:
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == CMessageEvent::EventType()) {
            const auto *m = static_cast<CMessageEvent *>(e);
            if (m->m_nMessage == WM_SESSION_EVENT && m->m_wParam == EV_RECEIVE)
                ++count;
        }
        return false;
    }
};

Figures Measure(int datagrams, bool shown)
{
    quint16 sinkPort = 0;
    quint16 ownPort = 0;
    const int sink = BindLoopbackUdp(sinkPort);  // the configured destination; nothing is sent to it
    ::close(BindLoopbackUdp(ownPort));
    CQnDoc doc;
    doc.OnNewDocument();
    CMainFrame frame;
    frame.show();
    doc.SetSocketType(TYPE_UDP);
    doc.SetSlotString(CQnDoc::SLOT_UDP_ADDRESS, QStringLiteral("127.0.0.1"));
    doc.SetSlotString(CQnDoc::SLOT_UDP_PORT, QString::number(sinkPort));
    doc.SetSlotString(CQnDoc::SLOT_UDP_OWN_PORT, QString::number(ownPort));
    CQnView *view = frame.GetActiveView();
    view->OnInitialUpdate(&doc);
    SendMessage(view, WM_SESSION_EVENT, EV_CONNECT, 0);
    if (shown) {
        view->OnCommand(ID_VIEW_LOG);
        view->OnCommand(ID_VIEW_HISTORY);
    }
    QCoreApplication::processEvents();
    // Every Log line of the row, also those the window has trimmed by the end.
    QTemporaryDir folder;
    const QString logPath = folder.filePath(QStringLiteral("log.txt"));
    view->LogWindow()->StartRecordingTo(logPath);
    ReceiveCounter counter;
    view->installEventFilter(&counter);

    Figures f;
    f.sent = datagrams;
    qint64 queued = 0;
    qint64 dropsBefore = 0;
    if (!KernelCounters(ownPort, queued, dropsBefore))
        std::fprintf(stderr, "no socket on port %u\n", ownPort);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");  // this row's own peak resident size
    clear.close();

    std::atomic<bool> done{false};
    QElapsedTimer clock;
    clock.start();
    std::thread sender([&] {
        const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(ownPort);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        char datagram[kDatagramSize] = {};
        for (int k = 0; k < datagrams; ++k) {
            const quint32 number = htonl(quint32(k));
            std::memcpy(datagram, &number, sizeof number);
            ::sendto(s, datagram, sizeof datagram, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
        }
        ::close(s);
        done.store(true);
    });

    QElapsedTimer beat;
    beat.start();
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        f.longestStallMs = qMax(f.longestStallMs, double(beat.restart()));
    });
    heartbeat.start();
    qint64 drops = dropsBefore;
    quint64 queueDrops = 0;
    while (clock.elapsed() < 120000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!done.load())
            continue;
        KernelCounters(ownPort, queued, drops);
        const CUDPSoc *soc = SessionProbe::UdpSocket(view);
        queueDrops = soc->DroppedDatagrams();
        if (queued == 0 && soc->QueuedBytes() == 0
            && counter.count + (drops - dropsBefore) + qint64(queueDrops) >= datagrams)
            break;
    }
    f.seconds = clock.elapsed() / 1000.0;
    heartbeat.stop();
    sender.join();
    QCoreApplication::processEvents();
    f.arrived = counter.count;
    f.kernelDrops = drops - dropsBefore;
    f.queueDrops = qint64(queueDrops);
    f.peakQueueMb = double(SessionProbe::UdpSocket(view)->PeakQueuedBytes()) / (1024 * 1024);
    f.peakRssMb = StatusMb(QCoreApplication::applicationPid(), "VmHWM:");

    view->removeEventFilter(&counter);
    SendMessage(view, WM_SESSION_EVENT, EV_DISCONNECT, 1);
    view->LogWindow()->StopRecording();
    QFile log(logPath);
    if (log.open(QIODevice::ReadOnly)) {
        for (const QString &line : QString::fromUtf8(log.readAll()).split(u'\n')) {
            if (line.contains(QStringLiteral("受信ｷｭｰ")))
                std::printf("Log: %s\n", qPrintable(line));
        }
    }
    view->LogWindow()->hide();
    view->HistoryWindow()->hide();
    QCoreApplication::processEvents();
    ::close(sink);
    return f;
}

}  // namespace

int main(int argc, char *argv[])
{
    BenchApp app(argc, argv);
    QList<QPair<int, bool>> rows = {{10000, true}, {100000, false}, {100000, true}};
    for (const QString &argument : app.arguments()) {
        if (argument.startsWith(QStringLiteral("--queue-limit=")))
            CUDPSoc::SetQueueLimit(argument.mid(14).toLongLong());
        if (!argument.startsWith(QStringLiteral("--rows=")))
            continue;
        rows.clear();
        for (const QString &row : argument.mid(7).split(u',')) {
            const QStringList parts = row.split(u':');
            rows.append({parts.value(0).toInt(), parts.value(1) == QStringLiteral("shown")});
        }
    }
    int rmemMax = 0;
    QFile limit(QStringLiteral("/proc/sys/net/core/rmem_max"));
    if (limit.open(QIODevice::ReadOnly))
        rmemMax = limit.readAll().trimmed().toInt();
    std::printf("Bursts of %d-byte datagrams to the UDP endpoint over loopback, net.core.rmem_max = %d.\n\n",
                kDatagramSize, rmemMax);
    std::printf("| %-9s | %-17s | %9s | %9s | %12s | %11s | %13s | %11s | %8s | %8s |\n", "datagrams", "windows",
                "arrived", "lost %", "kernel drops", "queue drops", "peak queue MB", "peak RSS MB", "seconds",
                "stall ms");
    std::printf("|-----------|-------------------|-----------|-----------|--------------|-------------|"
                "---------------|-------------|----------|----------|\n");
    for (const auto &[datagrams, shown] : rows) {
        const Figures f = Measure(datagrams, shown);
        std::printf("| %9d | %-17s | %9d | %9.1f | %12lld | %11lld | %13.1f | %11.1f | %8.2f | %8.0f |\n", f.sent,
                    shown ? "History+Log shown" : "hidden", f.arrived, 100.0 * (f.sent - f.arrived) / f.sent,
                    f.kernelDrops, f.queueDrops, f.peakQueueMb, f.peakRssMb, f.seconds, f.longestStallMs);
        std::fflush(stdout);
    }
    return 0;
}
