#include "net/ctcpsrvr.h"

#include "net/csendbudget.h"
#include "net/ctcpsoc.h"
#include "net/ctlscontext.h"
#include "net/ctlssoc.h"
#include "net/socketlog.h"
#include "platform/cp932.h"
#include "platform/csocketaddress.h"
#include "platform/qnwin.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace {
constexpr int kResumeAcceptTimer = 1;
}

CTCPSrvr::CTCPSrvr() : m_pBudget(std::make_shared<CSendBudget>()) {}

// Leaving with the view: the client, then the listener, close quietly (the log may be gone already).
CTCPSrvr::~CTCPSrvr() = default;

void CTCPSrvr::CreateEndpoint(QObject *view, char *logBuf)
{
    m_pView = view;
    m_pLogBuf = logBuf;
}

BOOL CTCPSrvr::Build(unsigned port)
{
    DropClient();
    m_clients.clear();
    m_clientBySerial.clear();
    m_clientNotes.clear();
    m_peerNumbers.clear();
    m_nNextClient = 1;
    m_nSelected = 0;
    m_closingSocs.clear();
    m_bClientClosed = false;
    ResetAcceptPause();
    m_pListenSoc.reset();  // the old listener lets go of its port before the new one binds
    m_pListenSoc = std::make_unique<CTCPSoc>(this, 1, m_pLogBuf, CTCPSoc::ROLE_SRVR);
    if (!m_pListenSoc->Create(port))
        return FALSE;
    Log(QStringLiteral("Ver1.00  ｻｰﾊﾞ構築"), LOG_TRACE);
    // Many clients may come at once: a queue of the system's largest size waits for their accept.
    return m_pListenSoc->Listen(m_nClientLimit > 0 ? SOMAXCONN : 5);
}

void CTCPSrvr::Teardown()
{
    ResetAcceptPause();
    m_closingSocs.clear();
    m_clientBySerial.clear();
    m_clientNotes.clear();
    m_peerNumbers.clear();
    if (!m_clients.empty()) {
        m_clients.clear();
        PeerChanged();
    }
    if (m_bClient) {
        DropClient();
        Log(QStringLiteral("ﾃﾞｽﾄﾗｸﾀ ｸﾗｲｱﾝﾄ破棄"), LOG_TRACE);
    }
    if (m_pListenSoc) {
        m_pListenSoc->Close();
        Log(QStringLiteral("ﾃﾞｽﾄﾗｸﾀ ｻｰﾊﾞ破棄"), LOG_TRACE);
        m_pListenSoc.reset();
    }
}

void CTCPSrvr::DropClient()
{
    const bool had = m_pClientSoc != nullptr || m_bClient;
    m_pClientSoc.reset();
    m_bClient = FALSE;
    if (had) {
        PeerChanged();
    }
}

int CTCPSrvr::SocketKind() const
{
    return SOCK_STREAM;
}

bool CTCPSrvr::Open(const QStringList &settings, QString *logText)
{
    CTcpServerSettings server;
    QString error;
    CTcpServerSettings::Parse(settings, &server, &error);
    const int port = server.PortNumber();
    m_nClientLimit = server.clientLimit;
    m_pTlsContext.reset();
    m_tlsFailure = {};
    if (server.tls.m_bUse) {
        m_pTlsContext = CTlsContext::MakeForOpen(server.tls, &m_tlsFailure);
        if (!m_pTlsContext) {
            Log(m_tlsFailure.LogText(), LOG_ERROR);
            return false;
        }
    }
    if (!Build(unsigned(port)))
        return false;
    *logText = QStringLiteral("ｿｹｯﾄ接続  QNﾎﾟｰﾄ:%1").arg(port);
    return true;
}

CEndpoint::Description CTCPSrvr::Describe() const
{
    Description description;
    QString own;
    if (m_pListenSoc)
        SocketName(m_pListenSoc->m_hSocket, false, &own, &description.ownPort);
    const QString listening = QStringLiteral("待受中 ﾎﾟｰﾄ %1").arg(description.ownPort);
    if (m_nClientLimit > 0) {
        description.text = listening + QStringLiteral("  ｸﾗｲｱﾝﾄ %1 台").arg(m_clients.size());
        return description;
    }
    QString peer;
    unsigned peerPort = 0;
    if (m_bClient && m_pClientSoc && SocketName(m_pClientSoc->m_hSocket, true, &peer, &peerPort)) {
        description.text = QStringLiteral("ｸﾗｲｱﾝﾄ %1 接続中").arg(CSocketAddress::JoinHostPort(peer, unsigned(peerPort)));
        const auto *tls = m_pTlsContext ? static_cast<const CTlsSoc *>(m_pClientSoc.get()) : nullptr;
        if (tls && tls->IsEstablished())
            description.text += QLatin1Char(' ') + tls->Summary();
    } else if (m_bClientClosed) {
        description.text = QStringLiteral("相手が切断しました (") + listening + QLatin1Char(')');
    } else {
        description.text = listening;
    }
    return description;
}

