// One side of a relay: the endpoint of the side's connection type, opened with the side's settings,
// and the window its notices come to. It says when data waits, when its peer comes and goes, and
// passes its log lines on; the relay decides when to read.
#pragma once

#include "net/cendpoint.h"
#include "platform/cmsgwnd.h"
#include "relay/crelayaddress.h"

#include <QObject>
#include <QString>

#include <memory>

class CRelaySide : public CMsgWnd<QObject>
{
    Q_OBJECT
public:
    // Posted to itself when a server's client came or went (the endpoint tells it from inside).
    static constexpr UINT WM_PEER_CHANGED = WM_USER + 520;

    explicit CRelaySide(const CRelayAddress &address, QObject *parent = nullptr);
    ~CRelaySide() override;

    const CRelayAddress &Address() const { return m_address; }
    CEndpoint *Endpoint() const { return m_pEndpoint.get(); }

    // Opens the endpoint; false with the reason in `error`. A listening side has its peer when a
    // client comes, a connecting one when the connect completes, any other at once.
    bool Open(QString *error);
    // Closes the endpoint; what waits to be sent is dropped.
    void Close();
    // Ends the connection to the peer: a server drops its client and goes on listening; a client
    // closes; a line or datagram socket stays as it is.
    void EndConnection();
    bool IsOpen() const { return m_bOpen; }
    // There is a peer to read from and send to.
    bool HasPeer() const { return m_bOpen && m_bPeer; }
    // A receive notice came that no Receive has answered yet.
    bool DataWaiting() const { return m_nDataWaiting > 0; }
    // Reads what waits (at most `length` bytes); 0 when nothing was there.
    int Receive(char *buffer, int length);
    // Hands bytes to the endpoint, which queues what the peer does not take at once.
    bool Send(const char *data, int length);
    // Bytes given to Send that have not gone out yet.
    qint64 Queued() const;
    // The peer's address ("127.0.0.1:40136"), the device, or the destination.
    QString PeerText() const;
    // The ends of the connection of the telegram read last (`received`) or of the next send, for a
    // packet trace; false where the endpoint gives none.
    bool TraceEndsOf(bool received, CEndpoint::TraceEnds *ends) const;
    // The local port of a listening or datagram side (0: none).
    unsigned OwnPort() const;

Q_SIGNALS:
    void DataReady();
    void PeerConnected();
    void PeerClosed();
    void ConnectFailed(const QString &reason);
    void LogLine(const QString &line);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool IsStaleNotice(std::uint64_t serial) const override;

private:
    void SetPeer(bool peer);
    void CheckPeers();

    CRelayAddress m_address;
    std::unique_ptr<char[]> m_pLogBuf;
    std::unique_ptr<CEndpoint> m_pEndpoint;
    bool m_bOpen = false;
    bool m_bPeer = false;
    // Receive notices not yet answered: a stream socket gives one until it is read; a datagram
    // socket one a datagram.
    int m_nDataWaiting = 0;
    int m_nPeer = 0;  // a server's client that sent last
};
