#include "platform/casyncsocket.h"

#include "platform/cmessageevent.h"

#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <utility>

namespace {

thread_local int t_nLastError = 0;

CAsyncSocket::NameLookup g_nameLookup = ::getaddrinfo;

std::uint64_t NextGeneration()
{
    return NewMessageSource();
}

bool WouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK;
}

// A failed call that returns a count: records the code, gives SOCKET_ERROR.
int FailWith(int code)
{
    CAsyncSocket::SetLastError(code);
    return SOCKET_ERROR;
}

// A failed call that returns a flag: records the code, gives FALSE.
BOOL Refuse(int code)
{
    CAsyncSocket::SetLastError(code);
    return FALSE;
}

}  // namespace

namespace {

// The answer for one name looked up beforehand, off the user-interface thread.
struct RememberedAnswer
{
    QString host;
    bool found = false;
    QList<CSocketAddress> addresses;
};
std::optional<RememberedAnswer> g_answer;

}  // namespace

BOOL CAsyncSocket::ResolveAddress(const QString &host, unsigned port, int socketType, CSocketAddress &out)
{
    QList<CSocketAddress> all;
    out = {};
    if (!ResolveAll(host, port, socketType, &all))
        return FALSE;
    out = all.first();
    return TRUE;
}

BOOL CAsyncSocket::ResolveAll(const QString &host, unsigned port, int socketType, QList<CSocketAddress> *out)
{
    out->clear();
    if (host.isEmpty() || port > 0xFFFF)
        return Refuse(WSAEINVAL);
    CSocketAddress numbers;
    if (CSocketAddress::FromNumbers(host, port, &numbers)) {
        out->append(numbers);
        return TRUE;
    }
    if (CSocketAddress::IsMalformed(host))
        return Refuse(QN_EMALFORMEDADDRESS);
    bool found = false;
    if (g_answer && g_answer->host == host) {
        *out = g_answer->addresses;
        found = g_answer->found;
    } else {
        found = LookUpName(host.toUtf8(), socketType, out);
    }
    for (CSocketAddress &address : *out)
        address.SetPort(port);
    if (!found || out->isEmpty()) {
        out->clear();
        return Refuse(WSAEINVAL);
    }
    return TRUE;
}

bool CAsyncSocket::LookUpName(const QByteArray &host, int socketType, QList<CSocketAddress> *out)
{
    out->clear();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = socketType;
    addrinfo *found = nullptr;
    if (g_nameLookup(host.constData(), nullptr, &hints, &found) != 0 || !found)
        return false;
    // IPv4 first: a name that has both keeps the address it had before IPv6 was known; each family
    // in the resolver's order, each address once.
    QList<CSocketAddress> v6;
    for (const addrinfo *a = found; a; a = a->ai_next) {
        const CSocketAddress address = CSocketAddress::FromSockaddr(a->ai_addr, a->ai_addrlen);
        QList<CSocketAddress> &into = a->ai_family == AF_INET ? *out : v6;
        const auto same = [&address](const CSocketAddress &known) {
            return known.Length() == address.Length() && std::memcmp(known.Data(), address.Data(), address.Length()) == 0;
        };
        if (address.IsValid() && std::none_of(into.begin(), into.end(), same))
            into.append(address);
    }
    freeaddrinfo(found);
    out->append(v6);
    return !out->isEmpty();
}

void CAsyncSocket::RememberAnswer(const QString &host, bool found, const QList<CSocketAddress> &addresses)
{
    g_answer = RememberedAnswer{host, found, addresses};
}

void CAsyncSocket::ForgetAnswer()
{
    g_answer.reset();
}

CAsyncSocket::NameLookup CAsyncSocket::SetNameLookup(NameLookup lookup)
{
    return std::exchange(g_nameLookup, lookup ? lookup : ::getaddrinfo);
}

