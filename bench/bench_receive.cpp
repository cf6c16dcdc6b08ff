// Cost of the receive path in process: a telegram written by a loopback peer until the program's own
// frame and view (TCP server, loopback off) have read it and put it into the History and Log.
#include "benchserver.h"
#include "display/ui/cmessagewnd.h"
#include "platform/qnwin.h"
#include "session/ui/cqnview.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>

#include <cerrno>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int Ioctl(int handle, unsigned long request)
{
    int value = 0;
    return ::ioctl(handle, request, &value) == 0 ? value : -1;
}

// Bytes per telegram × History and Log shown or not × both recording to files or not.
void BM_ReceivePath(benchmark::State &state)
{
    const QByteArray telegram(static_cast<int>(state.range(0)), '\x5A');
    const bool shown = state.range(1) != 0;
    BenchServer server(false, shown);
    QTemporaryDir dir;
    if (state.range(2) != 0) {
        server.View()->HistoryWindow()->StartRecordingTo(dir.filePath(QStringLiteral("history.log")));
        server.View()->LogWindow()->StartRecordingTo(dir.filePath(QStringLiteral("log.log")));
    }
    const int peer = ConnectLoopback(server.Port(), true);
    while (server.ClientHandle() < 0)
        QCoreApplication::processEvents();
    const int own = server.ClientHandle();

    for (auto _ : state) {
        for (qsizetype sent = 0; sent < telegram.size();) {
            const ssize_t n = ::send(peer, telegram.constData() + sent, size_t(telegram.size() - sent), MSG_NOSIGNAL);
            if (n > 0)
                sent += n;
            else if (errno == EAGAIN)
                QCoreApplication::processEvents();
            else {
                state.SkipWithError("the peer's send failed");
                ::close(peer);
                return;
            }
        }
        // Everything sent has reached the program's socket and the program has read it.
        while (Ioctl(peer, SIOCOUTQ) > 0 || Ioctl(own, FIONREAD) > 0)
            QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }
    state.SetBytesProcessed(state.iterations() * telegram.size());
    state.SetItemsProcessed(state.iterations());
    state.counters["recording"] = server.View()->HistoryWindow()->IsRecording();
    ::close(peer);
}
BENCHMARK(BM_ReceivePath)
    ->ArgNames({"bytes", "shown", "record"})
    ->ArgsProduct({{8, 1024, QN_MAX_RECEIVE}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
