#include "relay/crelayside.h"

#include "platform/chexconv.h"
#include "platform/cmessageevent.h"
#include "platform/cp932.h"

CRelaySide::CRelaySide(const CRelayAddress &address, QObject *parent)
    : CMsgWnd<QObject>(parent), m_address(address), m_pLogBuf(new char[QN_BUFFER_SIZE]())
{
}

CRelaySide::~CRelaySide()
{
    Close();
}

bool CRelaySide::Open(QString *error)
{
    Close();
    m_pEndpoint = CEndpoint::Make(m_address.type, this, m_pLogBuf.get());
    if (!m_pEndpoint) {
        *error = QStringLiteral("この種別は中継できません");
        return false;
    }
    // A server's client comes and goes inside the endpoint: looked at again once it has returned.
    m_pEndpoint->SetPeerChangedHandler([this] { PostMessage(this, WM_PEER_CHANGED, 0, 0); });
    m_pEndpoint->SetDescriptionChangedHandler([this] { PostMessage(this, WM_PEER_CHANGED, 0, 0); });
    QString logText;
    if (!m_pEndpoint->Open(m_address.settings, &logText)) {
        const SocketFailure failure = m_pEndpoint->LastFailure();
        *error = failure.text.isEmpty() ? QStringLiteral("開けません") : failure.text;
        m_pEndpoint.reset();
        return false;
    }
    if (!logText.isEmpty())
        Q_EMIT LogLine(logText);
    m_bOpen = true;
    if (m_address.role == CRelayAddress::Role::Always)
        SetPeer(true);
    return true;
}

void CRelaySide::Close()
{
    if (m_pEndpoint)
        m_pEndpoint->Close();
    m_pEndpoint.reset();
    m_bOpen = false;
    m_bPeer = false;
    m_nDataWaiting = 0;
    m_nPeer = 0;
}

void CRelaySide::EndConnection()
{
    if (!m_pEndpoint)
        return;
    switch (m_address.role) {
    case CRelayAddress::Role::Listen:
        for (int peer : m_pEndpoint->Peers())
            m_pEndpoint->DropPeer(peer);
        m_bPeer = false;
        m_nDataWaiting = 0;
        break;
    case CRelayAddress::Role::Connect:
        Close();
        break;
    case CRelayAddress::Role::Always:
        break;
    }
}

int CRelaySide::Receive(char *buffer, int length)
{
    m_nDataWaiting = qMax(0, m_nDataWaiting - 1);
    if (!m_pEndpoint || length <= 0)
        return 0;
    m_pEndpoint->SelectPeer(m_nPeer);
    return qBound(0, m_pEndpoint->Receive(buffer, length), length);
}

bool CRelaySide::Send(const char *data, int length)
{
    if (!m_pEndpoint || !m_bPeer)
        return false;
    m_pEndpoint->SelectPeer(0);  // a server: its one client
    return m_pEndpoint->Send(data, length) != 0;
}

qint64 CRelaySide::Queued() const
{
    if (!m_pEndpoint)
        return 0;
    return qMax<qint64>(0, m_pEndpoint->ReadGauges().sendQueued);
}

QString CRelaySide::PeerText() const
{
    if (m_pEndpoint) {
        CEndpoint::TraceEnds ends;
        if (m_pEndpoint->TraceEndsOf(m_nPeer, true, &ends) && ends.peer.IsValid())
            return ends.peer.Text();
        if (m_pEndpoint->ServesManyPeers()) {
            const QList<CEndpoint::PeerSummary> peers = m_pEndpoint->PeerSummaries();
            if (!peers.isEmpty())
                return peers.constFirst().address;
        }
    }
    return m_address.text;
}

bool CRelaySide::TraceEndsOf(bool received, CEndpoint::TraceEnds *ends) const
{
    if (!m_pEndpoint)
        return false;
    int peer = 0;
    if (m_pEndpoint->ServesManyPeers())
        peer = received ? m_nPeer : m_pEndpoint->Peers().value(0);
    return m_pEndpoint->TraceEndsOf(peer, received, ends);
}

unsigned CRelaySide::OwnPort() const
{
    return m_pEndpoint ? m_pEndpoint->Describe().ownPort : 0;
}

void CRelaySide::SetPeer(bool peer)
{
    if (peer == m_bPeer)
        return;
    m_bPeer = peer;
    if (peer)
        Q_EMIT PeerConnected();
    else
        Q_EMIT PeerClosed();
}

void CRelaySide::CheckPeers()
{
    if (!m_pEndpoint || m_address.role != CRelayAddress::Role::Listen)
        return;
    SetPeer(!m_pEndpoint->Peers().isEmpty());
}

LRESULT CRelaySide::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SESSION_EVENT:
        switch (static_cast<SessionEvent>(wParam)) {
        case EV_RECEIVE:
            m_nPeer = int(lParam);
            if (m_pEndpoint && !m_pEndpoint->ServesManyPeers())
                m_nPeer = 0;
            m_nDataWaiting = 1;
            Q_EMIT DataReady();
            break;
        case EV_CONNECT_DONE: {
            const int error = GetWordHalf(static_cast<std::uint32_t>(lParam), 0);
            if (error != 0) {
                const QString reason = m_pEndpoint ? m_pEndpoint->LastFailure().text : QString();
                Close();
                Q_EMIT ConnectFailed(reason.isEmpty() ? QStringLiteral("接続できません") : reason);
            } else {
                SetPeer(true);
            }
            break;
        }
        case EV_CLOSED:
            if (m_address.role == CRelayAddress::Role::Listen)
                CheckPeers();
            else
                SetPeer(false);
            break;
        case EV_DISCONNECT:
            if (lParam == DISCONNECT_GONE)
                SetPeer(false);  // the device went away
            break;
        default:
            break;
        }
        return 0;
    case WM_UDP_RECEIVE:
        ++m_nDataWaiting;
        Q_EMIT DataReady();
        return 0;
    case WM_PEER_CHANGED:
        CheckPeers();
        return 0;
    case WM_SOCKET_LOG:
        m_pLogBuf[QN_BUFFER_SIZE - 1] = '\0';
        Q_EMIT LogLine(FromCp932(QByteArrayView(m_pLogBuf.get())));
        return 0;
    default:
        return 0;
    }
}

bool CRelaySide::IsStaleNotice(std::uint64_t serial) const
{
    return !(m_pEndpoint && m_pEndpoint->IsNoticeFrom(serial));
}
