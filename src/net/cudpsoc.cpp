#include "net/cudpsoc.h"

#include "net/cudpreader.h"
#include "net/socketerrors.h"
#include "net/socketlog.h"
#include "platform/cmessageevent.h"

#include <QLoggingCategory>
#include <QSocketNotifier>

#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {
Q_LOGGING_CATEGORY(lcUdp, "quillnet.udp", QtWarningMsg)

// Receive buffer asked for: a burst of datagrams waits in the kernel while the reader thread waits for
// a processor, instead of being dropped. The system caps it (net.core.rmem_max).
constexpr int kReceiveBuffer = 8 * 1024 * 1024;
// The reader thread watches the socket's readiness, so the platform reports none of it.
constexpr long kPlatformNotices = FD_ALL_EVENTS & ~(FD_READ | FD_CLOSE);
constexpr qint64 kDropLogIntervalMs = 1000;

qsizetype g_queueLimit = 0;

// "64MB", or "16KB" for a limit under a megabyte.
QString SizeText(qsizetype bytes)
{
    return bytes >= 1024 * 1024 ? QStringLiteral("%1MB").arg(bytes / (1024 * 1024))
                                : QStringLiteral("%1KB").arg(bytes / 1024);
}
}  // namespace

CUDPSoc::CUDPSoc(QObject *owner, int id) : m_nId(id), m_pOwner(owner)
{
    m_dropLogTimer.setSingleShot(true);
    connect(&m_dropLogTimer, &QTimer::timeout, this, [this] { LogDrops(); });
}

CUDPSoc::~CUDPSoc()
{
    StopReader();  // before the base closes the handle the thread reads
}

qsizetype CUDPSoc::SetQueueLimit(qsizetype bytes)
{
    return std::exchange(g_queueLimit, bytes);
}