int WinsockErrorFromErrno(int error)
{
    switch (error) {
    case 0: return 0;
    case EINTR: return WSAEINTR;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS: return WSAEWOULDBLOCK;
    case EALREADY: return WSAEALREADY;
    case EBADF:
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE: return WSAECONNRESET;  // we never shut a side down, so a broken pipe is the peer's doing
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return WSA_UNMAPPED_ERRNO_BASE + error;
    }
}

CAsyncSocket::CAsyncSocket()
    : m_pReadNotifier(new QSocketNotifier(QSocketNotifier::Read, this)),
      m_pWriteNotifier(new QSocketNotifier(QSocketNotifier::Write, this)),
      m_pOobNotifier(new QSocketNotifier(QSocketNotifier::Exception, this))
{
    Watch(m_pReadNotifier, [this] { ReadReady(); });
    Watch(m_pWriteNotifier, [this] { WriteReady(); });
    Watch(m_pOobNotifier, [this] { ExceptionReady(); });
}

void CAsyncSocket::Watch(QSocketNotifier *notifier, std::function<void()> handler)
{
    connect(notifier, &QSocketNotifier::activated, this, [handler = std::move(handler)] {
        handler();
        DispatchPostedMessages();
    });
}

void CAsyncSocket::TellSender(const CSocketAddress &from, QString &address, unsigned &port)
{
    address = from.HostText();
    port = from.Port();
}

CAsyncSocket::~CAsyncSocket()
{
    CAsyncSocket::Close();
}

int CAsyncSocket::GetLastError()
{
    return t_nLastError;
}

void CAsyncSocket::SetLastError(int code)
{
    t_nLastError = code;
}

BOOL CAsyncSocket::Create(unsigned port, int type, long events, const char *address)
{
    Close();
    CSocketAddress local;
    const bool given = address && *address;
    if (port > 0xFFFF || (given && !CSocketAddress::FromNumbers(QString::fromLatin1(address), port, &local))) {
        SetLastError(WSAEINVAL);
        return FALSE;
    }
    if (!given) {
        // Both families on one socket: IPv6 with IPv4 mapped into it. Where the system has no IPv6,
        // IPv4 alone, as ever.
        CSocketAddress::FromNumbers(QStringLiteral("::"), port, &local);
        int error = 0;
        const int handle = Open(local, type, m_bShareAddress, &error);
        if (handle >= 0) {
            Attach(handle, AF_INET6, type, events, type == SOCK_DGRAM ? Phase::Datagram : Phase::Idle);
            m_local = local;
            return TRUE;
        }
        if (error != EAFNOSUPPORT && error != EADDRNOTAVAIL) {
            SetLastError(WinsockErrorFromErrno(error));
            return FALSE;
        }
        CSocketAddress::FromNumbers(QStringLiteral("0.0.0.0"), port, &local);
    }
    int error = 0;
    const int handle = Open(local, type, m_bShareAddress, &error);
    if (handle < 0) {
        SetLastError(WinsockErrorFromErrno(error));
        return FALSE;
    }
    Attach(handle, local.Family(), type, events, type == SOCK_DGRAM ? Phase::Datagram : Phase::Idle);
    m_local = local;
    return TRUE;
}

