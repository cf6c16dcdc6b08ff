// One connection of the session, whatever carries it. The view holds the endpoint of the chosen
// type through this and opens, closes, sends and reads through it; it asks the endpoint what the
// connection pane shows and why an open failed. Endpoints are made in one place, Make().
#pragma once

#include "net/socketerrors.h"
#include "platform/csocketaddress.h"
#include "platform/qnwin.h"

#include <QList>
#include <QtGlobal>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

class QObject;

class CEndpoint
{
public:
    // The endpoint for `type`; `view` receives its notices and `logBuf` (the view's, not owned)
    // carries its log lines. Null for a type no dialog offers.
    static std::unique_ptr<CEndpoint> Make(ConnectionType type, QObject *view, char *logBuf);

    // What the connection pane says of an open endpoint: its place, its peer (or destination) and
    // the peer's close in words, and the local port.
    struct Description
    {
        QString text;          // e.g. "待受中 ﾎﾟｰﾄ 5000", "相手が切断しました (接続先 host:port)"
        unsigned ownPort = 0;  // the local port (0: none open)
        bool warning = false;  // shown in the warning colour (a TLS peer not verified)
    };

    // Figures of the open connection for the statistics window; -1 where this endpoint cannot know.
    struct Gauges
    {
        qint64 queueDrops = -1;   // datagrams the program's full receive queue dropped since the open
        qint64 kernelDrops = -1;  // datagrams the system dropped for the socket since the open
        qint64 sendQueued = -1;   // bytes waiting in the program to be sent
    };

    CEndpoint() = default;
    CEndpoint(const CEndpoint &) = delete;
    CEndpoint &operator=(const CEndpoint &) = delete;
    virtual ~CEndpoint();

    virtual ConnectionType Type() const = 0;

    // `settings` are the texts of the type's slots (CConnectionType::EndpointSlots), which the type's
    // settings struct reads (CUdpSettings, CTcpServerSettings, CTcpClientSettings, CSerialSettings).
    // The host name that must be looked up before Open (empty: none), and the kind of socket it is for.
    virtual QString DestinationHost(const QStringList &settings) const;
    virtual int SocketKind() const = 0;
    // The destination in words while the open is under way ("接続先 host:port").
    virtual QString DestinationText(const QStringList &settings) const;
    // Opens; false when it cannot (LastFailure() then says why, where a socket call failed). On
    // success `logText` is the view's line for it.
    virtual bool Open(const QStringList &settings, QString *logText) = 0;
    // True when the open ends later, with EV_CONNECT_DONE.
    virtual bool CompletesLater() const { return false; }
    // Closes without a log line of the view's; what is queued is dropped.
    virtual void Close() = 0;
    virtual int Send(const void *data, int length) = 0;
    virtual int Receive(void *buffer, int length) = 0;

    // The open endpoint in words and addresses.
    virtual Description Describe() const = 0;
    // The last socket call that failed; kept after the socket that failed is gone.
    virtual SocketFailure LastFailure() const = 0;
    // Whether a notice stamped with `serial` comes from a socket this endpoint has open now.
    virtual bool IsNoticeFrom(std::uint64_t serial) const = 0;

    // An endpoint that serves several peers at once (a TCP server for many clients) numbers them
    // from 1: SelectPeer names the one the next Receive reads and the next Send goes to (0: every
    // one). Others serve one peer and ignore it.
    virtual bool ServesManyPeers() const { return false; }
    virtual void SelectPeer(int /*peer*/) {}
    virtual int SelectedPeer() const { return 0; }
    virtual QList<int> Peers() const { return {}; }
    // One client of a server of many, for the list of clients.
    struct PeerSummary
    {
        int number = 0;
        QString address;      // "127.0.0.1:40136"
        qint64 bytesIn = 0;   // read from it
        qint64 bytesOut = 0;  // taken for it to be sent
        qint64 queued = 0;    // of those, still waiting to go out
    };
    virtual QList<PeerSummary> PeerSummaries() const { return {}; }
    // Closes the connection of client `peer` at the user's asking, dropping what waits for it;
    // false when there is no such client.
    virtual bool DropPeer(int /*peer*/) { return false; }
    // A send now has someone to go to (a server: some client is there).
    virtual bool HasPeer() const { return true; }
    // The sender of the telegram Receive read last ("192.0.2.7:5000"), where the user asked for it
    // to be shown; empty otherwise.
    virtual QString LastSender() const { return QString(); }
    // The telegram Receive read last is this endpoint's own send come back (a datagram to a group
    // or a broadcast address): loopback and reply rules leave it unanswered, or they would feed on
    // themselves.
    virtual bool LastWasOwnSend() const { return false; }
    virtual Gauges ReadGauges() const { return {}; }

