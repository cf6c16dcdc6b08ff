#include "net/cudpwnd.h"

#include "net/cudpsoc.h"
#include "net/socketlog.h"
#include "platform/csocketaddress.h"
#include "platform/prompts.h"

#include <sys/socket.h>

CUDPWnd::CUDPWnd() = default;

CUDPWnd::~CUDPWnd() = default;

void CUDPWnd::CreateEndpoint(int /*x*/, int /*y*/, QObject *view, int id, char *logBuf)
{
    m_pSoc.reset();  // the old socket lets go of its port first
    m_pSoc = std::make_unique<CUDPSoc>(this, id);
    m_pSoc->SetLogBuffer(logBuf);
    m_pLogBuf = logBuf;
    m_pView = view;
    m_nId = id;
}

BOOL CUDPWnd::Open(const QString &address, unsigned remotePort, unsigned localPort, const char *localAddress)
{
    m_strAddress = address;
    m_nPort = static_cast<int>(remotePort);
    m_group = {};
    if (m_pSoc && m_pSoc->Create(localPort, localAddress)) {
        // Looked up once here, not at every datagram: a slow resolver would stall each send.
        m_pSoc->ResolveDestination(m_strAddress, remotePort);
        return TRUE;
    }
    Prompts::Instance().MessageBox(
        this, QStringLiteral("ソケットを作成できません。指定が重複している可能性があります。"),
        Prompts::AppTitle(), Prompts::Ok, Prompts::NoIcon);
    return FALSE;
}

void CUDPWnd::Close()
{
    if (m_group.IsValid() && m_pSoc && m_pSoc->m_hSocket != INVALID_SOCKET)
        SendSocketLog(m_pLogBuf, m_pView, QStringLiteral("ﾏﾙﾁｷｬｽﾄ離脱 %1").arg(m_group.HostText()), 0, u"[CUDPWnd]");
    m_group = {};
    if (m_pSoc)
        m_pSoc->Close();  // closing leaves the group
}

BOOL CUDPWnd::Send(const void *data, int length)
{
    if (!m_pSoc || !m_pSoc->Connect(m_strAddress, static_cast<unsigned>(m_nPort)))
        return FALSE;
    return m_pSoc->Send(data, length);
}

bool CUDPWnd::LastWasOwnSend() const
{
    return m_pSoc && m_pSoc->LastWasOwn();
}

int CUDPWnd::Receive(void *buffer, int length)
{
    if (!m_pSoc)
        return 0;
    QString address;
    unsigned port = 0;
    const int received = m_pSoc->ReceiveFrom(buffer, length, address, port);
    m_lastSender = CSocketAddress();
    if (!address.isEmpty())
        CSocketAddress::FromNumbers(address, port, &m_lastSender);
    if (m_bShowSender)
        m_strLastSender = address.isEmpty() ? QString() : CSocketAddress::JoinHostPort(address, port);
    return received;
}

int CUDPWnd::SocketKind() const
{
    return SOCK_DGRAM;
}

QString CUDPWnd::DestinationHost(const QStringList &settings) const
{
    return ReadSettings(settings).address;
}

QString CUDPWnd::DestinationText(const QStringList &settings) const
{
    const CUdpSettings udp = ReadSettings(settings);
    return QStringLiteral("UDP ") + CSocketAddress::JoinHostPort(udp.address, unsigned(udp.PortNumber()));
}

CUdpSettings CUDPWnd::ReadSettings(const QStringList &settings)
{
    // Addresses and ports whatever the options say: Open tells of options that do not read.
    CUdpSettings udp;
    QString error;
    if (!CUdpSettings::Parse(settings, &udp, &error))
        CUdpSettings::Parse(settings.mid(0, 3), &udp, &error);
    return udp;
}

