// The TCP client end of a session: one stream socket to the server, made for each connect and
// closed and deleted at every end of the connection, here and nowhere else.
#pragma once

#include "net/cendpoint.h"

#include <memory>

class CTCPSoc;
class CTlsSoc;

class CTCPClient final : public CEndpoint
{
public:
    // `view` receives the socket's notices and log lines through `logBuf` (the view's, not owned).
    CTCPClient(QObject *view, char *logBuf);
    ~CTCPClient() override;

    // The view's line for an open TCP client.
    static QString ConnectLogText(const QString &address, int port, int ownPort);

    // The endpoint: its settings are CTcpClientSettings' texts.
    ConnectionType Type() const override { return TYPE_TCP_CLIENT; }
    QString DestinationHost(const QStringList &settings) const override;
    int SocketKind() const override;
    QString DestinationText(const QStringList &settings) const override;
    // Starts connecting; the outcome comes as EV_CONNECT_DONE.
    bool Open(const QStringList &settings, QString *logText) override;
    bool CompletesLater() const override { return true; }
    // Drops what is still queued, without a log line, and deletes the socket.
    void Close() override;
    int Send(const void *data, int length) override;
    int Receive(void *buffer, int length) override;
    Description Describe() const override;
    Gauges ReadGauges() const override;
    bool HasPeer() const override;
    SocketFailure LastFailure() const override;
    bool IsNoticeFrom(std::uint64_t serial) const override;
    bool TraceEndsOf(int peer, bool received, TraceEnds *ends) const override;

private:
    // Tests reach the sockets behind the endpoint through it (tests/support/endpointprobe.h).
    friend class EndpointProbe;

    QObject *m_pView;  // not owned
    char *m_pLogBuf;   // not owned
    std::unique_ptr<CTCPSoc> m_pSoc;
    CTlsSoc *m_pTls = nullptr;  // m_pSoc when it speaks TLS
    QString m_strDestination;  // "host:port" of the open connection, as typed
    SocketFailure m_lastFailure;  // of the socket closed last
};
