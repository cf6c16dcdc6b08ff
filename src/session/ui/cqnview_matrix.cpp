// The session event matrix: one row per event, one column per state, one action in each cell.
#include "session/ui/cqnview.h"

#include "display/ui/ccommandsenddlg.h"
#include "display/ui/cmessagewnd.h"
#include "net/cendpoint.h"
#include "platform/chexconv.h"

namespace {

enum class Cell { Error, Ignore, Connect, Disconnect, DisconnectOnAbort, LoopOn, LoopOnState, LoopOff, LoopOffState,
                  Receive, ReceiveEcho, Send, ConnectDone, SetType };

struct Row
{
    SessionEvent event;
    Cell cells[4];  // states 1 to 4
};

// Columns: ST_DISCONNECTED, ST_CONNECTED_LOOPBACK, ST_CONNECTED, ST_WAIT_CONNECT.
constexpr Row kMatrix[] = {
    {EV_CONNECT, {Cell::Connect, Cell::Error, Cell::Error, Cell::Error}},
    {EV_DISCONNECT, {Cell::Ignore, Cell::Disconnect, Cell::Disconnect, Cell::DisconnectOnAbort}},
    {EV_LOOPBACK_ON, {Cell::LoopOn, Cell::Error, Cell::LoopOnState, Cell::LoopOn}},
    {EV_LOOPBACK_OFF, {Cell::LoopOff, Cell::LoopOffState, Cell::Error, Cell::LoopOff}},
    {EV_RECEIVE, {Cell::Error, Cell::ReceiveEcho, Cell::Receive, Cell::Error}},
    {EV_SEND, {Cell::Error, Cell::Send, Cell::Send, Cell::Error}},
    {EV_CONNECT_DONE, {Cell::Error, Cell::Error, Cell::Error, Cell::ConnectDone}},
    {EV_SET_TYPE, {Cell::SetType, Cell::Error, Cell::Error, Cell::Error}},
};

// The row number shown in the log line ("ﾏﾄﾘｸｽ <state> <row>").
int RowNumber(SessionEvent event)
{
    switch (event) {
    case EV_CONNECT: return 1;
    case EV_DISCONNECT: return 2;
    case EV_LOOPBACK_ON: return 3;
    case EV_LOOPBACK_OFF: return 4;
    case EV_RECEIVE: return 5;
    case EV_SEND: return 6;
    case EV_CONNECT_DONE: return 7;
    case EV_SET_TYPE: return 9;
    case EV_PROMPT:
    case EV_ACCEPT:
    case EV_SEND_READY:
    case EV_CLOSED:
        break;  // no row of the matrix
    }
    return 0;
}

}  // namespace

LRESULT CQnView::OnSessionEvent(WPARAM wParam, LPARAM lParam)
{
    const auto event = static_cast<SessionEvent>(wParam);
    if (event == EV_CLOSED) {
        // The peer's close: only a batch run acts on it. A socket reports a close only once it is
        // connected, so one that arrives disconnected or while a new connection is pending comes
        // from a socket that a disconnect has already removed, and is dropped.
        if (m_nState == ST_CONNECTED || m_nState == ST_CONNECTED_LOOPBACK) {
            PostToBatchWindow(EV_CLOSED);
            NotePeerChanged();
            if (ReconnectWanted())
                ReconnectAfterClose();
        }
        return 0;
    }
    if (event == EV_CONNECT_DONE && m_bReconnectAttempt) {
        // An attempt of a reconnect series: its outcome goes to the series, not through the matrix.
        if (GetWordHalf(static_cast<std::uint32_t>(lParam), 0) != 0)
            ReconnectFailed();
        else
            ReconnectOpened();
        return 0;
    }
    if (m_bReconnectWaiting && (event == EV_CONNECT || event == EV_SET_TYPE))
        StopReconnect();  // the session is asked for something else: the wait ends first
    if ((event == EV_DISCONNECT || event == EV_SET_TYPE) && m_nameLookup.IsRunning()) {
        m_nameLookup.Cancel();  // the connect that waited for its host name is not wanted any more
        ScheduleConnectionRefresh();
    }
    const Row *row = nullptr;
    for (const Row &r : kMatrix) {
        if (r.event == event)
            row = &r;
    }
    if (!row)
        return 0;

    // Written before the action, so that it shows the state in which the event arrived.
    AddLog(QStringLiteral("ﾏﾄﾘｸｽ %1 %2").arg(m_nState).arg(RowNumber(event)));
    if (m_nState < ST_DISCONNECTED || m_nState > ST_WAIT_CONNECT)
        return 0;

    const SessionState state = m_nState;
    const int loopback = m_bLoopback;
    if (event == EV_RECEIVE && m_pEndpoint)
        m_pEndpoint->SelectPeer(int(lParam));  // a server of many clients: the client that sent
    bool sent = false;
    switch (row->cells[m_nState - 1]) {
    case Cell::Error: LogMatrixError(); break;
    case Cell::Ignore:
        if (event == EV_DISCONNECT && m_bReconnectWaiting)
            StopReconnect();  // 切断 ends the wait for the next attempt
        else
            LogIgnored();
        break;
    case Cell::Connect: DoConnect(); break;
    case Cell::Disconnect: DoDisconnect(); break;
    case Cell::DisconnectOnAbort:
        // A pending connect is ended only by a forced batch abort, which must leave no connection
        // behind; any other disconnect request waits for the completion, as ever.
        if (lParam == DISCONNECT_ABORT) {
            AddLog(QStringLiteral("ｿｹｯﾄ接続確立待ち中止"));
            DoDisconnect();
        } else {
            LogIgnored();
        }
        break;
    case Cell::LoopOn: m_bLoopback = 1; break;
    case Cell::LoopOnState:
        m_bLoopback = 1;
        m_nState = ST_CONNECTED_LOOPBACK;
        break;
    case Cell::LoopOff: m_bLoopback = 0; break;
    case Cell::LoopOffState:
        m_bLoopback = 0;
        m_nState = ST_CONNECTED;
        break;
    case Cell::Receive: DoReceive(); break;
    case Cell::ReceiveEcho: DoReceiveEcho(); break;
    case Cell::Send: sent = DoSend(); break;
    case Cell::ConnectDone: DoConnectDone(lParam); break;
    case Cell::SetType: DoSetType(static_cast<ConnectionType>(lParam)); break;
    }
    if (event == EV_SEND)
        m_pCommandDlg->SendDone(sent);  // a repetition goes on, or stops on a failure
    EndConnectionNote(event, state, lParam);
    // The receive and send path runs here for every telegram: refresh the commands only on a change.
    if (state != m_nState || loopback != m_bLoopback)
        Q_EMIT CommandStateChanged();
    return 0;
}

void CQnView::AddLog(const QString &text)
{
    m_pLogWnd->AddLine(text + QStringLiteral(" [CQnView]"));
}

void CQnView::LogIgnored()
{
    AddLog(QStringLiteral("無視"));
}

void CQnView::LogMatrixError()
{
    AddLog(QStringLiteral("ﾏﾄﾘｸｽ ｴﾗｰ"));
}
