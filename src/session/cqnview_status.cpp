// The connection in words for the status bar: type and endpoint, the reason of a failed connect,
// the peer's close. It only watches the session; the labels and the Log stay as they are.
#include "session/cqnview.h"

#include "document/cqndoc.h"
#include "net/ctcpsoc.h"
#include "net/ctcpsrvr.h"
#include "net/cudpsoc.h"
#include "net/cudpwnd.h"

#include <QRegularExpression>

#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

// The own (peer = false) or the other end's address of an open socket.
bool SocketName(int handle, bool peer, QString *address, unsigned *port)
{
    if (handle < 0)
        return false;
    sockaddr_in name{};
    socklen_t length = sizeof name;
    const int result = peer ? ::getpeername(handle, reinterpret_cast<sockaddr *>(&name), &length)
                            : ::getsockname(handle, reinterpret_cast<sockaddr *>(&name), &length);
    if (result != 0 || name.sin_family != AF_INET)
        return false;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &name.sin_addr, text, sizeof text);
    *address = QString::fromLatin1(text);
    *port = ntohs(name.sin_port);
    return true;
}

unsigned OwnPort(const CAsyncSocket *socket)
{
    QString address;
    unsigned port = 0;
    return socket && SocketName(socket->m_hSocket, false, &address, &port) ? port : 0;
}

}  // namespace

QString CQnView::ReasonOfLogLine(const QString &line)
{
    // "*** Connect() <text>[CTCPSoc(Term)]<-[TCPSrvr]": the text alone.
    static const QRegularExpression tags(QStringLiteral("((<-)?\\[[^\\[\\]]*\\])+$"));
    static const QRegularExpression operation(QStringLiteral("^[A-Za-z]+\\(\\) "));
    QString text = line;
    if (text.startsWith(QStringLiteral("*** ")))
        text.remove(0, 4);
    text.remove(tags);
    text.remove(operation);
    return text.trimmed();
}

void CQnView::NoteSocketLog(const QString &line)
{
    if (line.startsWith(QStringLiteral("*** ")))
        m_strSocketError = ReasonOfLogLine(line);
}

void CQnView::BeginConnectionNote(SessionEvent event)
{
    if (event == EV_CONNECT)
        m_strSocketError.clear();
}

void CQnView::EndConnectionNote(SessionEvent event, SessionState stateBefore)
{
    const bool failed = m_nState == ST_DISCONNECTED && !m_nameLookup.IsRunning() &&
                        ((event == EV_CONNECT && stateBefore == ST_DISCONNECTED) ||
                         (event == EV_CONNECT_DONE && stateBefore == ST_WAIT_CONNECT));
    if (m_nState != stateBefore || failed) {
        m_bPeerClosed = false;
        m_bServerHadClient = false;
        m_strConnectError.clear();
    }
    if (failed) {
        QString reason = m_bNameUnresolved ? QStringLiteral("ｱﾄﾞﾚｽを解決できません") : m_strSocketError;
        if (reason.isEmpty() && m_nSocketType == TYPE_UDP && m_pUdpWnd->m_pSoc)
            reason = m_pUdpWnd->m_pSoc->m_strLastError;
        m_strConnectError = reason.isEmpty() ? QStringLiteral("接続できません")
                                             : QStringLiteral("接続できません: ") + reason;
    }
    if (m_nState != stateBefore || failed || event == EV_CONNECT || event == EV_DISCONNECT)
        ScheduleConnectionRefresh();
}

void CQnView::NotePeerClosed()
{
    m_bPeerClosed = true;
    CancelPendingReplies();
    ScheduleConnectionRefresh();
}

void CQnView::ScheduleConnectionRefresh()
{
    if (m_bRefreshPending)
        return;
    m_bRefreshPending = true;
    QMetaObject::invokeMethod(this, &CQnView::RefreshConnection, Qt::QueuedConnection);
}

void CQnView::RefreshConnection()
{
    m_bRefreshPending = false;
    const QString text = DescribeConnection();
    if (text == m_strConnection)
        return;
    m_strConnection = text;
    Q_EMIT ConnectionChanged(text);
}

// The TCP client's destination as typed; the settings cannot change while it is in use.
QString CQnView::ClientEndpointText() const
{
    const auto slot = [this](CQnDoc::TextSlot n) { return m_pDocument ? m_pDocument->GetSlotString(n) : QString(); };
    return QStringLiteral("接続先 %1:%2").arg(slot(CQnDoc::SLOT_CLIENT_ADDRESS)).arg(DecimalValue(slot(CQnDoc::SLOT_CLIENT_PORT)));
}

QString CQnView::DescribeConnection()
{
    const QString closed = QStringLiteral("相手が切断しました");
    const QString connecting = QStringLiteral(" 接続中...");
    switch (m_nState) {
    case ST_DISCONNECTED:
        if (!m_nameLookup.IsRunning())
            return m_strConnectError;
        return (m_nSocketType == TYPE_UDP ? QStringLiteral("UDP %1:%2").arg(DestinationHost()).arg(DecimalValue(m_pDocument->GetSlotString(CQnDoc::SLOT_UDP_PORT)))
                                          : ClientEndpointText()) + connecting;
    case ST_WAIT_CONNECT:
        return ClientEndpointText() + connecting;
    default:
        break;
    }
    switch (m_nSocketType) {
    case TYPE_UDP:
        return QStringLiteral("UDP %1:%2 ← ﾎﾟｰﾄ %3")
            .arg(m_pUdpWnd->m_strAddress)
            .arg(m_pUdpWnd->m_nPort)
            .arg(OwnPort(m_pUdpWnd->m_pSoc.get()));
    case TYPE_TCP_SERVER: {
        const QString listening = QStringLiteral("待受中 ﾎﾟｰﾄ %1").arg(OwnPort(m_pTcpSrvr->m_pListenSoc.get()));
        QString address;
        unsigned port = 0;
        if (m_pTcpSrvr->m_bClient && m_pTcpSrvr->m_pClientSoc &&
            SocketName(m_pTcpSrvr->m_pClientSoc->m_hSocket, true, &address, &port)) {
            m_bServerHadClient = true;
            m_bPeerClosed = false;
            return QStringLiteral("ｸﾗｲｱﾝﾄ %1:%2 接続中").arg(address).arg(port);
        }
        if (std::exchange(m_bServerHadClient, false))
            m_bPeerClosed = true;
        return m_bPeerClosed ? closed + QStringLiteral(" (") + listening + QLatin1Char(')') : listening;
    }
    case TYPE_TCP_CLIENT: {
        const QString endpoint = ClientEndpointText();
        return m_bPeerClosed ? closed + QStringLiteral(" (") + endpoint + QLatin1Char(')') : endpoint + QStringLiteral(" 接続済");
    }
    default:
        return QString();
    }
}
