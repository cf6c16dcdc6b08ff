// The TCP server end of a session: owns the listening socket and at most one client (or, when asked,
// up to a limit of numbered clients), and passes the view only received-data events and log lines.
#pragma once

#include "net/cendpoint.h"
#include "net/ctcpserversettings.h"
#include "platform/cmsgwnd.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

class CSendBudget;
class CTCPSoc;
class CTlsContext;

class CTCPSrvr : public CMsgWnd<QObject>, public CEndpoint
{
    Q_OBJECT
public:
    CTCPSrvr();
    ~CTCPSrvr() override;

    // Remembers the view (receiver of relayed events and log notices) and the shared log buffer.
    void CreateEndpoint(QObject *view, char *logBuf);
    // Creates the listening socket on `port` and listens; FALSE when either step fails.
    BOOL Build(unsigned port);
    // Discards the client, if any, and the listening socket.
    void Teardown();
    BOOL Send(const void *data, int length) override;
    int Receive(void *buffer, int length) override;
    void Log(const QString &text, int kind);

    // The endpoint: its settings are CTcpServerSettings' texts (clients numbered from 1).
    ConnectionType Type() const override { return TYPE_TCP_SERVER; }
    int SocketKind() const override;
    bool Open(const QStringList &settings, QString *logText) override;
    void Close() override { Teardown(); }
    Description Describe() const override;
    Gauges ReadGauges() const override;
    SocketFailure LastFailure() const override;
    bool IsNoticeFrom(std::uint64_t serial) const override;
    bool TraceEndsOf(int peer, bool received, TraceEnds *ends) const override;
    bool ServesManyPeers() const override { return m_nClientLimit > 0; }
    void SelectPeer(int peer) override;
    int SelectedPeer() const override { return m_nSelected; }
    QList<int> Peers() const override;
    QList<PeerSummary> PeerSummaries() const override;
    bool DropPeer(int peer) override;
    bool HasPeer() const override { return m_nClientLimit > 0 ? !m_clients.empty() : m_pClientSoc && !m_bClientClosed; }
    static constexpr int kMaxClients = CTcpServerSettings::kMaxClients;

    // How long accepting rests after a failed accept: a connection left waiting by a shortage of
    // descriptors would otherwise announce itself again at once, for as long as the shortage lasts.
    static constexpr int kAcceptPauseMs = 100;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // A notice of neither the listening socket nor the client there now.
    bool IsStaleNotice(std::uint64_t serial) const override;
    void OnTimer(int id) override;

private:
    // Tests reach the sockets behind the endpoint through it (tests/support/endpointprobe.h).
    friend class EndpointProbe;

    // What all clients may leave waiting to be sent, together (CSendBudget::kDefaultLimit).
    std::shared_ptr<CSendBudget> m_pBudget;
    // The client whose telegram was read last (-1: none since the last send) and its size: a send
    // to it of no more than that answers it, which the budget never refuses.
    int m_nAnswerPeer = -1;
    int m_nAnswerBytes = 0;
    BOOL SendToClient(CTCPSoc *client, int number, const void *data, int length);
    void NoteRead(int number, int bytes);

    std::unique_ptr<CTCPSoc> m_pListenSoc;
    QPointer<QObject> m_pView;
    char *m_pLogBuf = nullptr;  // the view's; not owned
    std::unique_ptr<CTCPSoc> m_pClientSoc;  // declared after the listener: it goes first
    // Clients that closed their side while bytes for them were still queued: they send the rest
    // and close on their own, and are then freed; a teardown drops them.
    std::vector<std::unique_ptr<CTCPSoc>> m_closingSocs;
    void KeepClosing(std::unique_ptr<CTCPSoc> client);
    void ForgetClosedSockets();
    BOOL m_bClient = FALSE;
    bool m_bClientClosed = false;  // the last client closed the connection; cleared by the next

    void OnSocketEvent(SessionEvent code, LPARAM lParam);
    void AcceptClient();
    void AcceptFinished(int code);
    void ResetAcceptPause();
    void DropClient();
    // The client's close: its queued bytes still go out to a peer that reads.
    void ReleaseClosedClient();
    void ReleaseHeldLog();

    // Many clients: the limit (0: the one client above), the clients by number, the next number.
    int m_nClientLimit = 0;
    std::map<int, std::unique_ptr<CTCPSoc>> m_clients;
    std::unordered_map<std::uint64_t, int> m_clientBySerial;  // the numbers of m_clients by socket serial
    std::unordered_map<int, PeerSummary> m_clientNotes;  // each client's address and byte counts
    QList<int> m_peerNumbers;  // the keys of m_clients in order, handed out whole by Peers()
    int m_nNextClient = 1;
    int m_nSelected = 0;
    void AcceptNumberedClient();
    // A client's close; its queued bytes still go out unless the user closed it (`keepQueued` false).
    void ReleaseNumberedClient(int number, bool keepQueued = true);
    BOOL SendToClients(const void *data, int length);
    CTCPSoc *SelectedClient() const;

    // With TLS on: what every client's connection is made from (null: plain TCP).
    std::shared_ptr<const CTlsContext> m_pTlsContext;
    SocketFailure m_tlsFailure;  // why the last Open could not use its TLS settings
    // A socket for a client about to be accepted, plain or TLS as the settings say.
    std::unique_ptr<CTCPSoc> NewClientSoc(int id);
    // After a successful accept: a TLS client's handshake begins.
    void ClientAccepted(CTCPSoc *client);

    int m_nAcceptError = 0;         // code of the last failed accept until one succeeds
    bool m_bAcceptWaiting = false;  // a connection announced itself while accepting rested
    bool m_bHoldLog = false;        // lines of a retry wait in m_heldLog until its outcome is known
    QList<QByteArray> m_heldLog;
};
