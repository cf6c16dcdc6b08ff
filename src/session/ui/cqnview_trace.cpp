// What the History's packet traces need of the view: the connection each telegram went over.
#include "session/ui/cqnview.h"

#include "display/ui/cmessagewnd.h"
#include "session/tracetelegramof.h"

void CQnView::ConnectTrace()
{
    m_pHistoryWnd->SetTraceOrigin([this](char direction) { return TraceOrigin(direction); });
    connect(m_pHistoryWnd.get(), &CMessageWnd::TraceReaderSlow, this, [this](const QString &path) {
        AddLog(QStringLiteral("pcapngの書き出し先 %1 の読み出しが追いつかないため、一時ﾌｧｲﾙに書いています").arg(path));
    });
}

QList<CTraceTelegram> CQnView::TraceOrigin(char direction)
{
    QList<CTraceTelegram> telegrams;
    if (!m_pEndpoint)
        return telegrams;
    const bool received = direction == 'R';
    const bool many = m_pEndpoint->ServesManyPeers();
    QList<int> peers{0};
    if (many) {
        // A send to every client goes over each client's connection.
        const int selected = m_pEndpoint->SelectedPeer();
        peers = selected > 0 ? QList<int>{selected} : received ? QList<int>{} : m_pEndpoint->Peers();
    }
    for (const int peer : peers) {
        CEndpoint::TraceEnds ends;
        if (!m_pEndpoint->TraceEndsOf(peer, received, &ends)) {
            // A connection the peer has reset no longer names its ends: those it had.
            if (m_nLastTracePeer != peer || m_lastTraceEnds.connection == 0)
                continue;
            ends = m_lastTraceEnds;
        }
        // The one connection of a client or a server has made way for another: the trace closes it.
        if (!many && ends.carrier == CEndpoint::TraceEnds::Stream && m_lastTraceEnds.connection != 0
            && m_lastTraceEnds.connection != ends.connection)
            m_pHistoryWnd->EndTraceConnection(m_lastTraceEnds.connection);
        m_lastTraceEnds = ends;
        m_nLastTracePeer = peer;
        CTraceTelegram telegram = TraceTelegramOf(ends);
        telegram.client = many ? peer : 0;
        telegram.rule = received ? m_nTraceRule : 0;
        telegrams.append(telegram);
    }
    return telegrams;
}
