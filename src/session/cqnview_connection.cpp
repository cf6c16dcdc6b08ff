// Connection control: opening and closing the one connection, the state and type labels, and the
// commands that edit the connection settings.
#include "session/cqnview.h"

#include "res/commandids.h"
#include "document/cqndoc.h"
#include "session/csocketsettingdlg.h"
#include "session/csockettypedlg.h"
#include "display/ccommandsenddlg.h"
#include "platform/chexconv.h"
#include "net/ctcpsoc.h"
#include "net/ctcpsrvr.h"
#include "net/cudpwnd.h"
#include "platform/casyncsocket.h"

int CQnView::DecimalValue(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == QLatin1Char(' ') || (text[i].unicode() >= 9 && text[i].unicode() <= 13)))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    // Read as an unsigned 32-bit value that wraps, as the C library's conversion does on this platform.
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i)
        value = value * 10u + std::uint32_t(text[i].unicode() - '0');
    if (negative)
        value = 0u - value;
    return static_cast<int>(value);
}

QString CQnView::ConnectLogText(ConnectionType type, const QString &address, int port, int ownPort)
{
    // One substitution for all three: an address is free text and may itself hold "%1".
    const QString format = type == TYPE_UDP ? QStringLiteral("ｿｹｯﾄ接続  接続先ｱﾄﾞﾚｽ:%1 接続先ﾎﾟｰﾄ:%2 QNﾎﾟｰﾄ:%3")
                                            : QStringLiteral("ｿｹｯﾄ接続  ｻｰﾊﾞｱﾄﾞﾚｽ:%1 ｻｰﾊﾞﾎﾟｰﾄ:%2 QNﾎﾟｰﾄ:%3");
    return format.arg(address, QString::number(port), QString::number(ownPort));
}

int CQnView::SocketConnect()
{
    CQnDoc *doc = m_pDocument;
    const auto slot = [doc](CQnDoc::TextSlot n) { return doc ? doc->GetSlotString(n) : QString(); };
    switch (m_nSocketType) {
    case TYPE_UDP: {
        const QString address = slot(CQnDoc::SLOT_UDP_ADDRESS);
        const int port = DecimalValue(slot(CQnDoc::SLOT_UDP_PORT));
        const int ownPort = DecimalValue(slot(CQnDoc::SLOT_UDP_OWN_PORT));
        if (!m_pUdpWnd->Open(address, unsigned(port), unsigned(ownPort)))
            return 0;
        AddLog(ConnectLogText(TYPE_UDP, address, port, ownPort));
        return 1;
    }
    case TYPE_TCP_SERVER: {
        const int port = DecimalValue(slot(CQnDoc::SLOT_SERVER_PORT));
        if (!m_pTcpSrvr->Build(unsigned(port)))
            return 0;
        AddLog(QStringLiteral("ｿｹｯﾄ接続  QNﾎﾟｰﾄ:%1").arg(port));
        return 1;
    }
    case TYPE_TCP_CLIENT: {
        const QString address = slot(CQnDoc::SLOT_CLIENT_ADDRESS);
        const int port = DecimalValue(slot(CQnDoc::SLOT_CLIENT_PORT));
        const int ownPort = DecimalValue(slot(CQnDoc::SLOT_CLIENT_OWN_PORT));
        EndTcpClient();
        m_pTcpClient = std::make_unique<CTCPSoc>(this, 1, m_pLogBuf.get(), CTCPSoc::ROLE_TERM);
        if (!m_pTcpClient->Create(unsigned(ownPort)) || !m_pTcpClient->Connect(address, unsigned(port))) {
            EndTcpClient();
            return 0;
        }
        AddLog(ConnectLogText(TYPE_TCP_CLIENT, address, port, ownPort));
        return 1;
    }
    }
    return 1;  // a type no dialog offers: nothing to open
}

