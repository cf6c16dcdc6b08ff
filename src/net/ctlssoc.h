// A TCP stream socket that speaks TLS over the connection it owns: the handshake runs inside the
// socket's own notices, the owner hears of the connection once the handshake is done and of
// received data once decrypted bytes are ready, and reads and sends application bytes only.
#pragma once

#include "net/ctcpsoc.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

class CTlsContext;
class QTimer;
struct ssl_st;
struct bio_st;

class CTlsSoc final : public CTCPSoc
{
public:
    // Decrypted bytes held for the owner before the socket stops reading the peer.
    static constexpr qsizetype kMaxPlain = QN_MAX_RECEIVE;
    // A handshake not done this long after it began is given up: a silent peer must not hold the
    // connection (a one-client server's only place) for ever.
    static constexpr int kHandshakeTimeoutMs = 10000;
    // The handshake time of the sockets made from now on; tests shorten it (0: kHandshakeTimeoutMs).
    static void SetHandshakeTimeout(int milliseconds);

    // `context` (shared by the connections of one server) decides the side and the settings.
    CTlsSoc(QObject *owner, int id, char *logBuf, std::shared_ptr<const CTlsContext> context);
    ~CTlsSoc() override;

    // Client: the host typed; SNI and the verified name use the settings' name, else this.
    void SetPeerName(const QString &host) { m_strPeerName = host; }
    // Server: begins the handshake on the connection Accept has just filled this with;
    // `established` is called when it is done.
    void StartAccepted(std::function<void()> established);

    void Close() override;
    BOOL Send(const void *data, int length) override;
    int Receive(void *buffer, int length) override;

    bool IsEstablished() const { return m_phase == Phase::Open; }
    // "TLS1.3 TLS_AES_256_GCM_SHA384" once established, else empty.
    const QString &Summary() const { return m_strSummary; }
    // The client does not verify the server (its certificate was logged instead).
    bool IsUnverified() const;

protected:
    void OnReceive(int nErrorCode) override;
    void OnConnect(int nErrorCode) override;
    void OnClose(int nErrorCode) override;

private:
    enum class Phase { Idle, Handshaking, Open, Failed };

    bool Begin();
    // Client: the name or address the server's certificate must carry, and SNI; false when the
    // library does not take it (the handshake then fails: never a connection without the check).
    bool SetCheckedName();
    // Takes one slice of records from the socket; true when it was full (more may wait).
    bool ReadPeer();
    void Pump();
    void ContinueHandshake();
    void Decrypt();
    bool FlushRecords();
    // The peer's close_notify: answered with ours, and the owner told of the close.
    void AnswerCloseNotify();
    void HandshakeFailed(const QString &reason);
    void HandshakeTimedOut();

    std::shared_ptr<const CTlsContext> m_pContext;
    ssl_st *m_pSsl = nullptr;
    bio_st *m_pNetIn = nullptr;   // records from the peer, owned by m_pSsl
    bio_st *m_pNetOut = nullptr;  // records for the peer, owned by m_pSsl
    Phase m_phase = Phase::Idle;
    QString m_strPeerName;
    QString m_strCheckedName;
    std::function<void()> m_established;
    QString m_strSummary;
    bool m_bFirstRecordSeen = false;
    QByteArray m_plain;          // decrypted bytes the owner has not read, from m_nPlainBegin
    qsizetype m_nPlainBegin = 0;
    bool m_bNoticed = false;     // EV_RECEIVE said, not read since
    bool m_bPeerHeld = false;    // the peer's notice left unread while m_plain is full
    bool m_bCloseNotified = false;  // the peer's close_notify has come
    std::unique_ptr<QTimer> m_pHandshakeTimer;  // running while Handshaking
    int m_nHandshakeTimeoutMs;
};
