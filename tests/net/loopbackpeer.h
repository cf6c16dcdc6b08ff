// The far end of a socket test: a plain loopback socket driven directly, independent of the code tested.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSocketNotifier>

#include <memory>

#include <sys/socket.h>

class LoopbackPeer
{
public:
    LoopbackPeer() = default;
    LoopbackPeer(LoopbackPeer &&other) noexcept;
    LoopbackPeer &operator=(LoopbackPeer &&other) noexcept;
    ~LoopbackPeer();

    // On 127.0.0.1 (or ::1 for AF_INET6), a port of the system's choice.
    static LoopbackPeer ListenTcp(int family = AF_INET);
    // Bound on 127.0.0.1 but never listening: connects to its port are refused, and while it is held
    // no other socket (a client's own port included) can take that port.
    static LoopbackPeer BindTcp();
    static LoopbackPeer ConnectTcp(quint16 port, int family = AF_INET);  // connected to 127.0.0.1:port
    static LoopbackPeer BindUdp(int family = AF_INET);                   // as ListenTcp
    // ::1 can be bound: the system has IPv6 on loopback.
    static bool HasIpv6Loopback();
    // A connection waiting on this listening socket, waiting up to `timeoutMs` for one.
    LoopbackPeer AcceptTcp(int timeoutMs = 5000);

    // Returns once a datagram sent now has been seen by the event loop, so that every notice that
    // was due before it has been delivered; false after 5 s.
    static bool Barrier();
    static quint16 LocalPort(int handle);

    bool IsValid() const { return m_handle >= 0; }
    int Handle() const { return m_handle; }
    quint16 Port() const { return LocalPort(m_handle); }

    // Sends what the socket takes now; the byte count or -1.
    qint64 Write(QByteArrayView data, int flags = 0);
    qint64 WriteTo(QByteArrayView datagram, quint16 port);
    // What is readable now (at most `limit` bytes, one datagram for UDP); empty when nothing is.
    QByteArray ReadNow(int limit = 65536);
    // Adds what is readable now to `received` and returns all received so far.
    const QByteArray &Drain();
    // True when the peer has closed or reset within `timeoutMs` while the event loop runs; data on
    // the way is dropped.
    bool WaitEndOfStream(int timeoutMs = 5000);
    // Closes with a reset instead of an orderly close.
    void Reset();

    // Reads up to `chunk` bytes each time the socket is readable, into `received`, while the
    // event loop runs.
    void CollectWhileRunning(int chunk);
    QByteArray received;

private:
    explicit LoopbackPeer(int handle) : m_handle(handle) {}
    void Release();

    int m_handle = -1;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
};
