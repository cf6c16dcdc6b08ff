// A connectionless datagram socket: Connect only records the destination, every send goes there and
// every receive takes one whole datagram. A reader thread takes datagrams from the kernel as they
// arrive; the owner is still told of them one at a time.
#pragma once

#include "net/cudpoptions.h"
#include "net/socketerrors.h"
#include "platform/casyncsocket.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>

#include <netinet/in.h>

#include <memory>
#include <optional>
#include <vector>

class CUdpReader;
class QSocketNotifier;

class CUDPSoc : public CAsyncSocket
{
public:
    CUDPSoc(QObject *owner, int id);
    ~CUDPSoc() override;

    // Opens on `port` of every local address (both families), or of `localAddress` in numbers.
    BOOL Create(unsigned port, const char *localAddress = nullptr);
    // Joins `group` (the socket must be of its family) on the options' interface (none: an IPv6
    // group's %scope, else the system's choice) and sets the TTL and loop of sends to it; FALSE with
    // the failure kept (LastFailure, its text saying why). Closing leaves the group.
    BOOL JoinGroup(const CSocketAddress &group, const CUdpOptions &options);
    // Lets sends go to a broadcast address. A send the system refuses for want of it (WSAEACCES: a
    // destination its routing takes for a broadcast) turns it on and is tried once more.
    void AllowBroadcast();
    // Ends the reader thread (a count of dropped datagrams not yet logged is logged now), then closes.
    void Close() override;
    // Records the destination of later sends; no call reaches the network.
    BOOL Connect(const QString &address, unsigned port);
    // Looks `address` up now: later sends to that destination use what was found (or fail as the
    // name does) without asking the resolver again.
    void ResolveDestination(const QString &address, unsigned port);
    // FALSE when the system refuses the datagram: the Log gets a line with the reason.
    BOOL Send(const void *data, int length);
    BOOL SendTo(const void *data, int length, unsigned port, const QString &address);
    // One datagram into the buffer; the sender's address is not kept. 0 on failure.
    int Receive(void *buffer, int length);
    int ReceiveFrom(void *buffer, int length, QString &address, unsigned &port);
    // The datagram taken last came from this socket itself: its own port on one of this machine's
    // addresses (a send to a group or a broadcast address that came back).
    bool LastWasOwn() const { return m_bLastWasOwn; }
    // Developer trace of failures (category "quillnet.udp", off unless enabled); never the Log window.
    void Log(const QString &text);

    // Bytes the receive queue of sockets created from now on may hold (0: the default, 64 MB);
    // returns the limit it replaces.
    static qsizetype SetQueueLimit(qsizetype bytes);
    // The open socket's receive queue: the bytes it holds and the most it has held.
    qsizetype QueuedBytes() const;
    qsizetype PeakQueuedBytes() const;
    // Datagrams the full queue has dropped since the socket was opened.
    quint64 DroppedDatagrams() const;
    // True when the reader thread was allowed a real-time priority.
    bool ReaderIsRealTime() const;

    // The last call that failed (Create, a send or a receive).
    const SocketFailure &LastFailure() const { return m_lastFailure; }
    // Shared log buffer of the view, for the one line this socket writes: datagrams the full queue
    // dropped, said at most once a second. Not owned; null writes nothing.
    void SetLogBuffer(char *logBuf) { m_pLogBuf = logBuf; }

protected:
    void OnReceive(int nErrorCode) override;

private:
    QString m_strAddress;  // the destination Connect recorded
    unsigned m_nPort = 0;
    int m_nId;
    QObject *m_pOwner;  // not owned
    SocketFailure m_lastFailure;
    char *m_pLogBuf = nullptr;  // not owned

    // Destination last looked up by ResolveDestination, and its address unless it did not resolve.
    QString m_strResolvedAddress;
    unsigned m_nResolvedPort = 0;
    std::optional<CSocketAddress> m_resolved;
    int m_nResolveError = 0;  // why m_resolved is empty
    bool m_bBroadcast = false;  // SO_BROADCAST is on

    // The own port and this machine's addresses (IPv4 ones mapped), taken at Create: a datagram
    // from them is the socket's own. The port is compared first; most datagrams stop there.
    unsigned m_nOwnPort = 0;
    std::vector<in6_addr> m_ownAddresses;
    bool m_bLastWasOwn = false;
    bool IsOwnSender(const sockaddr_in6 &sender) const;

    std::unique_ptr<CUdpReader> m_pReader;
    // Watches the reader's queue; disabled from a notice until the next Receive, as the socket's
    // own readiness would be.
    QSocketNotifier *m_pQueueNotifier = nullptr;
    quint64 m_nDropsUnlogged = 0;
    QElapsedTimer m_lastDropLog;
    QTimer m_dropLogTimer;

    void QueueReady();
    // One datagram from the queue, as CAsyncSocket::ReceiveFrom reads one from the socket.
    int TakeDatagram(void *buffer, int length, QString &address, unsigned &port);
    // Adds the reader's new drops to those to log and times the line.
    void NoteDrops();
    void LogDrops();
    void StopReader();

    // Sends to `to` (null: a destination that did not resolve, failing with `resolveError`), once more
    // with SO_BROADCAST when the system asks for it.
    int SendOnce(const void *data, int length, const CSocketAddress *to, int resolveError);
    // TRUE unless a send gave SOCKET_ERROR, whose failure it keeps and logs.
    BOOL Sent(int result);
    // Why a join failed with `error`, in words; `tableText` where there are no better ones.
    static QString JoinFailureText(int error, const QString &interfaceName, const QString &tableText);
    // Keeps the last error's code and the table's text for it, and traces the tag, then the text.
    void Failed(const QString &tag, SocketErrorTable table, const char *defaultText);
};
