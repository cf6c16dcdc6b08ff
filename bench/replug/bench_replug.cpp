// Re-plug benchmark: a serial device on a pseudo-terminal pair, reached through a symlink as under
// /dev/serial/by-id, is pulled out (its master closed) and plugged in again as a new pair behind the
// same link, with 自動再接続 and loopback on. Measured: from the moment the new device appears (the
// link points at it) to the first echo of a probe it sends every 10 ms. The device comes back at a
// random phase of the program's one-second check, so the figures spread over that second.
// bench/replug/bench_replug [--rounds N]
#include "app/ui/cmainframe.h"
#include "document/cqndoc.h"
#include "platform/cmessageevent.h"
#include "platform/ui/uifonts.h"
#include "res/commandids.h"
#include "session/ui/cqnview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

struct Pair
{
    int master = -1;
    int slave = -1;
    QString path;
    Pair()
    {
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        path = QString::fromLocal8Bit(name);
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        // No echo of the line's own before the program has it: only the program answers a probe.
        termios mode{};
        ::tcgetattr(slave, &mode);
        ::cfmakeraw(&mode);
        ::tcsetattr(slave, TCSANOW, &mode);
        ::close(slave);  // the program opens it by its path
        slave = -1;
    }
    ~Pair()
    {
        if (master >= 0)
            ::close(master);
    }
};

bool PointLink(const QString &link, const QString &target)
{
    const QString fresh = link + QStringLiteral(".new");
    QFile::remove(fresh);
    return QFile::link(target, fresh) && std::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(link).constData()) == 0;
}

// Runs the event loop until `done` holds or `ms` have passed; false on the time-out.
template <typename Condition>
bool Until(Condition done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    }
    return true;
}

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    const QStringList arguments = app.arguments();
    const qsizetype at = arguments.indexOf(QStringLiteral("--rounds"));
    const int rounds = at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : 20;

    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("usb-Bench_Adapter_0001-if00-port0"));
    auto pair = std::make_unique<Pair>();
    PointLink(link, pair->path);
    CQnDoc doc;
    doc.OnNewDocument();
    CMainFrame frame;
    frame.show();
    doc.SetSocketType(TYPE_SERIAL);
    doc.SetSlotString(CQnDoc::SLOT_SERIAL_DEVICE, link);
    doc.SetSlotString(CQnDoc::SLOT_SERIAL_BAUD, QStringLiteral("115200"));
    doc.SetSlotString(CQnDoc::SLOT_SERIAL_RECONNECT, QStringLiteral("1"));
    CQnView *view = frame.GetActiveView();
    view->OnInitialUpdate(&doc);
    view->OnCommand(ID_VIEW_LOG);
    view->OnCommand(ID_VIEW_HISTORY);
    SendMessage(view, WM_SESSION_EVENT, EV_LOOPBACK_ON, 0);
    SendMessage(view, WM_SESSION_EVENT, EV_CONNECT, 0);
    if (!Until([view] { return view->State() == ST_CONNECTED_LOOPBACK; }, 5000)) {
        std::fprintf(stderr, "the first connect failed\n");
        return 1;
    }

    std::vector<double> times;
    int failed = 0;
    for (int round = 0; round < rounds; ++round) {
        pair.reset();  // pulled out
        if (!Until([view] { return view->IsReconnectWaiting(); }, 5000)) {
            std::fprintf(stderr, "round %d: the device's departure was not noticed\n", round + 1);
            return 1;
        }
        // Away for a while, back at a random phase of the program's check.
        const int away = 1000 + int(QRandomGenerator::global()->bounded(1000));
        Until([] { return false; }, away);
        pair = std::make_unique<Pair>();
        QElapsedTimer clock;
        PointLink(link, pair->path);
        clock.start();
        const int master = pair->master;
        qint64 lastProbe = -100;
        bool echoed = false;
        Until(
            [&] {
                if (clock.elapsed() - lastProbe >= 10) {
                    lastProbe = clock.elapsed();
                    (void)::write(master, "P", 1);
                }
                char buffer[256];
                // An echo counts once the program holds the line (not one of the line's own).
                echoed = echoed || (::read(master, buffer, sizeof buffer) > 0 && view->State() == ST_CONNECTED_LOOPBACK);
                return echoed;
            },
            10000);
        if (!echoed)
            ++failed;
        else
            times.push_back(double(clock.nsecsElapsed()) / 1e6);
        Until([view] { return view->State() == ST_CONNECTED_LOOPBACK; }, 1000);
    }
    std::sort(times.begin(), times.end());
    const auto at_ = [&times](double q) { return times.empty() ? 0.0 : times[std::min(times.size() - 1, size_t(q * double(times.size())))]; };
    const long within = std::count_if(times.begin(), times.end(), [](double ms) { return ms <= 1500; });
    std::printf("| rounds | echoed | within 1.5 s | min ms | median ms | p95 ms | max ms | reconnects |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    std::printf("| %d | %zu | %ld | %.1f | %.1f | %.1f | %.1f | %d |\n", rounds, times.size(), within, times.empty() ? 0.0 : times.front(),
                at_(0.5), at_(0.95), times.empty() ? 0.0 : times.back(), view->Traffic().Reconnects());
    SendMessage(view, WM_SESSION_EVENT, EV_DISCONNECT, 1);
    return failed == 0 && within == long(times.size()) ? 0 : 1;
}
