// A connectionless datagram socket: Connect only records the destination, every send goes there and
// every receive takes one whole datagram.
#pragma once

#include "net/socketerrors.h"
#include "platform/casyncsocket.h"

#include <QString>

class CUDPSoc : public CAsyncSocket
{
public:
    CUDPSoc(QObject *owner, int id);

    BOOL Create(unsigned port);
    // Records the destination of later sends; no call reaches the network.
    BOOL Connect(const QString &address, unsigned port);
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
    // Keeps the table's text for the last error and traces the tag, then the text.
    void Failed(const QString &tag, SocketErrorTable table, const char *defaultText);
};
