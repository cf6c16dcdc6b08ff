#include "benchserver.h"

#include "display/ui/cmessagewnd.h"
#include "net/ctcpsoc.h"
#include "net/ctcpsrvr.h"
#include "res/commandids.h"
#include "session/ui/cqnview.h"
#include "support/sessionprobe.h"

#include <QCoreApplication>
#include <QFile>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in Loopback(quint16 port)
{
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

}  // namespace

quint16 FreeLoopbackPort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    socklen_t length = sizeof a;
    const bool ok = ::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
        && ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &length) == 0;
    ::close(s);
    return ok ? ntohs(a.sin_port) : 0;
}

namespace {

// A socket of `type` bound to a free loopback port (listening, for a stream), the port in `*port`.
int BoundLoopback(int type, quint16 *port)
{
    const int s = ::socket(AF_INET, type, 0);
    sockaddr_in a = Loopback(0);
    socklen_t length = sizeof a;
    if (s < 0 || ::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0
        || (type == SOCK_STREAM && ::listen(s, 8) != 0)
        || ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &length) != 0) {
        if (s >= 0)
            ::close(s);
        return -1;
    }
    *port = ntohs(a.sin_port);
    return s;
}

}  // namespace

int BindLoopbackUdp(quint16 *port)
{
    return BoundLoopback(SOCK_DGRAM, port);
}

int ListenLoopback(quint16 *port)
{
    return BoundLoopback(SOCK_STREAM, port);
}

int ConnectLoopback(quint16 port, bool nonBlocking)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
    if (s < 0)
        return -1;
    const sockaddr_in a = Loopback(port);
    if (::connect(s, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0 && !(nonBlocking && errno == EINPROGRESS)) {
        ::close(s);
        return -1;
    }
    const int one = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return s;
}

BenchServer::BenchServer(bool loopback, bool windowsShown, const QStringList &tlsTexts) : m_port(FreeLoopbackPort())
{
    m_doc.OnNewDocument();
    m_frame.show();
    m_doc.SetSocketType(TYPE_TCP_SERVER);
    m_doc.SetSlotString(CQnDoc::SLOT_SERVER_PORT, QString::number(m_port));
    for (int i = 0; i < tlsTexts.size(); ++i)
        m_doc.SetSlotString(CQnDoc::SLOT_SERVER_TLS_FIRST + i, tlsTexts[i]);
    CQnView *view = View();
    view->OnInitialUpdate(&m_doc);
    if (loopback)
        SendMessage(view, WM_SESSION_EVENT, EV_LOOPBACK_ON, 0);
    SendMessage(view, WM_SESSION_EVENT, EV_CONNECT, 0);
    if (windowsShown) {
        view->OnCommand(ID_VIEW_LOG);
        view->OnCommand(ID_VIEW_HISTORY);
    }
    QCoreApplication::processEvents();
}

BenchServer::~BenchServer()
{
    CQnView *view = View();
    SendMessage(view, WM_SESSION_EVENT, EV_DISCONNECT, 1);
    view->LogWindow()->hide();
    view->HistoryWindow()->hide();
    QCoreApplication::processEvents();
}

int BenchServer::ClientHandle() const
{
    const CTCPSrvr *server = SessionProbe::TcpServer(View());
    const CTCPSoc *client = server && EndpointProbe::HasClient(*server) ? EndpointProbe::Client(*server) : nullptr;
    return client ? client->m_hSocket : -1;
}

double StatusMb(qint64 pid, const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

void ResetPeakRss()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}
