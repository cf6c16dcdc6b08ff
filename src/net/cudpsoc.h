// A connectionless datagram socket: Connect only records the destination, every send goes there and
// every receive takes one whole datagram.
#pragma once

#include "net/socketerrors.h"
#include "platform/casyncsocket.h"

#include <QString>

#include <optional>

class CUDPSoc : public CAsyncSocket
{
public:
    CUDPSoc(QObject *owner, int id);

    BOOL Create(unsigned port);
    // Records the destination of later sends; no call reaches the network.
    BOOL Connect(const QString &address, unsigned port);
    // Looks `address` up now: later sends to that destination use what was found (or fail as the
    // name does) without asking the resolver again.
    void ResolveDestination(const QString &address, unsigned port);
    BOOL Send(const void *data, int length);
    BOOL SendTo(const void *data, int length, unsigned port, const QString &address);
    // One datagram into the buffer; the sender's address is not kept. 0 on failure.
    int Receive(void *buffer, int length);
    int ReceiveFrom(void *buffer, int length, QString &address, unsigned &port);
    // Developer trace of failures (category "quillnet.udp", off unless enabled); never the Log window.
    void Log(const QString &text);

    QString m_strAddress;
    unsigned m_nPort = 0;
    int m_nId;
    QObject *m_pOwner;
    QString m_strLastError;

protected:
    void OnReceive(int nErrorCode) override;

private:
    // Destination last looked up by ResolveDestination, and its address unless it did not resolve.
    QString m_strResolvedAddress;
    unsigned m_nResolvedPort = 0;
    std::optional<sockaddr_in> m_resolved;

    // TRUE unless a send gave SOCKET_ERROR, whose text it keeps and traces.
    BOOL Sent(int result);
    // Keeps the table's text for the last error and traces the tag, then the text.
    void Failed(const QString &tag, SocketErrorTable table, const char *defaultText);
};
