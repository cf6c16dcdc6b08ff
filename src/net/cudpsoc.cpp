#include "net/cudpsoc.h"

#include "net/cudpreader.h"
#include "net/socketerrors.h"
#include "net/socketlog.h"
#include "platform/cmessageevent.h"

#include <QLoggingCategory>
#include <QSocketNotifier>

#include <ifaddrs.h>
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

// `address` as a socket of both families sees it: IPv4 mapped into IPv6.
in6_addr AsIpv6(const sockaddr *address)
{
    in6_addr result{};
    if (address->sa_family == AF_INET6) {
        result = reinterpret_cast<const sockaddr_in6 *>(address)->sin6_addr;
    } else if (address->sa_family == AF_INET) {
        result.s6_addr[10] = result.s6_addr[11] = 0xFF;
        std::memcpy(&result.s6_addr[12], &reinterpret_cast<const sockaddr_in *>(address)->sin_addr, 4);
    }
    return result;
}

// Every address of this machine's interfaces, IPv4 ones mapped.
std::vector<in6_addr> LocalAddresses()
{
    std::vector<in6_addr> addresses;
    ifaddrs *interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0)
        return addresses;
    for (const ifaddrs *i = interfaces; i; i = i->ifa_next) {
        if (i->ifa_addr && (i->ifa_addr->sa_family == AF_INET || i->ifa_addr->sa_family == AF_INET6))
            addresses.push_back(AsIpv6(i->ifa_addr));
    }
    freeifaddrs(interfaces);
    return addresses;
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
        // A member of a group hears that group alone, not every group some socket of the machine
        // joined on the same port.
        const int off = 0;
        ::setsockopt(m_hSocket, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off);
#ifdef IPV6_MULTICAST_ALL
        if (Family() == AF_INET6)
            ::setsockopt(m_hSocket, IPPROTO_IPV6, IPV6_MULTICAST_ALL, &off, sizeof off);
#endif
        m_bBroadcast = false;
        m_bLastWasOwn = false;
        sockaddr_storage own{};
        socklen_t ownLength = sizeof own;
        ::getsockname(m_hSocket, reinterpret_cast<sockaddr *>(&own), &ownLength);
        m_nOwnPort = CSocketAddress::FromSockaddr(reinterpret_cast<sockaddr *>(&own), ownLength).Port();
        m_ownAddresses = LocalAddresses();
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
    // The interface named in the options, else an IPv6 group's own %scope, else the system's choice.
    unsigned index = options.interfaceName.isEmpty() ? 0 : if_nametoindex(options.interfaceName.toLocal8Bit().constData());
    if (options.interfaceName.isEmpty() && group.Family() == AF_INET6)
        index = reinterpret_cast<const sockaddr_in6 *>(group.Data())->sin6_scope_id;
    const int ttl = options.ttl;
    const int loop = options.loop ? 1 : 0;
    bool joined = false;
    if (!options.interfaceName.isEmpty() && index == 0) {
        errno = ENXIO;  // no interface of that name
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
    const int error = errno;
    SetLastError(error == ENXIO ? WSAEADDRNOTAVAIL : WinsockErrorFromErrno(error));
    Failed(QStringLiteral("***CUDPSoc::JoinGroup"), SocketErrorTable::Connect, kUdpCreateUnknownError);
    m_lastFailure.text = JoinFailureText(error, options.interfaceName, m_lastFailure.text);
    return FALSE;
}

QString CUDPSoc::JoinFailureText(int error, const QString &interfaceName, const QString &tableText)
{
    switch (error) {
    case ENXIO: return QStringLiteral("ｲﾝﾀｰﾌｪｰｽ %1 がありません").arg(interfaceName);
    case ENODEV:
    case ENETUNREACH: return QStringLiteral("ｸﾞﾙｰﾌﾟへの経路もｲﾝﾀｰﾌｪｰｽの指定もありません");
    case ENOBUFS: return QStringLiteral("参加できるｸﾞﾙｰﾌﾟ数の上限を超えます");
    case EADDRINUSE: return QStringLiteral("既に参加しています");
    case EAFNOSUPPORT: return QStringLiteral("ｸﾞﾙｰﾌﾟとｿｹｯﾄのｱﾄﾞﾚｽﾌｧﾐﾘが違います");
    default: return tableText;
    }
}

void CUDPSoc::AllowBroadcast()
{
    const int on = 1;
    m_bBroadcast = ::setsockopt(m_hSocket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
}

bool CUDPSoc::IsOwnSender(const sockaddr_in6 &sender) const
{
    const auto *address = reinterpret_cast<const sockaddr *>(&sender);
    const unsigned port = ntohs(address->sa_family == AF_INET ? reinterpret_cast<const sockaddr_in *>(address)->sin_port
                                                              : sender.sin6_port);
    if (port != m_nOwnPort || port == 0)
        return false;
    const in6_addr host = AsIpv6(address);
    return std::any_of(m_ownAddresses.begin(), m_ownAddresses.end(),
                       [&host](const in6_addr &own) { return IN6_ARE_ADDR_EQUAL(&own, &host); });
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
    m_nResolveError = 0;
    if (ResolveAddress(address, port, SOCK_DGRAM, found))
        m_resolved = found;
    else
        m_nResolveError = GetLastError();
    m_strResolvedAddress = address;
    m_nResolvedPort = port;
}

BOOL CUDPSoc::Send(const void *data, int length)
{
    if (m_strResolvedAddress != m_strAddress || m_nResolvedPort != m_nPort)
        return SendTo(data, length, m_nPort, m_strAddress);
    return Sent(SendOnce(data, length, m_resolved ? &*m_resolved : nullptr, m_nResolveError));
}

BOOL CUDPSoc::SendTo(const void *data, int length, unsigned port, const QString &address)
{
    CSocketAddress to;
    const bool found = ResolveAddress(address, port, SOCK_DGRAM, to);
    return Sent(SendOnce(data, length, found ? &to : nullptr, found ? 0 : GetLastError()));
}

int CUDPSoc::SendOnce(const void *data, int length, const CSocketAddress *to, int resolveError)
{
    if (!to && m_hSocket != INVALID_SOCKET && length >= 0) {
        SetLastError(resolveError ? resolveError : WSAEINVAL);
        return SOCKET_ERROR;
    }
    const int result = CAsyncSocket::SendTo(data, length, to, 0);
    if (result != SOCKET_ERROR || GetLastError() != WSAEACCES || m_bBroadcast)
        return result;
    // The system's routing takes the destination for a broadcast one (a network this machine's
    // list of interfaces does not name as such): allowed now, for this send and the next ones.
    AllowBroadcast();
    return m_bBroadcast ? CAsyncSocket::SendTo(data, length, to, 0) : result;
}

BOOL CUDPSoc::Sent(int result)
{
    if (result != SOCKET_ERROR)
        return TRUE;
    Failed(QStringLiteral("SendTo"), SocketErrorTable::SendTo, kUdpSendToUnknownError);
    // Told as a failed send of a stream is: the reason in the Log, the telegram not counted as sent.
    SendSocketLog(m_pLogBuf, m_pOwner, QStringLiteral("SendTo() ") + m_lastFailure.text, LOG_ERROR, u"[CUDPSoc]");
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
    m_lastFailure = SocketFailure::Winsock(code, SocketErrorText(table, code, QString::fromUtf8(defaultText)));
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
    m_bLastWasOwn = false;
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
    m_bLastWasOwn = IsOwnSender(datagram.sender);
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
