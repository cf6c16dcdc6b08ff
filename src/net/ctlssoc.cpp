#include "net/ctlssoc.h"

#include "net/ctlscontext.h"
#include "net/socketlog.h"
#include "platform/chexconv.h"
#include "platform/csocketaddress.h"

#include <QTimer>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <utility>

#include <sys/socket.h>

namespace {

// Bytes taken from the socket at one notice, and decrypted at one go.
constexpr int kChunk = 65536;

int g_handshakeTimeoutMs = CTlsSoc::kHandshakeTimeoutMs;

// The first byte of every TLS record is one of its content types (20 to 24).
bool IsRecordStart(unsigned char byte)
{
    return byte >= 20 && byte <= 24;
}

}  // namespace

CTlsSoc::CTlsSoc(QObject *owner, int id, char *logBuf, std::shared_ptr<const CTlsContext> context)
    : CTCPSoc(owner, id, logBuf, ROLE_TERM), m_pContext(std::move(context)), m_nHandshakeTimeoutMs(g_handshakeTimeoutMs)
{
}

CTlsSoc::~CTlsSoc()
{
    SSL_free(m_pSsl);
}

void CTlsSoc::SetHandshakeTimeout(int milliseconds)
{
    g_handshakeTimeoutMs = milliseconds > 0 ? milliseconds : kHandshakeTimeoutMs;
}

bool CTlsSoc::IsUnverified() const
{
    return !m_pContext->Settings().m_bServer && m_pContext->Settings().m_verify == CTlsSettings::Verify::None;
}

bool CTlsSoc::Begin()
{
    ERR_clear_error();
    m_pSsl = m_pContext->NewConnection();
    if (!m_pSsl)
        return false;
    m_pNetIn = BIO_new(BIO_s_mem());
    m_pNetOut = BIO_new(BIO_s_mem());
    BIO_set_mem_eof_return(m_pNetIn, -1);
    SSL_set_bio(m_pSsl, m_pNetIn, m_pNetOut);
    const CTlsSettings &settings = m_pContext->Settings();
    if (settings.m_bServer) {
        SSL_set_accept_state(m_pSsl);
    } else {
        SSL_set_connect_state(m_pSsl);
        if (!SetCheckedName()) {
            m_phase = Phase::Handshaking;
            HandshakeFailed(QStringLiteral("検証する名前を設定できません: ") + m_strCheckedName);
            return true;
        }
    }
    m_phase = Phase::Handshaking;
    Log(QStringLiteral("TLS ﾊﾝﾄﾞｼｪｲｸ開始"), LOG_TRACE);
    if (!m_pHandshakeTimer) {
        m_pHandshakeTimer = std::make_unique<QTimer>();
        m_pHandshakeTimer->setSingleShot(true);
        QObject::connect(m_pHandshakeTimer.get(), &QTimer::timeout, this, [this] { HandshakeTimedOut(); });
    }
    m_pHandshakeTimer->start(m_nHandshakeTimeoutMs);
    ContinueHandshake();
    return true;
}

bool CTlsSoc::SetCheckedName()
{
    const CTlsSettings &settings = m_pContext->Settings();
    // An IPv6 address typed in brackets is checked without them, and a scoped one ("fe80::1%eth0")
    // without its scope: the certificate names the address, never the interface.
    const QString name = CSocketAddress::WithoutBrackets(settings.m_strServerName.isEmpty() ? m_strPeerName
                                                                                            : settings.m_strServerName);
    const qsizetype scope = name.indexOf(QLatin1Char('%'));
    const QString bare = scope >= 0 ? name.left(scope) : name;
    CSocketAddress address;
    const bool numeric = CSocketAddress::FromNumbers(bare, 0, &address) && (scope < 0 || bare.contains(QLatin1Char(':')));
    m_strCheckedName = numeric ? bare : name;
    const QByteArray ascii = m_strCheckedName.toUtf8();
    if (ascii.isEmpty())
        return settings.m_verify == CTlsSettings::Verify::None;  // nothing to check against: no check at all is refused
    // A name goes out as SNI; an address never does.
    if (!numeric && SSL_set_tlsext_host_name(m_pSsl, ascii.constData()) != 1)
        return false;
    if (settings.m_verify == CTlsSettings::Verify::None)
        return true;
    return numeric ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_pSsl), ascii.constData()) == 1
                   : SSL_set1_host(m_pSsl, ascii.constData()) == 1;
}

void CTlsSoc::StartAccepted(std::function<void()> established)
{
    m_established = std::move(established);
    if (!Begin())
        HandshakeFailed(CTlsContext::TakeErrors());
}

void CTlsSoc::Close()
{
    if (m_pSsl && m_phase == Phase::Open && IsOpen() && !PeerClosed()) {
        SSL_shutdown(m_pSsl);  // close_notify goes out with whatever is queued
        FlushRecords();
    }
    if (m_pHandshakeTimer)
        m_pHandshakeTimer->stop();
    SSL_free(m_pSsl);
    m_pSsl = nullptr;
    m_phase = Phase::Idle;
    m_plain.clear();
    m_nPlainBegin = 0;
    m_bNoticed = m_bPeerHeld = m_bCloseNotified = false;
    CTCPSoc::Close();
}