bool CUDPWnd::Open(const QStringList &settings, QString *logText)
{
    CUdpSettings udp;
    QString error;
    if (!CUdpSettings::Parse(settings, &udp, &error)) {
        Prompts::Instance().MessageBox(this, error, Prompts::AppTitle(), Prompts::Ok, Prompts::NoIcon);
        return false;
    }
    const QString address = udp.address;
    const int port = udp.PortNumber();
    const int ownPort = udp.OwnPortNumber();
    const CUdpOptions &options = udp.options;
    m_bShowSender = options.showSender;
    m_strLastSender.clear();
    // An IPv4 group or broadcast destination takes a socket of IPv4 alone: the options that reach
    // them are IPv4's.
    CSocketAddress destination;
    const bool numbers = CAsyncSocket::ResolveAddress(address, unsigned(port), SOCK_DGRAM, destination);
    const bool group = numbers && destination.IsMulticast();
    const bool broadcast = numbers && destination.IsBroadcast();
    const char *local = (group || broadcast) && destination.Family() == AF_INET ? "0.0.0.0" : nullptr;
    // A group's port is shared with the other receivers of the group on this machine.
    if (m_pSoc)
        m_pSoc->ShareAddress(group);
    if (!Open(address, unsigned(port), unsigned(ownPort), local))
        return false;
    if (broadcast)
        m_pSoc->AllowBroadcast();
    if (group) {
        if (!m_pSoc->JoinGroup(destination, options)) {
            SendSocketLog(m_pLogBuf, m_pView,
                          QStringLiteral("ﾏﾙﾁｷｬｽﾄ参加できません %1: %2").arg(destination.HostText(), m_pSoc->LastFailure().text),
                          LOG_ERROR, u"[CUDPWnd]");
            m_pSoc->Close();
            return false;
        }
        m_group = destination;
        SendSocketLog(m_pLogBuf, m_pView, QStringLiteral("ﾏﾙﾁｷｬｽﾄ参加 %1 ｲﾝﾀｰﾌｪｰｽ:%2 TTL:%3 自分の送信を受信:%4")
                                               .arg(destination.HostText(),
                                                    options.interfaceName.isEmpty() ? QStringLiteral("既定") : options.interfaceName,
                                                    QString::number(options.ttl),
                                                    options.loop ? QStringLiteral("ON") : QStringLiteral("OFF")),
                      0, u"[CUDPWnd]");
    }
    *logText = ConnectLogText(address, port, ownPort);
    return true;
}

QString CUDPWnd::ConnectLogText(const QString &address, int port, int ownPort)
{
    // One substitution for all three: an address is free text and may itself hold "%1".
    return QStringLiteral("ｿｹｯﾄ接続  接続先ｱﾄﾞﾚｽ:%1 接続先ﾎﾟｰﾄ:%2 QNﾎﾟｰﾄ:%3")
        .arg(address, QString::number(port), QString::number(ownPort));
}

CEndpoint::Description CUDPWnd::Describe() const
{
    Description description;
    QString own;
    if (m_pSoc)
        SocketName(m_pSoc->m_hSocket, false, &own, &description.ownPort);
    description.text = QStringLiteral("UDP %1 ← ﾎﾟｰﾄ %2")
                           .arg(CSocketAddress::JoinHostPort(m_strAddress, unsigned(m_nPort)))
                           .arg(description.ownPort);
    return description;
}

SocketFailure CUDPWnd::LastFailure() const
{
    return m_pSoc ? m_pSoc->LastFailure() : SocketFailure();
}

bool CUDPWnd::IsNoticeFrom(std::uint64_t serial) const
{
    return m_pSoc && m_pSoc->Serial() == serial;
}

LRESULT CUDPWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_UDP_RECEIVE:
        PostMessage(m_pView, WM_UDP_RECEIVE, static_cast<WPARAM>(m_nId), 0, MessageSource());
        return 0;
    case WM_SOCKET_LOG:
        // The socket's line waits in the shared buffer: the view reads it before this returns.
        return SendMessage(m_pView, WM_SOCKET_LOG, wParam, lParam);
    default:
        return 0;
    }
}

CEndpoint::Gauges CUDPWnd::ReadGauges() const
{
    Gauges gauges;
    if (m_pSoc && m_pSoc->m_hSocket != INVALID_SOCKET) {
        gauges.queueDrops = qint64(m_pSoc->DroppedDatagrams());
        gauges.kernelDrops = KernelDrops(m_pSoc->m_hSocket);
    }
    return gauges;
}

bool CUDPWnd::TraceEndsOf(int, bool received, TraceEnds *ends) const
{
    if (!m_pSoc || m_pSoc->m_hSocket < 0)
        return false;
    ends->carrier = TraceEnds::Datagram;
    if (m_nTraceOwnSerial != m_pSoc->Serial()) {
        sockaddr_storage name{};
        socklen_t length = sizeof name;
        m_traceOwn = CSocketAddress();
        if (::getsockname(m_pSoc->m_hSocket, reinterpret_cast<sockaddr *>(&name), &length) == 0)
            m_traceOwn = CSocketAddress::FromSockaddr(reinterpret_cast<const sockaddr *>(&name), length);
        m_nTraceOwnSerial = m_pSoc->Serial();
    }
    ends->own = m_traceOwn;
    if (received)
        ends->peer = m_lastSender;
    else
        CSocketAddress::FromNumbers(CSocketAddress::WithoutBrackets(m_strAddress), unsigned(m_nPort), &ends->peer);
    // A socket of every address reads as the unspecified one: the other end's address stands in,
    // so that the packet reads as between two hosts (loopback to loopback, for one).
    if (ends->own.IsValid() && ends->peer.IsValid() && (ends->own.HostText() == QStringLiteral("::") || ends->own.HostText() == QStringLiteral("0.0.0.0"))) {
        const unsigned port = ends->own.Port();
        ends->own = ends->peer;
        ends->own.SetPort(port);
    }
    return true;
}
