// Serial stream benchmark: a device on a pseudo-terminal pair sends a stream at the pace of a
// 3,000,000-baud line (300,000 bytes/s, 10 bits a byte) to the program's own frame and view, History
// and Log shown, capture on. The capture must hold the stream whole and in order; the user-interface
// thread's longest stall is measured. The same stream through socat into a file is the comparison.
// bench/serial/bench_serial [--seconds N] [--baud B]   (needs socat for the comparison)
#include "app/ui/cmainframe.h"
#include "document/cqndoc.h"
#include "platform/cmessageevent.h"
#include "platform/prompts.h"
#include "platform/ui/uifonts.h"
#include "res/commandids.h"
#include "session/ui/cqnview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {

// Answers the capture's file dialog with one path; no message box is expected.
class FixedPrompts : public Prompts
{
public:
    explicit FixedPrompts(QString path) : m_path(std::move(path)) {}
    int MessageBox(QObject *, const QString &text, const QString &, Buttons, Icon) override
    {
        std::fprintf(stderr, "message box: %s\n", qPrintable(text));
        return IDOK;
    }
    QString FileName(QObject *, const FileRequest &) override { return m_path; }

private:
    QString m_path;
};

QByteArray Stream(qint64 bytes)
{
    QByteArray stream(bytes, '\0');
    quint32 x = 2463534242u;
    for (qint64 i = 0; i < bytes; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        stream[i] = char(x);
    }
    return stream;
}

// Writes `stream` to `handle` at `bytesPerSecond`, in 10 ms steps, on a thread of its own.
std::thread Pace(int handle, const QByteArray &stream, double bytesPerSecond)
{
    return std::thread([handle, &stream, bytesPerSecond] {
        const auto start = std::chrono::steady_clock::now();
        qint64 sent = 0;
        while (sent < stream.size()) {
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const qint64 due = std::min<qint64>(stream.size(), qint64(seconds * bytesPerSecond) + 1);
            while (sent < due) {
                const ssize_t written = ::write(handle, stream.constData() + sent, std::size_t(due - sent));
                if (written > 0)
                    sent += written;
                else if (errno == EAGAIN) {
                    pollfd out{handle, POLLOUT, 0};
                    ::poll(&out, 1, 10);
                } else if (errno != EINTR)
                    return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
}

double CpuSeconds(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Pair
{
    int master = -1;
    int slave = -1;
    QString path;
    Pair()
    {
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) == 0)
            path = QString::fromLocal8Bit(name);
    }
    ~Pair()
    {
        for (int handle : {master, slave})
            if (handle >= 0)
                ::close(handle);
    }
};

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    const QStringList arguments = app.arguments();
    const auto option = [&arguments](const char *name, double fallback) {
        const qsizetype at = arguments.indexOf(QString::fromLatin1(name));
        return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toDouble() : fallback;
    };
    const double seconds = option("--seconds", 60);
    const double baud = option("--baud", 3000000);
    const double rate = baud / 10;
    const QByteArray stream = Stream(qint64(seconds * rate));
    QTemporaryDir dir;
    std::printf("| %-22s | %8s | %9s | %6s | %5s | %9s | %7s |\n", "reader", "baud", "MB", "s", "whole", "stall ms", "CPU s");
    std::printf("|%s|%s|%s|%s|%s|%s|%s|\n", "------------------------", "----------", "-----------", "--------", "-------",
                "-----------", "---------");

    // The program.
    {
        Pair pair;
        const QString capture = dir.filePath(QStringLiteral("capture.bin"));
        FixedPrompts prompts(capture);
        Prompts::Install(&prompts);
        CQnDoc doc;
        doc.OnNewDocument();
        CMainFrame frame;
        frame.show();
        doc.SetSocketType(TYPE_SERIAL);
        doc.SetSlotString(CQnDoc::SLOT_SERIAL_DEVICE, pair.path);
        doc.SetSlotString(CQnDoc::SLOT_SERIAL_BAUD, QString::number(qint64(baud)));
        CQnView *view = frame.GetActiveView();
        view->OnInitialUpdate(&doc);
        view->OnCommand(ID_VIEW_LOG);
        view->OnCommand(ID_VIEW_HISTORY);
        view->OnCommand(ID_CAPTURE_START);
        SendMessage(view, WM_SESSION_EVENT, EV_CONNECT, 0);
        QCoreApplication::processEvents();

        // The longest time between two ticks of a 10 ms timer on the user-interface thread.
        QElapsedTimer tick;
        tick.start();
        qint64 longestStall = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { longestStall = std::max(longestStall, tick.restart() - 10); });
        ticker.start(10);

        const double cpuBefore = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
        QElapsedTimer clock;
        clock.start();
        std::thread device = Pace(pair.master, stream, rate);
        QFile file(capture);
        // The event loop runs as in the program; a timer looks at the capture now and then.
        QEventLoop loop;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (QFileInfo(capture).size() >= stream.size() || clock.elapsed() > qint64(seconds * 1000) + 30000)
                loop.quit();
        });
        watch.start(50);
        loop.exec();
        const double took = clock.elapsed() / 1000.0;
        const double cpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore;
        device.join();
        view->OnCommand(ID_CAPTURE_STOP);
        SendMessage(view, WM_SESSION_EVENT, EV_DISCONNECT, 1);
        Prompts::Install(nullptr);
        const bool whole = file.open(QIODevice::ReadOnly) && file.readAll() == stream;
        std::printf("| %-22s | %8.0f | %9.1f | %6.1f | %5s | %9lld | %7.2f |\n", "quillnet, History shown", baud,
                    double(stream.size()) / 1e6, took, whole ? "yes" : "NO", longestStall, cpu);
    }

    // socat forwarding the same stream from the same kind of pair into a file.
    {
        Pair pair;
        const QString out = dir.filePath(QStringLiteral("socat.bin"));
        QProcess socat;
        socat.start(QStringLiteral("socat"), {QStringLiteral("-u"), pair.path + QStringLiteral(",raw,echo=0"),
                                               QStringLiteral("OPEN:") + out + QStringLiteral(",creat,trunc")});
        if (!socat.waitForStarted()) {
            std::printf("socat: not started\n");
            return 0;
        }
        // Until socat has opened and set up the line.
        termios mode{};
        for (int i = 0; i < 500 && ::tcgetattr(pair.master, &mode) == 0 && (mode.c_lflag & ICANON); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QElapsedTimer clock;
        clock.start();
        std::thread device = Pace(pair.master, stream, rate);
        device.join();
        while (QFileInfo(out).size() < stream.size() && clock.elapsed() < qint64(seconds * 1000) + 30000)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const double took = clock.elapsed() / 1000.0;
        QFile procStat(QStringLiteral("/proc/%1/stat").arg(socat.processId()));
        double cpu = 0;
        if (procStat.open(QIODevice::ReadOnly)) {
            const QList<QByteArray> fields = procStat.readAll().split(' ');
            cpu = (fields.value(13).toDouble() + fields.value(14).toDouble()) / double(sysconf(_SC_CLK_TCK));
        }
        socat.kill();
        socat.waitForFinished();
        QFile file(out);
        const bool whole = file.open(QIODevice::ReadOnly) && file.readAll() == stream;
        std::printf("| %-22s | %8.0f | %9.1f | %6.1f | %5s | %9s | %7.2f |\n", "socat into a file", baud,
                    double(stream.size()) / 1e6, took, whole ? "yes" : "NO", "-", cpu);
    }
    return 0;
}
