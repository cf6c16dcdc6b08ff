#include "relay/crelay.h"

#include "relay/crelaydisturber.h"
#include "relay/crelayside.h"

CRelay::CRelay(const CRelayAddress &a, const CRelayAddress &b, QObject *parent) : QObject(parent)
{
    m_sides[0] = std::make_unique<CRelaySide>(a);
    m_sides[1] = std::make_unique<CRelaySide>(b);
    m_buffer.resize(kReadChunk);
    for (int i = 0; i < 2; ++i) {
        CRelaySide *side = m_sides[size_t(i)].get();
        // Data of side i goes the direction i (A>B from A, B>A from B).
        connect(side, &CRelaySide::DataReady, this, [this, i] { Pump(i); });
        connect(side, &CRelaySide::PeerConnected, this, [this, i] { OnPeerConnected(i); });
        connect(side, &CRelaySide::PeerClosed, this, [this, i] { OnPeerClosed(i); });
        connect(side, &CRelaySide::ConnectFailed, this, [this, i](const QString &reason) { OnConnectFailed(i, reason); });
        connect(side, &CRelaySide::LogLine, this, [this, i](const QString &line) { Q_EMIT SideLog(i, line); });
    }
    m_poll.setTimerType(Qt::PreciseTimer);
    m_poll.setInterval(1);
    connect(&m_poll, &QTimer::timeout, this, &CRelay::OnPoll);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &CRelay::OpenConnectingSides);
}

CRelay::~CRelay()
{
    Stop();
}

void CRelay::SetDisturber(int direction, std::unique_ptr<CRelayDisturber> disturber)
{
    m_disturbers[size_t(direction)] = std::move(disturber);
}

bool CRelay::HasListener() const
{
    for (const auto &side : m_sides) {
        if (side->Address().role == CRelayAddress::Role::Listen)
            return true;
    }
    return false;
}

bool CRelay::AllListenersHavePeers() const
{
    for (const auto &side : m_sides) {
        if (side->Address().role == CRelayAddress::Role::Listen && !side->HasPeer())
            return false;
    }
    return true;
}

bool CRelay::Start(QString *error)
{
    Stop();
    for (int i = 0; i < 2; ++i) {
        CRelaySide &side = Side(i);
        if (side.Address().role == CRelayAddress::Role::Connect)
            continue;
        QString why;
        if (!side.Open(&why)) {
            *error = QStringLiteral("%1 (%2) を開けません: %3").arg(QChar(u'A' + i)).arg(side.Address().text, why);
            Stop();
            return false;
        }
        Q_EMIT Log(QStringLiteral("%1: %2 を開きました").arg(QChar(u'A' + i)).arg(side.Address().text));
    }
    m_bRunning = true;
    OpenConnectingSides();
    return true;
}

void CRelay::Stop()
{
    m_bRunning = false;
    m_poll.stop();
    m_retry.stop();
    m_held = {false, false};
    m_ending.invalidate();
    m_nEndingSide = -1;
    for (auto &side : m_sides)
        side->Close();
}

void CRelay::OpenConnectingSides()
{
    if (!m_bRunning || m_ending.isValid() || !AllListenersHavePeers())
        return;
    for (int i = 0; i < 2; ++i) {
        CRelaySide &side = Side(i);
        if (side.Address().role != CRelayAddress::Role::Connect || side.IsOpen())
            continue;
        QString why;
        if (!side.Open(&why)) {
            OnConnectFailed(i, why);
            return;
        }
    }
}

qint64 CRelay::Waiting(int direction) const
{
    const CRelayDisturber *disturber = Disturber(direction);
    return Side(1 - direction).Queued() + (disturber ? disturber->Waiting() : 0);
}

void CRelay::Pump(int direction)
{
    // A datagram socket may have several telegrams waiting: each is read in turn.
    while (m_bRunning && Side(direction).DataWaiting()) {
        if (!PumpOne(direction))
            return;
    }
}

bool CRelay::PumpOne(int direction)
{
    CRelaySide &source = Side(direction);
    CRelaySide &destination = Side(1 - direction);
    if (m_ending.isValid()) {
        // The pair is ending: what comes now has nowhere to go.
        if (m_nEndingSide == direction || !destination.HasPeer()) {
            const int n = source.Receive(m_buffer.data(), kReadChunk);
            m_counts[size_t(direction)].lost += n;
            return true;
        }
    }
    if (!destination.HasPeer() || Waiting(direction) >= kHoldAt) {
        Hold(direction);
        return false;
    }
    const int n = source.Receive(m_buffer.data(), kReadChunk);
    if (n <= 0)
        return true;
    const QByteArray bytes(m_buffer.constData(), n);
    Q_EMIT Received(direction, bytes);
    if (m_interceptor && m_interceptor(direction, bytes))
        return true;
    Counts &counts = m_counts[size_t(direction)];
    ++counts.telegrams;
    if (CRelayDisturber *disturber = Disturber(direction)) {
        QList<QByteArray> ready;
        QList<CRelayDisturber::Mark> marks;
        disturber->Take(bytes, &ready, &marks);
        for (const CRelayDisturber::Mark &mark : std::as_const(marks))
            Q_EMIT Disturbed(direction, mark.kind, mark.text);
        for (const QByteArray &piece : std::as_const(ready))
            Deliver(direction, piece);
        if (disturber->Waiting() > 0 && !m_poll.isActive())
            m_poll.start();
        return true;
    }
    Deliver(direction, bytes);
    return true;
}

