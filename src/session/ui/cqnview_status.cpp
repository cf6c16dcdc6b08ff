// The connection in words for the status bar: type and endpoint, the reason of a failed connect,
// the peer's close. It only watches the session; the labels and the Log stay as they are.
#include "session/ui/cqnview.h"

#include "batch/cbatchrunner.h"
#include "document/cconnectiontype.h"
#include "net/cendpoint.h"

void CQnView::EndConnectionNote(SessionEvent event, SessionState stateBefore, LPARAM param)
{
    const bool failed = m_nState == ST_DISCONNECTED && !m_nameLookup.IsRunning() &&
                        ((event == EV_CONNECT && stateBefore == ST_DISCONNECTED) ||
                         (event == EV_CONNECT_DONE && stateBefore == ST_WAIT_CONNECT));
    if (m_nState != stateBefore || failed)
        m_strConnectError.clear();
    if (failed) {
        QString reason = QStringLiteral("ｱﾄﾞﾚｽを解決できません");
        if (!m_bNameUnresolved)
            reason = m_pEndpoint ? m_pEndpoint->LastFailure().text : QString();
        m_strConnectError = reason.isEmpty() ? QStringLiteral("接続できません")
                                             : QStringLiteral("接続できません: ") + reason;
        // A batch row's result names the cause as this pane does.
        if (CBatchRunner *runner = BatchRunner())
            runner->NoteConnectFailure(reason);
    }
    // A device that went (pulled out) is named until the next connect, not left as a blank pane.
    if (event == EV_DISCONNECT && param == DISCONNECT_GONE && m_nState == ST_DISCONNECTED && stateBefore != ST_DISCONNECTED &&
        m_pEndpoint && !m_pEndpoint->LastFailure().text.isEmpty())
        m_strConnectError = m_pEndpoint->LastFailure().text;
    if (m_nState != stateBefore || failed || event == EV_CONNECT || event == EV_DISCONNECT)
        ScheduleConnectionRefresh();
    if (m_nState != stateBefore)
        RefreshPeriodicReplies();
}

bool CQnView::CountsEachClient() const
{
    const CConnectionType *row = m_pEndpoint ? CConnectionType::Find(m_pEndpoint->Type()) : nullptr;
    return row && row->Has(Capability::AcceptsClients) && !m_pEndpoint->ServesManyPeers();
}

int CQnView::TrafficPeer() const
{
    return m_pEndpoint && m_pEndpoint->ServesManyPeers() ? m_pEndpoint->SelectedPeer() : 0;
}

QList<int> CQnView::TrafficPeers() const
{
    if (!m_pEndpoint || !m_pEndpoint->ServesManyPeers())
        return {};
    const int peer = m_pEndpoint->SelectedPeer();
    return peer > 0 ? QList<int>{peer} : m_pEndpoint->Peers();
}

void CQnView::NotePeerChanged()
{
    // Each client of the one-client server is a connection of its own for the traffic counts.
    if (CountsEachClient() && (m_nState == ST_CONNECTED || m_nState == ST_CONNECTED_LOOPBACK)) {
        if (m_pEndpoint->HasPeer())
            m_traffic.Connected();
        else
            m_traffic.Disconnected();
    }
    CancelPendingReplies();
    ScheduleConnectionRefresh();
}

void CQnView::ScheduleConnectionRefresh()
{
    if (m_bRefreshPending)
        return;
    m_bRefreshPending = true;
    QMetaObject::invokeMethod(this, &CQnView::RefreshConnection, Qt::QueuedConnection);
}

void CQnView::RefreshConnection()
{
    m_bRefreshPending = false;
    RefreshSendTargets();
    const QString text = DescribeConnection();
    const bool warning = (m_nState == ST_CONNECTED || m_nState == ST_CONNECTED_LOOPBACK) && m_pEndpoint &&
                         m_pEndpoint->Describe().warning;
    if (warning != m_bConnectionWarning) {
        m_bConnectionWarning = warning;
        Q_EMIT ConnectionWarningChanged(warning);
    }
    if (text == m_strConnection)
        return;
    m_strConnection = text;
    Q_EMIT ConnectionChanged(text);
}

QString CQnView::DescribeConnection() const
{
    switch (m_nState) {
    case ST_DISCONNECTED:
        if (m_bReconnectWaiting)
            return ReconnectText();
        if (!m_nameLookup.IsRunning())
            return m_strConnectError;
        [[fallthrough]];
    case ST_WAIT_CONNECT:
        return m_pEndpoint ? m_pEndpoint->DestinationText(EndpointSettings()) + QStringLiteral(" 接続中...") : QString();
    default:
        break;
    }
    if (!m_pEndpoint)
        return QString();
    // While rules that keep a state answer, the state of the one peer (a server of many: none shown).
    QString text = m_pEndpoint->Describe().text;
    if (m_bReplyActive && m_replyMatcher.UsesStates() && !m_pEndpoint->ServesManyPeers()) {
        const auto state = m_replyStates.find(0);
        text += QStringLiteral("  状態 ") +
                (state == m_replyStates.end() || state->second.isEmpty() ? QStringLiteral("(なし)") : state->second);
    }
    return text;
}
