// The TCP server end of a session: owns the listening socket and at most one client, and passes the
// view only received-data events and log lines.
#pragma once

#include "platform/cmsgwnd.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class CTCPSoc;

class CTCPSrvr : public CMsgWnd<QObject>
{
public:
    CTCPSrvr();
    ~CTCPSrvr() override;

    // Remembers the view (receiver of relayed events and log notices) and the shared log buffer.
    void CreateEndpoint(QObject *view, char *logBuf);
    // Creates the listening socket on `port` and listens; FALSE when either step fails.
    BOOL Build(unsigned port);
    // Discards the client, if any, and the listening socket.
    void Teardown();
    BOOL Send(const void *data, int length);
    int Receive(void *buffer, int length);
    void Log(const QString &text, int kind);

    std::unique_ptr<CTCPSoc> m_pListenSoc;
    QPointer<QObject> m_pView;
    char *m_pLogBuf = nullptr;  // the view's; not owned
    std::unique_ptr<CTCPSoc> m_pClientSoc;  // declared after the listener: it goes first
    BOOL m_bClient = FALSE;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnSocketEvent(SessionEvent code, LPARAM lParam);
    void AcceptClient();
    void DropClient();
};