void CRelay::Deliver(int direction, const QByteArray &bytes)
{
    Counts &counts = m_counts[size_t(direction)];
    CRelaySide &destination = Side(1 - direction);
    if (!destination.Send(bytes.constData(), int(bytes.size()))) {
        counts.lost += bytes.size();
        return;
    }
    counts.bytes += bytes.size();
    counts.peakWaiting = qMax(counts.peakWaiting, Waiting(direction));
    Q_EMIT Forwarded(direction, bytes);
}

bool CRelay::Answer(int direction, const QByteArray &bytes)
{
    return Side(direction).Send(bytes.constData(), int(bytes.size()));
}

void CRelay::Hold(int direction)
{
    if (!m_held[size_t(direction)]) {
        m_held[size_t(direction)] = true;
        ++m_counts[size_t(direction)].holds;
    }
    if (!m_poll.isActive())
        m_poll.start();
}

void CRelay::OnPoll()
{
    bool busy = false;
    for (int direction = 0; direction < 2; ++direction) {
        if (CRelayDisturber *disturber = Disturber(direction)) {
            QList<QByteArray> ready;
            disturber->Due(&ready);
            for (const QByteArray &piece : std::as_const(ready))
                Deliver(direction, piece);
            busy = busy || disturber->Waiting() > 0;
        }
        if (m_held[size_t(direction)] && Side(1 - direction).HasPeer() && Waiting(direction) < kHoldAt) {
            m_held[size_t(direction)] = false;
            Pump(direction);
        }
        busy = busy || m_held[size_t(direction)];
    }
    if (m_ending.isValid()) {
        FinishEnding();
        busy = busy || m_ending.isValid();
    }
    if (!busy)
        m_poll.stop();
}

void CRelay::OnPeerConnected(int side)
{
    if (!m_bRunning)
        return;
    Q_EMIT Log(QStringLiteral("%1: %2 と接続しました").arg(QChar(u'A' + side)).arg(Side(side).PeerText()));
    Q_EMIT PeerConnected(side);
    OpenConnectingSides();
    // What waited for this side goes now; what this side's peer sent before is read.
    Pump(1 - side);
    Pump(side);
}

void CRelay::OnPeerClosed(int side)
{
    if (!m_bRunning)
        return;
    Q_EMIT Log(QStringLiteral("%1: 相手が切断しました").arg(QChar(u'A' + side)));
    if (m_ending.isValid())
        return;
    m_ending.start();
    m_nEndingSide = side;
    FinishEnding();
    if (m_ending.isValid() && !m_poll.isActive())
        m_poll.start();
}

void CRelay::FinishEnding()
{
    // What was read from the side that closed first still goes out to the other.
    const int toOther = m_nEndingSide;
    const bool drained = Waiting(toOther) == 0 || !Side(1 - toOther).HasPeer();
    if (!drained && m_ending.elapsed() < kDrainMs)
        return;
    const int closed = m_nEndingSide;
    m_ending.invalidate();
    m_nEndingSide = -1;
    m_held = {false, false};
    for (int i = 0; i < 2; ++i) {
        if (CRelayDisturber *d = Disturber(i))
            d->Clear();
        Side(i).EndConnection();
    }
    Q_EMIT ConnectionEnded(closed);
    if (HasListener())
        OpenConnectingSides();
    else
        m_retry.start(kRetryMs);
}

void CRelay::OnConnectFailed(int side, const QString &reason)
{
    if (!m_bRunning)
        return;
    Q_EMIT Log(QStringLiteral("%1: %2 に接続できません: %3").arg(QChar(u'A' + side)).arg(Side(side).Address().text, reason));
    Side(side).Close();
    // A client waiting on the other side is let go: nothing can reach it.
    const int other = 1 - side;
    if (Side(other).Address().role == CRelayAddress::Role::Listen && Side(other).HasPeer()) {
        Side(other).EndConnection();
        Q_EMIT ConnectionEnded(side);
        return;
    }
    m_retry.start(kRetryMs);
}