int CAsyncSocket::Open(const CSocketAddress &local, int type, bool share, int *error)
{
    const int handle = ::socket(local.Family(), type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (handle < 0) {
        *error = errno;
        return -1;
    }
    const int on = 1;
    const int off = 0;
    if (type == SOCK_STREAM || share) {
        // A server may listen again at once after a disconnect; a port another socket listens on
        // still fails with WSAEADDRINUSE. Datagram sockets share a port only when asked to.
        ::setsockopt(handle, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    if (local.Family() == AF_INET6)
        ::setsockopt(handle, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    if (::bind(handle, local.Data(), local.Length()) != 0) {
        *error = errno;
        ::close(handle);
        return -1;
    }
    return handle;
}

void CAsyncSocket::Attach(int handle, int family, int type, long events, Phase phase)
{
    m_hSocket = handle;
    m_nFamily = family;
    m_nType = type;
    m_lEvents = events;
    m_phase = phase;
    m_bCloseNotified = false;
    m_bReceiveNoticed = false;
    ForgetReadAhead();
    m_nGeneration = NextGeneration();
    for (QSocketNotifier *notifier : {m_pReadNotifier, m_pWriteNotifier, m_pOobNotifier})
        notifier->setSocket(handle);
    if (phase == Phase::Datagram || phase == Phase::Connected) {
        Arm(m_pReadNotifier, FD_READ | FD_CLOSE);
        Arm(m_pWriteNotifier, FD_WRITE);
    }
    if (phase == Phase::Connected)
        Arm(m_pOobNotifier, FD_OOB);
}

void CAsyncSocket::Arm(QSocketNotifier *notifier, long events)
{
    if (m_hSocket != INVALID_SOCKET && (m_lEvents & events))
        notifier->setEnabled(true);
}

void CAsyncSocket::Close()
{
    if (m_hSocket == INVALID_SOCKET)
        return;
    for (QSocketNotifier *notifier : {m_pReadNotifier, m_pWriteNotifier, m_pOobNotifier}) {
        notifier->setEnabled(false);
        notifier->setSocket(INVALID_SOCKET);
    }
    ::close(m_hSocket);
    m_hSocket = INVALID_SOCKET;
    m_phase = Phase::Idle;
    m_connectRest.clear();
    m_bReceiveNoticed = false;
    ForgetReadAhead();
    m_nGeneration = NextGeneration();
}

void CAsyncSocket::ForgetReadAhead()
{
    m_nAheadBegin = m_nAheadEnd = 0;
    m_bMoreWaiting = false;
    m_nDeferredError = 0;
}

BOOL CAsyncSocket::Connect(const QString &host, unsigned port)
{
    if (m_hSocket == INVALID_SOCKET)
        return Refuse(WSAENOTSOCK);
    if (m_phase == Phase::Connected || m_phase == Phase::Listening)
        return Refuse(WSAEISCONN);
    if (m_phase == Phase::Connecting)
        return Refuse(WSAEALREADY);
    if (!ResolveAll(host, port, m_nType, &m_connectRest))
        return FALSE;  // the reason is the last error
    if (m_nType != SOCK_STREAM)
        m_connectRest = m_connectRest.mid(0, 1);  // a datagram socket only notes its peer
    m_bConnectTried = false;
    return ConnectNext();
}

BOOL CAsyncSocket::ConnectNext(int code)
{
    while (!m_connectRest.isEmpty()) {
        CSocketAddress peer;
        if (!m_connectRest.takeFirst().ForFamily(m_nFamily, &peer))
            continue;  // an IPv6 peer for a socket bound to an IPv4 address
        if (std::exchange(m_bConnectTried, true)) {
            // The socket of a failed attempt cannot connect again: a fresh one, bound as it was.
            int error = 0;
            const int handle = Open(m_local, m_nType, m_bShareAddress, &error);
            if (handle < 0)
                return Refuse(WinsockErrorFromErrno(error));
            const long events = m_lEvents;
            const int family = m_nFamily;
            QList<CSocketAddress> rest = std::move(m_connectRest);
            CAsyncSocket::Close();
            Attach(handle, family, m_nType, events, Phase::Idle);
            m_connectRest = std::move(rest);
        }
        if (::connect(m_hSocket, peer.Data(), peer.Length()) == 0) {
            m_connectRest.clear();
            if (m_nType == SOCK_DGRAM)
                return TRUE;
            // Done at once (it happens on loopback): the outcome is still reported through OnConnect.
            m_phase = Phase::Connecting;
            m_pWriteNotifier->setEnabled(true);
            return TRUE;
        }
        const int error = errno;
        if (error == EINPROGRESS || error == EINTR) {
            m_phase = Phase::Connecting;
            m_pWriteNotifier->setEnabled(true);
            return Refuse(WSAEWOULDBLOCK);
        }
        code = WinsockErrorFromErrno(error);
        if (m_nType != SOCK_STREAM || m_connectRest.isEmpty()) {
            if (m_nType == SOCK_STREAM && (error == ECONNREFUSED || error == ETIMEDOUT)) {
                // The attempt ended before connect returned: report it as if it had ended later.
                DeliverDeferredConnect(code);
                return Refuse(WSAEWOULDBLOCK);
            }
            return Refuse(code);
        }
    }
    return Refuse(code);
}

void CAsyncSocket::DeliverDeferredConnect(int code)
{
    m_phase = Phase::Connecting;
    const std::uint64_t generation = m_nGeneration;
    QTimer::singleShot(0, this, [this, generation, code] {
        if (generation == m_nGeneration && m_phase == Phase::Connecting)
            FinishConnect(code);
    });
}

BOOL CAsyncSocket::Listen(int backlog)
{
    if (m_hSocket == INVALID_SOCKET)
        return Refuse(WSAENOTSOCK);
    if (::listen(m_hSocket, backlog) != 0)
        return Refuse(WinsockErrorFromErrno(errno));
    m_phase = Phase::Listening;
    Arm(m_pReadNotifier, FD_ACCEPT);
    return TRUE;
}

BOOL CAsyncSocket::Accept(CAsyncSocket &into, sockaddr *address, socklen_t *length)
{
    if (m_hSocket == INVALID_SOCKET)
        return Refuse(WSAENOTSOCK);
    if (into.m_hSocket != INVALID_SOCKET)
        return Refuse(WSAEINVAL);
    int handle;
    do
        handle = ::accept4(m_hSocket, address, length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    while (handle < 0 && errno == EINTR);
    const int error = errno;
    if (m_phase == Phase::Listening)
        Arm(m_pReadNotifier, FD_ACCEPT);
    if (handle < 0)
        return Refuse(WinsockErrorFromErrno(error));
    into.Attach(handle, m_nFamily, SOCK_STREAM, m_lEvents, Phase::Connected);
    return TRUE;
}

int CAsyncSocket::Send(const void *data, int length, int flags)
{
    if (m_hSocket == INVALID_SOCKET)
        return FailWith(WSAENOTSOCK);
    if (m_phase == Phase::Connecting)
        return FailWith(WSAENOTCONN);
    if (length < 0)
        return FailWith(WSAEINVAL);
    ssize_t sent;
    do
        sent = ::send(m_hSocket, data, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    const int error = errno;
    if (sent < length && (sent >= 0 || WouldBlock(error)))
        Arm(m_pWriteNotifier, FD_WRITE);  // writable again later: tell the owner
    if (sent < 0 && error == EPIPE && m_phase != Phase::Connected)
        return FailWith(WSAENOTCONN);  // never connected, as opposed to a connection gone
    if (sent < 0)
        return FailWith(WinsockErrorFromErrno(error));
    return static_cast<int>(sent);
}

int CAsyncSocket::Receive(void *buffer, int length, int flags)
{
    if (m_hSocket == INVALID_SOCKET)
        return FailWith(WSAENOTSOCK);
    if (length < 0)
        return FailWith(WSAEINVAL);
    if (AheadBytes() > 0 && !(flags & MSG_OOB))
        return ReceiveAhead(static_cast<char *>(buffer), length, flags);
    ssize_t received;
    do
        received = ::recv(m_hSocket, buffer, static_cast<size_t>(length), flags);
    while (received < 0 && errno == EINTR);
    const int error = errno;
    m_bReceiveNoticed = false;
    if ((m_phase == Phase::Connected && !m_bCloseNotified) || m_phase == Phase::Datagram)
        Arm(m_pReadNotifier, FD_READ | FD_CLOSE);
    if (flags & MSG_OOB)
        Arm(m_pOobNotifier, FD_OOB);
    if (received < 0)
        return FailWith(WinsockErrorFromErrno(error));
    return static_cast<int>(received);
}

int CAsyncSocket::ReceiveAhead(char *buffer, int length, int flags)
{
    const int held = AheadBytes();
    const int taken = std::min(length, held);
    if (taken > 0)
        std::memcpy(buffer, m_pReadAhead.get() + m_nAheadBegin, static_cast<size_t>(taken));
    int total = taken;
    if (!(flags & MSG_PEEK)) {
        m_nAheadBegin += taken;
        if (taken == held) {
            m_nAheadBegin = m_nAheadEnd = 0;
            if (taken < length && std::exchange(m_bMoreWaiting, false)) {
                ssize_t more;
                do
                    more = ::recv(m_hSocket, buffer + taken, static_cast<size_t>(length - taken), flags | MSG_DONTWAIT);
                while (more < 0 && errno == EINTR);
                if (more > 0)
                    total += static_cast<int>(more);
                else if (more < 0 && !WouldBlock(errno))
                    m_nDeferredError = WinsockErrorFromErrno(errno);
                // 0: the end of the stream, which the next notice says
            }
        }
    }
    m_bReceiveNoticed = false;
    if (!m_bCloseNotified)
        Arm(m_pReadNotifier, FD_READ | FD_CLOSE);
    if (AheadBytes() > 0) {
        // Bytes are left for a later Receive, with perhaps nothing more coming from the system to
        // wake the notifier: say so again, as after any read that leaves data.
        QTimer::singleShot(0, this, [this, generation = m_nGeneration] {
            if (m_nGeneration == generation && !m_bReceiveNoticed && AheadBytes() > 0)
                NoticeReceive();
            DispatchPostedMessages();
        });
    }
    return total;
}

int CAsyncSocket::SendTo(const void *data, int length, unsigned port, const QString &host, int flags)
{
    if (m_hSocket == INVALID_SOCKET)
        return FailWith(WSAENOTSOCK);
    if (length < 0)
        return FailWith(WSAEINVAL);
    CSocketAddress peer;
    return SendTo(data, length, ResolveAddress(host, port, m_nType, peer) ? &peer : nullptr, flags);
}

int CAsyncSocket::SendTo(const void *data, int length, const CSocketAddress *to, int flags)
{
    if (m_hSocket == INVALID_SOCKET)
        return FailWith(WSAENOTSOCK);
    if (length < 0 || !to)
        return FailWith(WSAEINVAL);
    CSocketAddress peer;
    if (!to->ForFamily(m_nFamily, &peer))
        return FailWith(WSAEAFNOSUPPORT);
    ssize_t sent;
    do
        sent = ::sendto(m_hSocket, data, static_cast<size_t>(length), flags | MSG_NOSIGNAL, peer.Data(), peer.Length());
    while (sent < 0 && errno == EINTR);
    const int error = errno;
    if (sent < 0 && WouldBlock(error))
        Arm(m_pWriteNotifier, FD_WRITE);
    if (sent < 0)
        return FailWith(WinsockErrorFromErrno(error));
    return static_cast<int>(sent);
}

int CAsyncSocket::ReceiveFrom(void *buffer, int length, QString &address, unsigned &port, int flags)
{
    if (m_hSocket == INVALID_SOCKET)
        return FailWith(WSAENOTSOCK);
    if (length < 0)
        return FailWith(WSAEINVAL);
    sockaddr_storage from{};
    iovec part{buffer, static_cast<size_t>(length)};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    ssize_t received;
    do
        received = ::recvmsg(m_hSocket, &message, flags);
    while (received < 0 && errno == EINTR);
    const int error = errno;
    if (m_phase == Phase::Datagram || (m_phase == Phase::Connected && !m_bCloseNotified))
        Arm(m_pReadNotifier, FD_READ | FD_CLOSE);
    if (received < 0)
        return FailWith(WinsockErrorFromErrno(error));
    if (message.msg_flags & MSG_TRUNC)
        return FailWith(WSAEMSGSIZE);  // the rest of the datagram is gone
    TellSender(CSocketAddress::FromSockaddr(reinterpret_cast<const sockaddr *>(&from), message.msg_namelen), address,
               port);
    return static_cast<int>(received);
}

void CAsyncSocket::ReadReady()
{
    if (m_phase == Phase::Connected && m_bReceiveNoticed) {
        // The owner has not read since OnReceive: quiet until it does.
        m_bMoreWaiting = true;
        if (std::exchange(m_bReceiveWaited, true))
            m_pReadNotifier->setEnabled(false);
        return;
    }
    if (m_phase != Phase::Connected)
        m_pReadNotifier->setEnabled(false);
    switch (m_phase) {
    case Phase::Listening:
        OnAccept(0);
        return;
    case Phase::Datagram:
        OnReceive(0);  // a datagram of 0 bytes is data too
        return;
    case Phase::Connected:
        break;
    default:
        return;
    }
    if (AheadBytes() > 0) {  // a Receive left bytes, and more came
        m_bMoreWaiting = true;
        NoticeReceive();
        return;
    }
    // Read ahead for an owner that wants the data; only looked at for one that does not.
    const bool wanted = m_lEvents & FD_READ;
    if (wanted && !m_pReadAhead)
        m_pReadAhead = std::make_unique<char[]>(kReadAhead);
    char first;
    const ssize_t got = wanted ? ::recv(m_hSocket, m_pReadAhead.get(), kReadAhead, MSG_DONTWAIT)
                               : ::recv(m_hSocket, &first, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got > 0) {
        if (wanted) {
            m_nAheadEnd = static_cast<int>(got);
            m_bMoreWaiting = got == kReadAhead;
            NoticeReceive();
        } else {
            m_pReadNotifier->setEnabled(false);
        }
        return;
    }
    if (got < 0 && (WouldBlock(errno) || errno == EINTR))
        return;  // still on: nothing to say yet
    // End of stream or a reset: said once.
    const int code = got != 0 ? WinsockErrorFromErrno(errno) : std::exchange(m_nDeferredError, 0);
    m_pReadNotifier->setEnabled(false);
    m_bCloseNotified = true;
    if (m_lEvents & FD_CLOSE)
        OnClose(code);
}

void CAsyncSocket::NoticeReceive()
{
    m_bReceiveNoticed = true;
    m_bReceiveWaited = false;
    OnReceive(0);
}

void CAsyncSocket::WriteReady()
{
    m_pWriteNotifier->setEnabled(false);
    if (m_phase == Phase::Connecting) {
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(m_hSocket, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
            error = errno;
        FinishConnect(WinsockErrorFromErrno(error));
        return;
    }
    if (m_lEvents & FD_WRITE)
        OnSend(0);
}

void CAsyncSocket::FinishConnect(int code)
{
    if (code != 0 && !m_connectRest.isEmpty()) {
        // The next address of the name, before the owner hears of any failure.
        m_phase = Phase::Idle;
        if (ConnectNext(code) || GetLastError() == WSAEWOULDBLOCK)
            return;
        code = GetLastError();
    }
    m_connectRest.clear();
    if (code == 0) {
        m_phase = Phase::Connected;
        Arm(m_pReadNotifier, FD_READ | FD_CLOSE);
        Arm(m_pWriteNotifier, FD_WRITE);
        Arm(m_pOobNotifier, FD_OOB);
    } else {
        m_phase = Phase::Idle;
    }
    if (m_lEvents & FD_CONNECT)
        OnConnect(code);
}

void CAsyncSocket::ExceptionReady()
{
    m_pOobNotifier->setEnabled(false);
    // The notifier also wakes on a socket error; only a waiting urgent byte is out-of-band data.
    char urgent;
    const ssize_t peeked = ::recv(m_hSocket, &urgent, 1, MSG_OOB | MSG_PEEK | MSG_DONTWAIT);
    if (peeked > 0 && (m_lEvents & FD_OOB))
        OnOutOfBandData(0);
}

void CAsyncSocket::OnReceive(int) {}
void CAsyncSocket::OnSend(int) {}
void CAsyncSocket::OnOutOfBandData(int) {}
void CAsyncSocket::OnAccept(int) {}
void CAsyncSocket::OnConnect(int) {}
void CAsyncSocket::OnClose(int) {}