SocketFailure CTCPSrvr::LastFailure() const
{
    if (m_tlsFailure.IsSet())
        return m_tlsFailure;
    return m_pListenSoc ? m_pListenSoc->LastFailure() : SocketFailure();
}

bool CTCPSrvr::IsNoticeFrom(std::uint64_t serial) const
{
    if (m_nClientLimit > 0) {
        const auto number = m_clientBySerial.find(serial);
        if (number == m_clientBySerial.end())
            return false;
        const auto client = m_clients.find(number->second);
        return client != m_clients.end() && client->second->Serial() == serial;
    }
    return m_pClientSoc && m_pClientSoc->Serial() == serial;
}

void CTCPSrvr::ReleaseClosedClient()
{
    m_bClientClosed = m_bClientClosed || m_bClient;
    if (m_pClientSoc && m_pClientSoc->QueuedBytes() > 0)
        KeepClosing(std::move(m_pClientSoc));
    DropClient();
}

void CTCPSrvr::KeepClosing(std::unique_ptr<CTCPSoc> client)
{
    client->CloseWhenSent([this] { ForgetClosedSockets(); });
    m_closingSocs.push_back(std::move(client));
}

void CTCPSrvr::ForgetClosedSockets()
{
    std::erase_if(m_closingSocs, [](const std::unique_ptr<CTCPSoc> &soc) { return !soc->IsOpen(); });
}

BOOL CTCPSrvr::Send(const void *data, int length)
{
    if (m_nClientLimit > 0)
        return SendToClients(data, length);
    if (!m_bClient) {
        Log(QStringLiteral("ｸﾗｲｱﾝﾄ未構築　送信不可"), LOG_WARN);
        return FALSE;
    }
    return SendToClient(m_pClientSoc.get(), 0, data, length);
}

BOOL CTCPSrvr::SendToClient(CTCPSoc *client, int number, const void *data, int length)
{
    const bool answer = number == m_nAnswerPeer && length <= m_nAnswerBytes;
    m_nAnswerPeer = -1;
    if (answer)
        m_pBudget->BeginAnswer();
    const BOOL sent = client->Send(data, length);
    m_pBudget->EndAnswer();
    if (const auto note = m_clientNotes.find(number); sent && note != m_clientNotes.end())
        note->second.bytesOut += length;
    return sent;
}

void CTCPSrvr::NoteRead(int number, int bytes)
{
    m_nAnswerPeer = number;
    m_nAnswerBytes = bytes;
}

int CTCPSrvr::Receive(void *buffer, int length)
{
    if (m_nClientLimit > 0) {
        CTCPSoc *client = SelectedClient();
        const int read = client ? client->Receive(buffer, length) : 0;  // 0: gone since its notice
        NoteRead(m_nSelected, read);
        if (const auto note = m_clientNotes.find(m_nSelected); note != m_clientNotes.end())
            note->second.bytesIn += read;
        return read;
    }
    if (!m_bClient) {
        Log(QStringLiteral("ｸﾗｲｱﾝﾄ未構築　受信不可"), LOG_WARN);
        return 0;
    }
    const int read = m_pClientSoc->Receive(buffer, length);
    NoteRead(0, read);
    return read;
}

void CTCPSrvr::Log(const QString &text, int kind)
{
    if (m_bHoldLog && m_pLogBuf)
        m_heldLog.append(ToCp932(SocketLogLine(text, kind, u"[TCPSrvr]")));
    else
        SendSocketLog(m_pLogBuf, m_pView, text, kind, u"[TCPSrvr]");
}

void CTCPSrvr::ReleaseHeldLog()
{
    for (const QByteArray &line : std::as_const(m_heldLog)) {
        qstrncpy(m_pLogBuf, line.constData(), QN_BUFFER_SIZE);
        SendMessage(m_pView, WM_SOCKET_LOG, 0, 0);
    }
    m_heldLog.clear();
}

LRESULT CTCPSrvr::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SESSION_EVENT:
        OnSocketEvent(static_cast<SessionEvent>(wParam), lParam);
        return 0;
    case WM_SOCKET_LOG:
        // A line of one of our sockets: mark that it passed here and hand it on.
        if (m_pLogBuf) {
            AppendSocketLog(m_pLogBuf, u"<-[TCPSrvr]");
            if (m_bHoldLog)
                m_heldLog.append(QByteArray(m_pLogBuf));
            else
                SendMessage(m_pView, WM_SOCKET_LOG, 0, 0);
        }
        return 0;
    default:
        return 0;
    }
}

