// Modem lines to the History: a driver with modem lines stands in behind a pseudo-terminal through
// the control seam (tests/support/fakeserialcontrol.h); the device toggles CTS N times, and each time
// the time from the change to its M line in the History (shown) is taken, with the driver waiting
// for changes (TIOCMIWAIT) and with the lines polled.
// bench/serial/bench_modemlines [--changes N]
#include "app/ui/cmainframe.h"
#include "display/ui/cmessagewnd.h"
#include "document/cqndoc.h"
#include "platform/cmessageevent.h"
#include "platform/ui/uifonts.h"
#include "res/commandids.h"
#include "session/ui/cqnview.h"
#include "support/fakeserialcontrol.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <pty.h>
#include <unistd.h>
#include <vector>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    const QStringList arguments = app.arguments();
    const qsizetype at = arguments.indexOf(QStringLiteral("--changes"));
    const int changes = at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : 1000;
    std::printf("| %-28s | %6s | %8s | %8s | %8s | %8s |\n", "lines read by", "changes", "p50 ms", "p95 ms", "p99 ms", "max ms");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", "------------------------------", "--------", "----------", "----------", "----------", "----------");
    for (const int waitError : {0, ENOTTY}) {
        int master = -1, slave = -1;
        char name[128] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return 1;
        FakeSerialControl driver;
        driver.waitError = waitError;
        CQnDoc doc;
        doc.OnNewDocument();
        CMainFrame frame;
        frame.show();
        doc.SetSocketType(TYPE_SERIAL);
        doc.SetSlotString(CQnDoc::SLOT_SERIAL_DEVICE, QString::fromLocal8Bit(name));
        CQnView *view = frame.GetActiveView();
        view->OnInitialUpdate(&doc);
        view->OnCommand(ID_VIEW_HISTORY);
        SendMessage(view, WM_SESSION_EVENT, EV_CONNECT, 0);
        QCoreApplication::processEvents();
        CMessageWnd *history = view->HistoryWindow();
        std::vector<double> ms;
        QElapsedTimer clock;
        for (int i = 0; i < changes; ++i) {
            // The History keeps its last 1000 lines: the newest line's text tells the change has come.
            const QString expected = QStringLiteral("M CTS %1").arg(i % 2 == 0 ? 1 : 0);
            const auto arrived = [&] { return history->LineCount() > 0 && history->LineText(history->LineCount() - 1).endsWith(expected); };
            clock.start();
            driver.SetInputs(i % 2 == 0 ? TIOCM_CTS : 0);
            while (!arrived() && clock.elapsed() < 2000)
                QCoreApplication::processEvents(QEventLoop::AllEvents);
            ms.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        SendMessage(view, WM_SESSION_EVENT, EV_DISCONNECT, 1);
        std::sort(ms.begin(), ms.end());
        const auto rank = [&ms](double p) { return ms[std::min(ms.size() - 1, size_t(p * double(ms.size())))]; };
        std::printf("| %-28s | %6d | %8.3f | %8.3f | %8.3f | %8.3f |\n", waitError ? "polling every 50 ms" : "waiting (TIOCMIWAIT)", changes,
                    rank(0.5), rank(0.95), rank(0.99), ms.back());
        ::close(master);
        ::close(slave);
    }
    return 0;
}
