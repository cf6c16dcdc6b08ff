// Reconnect by itself: a connection that ended on its own — a serial device pulled out, a TCP
// client's peer that closed or refused — is tried again while the document asks for it: a line every
// second (a /dev/serial/by-id/ path is looked up afresh at each try, so it follows the adapter), a
// TCP client after delays from 0.5 s doubling to 10 s. 切断 ends the wait. The session stays
// disconnected meanwhile; the Log has one line when a series starts and one when it ends.
#include "session/ui/cqnview.h"

#include "document/cconnectiontype.h"
#include "document/cqndoc.h"
#include "net/cendpoint.h"
#include "platform/casyncsocket.h"

#include <utility>

bool CQnView::ReconnectWanted() const
{
    const CConnectionType *row = CConnectionType::Find(m_nSocketType);
    // A batch run decides its own connections.
    return m_pDocument && m_pEndpoint && row && row->ReconnectsIn(*m_pDocument) && !BatchRunner();
}

void CQnView::ReconnectAfterClose()
{
    const QString reason = m_pEndpoint->LastFailure().text.isEmpty() ? QStringLiteral("相手が切断しました")
                                                                     : m_pEndpoint->LastFailure().text;
    DoDisconnect();
    RefreshPeriodicReplies();
    m_reconnectSchedule.Ended();
    StartReconnect(reason);
}

void CQnView::StartReconnect(const QString &reason)
{
    const CConnectionType *row = CConnectionType::Find(m_nSocketType);
    m_reconnectSchedule.Configure(row->reconnect.firstMs, row->reconnect.maxMs);
    m_bReconnectWaiting = true;
    m_nReconnectTries = 0;
    m_strConnectError.clear();
    AddLog(QStringLiteral("再接続待ち開始: ") + reason);
    if (!m_reconnectTimer.isSingleShot()) {
        m_reconnectTimer.setSingleShot(true);
        connect(&m_reconnectTimer, &QTimer::timeout, this, &CQnView::TryReconnect);
    }
    ScheduleReconnect();
    Q_EMIT CommandStateChanged();
}

void CQnView::ScheduleReconnect()
{
    const int delay = m_reconnectSchedule.NextDelayMs();
    m_reconnectDue = QTime::currentTime().addMSecs(delay);
    m_reconnectTimer.start(delay);
    ScheduleConnectionRefresh();
}

void CQnView::TryReconnect()
{
    if (!m_bReconnectWaiting)
        return;
    if (BatchRunner()) {
        StopReconnect();
        return;
    }
    ++m_nReconnectTries;
    m_bReconnectAttempt = true;
    // A host name is looked up off this thread first, as at 接続.
    const CConnectionType *row = CConnectionType::Find(m_nSocketType);
    const QString host = row && row->Has(Capability::NameLookup) ? m_pEndpoint->DestinationHost(EndpointSettings()) : QString();
    if (!CNameLookup::NeedsLookup(host)) {
        OpenForReconnect();
        return;
    }
    m_nameLookup.Start(host, m_pEndpoint->SocketKind(), [this, host](bool found, const QList<CSocketAddress> &addresses) {
        if (!found) {
            ReconnectFailed();
            return;
        }
        CAsyncSocket::RememberAnswer(host, found, addresses);
        OpenForReconnect();
        CAsyncSocket::ForgetAnswer();
    });
}

void CQnView::OpenForReconnect()
{
    QString logText;
    if (!m_pEndpoint->Open(EndpointSettings(), &logText))
        ReconnectFailed();
    else if (!m_pEndpoint->CompletesLater())
        ReconnectOpened();
    // else EV_CONNECT_DONE tells (OnSessionEvent hands it here while the attempt is under way)
}

void CQnView::ReconnectFailed()
{
    m_bReconnectAttempt = false;
    m_pEndpoint->Close();
    ScheduleReconnect();
}

void CQnView::ReconnectOpened()
{
    const SessionState before = m_nState;
    m_bReconnectAttempt = false;
    m_bReconnectWaiting = false;
    m_reconnectTimer.stop();
    m_reconnectSchedule.Connected();
    AddLog(QStringLiteral("再接続しました (試行 %1 回)").arg(m_nReconnectTries));
    m_nState = ConnectedState();
    m_traffic.Connected();
    ShowStatus(m_nState);
    RefreshSendButton();
    EndConnectionNote(EV_CONNECT_DONE, before);
    Q_EMIT CommandStateChanged();
}

void CQnView::StopReconnect()
{
    if (!m_bReconnectWaiting)
        return;
    m_reconnectTimer.stop();
    m_nameLookup.Cancel();
    if (std::exchange(m_bReconnectAttempt, false))
        m_pEndpoint->Close();  // a connect under way: its notice is stale from now on
    m_bReconnectWaiting = false;
    m_reconnectSchedule.Reset();
    AddLog(QStringLiteral("再接続待ち中止 (試行 %1 回)").arg(m_nReconnectTries));
    ScheduleConnectionRefresh();
    Q_EMIT CommandStateChanged();
}

QString CQnView::ReconnectText() const
{
    const QString destination = m_pEndpoint ? m_pEndpoint->DestinationText(EndpointSettings()) : QString();
    QString text = QStringLiteral("再接続待ち  次の試行 %1").arg(m_reconnectDue.toString(QStringLiteral("HH:mm:ss")));
    if (m_nReconnectTries > 0)
        text += QStringLiteral(" (試行 %1 回)").arg(m_nReconnectTries);
    return destination.isEmpty() ? text : text + QStringLiteral("  ") + destination;
}
