// A non-blocking IPv4 or IPv6 socket that reports readiness through virtual handlers, one notice at
// a time.
#pragma once

#include "platform/csocketaddress.h"
#include "platform/qnwin.h"

#include <QList>
#include <QObject>
#include <QString>

#include <netinet/in.h>
#include <sys/socket.h>

#include <functional>
#include <memory>

class QSocketNotifier;
struct addrinfo;

// Winsock error codes, the numbers every error text of the program is keyed by.
constexpr int WSAEINTR = 10004;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSANOTINITIALISED = 10093;
// Not a Winsock code: an address text that is neither numbers nor a possible host name
// (CSocketAddress::IsMalformed); every error table words it alike.
constexpr int QN_EMALFORMEDADDRESS = 29001;
// An errno without a Winsock counterpart becomes this base plus the errno: no error table lists it.
constexpr int WSA_UNMAPPED_ERRNO_BASE = 30000;

// Notification mask bits of Create.
constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;
constexpr long FD_ALL_EVENTS = 0x3F;

constexpr int INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

// The Winsock code for an errno value.
int WinsockErrorFromErrno(int error);

class CAsyncSocket : public QObject
{
public:
    CAsyncSocket();
    ~CAsyncSocket() override;

    // Makes a socket of `type` (SOCK_STREAM or SOCK_DGRAM) bound to `port` on `address` that reports
    // the notices in `events`. `address` in numbers, IPv4 or IPv6, makes a socket of its family; null
    // or empty makes one for all local addresses of both families (IPv6 with IPv4 mapped into it,
    // or IPv4 alone where the system has no IPv6).
    BOOL Create(unsigned port = 0, int type = SOCK_STREAM, long events = FD_ALL_EVENTS,
                const char *address = nullptr);
    // Sockets created from now on may share their port with other sockets that ask the same (a
    // multicast group's receivers); streams always may reuse a port no one listens on.
    void ShareAddress(bool share) { m_bShareAddress = share; }
    virtual void Close();

    // Starts connecting to `host` (numbers or a name); the outcome comes through OnConnect.
    // Normally FALSE with WSAEWOULDBLOCK (under way); a name that does not resolve fails at once with
    // WSAEINVAL, a malformed address with QN_EMALFORMEDADDRESS, a connected socket with WSAEISCONN,
    // one still connecting with WSAEALREADY. A stream to a name of several addresses tries them in
    // order, each on a fresh socket bound as this one, until one connects; OnConnect tells the last.
    BOOL Connect(const QString &host, unsigned port);
    BOOL Listen(int backlog = 5);
    // Takes one waiting connection into `into` (which must hold no socket).
    BOOL Accept(CAsyncSocket &into, sockaddr *address = nullptr, socklen_t *length = nullptr);

    int Send(const void *data, int length, int flags = 0);
    int Receive(void *buffer, int length, int flags = 0);
    // Bytes a connected socket's receive notice reads before the owner asks (see m_pReadAhead).
    static constexpr int kReadAhead = 16384;
    int SendTo(const void *data, int length, unsigned port, const QString &host, int flags = 0);
    // Sends to an address looked up beforehand (ResolveAddress); null `to` stands for a destination
    // that did not resolve and fails with WSAEINVAL, as SendTo with that name does.
    int SendTo(const void *data, int length, const CSocketAddress *to, int flags = 0);
    // Reads one datagram; one longer than `length` is lost and fails with WSAEMSGSIZE.
    int ReceiveFrom(void *buffer, int length, QString &address, unsigned &port, int flags = 0);

    // `host` (numbers, IPv6 also in brackets, or a name) with `port` as an address for sockets of
    // `socketType`; FALSE when it does not resolve, the last error then WSAEINVAL, or
    // QN_EMALFORMEDADDRESS for a text never looked up.
    static BOOL ResolveAddress(const QString &host, unsigned port, int socketType, CSocketAddress &out);
    // As ResolveAddress, with every address of a name in the order to try them.
    static BOOL ResolveAll(const QString &host, unsigned port, int socketType, QList<CSocketAddress> *out);
    // The look-up part of ResolveAddress, which may take long: the addresses of a host name, IPv4
    // ones first (a name keeps the address it had before IPv6 was known), then IPv6. Safe on any thread.
    static bool LookUpName(const QByteArray &host, int socketType, QList<CSocketAddress> *out);
    // An answer looked up beforehand that ResolveAddress gives for `host` (not found: FALSE) until
    // ForgetAnswer, instead of looking the name up itself. User-interface thread only.
    static void RememberAnswer(const QString &host, bool found, const QList<CSocketAddress> &addresses);
    static void ForgetAnswer();
    // The function that looks host names up, getaddrinfo unless replaced; returns the one replaced.
    using NameLookup = int (*)(const char *, const char *, const addrinfo *, addrinfo **);
    static NameLookup SetNameLookup(NameLookup lookup);

