// A relay between two sides: what one side's peer sends goes to the other side's peer as it
// arrives, in order, both ways at once. Back-pressure: a side is read only while the other side has
// less than kHoldAt bytes waiting to go out (its send queue plus what a delay disturbance holds), so
// a slow peer holds the fast one back through TCP (or the line's flow control) and the relay keeps
// at most kHoldAt + kReadChunk bytes a direction.
//
// Connections: a listening side waits for its client and the connecting sides connect once every
// listening side has one. When either peer closes, the other side's queue is sent out (waiting at
// most kDrainMs) and its connection ended; listening sides wait for the next client and connecting
// sides connect again (at once after a client came, else after kRetryMs).
#pragma once

#include "relay/crelayaddress.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>

class CRelaySide;
class CRelayDisturber;

class CRelay : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kHoldAt = 1024 * 1024;
    static constexpr int kReadChunk = 256 * 1024;
    static constexpr int kRetryMs = 1000;
    static constexpr int kDrainMs = 10000;
    enum Direction { AtoB = 0, BtoA = 1 };

    struct Counts
    {
        qint64 telegrams = 0;  // reads forwarded
        qint64 bytes = 0;      // bytes handed to the other side
        qint64 lost = 0;       // bytes the other side did not take (no peer, refused)
        qint64 holds = 0;      // times reading stopped for the other side's queue
        qint64 peakWaiting = 0;  // the most that waited for the other side after a send
    };

    CRelay(const CRelayAddress &a, const CRelayAddress &b, QObject *parent = nullptr);
    ~CRelay() override;

    // Opens the listening and always-open sides at once, the connecting ones as described above;
    // false with the reason when a side cannot open (nothing is left open then).
    bool Start(QString *error);
    void Stop();
    bool IsRunning() const { return m_bRunning; }

    CRelaySide &Side(int index) const { return *m_sides[size_t(index)]; }
    const Counts &DirectionCounts(int direction) const { return m_counts[size_t(direction)]; }
    // Bytes of a direction that wait for its destination side: its send queue and the disturber's.
    qint64 Waiting(int direction) const;

    // The disturbance of a direction (null: none); owned by the relay from then on.
    void SetDisturber(int direction, std::unique_ptr<CRelayDisturber> disturber);
    CRelayDisturber *Disturber(int direction) const { return m_disturbers[size_t(direction)].get(); }

    // Decides what becomes of a telegram read from `direction`'s source before it is forwarded:
    // true when it has been answered on the other side's behalf and must not be forwarded.
    using Interceptor = std::function<bool(int direction, const QByteArray &bytes)>;
    void SetInterceptor(Interceptor interceptor) { m_interceptor = std::move(interceptor); }
    // Sends bytes back to the side a telegram of `direction` came from (an answer of the relay's own).
    bool Answer(int direction, const QByteArray &bytes);

    static QString DirectionText(int direction) { return direction == AtoB ? QStringLiteral("A>B") : QStringLiteral("B>A"); }

Q_SIGNALS:
    // A telegram was read from the source side of `direction` (before any disturbance).
    void Received(int direction, const QByteArray &bytes);
    // Bytes went to the destination side of `direction`.
    void Forwarded(int direction, const QByteArray &bytes);
    // The relay's own lines (connections, failures, disturbances' seeds).
    void Log(const QString &line);
    // A side's endpoint log line (0: A, 1: B).
    void SideLog(int side, const QString &line);
    // A disturbance was done to a telegram of `direction` (kind: CRelayDisturber::Mark::Kind).
    void Disturbed(int direction, int kind, const QString &text);
    // A connection of the pair ended (a peer closed); `side` closed first.
    void ConnectionEnded(int side);
    void PeerConnected(int side);

private:
    void Pump(int direction);
    // Reads and forwards one telegram; false when the direction is held.
    bool PumpOne(int direction);
    void Deliver(int direction, const QByteArray &bytes);
    void Hold(int direction);
    void OnPoll();
    void OnPeerConnected(int side);
    void OnPeerClosed(int side);
    void OnConnectFailed(int side, const QString &reason);
    void FinishEnding();
    void OpenConnectingSides();
    bool AllListenersHavePeers() const;
    bool HasListener() const;

    std::array<std::unique_ptr<CRelaySide>, 2> m_sides;
    std::array<std::unique_ptr<CRelayDisturber>, 2> m_disturbers;
    std::array<Counts, 2> m_counts;
    std::array<bool, 2> m_held{false, false};
    QByteArray m_buffer;
    QTimer m_poll;       // while a direction is held, or a connection ending drains
    QTimer m_retry;      // connecting sides again
    QElapsedTimer m_ending;  // since a peer closed (invalid: no connection ending)
    int m_nEndingSide = -1;
    bool m_bRunning = false;
    Interceptor m_interceptor;
};