    // The modem lines of a line whose type has Capability::LineControls: DTR and RTS go out, CTS,
    // DSR, DCD and RI come in.
    enum ModemLine : int { LineDtr = 1, LineRts = 2, LineCts = 4, LineDsr = 8, LineDcd = 16, LineRi = 32 };
    static constexpr int kModemLineCount = 6;
    // The name of line i (0: DTR … 5: RI) and its bit.
    static QString ModemLineName(int i);
    static int ModemLineBit(int i) { return 1 << i; }
    // The lines now, as ModemLine bits; -1 where the connection has none (a socket, a pseudo-terminal).
    virtual int ModemLines() const { return -1; }
    bool IsControlLineOn(int line) const { return ModemLines() >= 0 && (ModemLines() & line) != 0; }
    // Sets DTR or RTS (LineDtr, LineRts) while open; false with the reason in `error`, which the Log
    // has too.
    virtual bool SetControlLine(int line, bool on, QString *error);
    // Holds the line in the break condition for `ms` milliseconds (0: as the settings say) without
    // waiting for its end; false with the reason.
    virtual bool SendBreak(int ms, QString *error);
    // The length of a break sent with ms 0.
    virtual int BreakMs() const { return 0; }
    // Called for each change of the modem lines, in the order they changed: the lines that changed
    // and the lines now (ModemLine bits), and when it was seen (microseconds since the epoch).
    using ModemLinesHandler = std::function<void(int changed, int lines, qint64 when)>;
    void SetModemLinesHandler(ModemLinesHandler handler) { m_modemLines = std::move(handler); }

    // What a packet trace needs of the connection a telegram went over: what carries it, the two
    // ends (none for a line), a number for a stream connection that no other of this process has,
    // and whether this end opened it.
    struct TraceEnds
    {
        enum Carrier : quint8 { Stream, Datagram, Line };
        Carrier carrier = Stream;
        CSocketAddress own;
        CSocketAddress peer;
        std::uint64_t connection = 0;
        bool ownOpened = true;
        bool tls = false;  // the stream's bytes as the program sees them are TLS's decrypted data
    };
    // The ends of the telegram read last (`received`) or of one sent to `peer` (a server of many:
    // the client's number; others: 0); false where this endpoint has no trace to give.
    virtual bool TraceEndsOf(int peer, bool received, TraceEnds *ends) const;

    // Called when the peer of an endpoint that serves clients comes or goes.
    void SetPeerChangedHandler(std::function<void()> handler) { m_peerChanged = std::move(handler); }
    // Called when what Describe() says has changed on its own (a serial line's modem lines).
    void SetDescriptionChangedHandler(std::function<void()> handler) { m_descriptionChanged = std::move(handler); }

    // The C library's reading of a decimal text: blanks, an optional sign, digits up to the first other.
    static int DecimalValue(const QString &text);
    // The own (peer = false) or the other end's address (IPv4 or IPv6) and port of an open socket handle.
    static bool SocketName(int handle, bool peer, QString *address, unsigned *port);
    // The own and the other end's address of an open stream socket handle; false when it has none.
    static bool StreamEnds(int handle, TraceEnds *ends);
    // StreamEnds of the socket named `serial`, asked of the system once per socket (the last one kept).
    bool CachedStreamEnds(int handle, std::uint64_t serial, TraceEnds *ends) const;
    // What the system dropped for an open socket handle since it was opened; -1 where it does not say.
    static qint64 KernelDrops(int handle);

protected:
    void PeerChanged() const
    {
        if (m_peerChanged)
            m_peerChanged();
    }
    void DescriptionChanged() const
    {
        if (m_descriptionChanged)
            m_descriptionChanged();
    }
    void ModemLinesChanged(int changed, int lines, qint64 when) const
    {
        if (m_modemLines)
            m_modemLines(changed, lines, when);
    }

private:
    mutable TraceEnds m_traceCache;  // of the stream socket traced last (connection: its serial)
    std::function<void()> m_peerChanged;
    std::function<void()> m_descriptionChanged;
    ModemLinesHandler m_modemLines;
};
