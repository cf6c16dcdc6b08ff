// The program's own frame and view listening as a TCP server on a free loopback port, for the
// benchmarks; plus the plain sockets their load generators use.
#pragma once

#include "app/ui/cmainframe.h"
#include "document/cqndoc.h"

#include <QByteArray>
#include <QStringList>
#include <QtGlobal>

class CQnView;

// A field of /proc/<pid>/status in MB ("VmHWM:" the peak resident size, "VmRSS:" the current one).
double StatusMb(qint64 pid, const QByteArray &field);
// Starts this process's peak resident size afresh from the current one (Linux: clear_refs 5).
void ResetPeakRss();

// A loopback port that was free a moment ago.
quint16 FreeLoopbackPort();
// A UDP socket bound to a free loopback port, the port in `*port`; -1 on failure.
int BindLoopbackUdp(quint16 *port);
// A TCP socket listening on 127.0.0.1 on a port of the system's choice, which `port` gets; -1 on failure.
int ListenLoopback(quint16 *port);
// A TCP_NODELAY socket connected (or, when non-blocking, connecting) to 127.0.0.1:port; -1 on failure.
int ConnectLoopback(quint16 port, bool nonBlocking);

class BenchServer
{
public:
    // `tlsTexts`: the server's TLS slots (empty: plain TCP).
    BenchServer(bool loopback, bool windowsShown, const QStringList &tlsTexts = {});
    ~BenchServer();
    BenchServer(const BenchServer &) = delete;
    BenchServer &operator=(const BenchServer &) = delete;

    CQnView *View() const { return m_frame.GetActiveView(); }
    quint16 Port() const { return m_port; }
    // The socket of the client being served, once one is; -1 before.
    int ClientHandle() const;

private:
    CQnDoc m_doc;
    CMainFrame m_frame;
    quint16 m_port;
};