void CTCPSrvr::OnSocketEvent(SessionEvent code, LPARAM lParam)
{
    switch (code) {
    case EV_ACCEPT:
        AcceptClient();
        break;
    case EV_RECEIVE:
        Log(QStringLiteral("ON RECEIVE"), LOG_TRACE);
        PostMessage(m_pView, WM_SESSION_EVENT, EV_RECEIVE, lParam, MessageSource());
        break;
    case EV_SEND_READY:
        Log(QStringLiteral("ON SEND"), LOG_TRACE);
        break;
    case EV_CLOSED:
        Log(QStringLiteral("ON CLOSE  ｸﾗｲｱﾝﾄ破棄"), LOG_TRACE);
        if (m_nClientLimit > 0)
            ReleaseNumberedClient(int(lParam));
        else
            ReleaseClosedClient();
        break;
    default:
        Log(QStringLiteral("不明なﾒｯｾｰｼﾞ"), LOG_ERROR);
        break;
    }
}

bool CTCPSrvr::IsStaleNotice(std::uint64_t serial) const
{
    // Dropped since it was posted: a client gone, the server rebuilt.
    return !(m_pListenSoc && serial == m_pListenSoc->Serial()) && !IsNoticeFrom(serial);
}

void CTCPSrvr::AcceptClient()
{
    if (!m_pListenSoc)
        return;  // torn down since the notice was posted
    if (IsTimerRunning(kResumeAcceptTimer)) {
        m_bAcceptWaiting = true;  // taken when the pause ends; until then the socket stays silent
        return;
    }
    // A retry after a failure writes its lines only when it does not fail the same way again.
    m_bHoldLog = m_nAcceptError != 0;
    int code = 0;
    if (m_nClientLimit > 0) {
        AcceptNumberedClient();
        return;
    }
    if (m_bClient) {
        Log(QStringLiteral("ON ACCEPT ｸﾗｲｱﾝﾄは既に構築されています。"), LOG_TRACE);
        Log(QStringLiteral("ON ACCEPT 最大1ｸﾗｲｱﾝﾄのため構築後即破棄します。"), LOG_TRACE);
        CTCPSoc surplus(this, 999, m_pLogBuf, CTCPSoc::ROLE_TERM);
        if (!m_pListenSoc->Accept(&surplus))
            code = CAsyncSocket::GetLastError();
        // leaving scope closes the newcomer's connection
    } else {
        Log(QStringLiteral("ON ACCEPT ｸﾗｲｱﾝﾄ構築"), LOG_TRACE);
        m_pClientSoc = NewClientSoc(2);
        m_bClient = TRUE;
        if (!m_pListenSoc->Accept(m_pClientSoc.get())) {
            code = CAsyncSocket::GetLastError();
            DropClient();  // nothing was accepted: the slot stays free for the next client
        } else {
            m_bClientClosed = false;
            PeerChanged();
            ClientAccepted(m_pClientSoc.get());
        }
    }
    AcceptFinished(code);
}

std::unique_ptr<CTCPSoc> CTCPSrvr::NewClientSoc(int id)
{
    std::unique_ptr<CTCPSoc> client;
    if (m_pTlsContext)
        client = std::make_unique<CTlsSoc>(this, id, m_pLogBuf, m_pTlsContext);
    else
        client = std::make_unique<CTCPSoc>(this, id, m_pLogBuf, CTCPSoc::ROLE_TERM);
    client->SetSendBudget(m_pBudget);
    return client;
}

void CTCPSrvr::ClientAccepted(CTCPSoc *client)
{
    if (auto *tls = dynamic_cast<CTlsSoc *>(client))
        tls->StartAccepted([this] { DescriptionChanged(); });
}

// Writes or drops the held lines of a retry and rests after a failure.
void CTCPSrvr::AcceptFinished(int code)
{
    const bool repeated = m_bHoldLog && code == m_nAcceptError;
    m_bHoldLog = false;
    if (repeated)
        m_heldLog.clear();
    else
        ReleaseHeldLog();
    m_nAcceptError = code;
    if (code != 0)
        SetTimer(kResumeAcceptTimer, kAcceptPauseMs);
}

void CTCPSrvr::ResetAcceptPause()
{
    KillTimer(kResumeAcceptTimer);
    m_nAcceptError = 0;
    m_bAcceptWaiting = false;
}

void CTCPSrvr::OnTimer(int id)
{
    if (id != kResumeAcceptTimer)
        return;
    KillTimer(kResumeAcceptTimer);
    if (std::exchange(m_bAcceptWaiting, false))
        AcceptClient();
}

CEndpoint::Gauges CTCPSrvr::ReadGauges() const
{
    Gauges gauges;
    gauges.sendQueued = m_pClientSoc ? m_pClientSoc->QueuedBytes() : 0;
    for (const auto &client : m_clients)
        gauges.sendQueued += client.second->QueuedBytes();
    return gauges;
}
