#include "net/cudpsoc.h"

#include "net/socketerrors.h"
#include "platform/cmessageevent.h"

#include <QLoggingCategory>

#include <sys/socket.h>

namespace {
Q_LOGGING_CATEGORY(lcUdp, "quillnet.udp", QtWarningMsg)

// Receive buffer asked for: a burst of datagrams waits in the kernel while the user-interface thread
// is busy instead of being dropped. The system caps it (net.core.rmem_max).
constexpr int kReceiveBuffer = 8 * 1024 * 1024;
}

CUDPSoc::CUDPSoc(QObject *owner, int id) : m_nId(id), m_pOwner(owner) {}

BOOL CUDPSoc::Create(unsigned port)
{
    if (CAsyncSocket::Create(port, SOCK_DGRAM, FD_ALL_EVENTS, nullptr)) {
        ::setsockopt(m_hSocket, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
        return TRUE;
    }
    Failed(QStringLiteral("***CUDPSoc::Create"), SocketErrorTable::Connect, kUdpCreateUnknownError);
    return FALSE;
}

BOOL CUDPSoc::Connect(const QString &address, unsigned port)
{
    m_strAddress = address;
    m_nPort = port;
    return TRUE;
}

void CUDPSoc::ResolveDestination(const QString &address, unsigned port)
{
    sockaddr_in found;
    m_resolved.reset();
    if (ResolveAddress(address, port, SOCK_DGRAM, found))
        m_resolved = found;
    m_strResolvedAddress = address;
    m_nResolvedPort = port;
}

BOOL CUDPSoc::Send(const void *data, int length)
{
    if (m_strResolvedAddress != m_strAddress || m_nResolvedPort != m_nPort)
        return SendTo(data, length, m_nPort, m_strAddress);
    return Sent(CAsyncSocket::SendTo(data, length, m_resolved ? &*m_resolved : nullptr, 0));
}

BOOL CUDPSoc::SendTo(const void *data, int length, unsigned port, const QString &address)
{
    return Sent(CAsyncSocket::SendTo(data, length, port, address, 0));
}

BOOL CUDPSoc::Sent(int result)
{
    if (result != SOCKET_ERROR)
        return TRUE;
    Failed(QStringLiteral("SendTo"), SocketErrorTable::SendTo, kUdpSendToUnknownError);
    return FALSE;
}

int CUDPSoc::Receive(void *buffer, int length)
{
    QString address;
    unsigned port = 0;
    return ReceiveFrom(buffer, length, address, port);
}

int CUDPSoc::ReceiveFrom(void *buffer, int length, QString &address, unsigned &port)
{
    const int received = CAsyncSocket::ReceiveFrom(buffer, length, address, port, 0);
    if (received != SOCKET_ERROR)
        return received;
    Failed(QStringLiteral("ReceiveFrom"), SocketErrorTable::ReceiveFrom, kUdpReceiveFromUnknownError);
    return 0;
}

void CUDPSoc::Failed(const QString &tag, SocketErrorTable table, const char *defaultText)
{
    m_strLastError = SocketErrorText(table, GetLastError(), QString::fromUtf8(defaultText));
    Log(tag);
    Log(m_strLastError);
}

void CUDPSoc::Log(const QString &text)
{
    qCDebug(lcUdp).noquote() << text;
}

void CUDPSoc::OnReceive(int nErrorCode)
{
    PostMessage(m_pOwner, WM_UDP_RECEIVE, static_cast<WPARAM>(m_nId), 0, Serial());
    CAsyncSocket::OnReceive(nErrorCode);
}
