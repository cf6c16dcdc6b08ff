#include "net/ctcpsoc.h"

#include "net/csendbudget.h"
#include "platform/chexconv.h"
#include "net/socketerrors.h"
#include "net/socketlog.h"
#include "platform/cmessageevent.h"

#include <QTimer>

#include <netinet/in.h>

CTCPSoc::CTCPSoc(QObject *owner, int id, char *logBuf, int role)
    : m_nRole(role), m_pLogBuf(logBuf), m_nId(id), m_pOwner(owner),
      m_pBudget(std::make_shared<CSendBudget>(kMaxQueued))
{
}

CTCPSoc::~CTCPSoc()
{
    m_pBudget->Forget(this);
    CountQueued(-m_nQueued);
}

void CTCPSoc::SetSendBudget(std::shared_ptr<CSendBudget> budget)
{
    m_pBudget->Forget(this);
    m_pBudget->Add(-m_nQueued);
    m_pBudget = std::move(budget);
    m_pBudget->Add(m_nQueued);
    if (m_bReadHeld)
        m_pBudget->Hold(this);
}

void CTCPSoc::CountQueued(qsizetype delta)
{
    m_nQueued += delta;
    m_pBudget->Add(delta);
}

void CTCPSoc::Close()
{
    DropQueue();
    m_bReadHeld = false;
    m_pBudget->Forget(this);
    m_pDrainTimer.reset();
    CAsyncSocket::Close();
}

void CTCPSoc::CloseWhenSent(std::function<void()> closed)
{
    m_closedWhenSent = std::move(closed);
    if (m_nQueued == 0) {
        FinishClosing();
        return;
    }
    m_pDrainTimer = std::make_unique<QTimer>();
    m_nQueuedAtLastCheck = m_nQueued;
    QObject::connect(m_pDrainTimer.get(), &QTimer::timeout, this, [this] { CheckDrainProgress(); });
    m_pDrainTimer->start(kDrainIdleMs);
}

void CTCPSoc::CheckDrainProgress()
{
    if (m_nQueued == m_nQueuedAtLastCheck)
        FinishClosing();  // the peer reads no more: what is left is dropped
    else
        m_nQueuedAtLastCheck = m_nQueued;
}

void CTCPSoc::FinishClosing()
{
    Close();
    // Told from the event loop: the owner may then destroy this socket, which is still on the stack.
    if (auto closed = std::exchange(m_closedWhenSent, {}); closed && m_pOwner)
        QMetaObject::invokeMethod(m_pOwner, std::move(closed), Qt::QueuedConnection);
}

BOOL CTCPSoc::Create(unsigned port)
{
    Log(QString::asprintf("Create[port:%d]", static_cast<int>(port)), LOG_TRACE);
    if (CAsyncSocket::Create(port, SOCK_STREAM, FD_ALL_EVENTS, nullptr))
        return TRUE;
    LogFailure("Create", SocketErrorTable::Connect, GetLastError(), kUnknownError);
    return FALSE;
}

BOOL CTCPSoc::Connect(const QString &address, unsigned port)
{
    Log(QStringLiteral("Connect[adr:") + address + QStringLiteral(" port:") +
            QString::number(static_cast<int>(port)) + QLatin1Char(']'),
        LOG_TRACE);
    if (!CheckRole(ROLE_TERM))
        return FALSE;
    if (CAsyncSocket::Connect(address, port) || GetLastError() == WSAEWOULDBLOCK)
        return TRUE;
    LogFailure("Connect", SocketErrorTable::Connect, GetLastError(), kUnknownError);
    return FALSE;
}

BOOL CTCPSoc::Listen(int backlog)
{
    Log(QStringLiteral("Listen"), LOG_TRACE);
    if (!CheckRole(ROLE_SRVR))
        return FALSE;
    if (CAsyncSocket::Listen(backlog))
        return TRUE;
    LogFailure("Listen", SocketErrorTable::Listen, GetLastError(), kUnknownErrorAfterCall);
    return FALSE;
}

