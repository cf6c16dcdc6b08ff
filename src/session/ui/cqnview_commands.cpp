// The view's commands: the one enable rule, the handlers and the tool windows.
#include "session/ui/cqnview.h"

#include "res/commandids.h"
#include "display/ui/ccommandsenddlg.h"
#include "display/ui/cmessagewnd.h"
#include "platform/prompts.h"
#include "session/ui/cstatswnd.h"

bool CQnView::IsCommandEnabled(int id) const
{
    const bool batch = IsBatchWindowOpen();
    const bool waiting = m_nState == ST_WAIT_CONNECT;
    switch (id) {
    case ID_SOCKET_CONNECT:
    case ID_SOCKET_SETTING:
    case ID_SOCKET_TYPE:
    case ID_FILE_NEW:
    case ID_FILE_OPEN:
    case ID_FILE_SAVE:
    case ID_FILE_SAVE_AS:
    case ID_FILE_MRU_FILE1:
        return m_nState == ST_DISCONNECTED && !batch && !m_bReconnectWaiting;
    case ID_SOCKET_DISCONNECT:
        return (m_nState == ST_CONNECTED_LOOPBACK || m_nState == ST_CONNECTED || m_bReconnectWaiting) && !batch;
    case ID_LOOPBACK_ON:
        return !waiting && m_bLoopback == 0 && !batch;
    case ID_LOOPBACK_OFF:
        return !waiting && m_bLoopback == 1 && !batch;
    case ID_COMMAND_SEND:
        return !waiting && !batch;
    case ID_BATCH_SEND:
        return !waiting && !IsCommandWindowOpen();
    case ID_VIEW_HISTORY:
    case ID_VIEW_LOG:
    case ID_FILE_PRINT:
    case ID_FILE_PRINT_DIRECT:
    case ID_FILE_PRINT_PREVIEW:
        return true;
    case ID_CAPTURE_START:
        return !waiting && !IsCapturing();
    case ID_CAPTURE_STOP:
        return !waiting && IsCapturing();
    case IDC_SEND_BUTTON:
        return m_nState != ST_DISCONNECTED;
    case ID_LINE_DTR:
    case ID_LINE_RTS:
    case ID_LINE_BREAK:
    case ID_LINE_MENU:
        return HasLineControls();
    default:
        return true;
    }
}

QString CQnView::DisabledReason(int id) const
{
    // The batch send window and Command Send each have a send buffer of their own.
    if (id == ID_BATCH_SEND && m_nState != ST_WAIT_CONNECT && IsCommandWindowOpen())
        return QStringLiteral("「ｺﾏﾝﾄﾞ送信」画面を閉じると使えます");
    return QString();
}

bool CQnView::IsCommandChecked(int id) const
{
    if (id == ID_LOOPBACK_ON || id == ID_LOOPBACK_OFF)
        return !IsCommandEnabled(id);
    if (id == ID_LINE_DTR || id == ID_LINE_RTS)
        return HasLineControls() && m_pEndpoint->IsControlLineOn(id == ID_LINE_DTR ? CEndpoint::LineDtr : CEndpoint::LineRts);
    return false;
}

void CQnView::OnCommand(int id)
{
    if (!IsCommandEnabled(id))
        return;
    switch (id) {
    case ID_SOCKET_CONNECT: PostMessage(this, WM_SESSION_EVENT, EV_CONNECT, 0); break;
    case ID_SOCKET_DISCONNECT: PostMessage(this, WM_SESSION_EVENT, EV_DISCONNECT, 1); break;
    case ID_SOCKET_SETTING: OnSocketSettings(); break;
    case ID_SOCKET_TYPE: OnSocketType(); break;
    case ID_LOOPBACK_ON: PostMessage(this, WM_SESSION_EVENT, EV_LOOPBACK_ON, 0); break;
    case ID_LOOPBACK_OFF: PostMessage(this, WM_SESSION_EVENT, EV_LOOPBACK_OFF, 0); break;
    case ID_COMMAND_SEND: OpenToolWindow(KIND_COMMAND_SEND); break;
    case ID_BATCH_SEND: OnBatchSend(); break;
    case ID_REPLY_RULES: OnReplyRules(); break;
    case ID_VIEW_HISTORY: OpenToolWindow(KIND_HISTORY); break;
    case ID_VIEW_LOG: OpenToolWindow(KIND_LOG); break;
    case ID_VIEW_STATS: OpenStatsWindow(); break;
    case ID_VIEW_COMMANDS: OpenCommandPanel(); break;
    case ID_VIEW_PLOT: OpenPlotWindow(); break;
    case ID_VIEW_CHANNELS: OnChannels(); break;
    case ID_LINE_DTR:
    case ID_LINE_RTS:
    case ID_LINE_BREAK: OnLineCommand(id); break;
    case ID_CAPTURE_START: OnCaptureStart(); break;
    case ID_CAPTURE_STOP: StopCapture(); break;
    case ID_FILE_PRINT: OnFilePrint(true); break;
    case ID_FILE_PRINT_DIRECT: OnFilePrint(false); break;
    case ID_FILE_PRINT_PREVIEW: OnFilePrintPreview(); break;
    default: break;
    }
}

void CQnView::OpenStatsWindow()
{
    if (!m_pStatsWnd->isVisible())
        m_pStatsWnd->show();
    m_pStatsWnd->activateWindow();
    m_pStatsWnd->raise();
}

CEndpoint::Gauges CQnView::EndpointGauges() const
{
    const bool open = m_nState == ST_CONNECTED || m_nState == ST_CONNECTED_LOOPBACK;
    return open && m_pEndpoint ? m_pEndpoint->ReadGauges() : CEndpoint::Gauges{};
}

void CQnView::OpenToolWindow(ToolWindowKind kind)
{
    switch (kind) {
    case KIND_COMMAND_SEND:
        if (m_pCommandDlg->HasWindow()) {
            m_pCommandDlg->activateWindow();
            m_pCommandDlg->raise();
        } else {
            m_pCommandDlg->Create(this, KIND_COMMAND_SEND);
            RefreshSendButton();
        }
        break;
    case KIND_LOG:
    case KIND_HISTORY: {
        CMessageWnd *window = kind == KIND_LOG ? m_pLogWnd.get() : m_pHistoryWnd.get();
        if (!window->isVisible())
            window->show();
        window->activateWindow();
        window->raise();
        break;
    }
    case KIND_BATCH_SEND:
        if (IsCommandWindowOpen()) {
            Prompts::Instance().MessageBox(this, QStringLiteral("「ｺﾏﾝﾄﾞ送信」画面を閉じてください。"),
                                           Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
            return;
        }
        OpenBatchWindow();
        break;
    }
    Q_EMIT CommandStateChanged();
}

void CQnView::OnBatchSend()
{
    if (m_bLoopback == 1) {
        Prompts::Instance().MessageBox(this, QStringLiteral("一括送信を行う場合ためﾙｰﾌﾟﾊﾞｯｸをOFFに変更します。"),
                                       Prompts::AppTitle(), Prompts::Ok, Prompts::Information);
        PostMessage(this, WM_SESSION_EVENT, EV_LOOPBACK_OFF, 0);
    }
    OpenToolWindow(KIND_BATCH_SEND);
}

bool CQnView::IsCommandWindowOpen() const
{
    return m_pCommandDlg->HasWindow();
}

const unsigned char *CQnView::OutgoingTelegram(int *length) const
{
    if (BatchRunner())
        return BatchTelegram(length);
    return m_pCommandDlg->Telegram(length);
}