BOOL CUDPSoc::Create(unsigned port, const char *localAddress)
{
    if (CAsyncSocket::Create(port, SOCK_DGRAM, kPlatformNotices, localAddress)) {
        ::setsockopt(m_hSocket, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
        m_pReader = std::make_unique<CUdpReader>(m_hSocket, g_queueLimit);
        if (m_pReader->IsRunning()) {
            m_pQueueNotifier = new QSocketNotifier(m_pReader->WakeHandle(), QSocketNotifier::Read, this);
            Watch(m_pQueueNotifier, [this] { QueueReady(); });
            return TRUE;
        }
        Close();
        SetLastError(WSAEMFILE);  // no thread or handle left for the reader
    }
    Failed(QStringLiteral("***CUDPSoc::Create"), SocketErrorTable::Connect, kUdpCreateUnknownError);
    return FALSE;
}

BOOL CUDPSoc::JoinGroup(const CSocketAddress &group, const CUdpOptions &options)
{
    const unsigned index = options.interfaceName.isEmpty() ? 0 : if_nametoindex(options.interfaceName.toLocal8Bit().constData());
    const int ttl = options.ttl;
    const int loop = options.loop ? 1 : 0;
    bool joined = false;
    if (!options.interfaceName.isEmpty() && index == 0) {
        errno = EADDRNOTAVAIL;  // no interface of that name
    } else if (group.Family() == AF_INET && Family() == AF_INET) {
        ip_mreqn request{};
        request.imr_multiaddr = reinterpret_cast<const sockaddr_in *>(group.Data())->sin_addr;
        request.imr_ifindex = int(index);
        joined = ::setsockopt(m_hSocket, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) == 0 &&
                 (index == 0 || ::setsockopt(m_hSocket, IPPROTO_IP, IP_MULTICAST_IF, &request, sizeof request) == 0) &&
                 ::setsockopt(m_hSocket, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) == 0 &&
                 ::setsockopt(m_hSocket, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) == 0;
    } else if (group.Family() == AF_INET6 && Family() == AF_INET6) {
        ipv6_mreq request{};
        request.ipv6mr_multiaddr = reinterpret_cast<const sockaddr_in6 *>(group.Data())->sin6_addr;
        request.ipv6mr_interface = index;
        joined = ::setsockopt(m_hSocket, IPPROTO_IPV6, IPV6_JOIN_GROUP, &request, sizeof request) == 0 &&
                 (index == 0 || ::setsockopt(m_hSocket, IPPROTO_IPV6, IPV6_MULTICAST_IF, &index, sizeof index) == 0) &&
                 ::setsockopt(m_hSocket, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, &ttl, sizeof ttl) == 0 &&
                 ::setsockopt(m_hSocket, IPPROTO_IPV6, IPV6_MULTICAST_LOOP, &loop, sizeof loop) == 0;
    } else {
        errno = EAFNOSUPPORT;
    }
    if (joined)
        return TRUE;
    SetLastError(WinsockErrorFromErrno(errno));
    Failed(QStringLiteral("***CUDPSoc::JoinGroup"), SocketErrorTable::Connect, kUdpCreateUnknownError);
    return FALSE;
}

void CUDPSoc::AllowBroadcast()
{
    const int on = 1;
    ::setsockopt(m_hSocket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
}

void CUDPSoc::Close()
{
    if (m_pReader) {
        NoteDrops();
        LogDrops();  // never lost unsaid with the socket
    }
    StopReader();
    CAsyncSocket::Close();
}

void CUDPSoc::StopReader()
{
    m_dropLogTimer.stop();
    delete std::exchange(m_pQueueNotifier, nullptr);
    m_pReader.reset();
    m_nDropsUnlogged = 0;
}

qsizetype CUDPSoc::QueuedBytes() const
{
    return m_pReader ? m_pReader->QueuedBytes() : 0;
}

qsizetype CUDPSoc::PeakQueuedBytes() const
{
    return m_pReader ? m_pReader->PeakQueuedBytes() : 0;
}

quint64 CUDPSoc::DroppedDatagrams() const
{
    return m_pReader ? m_pReader->DroppedTotal() : 0;
}

bool CUDPSoc::ReaderIsRealTime() const
{
    return m_pReader && m_pReader->IsRealTime();
}

BOOL CUDPSoc::Connect(const QString &address, unsigned port)
{
    m_strAddress = address;
    m_nPort = port;
    return TRUE;
}

void CUDPSoc::ResolveDestination(const QString &address, unsigned port)
{
    CSocketAddress found;
    m_resolved.reset();
    if (ResolveAddress(address, port, SOCK_DGRAM, found))
        m_resolved = found;
    m_strResolvedAddress = address;
    m_nResolvedPort = port;
}

BOOL CUDPSoc::Send(const void *data, int length)
{
    if (m_strResolvedAddress != m_strAddress || m_nResolvedPort != m_nPort)
        return SendTo(data, length, m_nPort, m_strAddress);
    return Sent(CAsyncSocket::SendTo(data, length, m_resolved ? &*m_resolved : nullptr, 0));
}

BOOL CUDPSoc::SendTo(const void *data, int length, unsigned port, const QString &address)
{
    return Sent(CAsyncSocket::SendTo(data, length, port, address, 0));
}

BOOL CUDPSoc::Sent(int result)
{
    if (result != SOCKET_ERROR)
        return TRUE;
    Failed(QStringLiteral("SendTo"), SocketErrorTable::SendTo, kUdpSendToUnknownError);
    return FALSE;
}

int CUDPSoc::Receive(void *buffer, int length)
{
    QString address;
    unsigned port = 0;
    return ReceiveFrom(buffer, length, address, port);
}

int CUDPSoc::ReceiveFrom(void *buffer, int length, QString &address, unsigned &port)
{
    const int received = TakeDatagram(buffer, length, address, port);
    if (received != SOCKET_ERROR)
        return received;
    Failed(QStringLiteral("ReceiveFrom"), SocketErrorTable::ReceiveFrom, kUdpReceiveFromUnknownError);
    return 0;
}

void CUDPSoc::Failed(const QString &tag, SocketErrorTable table, const char *defaultText)
{
    const int code = GetLastError();
    m_lastFailure = {code, SocketErrorText(table, code, QString::fromUtf8(defaultText))};
    Log(tag);
    Log(m_lastFailure.text);
}

void CUDPSoc::Log(const QString &text)
{
    qCDebug(lcUdp).noquote() << text;
}

int CUDPSoc::TakeDatagram(void *buffer, int length, QString &address, unsigned &port)
{
    if (m_hSocket == INVALID_SOCKET || !m_pReader) {
        SetLastError(WSAENOTSOCK);
        return SOCKET_ERROR;
    }
    if (length < 0) {
        SetLastError(WSAEINVAL);
        return SOCKET_ERROR;
    }
    CUdpReader::Datagram datagram;
    const bool taken = m_pReader->Take(datagram);
    m_pQueueNotifier->setEnabled(true);  // the next datagram, if any, is told from the event loop
    NoteDrops();
    if (!taken) {
        SetLastError(WSAEWOULDBLOCK);
        return SOCKET_ERROR;
    }
    const int size = int(datagram.bytes.size());
    if (size > 0 && length > 0)
        std::memcpy(buffer, datagram.bytes.data(), std::size_t(std::min(size, length)));
    if (datagram.error == 0 && size > length)
        datagram.error = WSAEMSGSIZE;  // the rest of the datagram is lost, as with a short buffer
    if (datagram.error != 0) {
        SetLastError(datagram.error);
        return SOCKET_ERROR;
    }
    TellSender(CSocketAddress::FromSockaddr(reinterpret_cast<const sockaddr *>(&datagram.sender), datagram.senderLength),
               address, port);
    return size;
}

void CUDPSoc::QueueReady()
{
    m_pQueueNotifier->setEnabled(false);  // one notice until the owner receives
    NoteDrops();
    OnReceive(0);
}

void CUDPSoc::NoteDrops()
{
    m_nDropsUnlogged += m_pReader->TakeDropped();
    if (m_nDropsUnlogged == 0 || m_dropLogTimer.isActive())
        return;
    const qint64 since = m_lastDropLog.isValid() ? m_lastDropLog.elapsed() : kDropLogIntervalMs;
    m_dropLogTimer.start(int(std::max<qint64>(0, kDropLogIntervalMs - since)));
}

void CUDPSoc::LogDrops()
{
    if (m_nDropsUnlogged == 0)
        return;
    const QString text = QStringLiteral("受信ｷｭｰ満杯(上限%1) %2件破棄")
                             .arg(SizeText(m_pReader ? m_pReader->Limit() : 0))
                             .arg(std::exchange(m_nDropsUnlogged, 0));
    m_dropLogTimer.stop();
    m_lastDropLog.start();
    SendSocketLog(m_pLogBuf, m_pOwner, text, LOG_ERROR, u"[CUDPSoc]");
}

void CUDPSoc::OnReceive(int nErrorCode)
{
    PostMessage(m_pOwner, WM_UDP_RECEIVE, static_cast<WPARAM>(m_nId), 0, Serial());
    CAsyncSocket::OnReceive(nErrorCode);
}