BOOL CTCPSoc::Accept(CTCPSoc *client)
{
    if (!CheckRole(ROLE_SRVR))
        return FALSE;
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (!client)
        SetLastError(WSAEFAULT);
    else if (CAsyncSocket::Accept(*client, reinterpret_cast<sockaddr *>(&address), &length)) {
        // An IPv4 client of a dual-stack server reads as plain IPv4, an IPv6 one in brackets.
        const CSocketAddress peer = CSocketAddress::FromSockaddr(reinterpret_cast<const sockaddr *>(&address), length);
        const QString host = peer.HostText();
        Log(QStringLiteral("ｸﾗｲｱﾝﾄ情報 ADR:%1 PORT:%2")
                .arg(host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host)
                .arg(peer.Port()),
            LOG_TRACE);
        return TRUE;
    }
    LogFailure("Accept", SocketErrorTable::Accept, GetLastError(), kUnknownErrorAfterCall);
    return FALSE;
}

BOOL CTCPSoc::Send(const void *data, int length)
{
    Log(QStringLiteral("Send"), LOG_TRACE);
    return SendBytes(data, length);
}

BOOL CTCPSoc::SendBytes(const void *data, int length)
{
    // Past the shared budget only a socket whose bytes already wait is refused: a telegram offered
    // to an idle socket mostly goes out at once.
    if (length > 0 && (m_nQueued + length > kMaxQueued || (m_nQueued > 0 && !m_pBudget->Admits(length)))) {
        SetLastError(WSAENOBUFS);
        SendFailed(WSAENOBUFS);
        return FALSE;
    }
    int sent = 0;
    if (m_nQueued == 0) {
        // Nothing waits: offer the telegram to the socket at once.
        sent = CAsyncSocket::Send(data, length, 0);
        if (sent == SOCKET_ERROR) {
            if (GetLastError() != WSAEWOULDBLOCK) {
                SendFailed(GetLastError());
                return FALSE;
            }
            sent = 0;
        }
    }
    if (sent < length) {
        // The socket has said it will tell us when it takes more (OnSend).
        m_queue.emplace_back(static_cast<const char *>(data) + sent, length - sent);
        CountQueued(length - sent);
    }
    return TRUE;
}

bool CTCPSoc::Flush()
{
    while (!m_queue.empty()) {
        const QByteArray &front = m_queue.front();
        const int rest = static_cast<int>(front.size() - m_nFrontSent);
        const int sent = CAsyncSocket::Send(front.constData() + m_nFrontSent, rest, 0);
        if (sent == SOCKET_ERROR) {
            const int code = GetLastError();
            if (code == WSAEWOULDBLOCK)
                return true;
            DropQueue();
            SendFailed(code);
            return false;
        }
        CountQueued(-sent);
        if (sent < rest) {
            m_nFrontSent += sent;
            return true;
        }
        m_queue.pop_front();
        m_nFrontSent = 0;
    }
    return true;
}

void CTCPSoc::DropQueue()
{
    m_queue.clear();
    m_nFrontSent = 0;
    CountQueued(-m_nQueued);
}

void CTCPSoc::SendFailed(int code)
{
    LogFailure("Send", SocketErrorTable::Send, code, kUnknownErrorAfterCall);
}

void CTCPSoc::LogFailure(const char *operation, SocketErrorTable table, int code, const char *defaultText)
{
    m_lastFailure = SocketFailure::Winsock(code, SocketErrorText(table, code, QString::fromUtf8(defaultText)));
    Log(QString::fromLatin1(operation) + QStringLiteral("() ") + m_lastFailure.text, LOG_ERROR);
}

int CTCPSoc::Receive(void *buffer, int length)
{
    const int received = CAsyncSocket::Receive(buffer, length, 0);
    if (received != SOCKET_ERROR)
        return received;
    LogFailure("Receive", SocketErrorTable::Receive, GetLastError(), kUnknownError);
    return 0;
}

BOOL CTCPSoc::CheckRole(int role)
{
    if (m_nRole == role)
        return TRUE;
    m_lastFailure = SocketFailure::Winsock(0, QStringLiteral("ｻｰﾊﾞ/ｸﾗｲｱﾝﾄ制御異常"));
    Log(m_lastFailure.text, LOG_ERROR);
    return FALSE;
}

