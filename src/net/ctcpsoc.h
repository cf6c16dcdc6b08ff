// The program's TCP stream socket: traces each operation to the log, words failures in Japanese and
// posts its notices to the owner window as session events.
#pragma once

#include "net/socketerrors.h"
#include "platform/casyncsocket.h"
#include "platform/qnwin.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

class CSendBudget;
class QTimer;

class CTCPSoc : public CAsyncSocket
{
public:
    static constexpr int ROLE_TERM = 0;  // the connecting end and every accepted connection
    static constexpr int ROLE_SRVR = 1;  // the listening socket
    // Bytes a slow peer may leave waiting in the socket before a further send is refused.
    static constexpr qsizetype kMaxQueued = 64 * 1024 * 1024;

    // While more than this waits, received data is not announced: the peer's own sending is held
    // back by TCP until the queue has drained to kResumeReadingAt, so the echo of the next read fits.
    static constexpr qsizetype kHoldReadingAt = kMaxQueued - QN_MAX_RECEIVE;
    static constexpr qsizetype kResumeReadingAt = kMaxQueued / 2;
    // A closing socket gives up on a peer that has taken nothing for this long.
    static constexpr int kDrainIdleMs = 10000;

    CTCPSoc(QObject *owner, int id, char *logBuf, int role);
    ~CTCPSoc() override;

    void Close() override;
    BOOL Create(unsigned port);
    BOOL Connect(const QString &address, unsigned port);
    BOOL Listen(int backlog = 5);
    BOOL Accept(CTCPSoc *client);
    // Sends the whole telegram: what the socket does not take at once waits, in order, and goes out
    // as the socket becomes writable. FALSE on a socket error or when the wait would pass kMaxQueued.
    virtual BOOL Send(const void *data, int length);
    virtual int Receive(void *buffer, int length);
    BOOL CheckRole(int role);
    void Log(const QString &text, int kind);

    // Bytes accepted by Send that the socket has not taken yet.
    qsizetype QueuedBytes() const { return m_nQueued; }
    // The budget this socket's queue counts against, shared with the other clients of a server;
    // each socket starts with one of its own (of kMaxQueued).
    void SetSendBudget(std::shared_ptr<CSendBudget> budget);
    // The budget has stopped holding: a receive notice held back for it is given now, unless the
    // socket's own queue still holds it.
    void ResumeReading();
    bool IsReadingHeld() const { return m_bReadHeld; }
    // After the peer's close: what is queued still goes out to a peer that reads, then the socket
    // closes; one that takes nothing for kDrainIdleMs is given up. `closed` is called, later in
    // the event loop, once the socket has closed that way.
    void CloseWhenSent(std::function<void()> closed = {});
    bool IsOpen() const { return m_hSocket != INVALID_SOCKET; }
    // The peer has closed the connection (OnClose has come).
    bool PeerClosed() const { return m_bPeerClosed; }
    // The last call that failed, or the failed outcome of a connect.
    const SocketFailure &LastFailure() const { return m_lastFailure; }

protected:
    void OnReceive(int nErrorCode) override;
    void OnSend(int nErrorCode) override;
    void OnOutOfBandData(int nErrorCode) override;
    void OnAccept(int nErrorCode) override;
    void OnConnect(int nErrorCode) override;
    void OnClose(int nErrorCode) override;

    // Send without its trace line: what a layer above the stream (TLS) hands down.
    BOOL SendBytes(const void *data, int length);
    void PostEvent(SessionEvent code, LPARAM lParam);
    int Id() const { return m_nId; }
    void SetLastFailure(const SocketFailure &failure) { m_lastFailure = failure; }

private:
    int m_nRole;
    char *m_pLogBuf;    // the view's; not owned
    int m_nId;
    QObject *m_pOwner;  // not owned
    SocketFailure m_lastFailure;
    bool m_bPeerClosed = false;

    bool Flush();
    void DropQueue();
    void SendFailed(int code);
    // Logs "<operation>() " and the table's text for `code` as an error line and keeps both.
    void LogFailure(const char *operation, SocketErrorTable table, int code, const char *defaultText);

    void CheckDrainProgress();
    // Closes a socket that was closing once its bytes were sent, and tells its owner.
    void FinishClosing();
    // The queue grew by `delta` bytes (or shrank); the budget counts with it.
    void CountQueued(qsizetype delta);
    // Whether a held receive notice may be given: the socket's own queue and the budget allow it.
    bool MayResumeReading() const;

    std::deque<QByteArray> m_queue;  // one entry per telegram (or its rest), oldest first
    qsizetype m_nFrontSent = 0;      // bytes of the oldest entry already sent
    qsizetype m_nQueued = 0;
    bool m_bReadHeld = false;   // a receive notice is being held back while the queue drains
    std::unique_ptr<QTimer> m_pDrainTimer;  // running while closing with bytes queued
    std::function<void()> m_closedWhenSent;
    std::shared_ptr<CSendBudget> m_pBudget;
    qsizetype m_nQueuedAtLastCheck = 0;
};
