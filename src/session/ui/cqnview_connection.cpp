// Connection control: opening and closing the one connection, the state and type labels, and the
// commands that edit the connection settings.
#include "session/ui/cqnview.h"

#include "res/commandids.h"
#include "document/cconnectiontype.h"
#include "document/cqndoc.h"
#include "session/ui/cclientlistdlg.h"
#include "session/ui/csocketsettingdlg.h"
#include "session/ui/csockettypedlg.h"
#include "display/ui/ccommandsenddlg.h"
#include "net/cendpoint.h"
#include "platform/chexconv.h"
#include "platform/casyncsocket.h"

int CQnView::SocketConnect()
{
    if (!m_pEndpoint)
        return 1;  // a type no dialog offers: nothing to open
    QString logText;
    if (!m_pEndpoint->Open(EndpointSettings(), &logText))
        return 0;
    AddLog(logText);
    return 1;
}

void CQnView::SocketDisconnect()
{
    if (m_pEndpoint)
        m_pEndpoint->Close();
    AddLog(QStringLiteral("ｿｹｯﾄ切断"));
}

void CQnView::UseEndpointFor(ConnectionType type)
{
    if (m_pEndpoint && m_pEndpoint->Type() == type)
        return;
    m_pEndpoint.reset();  // the old endpoint lets go of its port first
    m_pEndpoint = CEndpoint::Make(type, this, m_pLogBuf.get());
    // A server takes and drops its client on its own: the pane looks again each time, and a
    // delayed reply to the client that went never reaches the next one.
    if (m_pEndpoint) {
        m_pEndpoint->SetPeerChangedHandler([this] { NotePeerChanged(); });
        m_pEndpoint->SetDescriptionChangedHandler([this] { ScheduleConnectionRefresh(); });
        m_pEndpoint->SetModemLinesHandler([this](int changed, int lines, qint64 when) { OnModemLines(changed, lines, when); });
    }
}

QStringList CQnView::EndpointSettings() const
{
    const CConnectionType *row = CConnectionType::Find(m_nSocketType);
    if (!m_pDocument || !row)
        return {};
    return CConnectionType::Texts(*m_pDocument, row->EndpointSlots());
}

void CQnView::DoConnect()
{
    if (m_nameLookup.IsRunning()) {
        LogIgnored();  // the connect asked for before is still looking its name up
        return;
    }
    const CConnectionType *row = CConnectionType::Find(m_nSocketType);
    const bool looksUp = m_pEndpoint && row && row->Has(Capability::NameLookup);
    const QString host = looksUp ? m_pEndpoint->DestinationHost(EndpointSettings()) : QString();
    if (!CNameLookup::NeedsLookup(host)) {
        OpenConnection();
        return;
    }
    // The connection opens with the answer, as it would have at once: the same lines, the same
    // states, only later; a disconnect, a type change or a new document meanwhile cancels it.
    m_nameLookup.Start(host, m_pEndpoint->SocketKind(), [this, host](bool found, const QList<CSocketAddress> &addresses) {
        const SessionState before = m_nState;
        CAsyncSocket::RememberAnswer(host, found, addresses);
        m_bNameUnresolved = !found;
        OpenConnection();
        CAsyncSocket::ForgetAnswer();
        EndConnectionNote(EV_CONNECT, before);
        m_bNameUnresolved = false;
        Q_EMIT CommandStateChanged();
    });
}

void CQnView::OpenConnection()
{
    if (!SocketConnect()) {
        AddLog(QStringLiteral("ｿｹｯﾄを接続できません"));
        PostToBatchWindow(EV_CLOSED);
        return;
    }
    m_nState = m_pEndpoint && m_pEndpoint->CompletesLater() ? ST_WAIT_CONNECT : ConnectedState();
    if (m_nState != ST_WAIT_CONNECT && !CountsEachClient())
        m_traffic.Connected();
    ShowStatus(m_nState);
    RefreshSendButton();
}

void CQnView::DoDisconnect()
{
    CancelPendingReplies();
    m_ruleAnswers.clear();
    m_replyStates.clear();
    SocketDisconnect();
    m_traffic.Disconnected();
    m_nState = ST_DISCONNECTED;
    ShowStatus(m_nState);
    RefreshSendButton();
}

