#include "loopbackpeer.h"

#include <QSocketNotifier>
#include <QTest>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace {

// 127.0.0.1 or ::1 with `port`.
struct Loopback
{
    Loopback(quint16 port, int family)
    {
        if (family == AF_INET6) {
            auto &v6 = reinterpret_cast<sockaddr_in6 &>(storage);
            v6.sin6_family = AF_INET6;
            v6.sin6_port = htons(port);
            v6.sin6_addr = in6addr_loopback;
            length = sizeof v6;
        } else {
            auto &v4 = reinterpret_cast<sockaddr_in &>(storage);
            v4.sin_family = AF_INET;
            v4.sin_port = htons(port);
            v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof v4;
        }
    }
    const sockaddr *Data() const { return reinterpret_cast<const sockaddr *>(&storage); }
    sockaddr_storage storage{};
    socklen_t length = 0;
};

int Family(int handle)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ::getsockname(handle, reinterpret_cast<sockaddr *>(&address), &length);
    return address.ss_family;
}

int Bound(int type, int family)
{
    const int handle = ::socket(family, type | SOCK_CLOEXEC, 0);
    const Loopback address(0, family);
    if (handle >= 0 && ::bind(handle, address.Data(), address.length) != 0) {
        ::close(handle);
        return -1;
    }
    return handle;
}

bool WaitFor(int handle, short events, int timeoutMs)
{
    pollfd entry{handle, events, 0};
    return ::poll(&entry, 1, timeoutMs) == 1;
}

}  // namespace

LoopbackPeer::LoopbackPeer(LoopbackPeer &&other) noexcept
    : received(std::move(other.received)), m_handle(std::exchange(other.m_handle, -1)),
      m_pNotifier(std::move(other.m_pNotifier))
{
}

LoopbackPeer &LoopbackPeer::operator=(LoopbackPeer &&other) noexcept
{
    Release();
    received = std::move(other.received);
    m_handle = std::exchange(other.m_handle, -1);
    m_pNotifier = std::move(other.m_pNotifier);
    return *this;
}

LoopbackPeer::~LoopbackPeer()
{
    Release();
}

void LoopbackPeer::Release()
{
    m_pNotifier.reset();
    if (m_handle >= 0)
        ::close(m_handle);
    m_handle = -1;
}

LoopbackPeer LoopbackPeer::ListenTcp(int family)
{
    const int handle = Bound(SOCK_STREAM, family);
    if (handle >= 0)
        ::listen(handle, 8);
    return LoopbackPeer(handle);
}

bool LoopbackPeer::HasIpv6Loopback()
{
    const int handle = Bound(SOCK_DGRAM, AF_INET6);
    if (handle >= 0)
        ::close(handle);
    return handle >= 0;
}

LoopbackPeer LoopbackPeer::BindTcp()
{
    return LoopbackPeer(Bound(SOCK_STREAM, AF_INET));
}

LoopbackPeer LoopbackPeer::ConnectTcp(quint16 port, int family)
{
    const int handle = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const Loopback address(port, family);
    if (::connect(handle, address.Data(), address.length) != 0) {
        ::close(handle);
        return {};
    }
    ::fcntl(handle, F_SETFL, O_NONBLOCK);
    return LoopbackPeer(handle);
}

LoopbackPeer LoopbackPeer::BindUdp(int family)
{
    const int handle = Bound(SOCK_DGRAM, family);
    if (handle >= 0)
        ::fcntl(handle, F_SETFL, O_NONBLOCK);
    return LoopbackPeer(handle);
}

LoopbackPeer LoopbackPeer::AcceptTcp(int timeoutMs)
{
    if (!WaitFor(m_handle, POLLIN, timeoutMs))
        return {};
    const int handle = ::accept4(m_handle, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    return LoopbackPeer(handle);
}

quint16 LoopbackPeer::LocalPort(int handle)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ::getsockname(handle, reinterpret_cast<sockaddr *>(&address), &length);
    return address.ss_family == AF_INET6 ? ntohs(reinterpret_cast<const sockaddr_in6 &>(address).sin6_port)
                                         : ntohs(reinterpret_cast<const sockaddr_in &>(address).sin_port);
}

bool LoopbackPeer::Barrier()
{
    LoopbackPeer receiver = BindUdp();
    LoopbackPeer sender = BindUdp();
    QSocketNotifier notifier(receiver.Handle(), QSocketNotifier::Read);
    bool seen = false;
    QObject::connect(&notifier, &QSocketNotifier::activated, &notifier, [&] {
        seen = true;
        notifier.setEnabled(false);
    });
    return sender.WriteTo("!", receiver.Port()) == 1 && QTest::qWaitFor([&] { return seen; }, 5000);
}

qint64 LoopbackPeer::Write(QByteArrayView data, int flags)
{
    return ::send(m_handle, data.data(), size_t(data.size()), flags | MSG_NOSIGNAL);
}

qint64 LoopbackPeer::WriteTo(QByteArrayView datagram, quint16 port)
{
    const Loopback address(port, Family(m_handle));
    return ::sendto(m_handle, datagram.data(), size_t(datagram.size()), 0, address.Data(), address.length);
}

QByteArray LoopbackPeer::ReadNow(int limit)
{
    QByteArray data(limit, Qt::Uninitialized);
    const ssize_t count = ::recv(m_handle, data.data(), size_t(limit), MSG_DONTWAIT);
    data.resize(count > 0 ? count : 0);
    return data;
}

const QByteArray &LoopbackPeer::Drain()
{
    received += ReadNow();
    return received;
}

bool LoopbackPeer::WaitEndOfStream(int timeoutMs)
{
    return QTest::qWaitFor(
        [this] {
            char sink[4096];
            const ssize_t count = ::recv(m_handle, sink, sizeof sink, MSG_DONTWAIT);
            return count == 0 || (count < 0 && errno != EAGAIN);
        },
        timeoutMs);
}

void LoopbackPeer::Reset()
{
    const linger abrupt{1, 0};
    ::setsockopt(m_handle, SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt);
    Release();
}

void LoopbackPeer::CollectWhileRunning(int chunk)
{
    m_pNotifier = std::make_unique<QSocketNotifier>(m_handle, QSocketNotifier::Read);
    QObject::connect(m_pNotifier.get(), &QSocketNotifier::activated, m_pNotifier.get(), [this, chunk] {
        const QByteArray part = ReadNow(chunk);
        if (part.isEmpty())
            m_pNotifier->setEnabled(false);  // end of stream
        received += part;
    });
}