void CTCPSoc::Log(const QString &text, int kind)
{
    SendSocketLog(m_pLogBuf, m_pOwner, text, kind,
                  m_nRole == ROLE_SRVR ? QStringView(u"[CTCPSoc(Srvr)]") : QStringView(u"[CTCPSoc(Term)]"));
}

void CTCPSoc::PostEvent(SessionEvent code, LPARAM lParam)
{
    PostMessage(m_pOwner, WM_SESSION_EVENT, static_cast<WPARAM>(code), lParam, Serial());
}

void CTCPSoc::OnReceive(int nErrorCode)
{
    if (m_nQueued > kHoldReadingAt || (m_nQueued > 0 && m_pBudget->Holds())) {
        // Said once the queue has drained (OnSend), or the shared budget has (ResumeReading); until
        // then the socket stays quiet and the peer's sending stops when the buffers between us are full.
        m_bReadHeld = true;
        m_pBudget->Hold(this);
        return;
    }
    PostEvent(EV_RECEIVE, m_nId);
    CAsyncSocket::OnReceive(nErrorCode);
}

void CTCPSoc::OnSend(int nErrorCode)
{
    // Waiting bytes go first; the owner hears of a writable socket only once nothing waits.
    const bool flushed = Flush();
    if (m_pDrainTimer && (!flushed || m_nQueued == 0)) {
        FinishClosing();  // closing: all sent, or the peer is gone
        return;
    }
    if (m_bReadHeld && MayResumeReading()) {
        m_bReadHeld = false;
        m_pBudget->Forget(this);
        PostEvent(EV_RECEIVE, m_nId);
    }
    if (!flushed || m_nQueued > 0)
        return;
    PostEvent(EV_SEND_READY, m_nId);
    CAsyncSocket::OnSend(nErrorCode);
}

bool CTCPSoc::MayResumeReading() const
{
    // Under the budget's hold a socket with nothing waiting reads on: its echo goes out at once.
    return m_nQueued <= kResumeReadingAt && (m_nQueued == 0 || !m_pBudget->Holds());
}

void CTCPSoc::ResumeReading()
{
    if (!m_bReadHeld || !IsOpen())
        return;
    if (!MayResumeReading()) {
        m_pBudget->Hold(this);
        return;
    }
    m_bReadHeld = false;
    PostEvent(EV_RECEIVE, m_nId);
}

void CTCPSoc::OnOutOfBandData(int nErrorCode)
{
    Log(QStringLiteral("OnOutOfBandData"), LOG_TRACE);
    CAsyncSocket::OnOutOfBandData(nErrorCode);
}

void CTCPSoc::OnAccept(int nErrorCode)
{
    PostEvent(EV_ACCEPT, m_nId);
    CAsyncSocket::OnAccept(nErrorCode);
}

void CTCPSoc::OnConnect(int nErrorCode)
{
    Log(QStringLiteral("OnConnect"), LOG_TRACE);
    if (CheckRole(ROLE_TERM) && nErrorCode != 0) {
        m_lastFailure = SocketFailure::Winsock(nErrorCode, SocketErrorText(SocketErrorTable::Connect, nErrorCode,
                                                                           QString::fromUtf8(kUnknownErrorAfterCall)));
        Log(m_lastFailure.text, LOG_ERROR);
    }
    std::uint32_t param = 0;
    SetWordHalf(&param, static_cast<std::uint16_t>(nErrorCode), 0);
    SetWordHalf(&param, static_cast<std::uint16_t>(m_nId), 1);
    PostEvent(EV_CONNECT_DONE, static_cast<LPARAM>(param));
    CAsyncSocket::OnConnect(nErrorCode);
}

void CTCPSoc::OnClose(int nErrorCode)
{
    Log(QStringLiteral("OnClose"), LOG_TRACE);
    m_bPeerClosed = true;
    PostEvent(EV_CLOSED, m_nId);
    CAsyncSocket::OnClose(nErrorCode);
}