BOOL CTlsSoc::Send(const void *data, int length)
{
    Log(QStringLiteral("Send"), LOG_TRACE);
    if (m_phase != Phase::Open) {
        SetLastFailure(SocketFailure::Tls(QStringLiteral("TLS 接続が確立していません")));
        Log(QStringLiteral("Send() ") + LastFailure().text, LOG_ERROR);
        return FALSE;
    }
    // A slice at a time, each handed down at once: the records never pile up in memory.
    for (int at = 0; at < length; at += kChunk) {
        if (SSL_write(m_pSsl, static_cast<const char *>(data) + at, qMin(kChunk, length - at)) <= 0) {
            SetLastFailure(SocketFailure::Tls(QStringLiteral("TLS ") + CTlsContext::TakeErrors()));
            Log(QStringLiteral("Send() ") + LastFailure().text, LOG_ERROR);
            return FALSE;
        }
        if (!FlushRecords())
            return FALSE;
    }
    return TRUE;
}

int CTlsSoc::Receive(void *buffer, int length)
{
    const qsizetype held = m_plain.size() - m_nPlainBegin;
    const int taken = static_cast<int>(qMin<qsizetype>(qMax(length, 0), held));
    if (taken > 0)
        std::memcpy(buffer, m_plain.constData() + m_nPlainBegin, static_cast<size_t>(taken));
    m_nPlainBegin += taken;
    if (m_nPlainBegin == m_plain.size()) {
        m_plain.resize(0);  // keeps its capacity for the next telegram
        m_nPlainBegin = 0;
    }
    m_bNoticed = false;
    if (std::exchange(m_bPeerHeld, false))
        ReadPeer();
    Pump();
    return taken;
}

void CTlsSoc::OnConnect(int nErrorCode)
{
    if (nErrorCode != 0) {
        CTCPSoc::OnConnect(nErrorCode);
        return;
    }
    Log(QStringLiteral("OnConnect"), LOG_TRACE);
    if (!Begin())
        HandshakeFailed(CTlsContext::TakeErrors());
}

void CTlsSoc::OnReceive(int /*nErrorCode*/)
{
    if (m_phase == Phase::Open && m_plain.size() - m_nPlainBegin >= kMaxPlain) {
        m_bPeerHeld = true;  // read once the owner has taken some
        return;
    }
    // What the system holds now, a slice at a time decrypted as it comes, up to a telegram's worth:
    // the owner then reads blocks as large as a plain socket's.
    while (ReadPeer()) {
        Pump();
        if (m_phase != Phase::Open || m_plain.size() - m_nPlainBegin >= kMaxPlain)
            return;
    }
    Pump();
}

void CTlsSoc::OnClose(int nErrorCode)
{
    if (m_phase == Phase::Handshaking) {
        HandshakeFailed(m_bFirstRecordSeen ? QStringLiteral("ﾊﾝﾄﾞｼｪｲｸ中に相手が切断しました")
                                           : QStringLiteral("相手がTLSで応答せずに切断しました"));
        return;
    }
    if (m_phase == Phase::Failed)
        return;
    if (m_phase == Phase::Open) {
        Pump();  // a close_notify that came with the end is read first
        if (m_bCloseNotified)
            return;  // said once the owner has read what came before it
        Log(QStringLiteral("TLS 終了通知なしに切断されました"), LOG_WARN);
    }
    CTCPSoc::OnClose(nErrorCode);
}

bool CTlsSoc::ReadPeer()
{
    char chunk[kChunk];
    const int got = CAsyncSocket::Receive(chunk, kChunk, 0);
    if (got <= 0)
        return false;  // would block, or the end, which OnClose says
    if (!m_bFirstRecordSeen && m_phase == Phase::Handshaking) {
        m_bFirstRecordSeen = true;
        if (!IsRecordStart(static_cast<unsigned char>(chunk[0]))) {
            HandshakeFailed(QStringLiteral("相手がTLSではなく平文を送りました"));
            return false;
        }
    }
    if (!m_pSsl)
        return false;
    BIO_write(m_pNetIn, chunk, got);
    return got == kChunk;
}

void CTlsSoc::Pump()
{
    if (m_phase == Phase::Handshaking)
        ContinueHandshake();
    if (m_phase == Phase::Open)
        Decrypt();
}