void CQnView::SocketDisconnect()
{
    switch (m_nSocketType) {
    case TYPE_UDP:
        m_pUdpWnd->Close();
        break;
    case TYPE_TCP_SERVER:
        m_pTcpSrvr->Teardown();
        break;
    case TYPE_TCP_CLIENT:
        EndTcpClient();
        break;
    }
    AddLog(QStringLiteral("ｿｹｯﾄ切断"));
}

void CQnView::EndTcpClient()
{
    if (m_pTcpClient) {
        m_pTcpClient->Close();  // drops what is still queued, without a log line
        m_pTcpClient.reset();
    }
}

QString CQnView::DestinationHost() const
{
    if (!m_pDocument)
        return {};
    switch (m_nSocketType) {
    case TYPE_UDP: return m_pDocument->GetSlotString(CQnDoc::SLOT_UDP_ADDRESS);
    case TYPE_TCP_CLIENT: return m_pDocument->GetSlotString(CQnDoc::SLOT_CLIENT_ADDRESS);
    default: return {};
    }
}

void CQnView::DoConnect()
{
    if (m_nameLookup.IsRunning()) {
        LogIgnored();  // the connect asked for before is still looking its name up
        return;
    }
    const QString host = DestinationHost();
    if (!CNameLookup::NeedsLookup(host)) {
        OpenConnection();
        return;
    }
    // The connection opens with the answer, as it would have at once: the same lines, the same
    // states, only later; a disconnect, a type change or a new document meanwhile cancels it.
    m_nameLookup.Start(host, m_nSocketType == TYPE_UDP ? SOCK_DGRAM : SOCK_STREAM, [this, host](bool found, in_addr address) {
        const SessionState before = m_nState;
        CAsyncSocket::RememberAnswer(host, found, address);
        m_bNameUnresolved = !found;
        BeginConnectionNote(EV_CONNECT);
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
    m_nState = (m_nSocketType == TYPE_TCP_CLIENT) ? ST_WAIT_CONNECT : ConnectedState();
    ShowStatus(m_nState);
    RefreshSendButton();
}

void CQnView::DoDisconnect()
{
    CancelPendingReplies();
    SocketDisconnect();
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
        EndTcpClient();
    } else {
        m_nState = ConnectedState();
        RefreshSendButton();
    }
    ShowStatus(m_nState);
}

void CQnView::DoSetType(ConnectionType type)
{
    m_nSocketType = type;
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
}

void CQnView::ShowType(ConnectionType type)
{
    switch (type) {
    case TYPE_UDP:
        m_stType.SetColor(0xFFFF00);
        m_stType.SetText(QStringLiteral("        UDP"));
        break;
    case TYPE_TCP_SERVER:
        m_stType.SetColor(0x00FFFF);
        m_stType.SetText(QStringLiteral("   TCP-IP(ｻｰﾊﾞｰ)"));
        break;
    case TYPE_TCP_CLIENT:
        m_stType.SetColor(0xFF00FF);
        m_stType.SetText(QStringLiteral("  TCP-IP(ｸﾗｲｱﾝﾄ)"));
        break;
    }
}

void CQnView::OnSocketSettings()
{
    if (!m_pDocument)
        return;
    const CQnDoc::SlotRange range = CQnDoc::SettingSlots(m_nSocketType);
    CSocketSettingDlg dialog(this);
    QString *const values[3] = {&dialog.m_strValue1, &dialog.m_strValue2, &dialog.m_strValue3};
    QString shown[3];
    for (int i = 0; i < range.count; ++i)
        *values[i] = shown[i] = m_pDocument->GetSlotString(range.first + i);
    if (dialog.DoModal(m_nSocketType) != IDOK)
        return;
    // A field left as it was keeps its stored bytes: not every byte sequence survives the way
    // through text and back.
    for (int i = 0; i < range.count; ++i) {
        if (*values[i] != shown[i])
            m_pDocument->SetSlotString(range.first + i, *values[i]);
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
}