    // The Winsock code of this thread's last failed socket call.
    static int GetLastError();
    static void SetLastError(int code);
    // Names the open handle: unique among all handles this process opens, 0 while there is none.
    std::uint64_t Serial() const { return m_hSocket == INVALID_SOCKET ? 0 : m_nGeneration; }

    int m_hSocket = INVALID_SOCKET;

protected:
    // Runs `handler` each time `notifier` fires, then handles what it posted, as the next messages a
    // message loop would take (the socket may be gone by then).
    void Watch(QSocketNotifier *notifier, std::function<void()> handler);
    // The sender of a datagram as ReceiveFrom gives it: the address's text and port.
    static void TellSender(const CSocketAddress &from, QString &address, unsigned &port);
    // The socket's address family (AF_INET or AF_INET6), 0 without a socket.
    int Family() const { return m_hSocket == INVALID_SOCKET ? 0 : m_nFamily; }
    virtual void OnReceive(int nErrorCode);
    virtual void OnSend(int nErrorCode);
    virtual void OnOutOfBandData(int nErrorCode);
    virtual void OnAccept(int nErrorCode);
    virtual void OnConnect(int nErrorCode);
    virtual void OnClose(int nErrorCode);

private:
    enum class Phase { Idle, Connecting, Connected, Listening, Datagram };

    // A socket of `type` bound to `local` (IPv6 ones taking IPv4 too); -1 with the errno in `error`.
    static int Open(const CSocketAddress &local, int type, bool share, int *error);
    // Connects to the next of m_connectRest that the socket's family reaches, each after the first on
    // a fresh socket; results as Connect's, failing with `code` when no address is left to try.
    BOOL ConnectNext(int code = WSAEAFNOSUPPORT);
    void Attach(int handle, int family, int type, long events, Phase phase);
    void Arm(QSocketNotifier *notifier, long event);
    void ReadReady();
    void WriteReady();
    void ExceptionReady();
    void FinishConnect(int code);
    void DeliverDeferredConnect(int code);

    QSocketNotifier *m_pReadNotifier;
    QSocketNotifier *m_pWriteNotifier;
    QSocketNotifier *m_pOobNotifier;
    int m_nType = 0;
    int m_nFamily = AF_INET;
    CSocketAddress m_local;  // what the socket was bound to
    QList<CSocketAddress> m_connectRest;  // addresses a connect has still to try
    bool m_bConnectTried = false;  // the socket has tried one of them already
    bool m_bShareAddress = false;
    long m_lEvents = 0;
    Phase m_phase = Phase::Idle;
    bool m_bCloseNotified = false;
    // OnReceive was said and Receive not called since. The read notifier of a connected socket stays
    // on meanwhile (turning it off and on for every block costs the event loop a wake-up each time):
    // should it fire once before the owner reads, nothing is said; should it fire again, it is
    // turned off until the owner reads.
    bool m_bReceiveNoticed = false;
    bool m_bReceiveWaited = false;
    // A connected socket tells data from the end of the stream by reading the first bytes, not by
    // peeking at them: the notice's read takes up to kReadAhead bytes, and Receive hands them out
    // before it asks the system for more, so a short telegram costs the owner no system call.
    std::unique_ptr<char[]> m_pReadAhead;
    int m_nAheadBegin = 0;
    int m_nAheadEnd = 0;
    bool m_bMoreWaiting = false;  // the system may hold bytes behind the read-ahead
    int m_nDeferredError = 0;     // a reset that Receive met behind the read-ahead: said with the close
    int AheadBytes() const { return m_nAheadEnd - m_nAheadBegin; }
    void NoticeReceive();
    int ReceiveAhead(char *buffer, int length, int flags);
    void ForgetReadAhead();
    // Renewed from one process-wide count at each open and close, so a deferred notice never reaches
    // a later handle and a serial never names two handles.
    std::uint64_t m_nGeneration = 0;
};