void CTlsSoc::ContinueHandshake()
{
    ERR_clear_error();
    const int result = SSL_do_handshake(m_pSsl);
    if (result != 1) {
        const int error = SSL_get_error(m_pSsl, result);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
            FlushRecords();
            return;
        }
        const QString reason = CTlsContext::HandshakeFailureText(m_pSsl);
        FlushRecords();  // the alert that tells the peer why
        HandshakeFailed(reason);
        return;
    }
    if (!FlushRecords())
        return;
    m_pHandshakeTimer->stop();
    m_phase = Phase::Open;
    m_strSummary = CTlsContext::Summary(m_pSsl);
    Log(QStringLiteral("TLS ﾊﾝﾄﾞｼｪｲｸ完了 ") + m_strSummary, LOG_TRACE);
    X509 *peer = SSL_get1_peer_certificate(m_pSsl);
    if (IsUnverified()) {
        Log(QStringLiteral("TLS ｻｰﾊﾞｰ証明書は未検証です"), LOG_WARN);
        for (const QString &line : CTlsContext::CertificateLines(peer))
            Log(line, LOG_TRACE);
    } else if (peer && m_pContext->Settings().m_bServer) {
        Log(QStringLiteral("TLS ｸﾗｲｱﾝﾄ証明書 ") + CTlsContext::CertificateLines(peer).value(0), LOG_TRACE);
    }
    X509_free(peer);
    if (!m_pContext->Settings().m_bServer)
        CTCPSoc::OnConnect(0);
    else if (m_established)
        m_established();
}

void CTlsSoc::Decrypt()
{
    if (m_nPlainBegin > 0) {  // what the owner left goes to the front: the buffer stays one telegram long
        // Moved in place: QByteArray::remove would only step past the front, and the next resize
        // would then copy everything into fresh pages, once a telegram.
        const qsizetype rest = m_plain.size() - m_nPlainBegin;
        std::memmove(m_plain.data(), m_plain.constData() + m_nPlainBegin, static_cast<size_t>(rest));
        m_plain.resize(rest);
        m_nPlainBegin = 0;
    }
    while (m_plain.size() - m_nPlainBegin < kMaxPlain) {
        const qsizetype at = m_plain.size();
        m_plain.resize(at + kChunk);
        ERR_clear_error();
        const int got = SSL_read(m_pSsl, m_plain.data() + at, kChunk);
        m_plain.resize(at + qMax(got, 0));
        if (got > 0)
            continue;
        const int error = SSL_get_error(m_pSsl, got);
        if (error == SSL_ERROR_ZERO_RETURN) {
            AnswerCloseNotify();
        } else if (error != SSL_ERROR_WANT_READ) {
            // An alert after the handshake (TLS 1.3 refuses a client certificate here) in words.
            const unsigned long queued = ERR_peek_error();
            QString reason = queued ? CTlsContext::ReasonText(ERR_GET_REASON(queued)) : QString();
            if (reason.isEmpty() && CTlsContext::CertificateWasRequested(m_pSsl))
                reason = CTlsContext::ReasonText(SSL_R_TLSV13_ALERT_CERTIFICATE_REQUIRED);
            const QString all = CTlsContext::TakeErrors();
            SetLastFailure(SocketFailure::Tls(QStringLiteral("TLS ") + (reason.isEmpty() ? all : reason)));
            Log(QStringLiteral("Receive() ") + LastFailure().text, LOG_ERROR);
        }
        break;
    }
    if (m_pSsl && !m_bCloseNotified)
        FlushRecords();  // what reading answers (a key update)
    if (m_plain.size() > m_nPlainBegin && !m_bNoticed) {
        m_bNoticed = true;
        PostEvent(EV_RECEIVE, Id());
    }
    // The owner hears of the close once it has read what came before it.
    if (m_bCloseNotified && m_plain.size() == m_nPlainBegin && !PeerClosed())
        CTCPSoc::OnClose(0);
}

void CTlsSoc::AnswerCloseNotify()
{
    if (std::exchange(m_bCloseNotified, true))
        return;
    Log(QStringLiteral("TLS 相手が正常に終了しました"), LOG_TRACE);
    // Our close_notify back, then the end of our stream: the peer need not wait for a time-out.
    SSL_shutdown(m_pSsl);
    FlushRecords();
    if (IsOpen())
        ::shutdown(m_hSocket, SHUT_WR);
}

bool CTlsSoc::FlushRecords()
{
    char chunk[kChunk];
    int pending;
    while ((pending = BIO_read(m_pNetOut, chunk, kChunk)) > 0) {
        if (!SendBytes(chunk, pending))
            return false;
    }
    return true;
}

void CTlsSoc::HandshakeTimedOut()
{
    if (m_phase != Phase::Handshaking)
        return;
    HandshakeFailed(QStringLiteral("相手が応答しません(%1秒)").arg(QString::number(m_nHandshakeTimeoutMs / 1000.0)));
}

void CTlsSoc::HandshakeFailed(const QString &reason)
{
    if (m_pHandshakeTimer)
        m_pHandshakeTimer->stop();
    m_phase = Phase::Failed;
    SetLastFailure(SocketFailure::Tls(QStringLiteral("TLS ") + reason));
    Log(QStringLiteral("TLS ﾊﾝﾄﾞｼｪｲｸ失敗 ") + reason, LOG_ERROR);
    if (!m_pContext->Settings().m_bServer)
    {
        std::uint32_t param = 0;
        SetWordHalf(&param, static_cast<std::uint16_t>(WSAECONNABORTED), 0);
        SetWordHalf(&param, static_cast<std::uint16_t>(Id()), 1);
        PostEvent(EV_CONNECT_DONE, static_cast<LPARAM>(param));
    }
    else
        CTCPSoc::OnClose(WSAECONNABORTED);  // the server lets the client go as at its close
}
