// The view's friend in the tests: the private entries that no user action reaches, and the labels
// and the endpoint behind the window.
#pragma once

#include "support/endpointprobe.h"
#include "batch/cbatchrunner.h"
#include "display/ui/ccommandsenddlg.h"
#include "session/ui/cqnview.h"

class SessionProbe
{
public:
    // The Command Send window's mode (TRUE: text) and the batch runner's line in progress.
    static BOOL SendsText(const CCommandSendDlg &dialog) { return dialog.m_bSendText; }
    static int CurrentLine(const CBatchRunner &runner) { return runner.m_nCurLine; }

    // Opens a tool window as the view's own commands do, even where the enable rule would not.
    static void OpenToolWindow(CQnView *view, ToolWindowKind kind) { view->OpenToolWindow(kind); }
    static int DecimalValue(const QString &text) { return CEndpoint::DecimalValue(text); }
    // The Log line of a UDP or TCP client connect (before " [CQnView]").
    static QString ConnectLogText(int type, const QString &address, int port, int ownPort)
    {
        return type == TYPE_UDP ? CUDPWnd::ConnectLogText(address, port, ownPort)
                                : CTCPClient::ConnectLogText(address, port, ownPort);
    }

    static const CColorStatic &StatusLabel(const CQnView *view) { return view->m_stStatus; }
    static const CColorStatic &TypeLabel(const CQnView *view) { return view->m_stType; }
    static const CColorStatic &ReceiveLamp(const CQnView *view) { return view->m_stRecvLamp; }

    // The local port of the endpoint in use, as the connection pane reports it (0: none open).
    static unsigned OwnPort(const CQnView *view) { return view->m_pEndpoint ? view->m_pEndpoint->Describe().ownPort : 0; }
    // The endpoint of the type in use, when it is of the type asked for; else null.
    static const CTCPSrvr *TcpServer(const CQnView *view) { return dynamic_cast<const CTCPSrvr *>(view->m_pEndpoint.get()); }
    static CUDPWnd *UdpEndpoint(const CQnView *view) { return dynamic_cast<CUDPWnd *>(view->m_pEndpoint.get()); }
    // The TCP client's socket while it connects or is connected.
    static const CTCPSoc *TcpClient(const CQnView *view)
    {
        const auto *client = dynamic_cast<const CTCPClient *>(view->m_pEndpoint.get());
        return client ? EndpointProbe::Socket(*client) : nullptr;
    }
    // The server's client socket, and the UDP socket, of the endpoint in use (null: none).
    static const CTCPSoc *ServerClient(const CQnView *view)
    {
        const CTCPSrvr *server = TcpServer(view);
        return server ? EndpointProbe::Client(*server) : nullptr;
    }
    static const CUDPSoc *UdpSocket(const CQnView *view)
    {
        const CUDPWnd *udp = UdpEndpoint(view);
        return udp ? EndpointProbe::Socket(*udp) : nullptr;
    }
};
