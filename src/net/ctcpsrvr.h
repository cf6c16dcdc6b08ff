// The TCP server end of a session: owns the listening socket and at most one client, and passes the
// view only received-data events and log lines.
#pragma once

#include "platform/cmsgwnd.h"

#include <QObject>
#include <QString>

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

    CTCPSoc *m_pListenSoc = nullptr;
    QObject *m_pView = nullptr;
    char *m_pLogBuf = nullptr;
    CTCPSoc *m_pClientSoc = nullptr;
    BOOL m_bClient = FALSE;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnSocketEvent(SessionEvent code, LPARAM lParam);
    void AcceptClient();
    void DropClient();
};
