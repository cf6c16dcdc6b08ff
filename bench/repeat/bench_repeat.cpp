// Repeated sends benchmark: the program's own frame and view as a UDP endpoint, its Command Send
// window repeating a numbered telegram every n ms while the History and Log are shown; a thread
// reads the datagrams on loopback and stamps each arrival. Reports how far the run's length is off
// its pace, the gaps between arrivals and the longest stall of the window.
// Usage: bench_repeat [--rows=SENDS:INTERVAL_MS:shown|hidden,...]
#include "../benchapp.h"
#include "../benchserver.h"
#include "app/ui/cmainframe.h"
#include "display/ui/ccommandsenddlg.h"
#include "display/ui/cinputedit.h"
#include "document/cqndoc.h"
#include "res/commandids.h"
#include "session/ui/cqnview.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct Row
{
    int sends;
    int intervalMs;
    bool shown;
};

qint64 NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Measure(const Row &row)
{
    quint16 sinkPort = 0;
    const int sink = BindLoopbackUdp(&sinkPort);
    timeval wait = {0, 200000};
    ::setsockopt(sink, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::vector<qint64> arrivals;
    arrivals.reserve(size_t(row.sends));
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        char buffer[2048];
        while (!stop.load() && int(arrivals.size()) < row.sends) {
            if (::recv(sink, buffer, sizeof buffer, 0) > 0)
                arrivals.push_back(NowNs());
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
    CQnView *view = frame.GetActiveView();
    view->OnInitialUpdate(&doc);
    SendMessage(view, WM_SESSION_EVENT, EV_CONNECT, 0);
    if (row.shown) {
        view->OnCommand(ID_VIEW_LOG);
        view->OnCommand(ID_VIEW_HISTORY);
    }
    view->OnCommand(ID_COMMAND_SEND);
    CCommandSendDlg *dlg = view->CommandWindow();
    dlg->Input()->setPlainText(QStringLiteral("010300000000"));
    const auto button = [dlg](int id) { return qobject_cast<QAbstractButton *>(dlg->GetDlgItem(id)); };
    const auto spin = [dlg](int id) { return qobject_cast<QSpinBox *>(dlg->GetDlgItem(id)); };
    button(CCommandSendDlg::IDC_CHECKSUM_ON)->setChecked(true);
    button(CCommandSendDlg::IDC_REPEAT_ON)->setChecked(true);
    button(CCommandSendDlg::IDC_SEQUENCE_ON)->setChecked(true);
    spin(CCommandSendDlg::IDC_SEQUENCE_OFFSET)->setValue(4);
    qobject_cast<QComboBox *>(dlg->GetDlgItem(CCommandSendDlg::IDC_SEQUENCE_BYTES))->setCurrentIndex(1);
    spin(CCommandSendDlg::IDC_REPEAT_INTERVAL)->setValue(row.intervalMs);
    spin(CCommandSendDlg::IDC_REPEAT_COUNT)->setValue(row.sends);
    QCoreApplication::processEvents();

    QElapsedTimer beat;
    double longestStallMs = 0;
    QTimer heartbeat;
    heartbeat.setInterval(5);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] { longestStallMs = std::max(longestStallMs, double(beat.restart())); });
    beat.start();
    heartbeat.start();
    const qint64 started = NowNs();
    button(CCommandSendDlg::IDC_SEND)->click();
    QElapsedTimer limit;
    limit.start();
    while (dlg->IsRepeating() && limit.elapsed() < 10LL * row.sends * row.intervalMs + 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    heartbeat.stop();
    stop.store(true);
    reader.join();
    ::close(sink);

    const int arrived = int(arrivals.size());
    std::vector<double> gaps;
    for (size_t i = 1; i < arrivals.size(); ++i)
        gaps.push_back(double(arrivals[i] - arrivals[i - 1]) / 1e6);
    std::sort(gaps.begin(), gaps.end());
    const auto at = [&gaps](double q) { return gaps.empty() ? 0.0 : gaps[size_t(q * double(gaps.size() - 1))]; };
    // The last send is due (sends - 1) intervals after the first, which goes out at the press.
    const double due = double(row.sends - 1) * row.intervalMs;
    const double took = arrived > 0 ? double(arrivals.back() - started) / 1e6 : 0;
    std::printf("| %6d | %4d ms | %-17s | %7d | %9.0f | %9.0f | %+7.2f %% | %6.2f | %6.2f | %6.2f | %8.0f |\n", row.sends,
                row.intervalMs, row.shown ? "History+Log shown" : "hidden", arrived, due, took,
                due > 0 ? 100.0 * (took - due) / due : 0.0, at(0.5), at(0.99), gaps.empty() ? 0.0 : gaps.back(),
                longestStallMs);
    std::fflush(stdout);
    SendMessage(view, WM_SESSION_EVENT, EV_DISCONNECT, 1);
    QCoreApplication::processEvents();
}

}  // namespace

int main(int argc, char *argv[])
{
    BenchApp app(argc, argv);
    QList<Row> rows = {{10000, 1, true}, {10000, 1, false}, {1000, 10, true}};
    for (const QString &argument : app.arguments()) {
        if (!argument.startsWith(QStringLiteral("--rows=")))
            continue;
        rows.clear();
        for (const QString &text : argument.mid(7).split(u',')) {
            const QStringList parts = text.split(u':');
            rows.append({parts.value(0).toInt(), parts.value(1).toInt(), parts.value(2) == QStringLiteral("shown")});
        }
    }
    std::printf("| sends | interval | windows | arrived | due ms | took ms | off pace | gap p50 ms | gap p99 ms | gap max ms | stall ms |\n");
    std::printf("|-------|----------|---------|---------|--------|---------|----------|------------|------------|------------|----------|\n");
    for (const Row &row : rows)
        Measure(row);
    return 0;
}
