// The TCP server end of a session: owns the listening socket and at most one client, and passes the
// view only received-data events and log lines.
#pragma once

#include "net/cendpoint.h"
#include "platform/cmsgwnd.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

class CTCPSoc;

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

    // The endpoint: the one setting is the port to listen on.
    ConnectionType Type() const override { return TYPE_TCP_SERVER; }
    int SocketKind() const override;
    bool Open(const QStringList &settings, QString *logText) override;
    void Close() override { Teardown(); }
    Description Describe() const override;
    SocketFailure LastFailure() const override;
    bool IsNoticeFrom(std::uint64_t serial) const override;

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

    std::unique_ptr<CTCPSoc> m_pListenSoc;
    QPointer<QObject> m_pView;
    char *m_pLogBuf = nullptr;  // the view's; not owned
    std::unique_ptr<CTCPSoc> m_pClientSoc;  // declared after the listener: it goes first
    // Clients that closed their side while bytes for them were still queued: they send the rest
    // and close on their own; a teardown drops them.
    std::vector<std::unique_ptr<CTCPSoc>> m_closingSocs;
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

    int m_nAcceptError = 0;         // code of the last failed accept until one succeeds
    bool m_bAcceptWaiting = false;  // a connection announced itself while accepting rested
    bool m_bHoldLog = false;        // lines of a retry wait in m_heldLog until its outcome is known
    QList<QByteArray> m_heldLog;
};
