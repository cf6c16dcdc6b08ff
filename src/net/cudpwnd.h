// The UDP end of a session: keeps the destination, opens the socket on the local port and tells the
// view of each datagram that arrives.
#pragma once

#include "net/cendpoint.h"
#include "net/cudpsettings.h"
#include "platform/cmsgwnd.h"
#include "platform/csocketaddress.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class CUDPSoc;

class CUDPWnd : public CMsgWnd<QObject>, public CEndpoint
{
public:
    CUDPWnd();
    ~CUDPWnd() override;

    // Makes the socket object and remembers the view; x and y place a window that shows nothing.
    // The socket's log line goes through `logBuf`, the view's shared log buffer (null: none).
    void CreateEndpoint(int x, int y, QObject *view, int id, char *logBuf = nullptr);
    // Remembers the destination and creates the socket on `localPort` (of `localAddress` in numbers,
    // null: every address of both families); a failure is shown to the user.
    BOOL Open(const QString &address, unsigned remotePort, unsigned localPort, const char *localAddress = nullptr);
    void Close() override;
    // Sends one datagram to the destination; FALSE when the system refused it (the Log says why).
    BOOL Send(const void *data, int length) override;
    int Receive(void *buffer, int length) override;
    bool LastWasOwnSend() const override;

    // The endpoint: settings are the destination address, its port, the own port and the multicast
    // options (CUdpOptions; a group destination is joined on open, a broadcast one may be sent to).
    ConnectionType Type() const override { return TYPE_UDP; }
    QString DestinationHost(const QStringList &settings) const override;
    int SocketKind() const override;
    QString DestinationText(const QStringList &settings) const override;
    bool Open(const QStringList &settings, QString *logText) override;
    Description Describe() const override;
    Gauges ReadGauges() const override;
    QString LastSender() const override { return m_strLastSender; }
    SocketFailure LastFailure() const override;
    bool IsNoticeFrom(std::uint64_t serial) const override;
    bool TraceEndsOf(int peer, bool received, TraceEnds *ends) const override;
    // The view's line for an open UDP endpoint.
    static QString ConnectLogText(const QString &address, int port, int ownPort);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static CUdpSettings ReadSettings(const QStringList &settings);
    // Tests reach the sockets behind the endpoint through it (tests/support/endpointprobe.h).
    friend class EndpointProbe;

    int m_nId = 0;
    int m_nPort = 0;
    QString m_strAddress;
    CSocketAddress m_group;  // the group joined, or none
    bool m_bShowSender = false;
    QString m_strLastSender;
    CSocketAddress m_lastSender;  // of the datagram read last, for a trace (kept whether shown or not)
    mutable CSocketAddress m_traceOwn;  // the socket's own address, asked once per socket
    mutable std::uint64_t m_nTraceOwnSerial = 0;
    char *m_pLogBuf = nullptr;  // the view's; not owned
    std::unique_ptr<CUDPSoc> m_pSoc;
    QPointer<QObject> m_pView;
};
