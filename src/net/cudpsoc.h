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

#include <memory>
#include <optional>

class CUdpReader;
class QSocketNotifier;

class CUDPSoc : public CAsyncSocket
{
public:
    CUDPSoc(QObject *owner, int id);
    ~CUDPSoc() override;

    // Opens on `port` of every local address (both families), or of `localAddress` in numbers.
    BOOL Create(unsigned port, const char *localAddress = nullptr);
    // Joins `group` (the socket must be of its family) on the options' interface and sets the TTL
    // and loop of sends to it; FALSE with the failure kept (LastFailure). Closing leaves the group.
    BOOL JoinGroup(const CSocketAddress &group, const CUdpOptions &options);
    // Lets sends go to a broadcast address.
    void AllowBroadcast();
    // Ends the reader thread (a count of dropped datagrams not yet logged is logged now), then closes.
    void Close() override;
    // Records the destination of later sends; no call reaches the network.
    BOOL Connect(const QString &address, unsigned port);
    // Looks `address` up now: later sends to that destination use what was found (or fail as the
    // name does) without asking the resolver again.
    void ResolveDestination(const QString &address, unsigned port);
    BOOL Send(const void *data, int length);
    BOOL SendTo(const void *data, int length, unsigned port, const QString &address);
    // One datagram into the buffer; the sender's address is not kept. 0 on failure.
    int Receive(void *buffer, int length);
    int ReceiveFrom(void *buffer, int length, QString &address, unsigned &port);
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

    // TRUE unless a send gave SOCKET_ERROR, whose failure it keeps and traces.
    BOOL Sent(int result);
    // Keeps the last error's code and the table's text for it, and traces the tag, then the text.
    void Failed(const QString &tag, SocketErrorTable table, const char *defaultText);
};