void CQnView::DoConnectDone(LPARAM param)
{
    const int error = GetWordHalf(static_cast<std::uint32_t>(param), 0);
    if (error != 0) {
        m_nState = ST_DISCONNECTED;
        AddLog(QStringLiteral("ｿｹｯﾄ接続確立待ち応答NG"));
        PostToBatchWindow(EV_CLOSED);
        if (m_pEndpoint)
            m_pEndpoint->Close();
        if (ReconnectWanted()) {
            ShowStatus(m_nState);
            StartReconnect(m_pEndpoint->LastFailure().text.isEmpty() ? QStringLiteral("接続できません")
                                                                      : m_pEndpoint->LastFailure().text);
            return;
        }
    } else {
        m_nState = ConnectedState();
        m_traffic.Connected();
        RefreshSendButton();
    }
    ShowStatus(m_nState);
}

void CQnView::DoSetType(ConnectionType type)
{
    m_nSocketType = type;
    UseEndpointFor(type);
    if (m_pDocument) {
        m_pDocument->SetSocketType(type);
        m_pDocument->SetModifiedFlag();
    }
    ShowType(type);
}

void CQnView::ShowStatus(SessionState state)
{
    switch (state) {
    case ST_DISCONNECTED:
        m_stStatus.SetColor(0x0000FF);
        m_stStatus.SetText(QStringLiteral("    ｿｹｯﾄ切断中"));
        break;
    case ST_CONNECTED_LOOPBACK:
    case ST_CONNECTED:
        m_stStatus.SetColor(0x00FF00);
        m_stStatus.SetText(QStringLiteral("    ｿｹｯﾄ接続中"));
        break;
    case ST_WAIT_CONNECT:
        m_stStatus.SetColor(0x00FFFF);
        m_stStatus.SetText(QStringLiteral("  ｿｹｯﾄ接続確立待ち"));
        break;
    }
    RefreshLineLamps();
}

void CQnView::ShowType(ConnectionType type)
{
    const CConnectionType *row = CConnectionType::Find(type);
    if (!row)
        return;
    m_stType.SetColor(row->colour);
    m_stType.SetText(row->Label());
    RefreshLineLamps();
}

void CQnView::OnSocketSettings()
{
    if (!m_pDocument)
        return;
    const CConnectionType *row = CConnectionType::Find(m_nSocketType);
    const QList<int> settingSlots = row ? row->EndpointSlots() : QList<int>();
    const QStringList shown = EndpointSettings();
    QStringList edited = shown;
    const int reconnectSlot = row ? row->reconnect.slot : -1;
    const QString reconnectShown = m_pDocument->GetSlotString(reconnectSlot);
    QString reconnect = reconnectShown;
    if (!CSocketSettingDlg::Edit(this, m_nSocketType, &edited, reconnectSlot >= 0 ? &reconnect : nullptr))
        return;
    if (reconnect != reconnectShown)
        m_pDocument->SetSlotString(reconnectSlot, reconnect);
    // A field left as it was keeps its stored bytes: not every byte sequence survives the way
    // through text and back.
    for (int i = 0; i < settingSlots.size() && i < edited.size(); ++i) {
        if (edited[i] != shown[i])
            m_pDocument->SetSlotString(settingSlots[i], edited[i]);
    }
    m_pDocument->SetModifiedFlag();
}

void CQnView::OnSocketType()
{
    CSocketTypeDlg dialog(this);
    dialog.m_nType = m_nSocketType;
    if (dialog.DoModal() != IDOK || dialog.m_nType == m_nSocketType)
        return;
    DoSetType(static_cast<ConnectionType>(dialog.m_nType));
    Q_EMIT CommandStateChanged();
}

void CQnView::RefreshSendButton()
{
    if (m_pCommandDlg->HasWindow())
        m_pCommandDlg->EnableSend(IsCommandEnabled(IDC_SEND_BUTTON));
    RefreshSendTargets();
}

void CQnView::OpenClientList()
{
    if (!m_pClientList) {
        m_pClientList = std::make_unique<CClientListDlg>(
            nullptr,
            [this] {
                return m_pEndpoint && m_pEndpoint->ServesManyPeers() ? m_pEndpoint->PeerSummaries()
                                                                     : QList<CEndpoint::PeerSummary>();
            },
            [this](int peer) {
                if (m_pEndpoint)
                    m_pEndpoint->DropPeer(peer);
            });
    }
    m_pClientList->show();
    m_pClientList->raise();
    m_pClientList->activateWindow();
}

void CQnView::RefreshSendTargets()
{
    const bool many = m_pEndpoint && m_pEndpoint->ServesManyPeers() &&
                      (m_nState == ST_CONNECTED || m_nState == ST_CONNECTED_LOOPBACK);
    const QList<int> peers = many ? m_pEndpoint->Peers() : QList<int>();
    m_pCommandDlg->SetPeers(many, peers);
    if (many)
        m_traffic.KeepPeers(peers);
}
