#include "net/ctlscontext.h"

#include "net/ctlsfile.h"
#include "platform/prompts.h"

#include <QFile>
#include <QFileInfo>

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <utility>

namespace {

CTlsContext::PassphraseSource g_passphraseSource;

// The slot of a client connection that records a server's request for a certificate it had none for.
int RequestedIndex()
{
    static const int index = SSL_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

int NoteCertificateRequest(SSL *ssl, X509 **, EVP_PKEY **)
{
    SSL_set_ex_data(ssl, RequestedIndex(), reinterpret_cast<void *>(1));
    return 0;  // none to give
}

// Certificates and CA files are never encrypted: a file asking for a passphrase there fails.
int NoPassphrase(char *, int, int, void *)
{
    return -1;
}

struct KeyPassphrase
{
    QString path;
    bool asked = false;
    bool given = false;
};

int AskPassphrase(char *buffer, int size, int, void *data)
{
    auto *state = static_cast<KeyPassphrase *>(data);
    // The library may try the key in several forms: a user who cancelled is not asked again.
    if (std::exchange(state->asked, true) && !state->given)
        return -1;
    QByteArray passphrase;
    bool given = false;
    if (g_passphraseSource) {
        given = g_passphraseSource(state->path, &passphrase);
    } else {
        QString typed;
        given = Prompts::Instance().Secret(
            nullptr, QStringLiteral("秘密鍵 %1 のﾊﾟｽﾌﾚｰｽﾞを入力してください。").arg(QFileInfo(state->path).fileName()),
            Prompts::AppTitle(), &typed);
        passphrase = typed.toUtf8();
        typed.fill(QLatin1Char(' '));
    }
    int length = -1;
    if (given && passphrase.size() <= size) {
        state->given = true;
        length = int(passphrase.size());
        std::memcpy(buffer, passphrase.constData(), size_t(length));
    }
    OPENSSL_cleanse(passphrase.data(), size_t(passphrase.size()));
    return length;
}

struct BioFreer
{
    void operator()(BIO *bio) const { BIO_free(bio); }
};
using MemoryBio = std::unique_ptr<BIO, BioFreer>;

MemoryBio ReadOnlyBio(const QByteArray &bytes)
{
    return MemoryBio(BIO_new_mem_buf(bytes.constData(), int(bytes.size())));
}

// The certificates (and revocation lists) of a PEM text into `store`; the number of certificates.
int AddCertificates(const QByteArray &pem, X509_STORE *store)
{
    const MemoryBio bio = ReadOnlyBio(pem);
    STACK_OF(X509_INFO) *infos = bio ? PEM_X509_INFO_read_bio(bio.get(), nullptr, NoPassphrase, nullptr) : nullptr;
    if (!infos)
        return 0;
    int added = 0;
    for (int i = 0; i < sk_X509_INFO_num(infos); ++i) {
        const X509_INFO *info = sk_X509_INFO_value(infos, i);
        if (info->x509) {
            if (store && X509_STORE_add_cert(store, info->x509) != 1)
                return sk_X509_INFO_pop_free(infos, X509_INFO_free), -1;
            ++added;
        }
        if (info->crl && store && X509_STORE_add_crl(store, info->crl) != 1)
            return sk_X509_INFO_pop_free(infos, X509_INFO_free), -1;
    }
    sk_X509_INFO_pop_free(infos, X509_INFO_free);
    return added;
}

QString Local8(const char *text)
{
    return QString::fromLocal8Bit(text ? text : "");
}

QString NameText(const X509_NAME *name)
{
    BIO *bio = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
    char *data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    const QString text = QString::fromUtf8(data, length);
    BIO_free(bio);
    return text;
}

QString TimeText(const ASN1_TIME *time)
{
    tm parts{};
    if (!ASN1_TIME_to_tm(time, &parts))
        return QStringLiteral("?");
    return QString::asprintf("%04d/%02d/%02d %02d:%02d:%02d UTC", parts.tm_year + 1900, parts.tm_mon + 1,
                             parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
}

}  // namespace

// The peer sends something that is no TLS record, or a version we do not share.
QString CTlsContext::ReasonText(int reason)
{
    switch (reason) {
    case SSL_R_UNSUPPORTED_PROTOCOL:
    case SSL_R_NO_PROTOCOLS_AVAILABLE:
    case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
    case SSL_R_WRONG_SSL_VERSION:
        return QStringLiteral("共通のTLSﾊﾞｰｼﾞｮﾝがありません");
    case SSL_R_WRONG_VERSION_NUMBER:
    case SSL_R_PACKET_LENGTH_TOO_LONG:
    case SSL_R_HTTP_REQUEST:
    case SSL_R_HTTPS_PROXY_REQUEST:
        return QStringLiteral("相手がTLSではなく平文を送りました");
    case SSL_R_NO_SHARED_CIPHER:
        return QStringLiteral("共通の暗号方式がありません");
    case SSL_R_PEER_DID_NOT_RETURN_A_CERTIFICATE:
    case SSL_R_TLSV13_ALERT_CERTIFICATE_REQUIRED:
        return QStringLiteral("ｸﾗｲｱﾝﾄ証明書がありません");
    case SSL_R_TLSV1_ALERT_UNKNOWN_CA:
        return QStringLiteral("相手が証明書の発行元(CA)を信頼していません");
    case SSL_R_SSLV3_ALERT_CERTIFICATE_EXPIRED:
        return QStringLiteral("相手が証明書を期限切れとしました");
    case SSL_R_SSLV3_ALERT_BAD_CERTIFICATE:
    case SSL_R_SSLV3_ALERT_CERTIFICATE_UNKNOWN:
        return QStringLiteral("相手が証明書を拒否しました");
    case SSL_R_NO_APPLICATION_PROTOCOL:
    case SSL_R_TLSV1_ALERT_NO_APPLICATION_PROTOCOL:
        return QStringLiteral("共通のALPNﾌﾟﾛﾄｺﾙがありません");
    default:
        return {};
    }
}

namespace {

QString VerifyText(long result)
{
    switch (result) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral("証明書の有効期限が切れています");
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("証明書はまだ有効になっていません");
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("ｻｰﾊﾞｰ名が証明書の名前と一致しません");
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        return QStringLiteral("証明書の発行元(CA)が不明です");
    default:
        return QStringLiteral("証明書を検証できません: ") + Local8(X509_verify_cert_error_string(result));
    }
}

// The library's queued errors say the key belongs to another certificate (or is of another kind).
bool KeyMismatchQueued()
{
    for (const unsigned long error : {ERR_peek_error(), ERR_peek_last_error()}) {
        if (ERR_GET_LIB(error) == ERR_LIB_X509 &&
            (ERR_GET_REASON(error) == X509_R_KEY_VALUES_MISMATCH || ERR_GET_REASON(error) == X509_R_KEY_TYPE_MISMATCH))
            return true;
    }
    return false;
}

// "証明書ﾌｧｲﾙを読めません: name.pem": the file's name alone, the folder being in the Log.
QString UnreadableText(const QString &what, const QString &path)
{
    if (path.isEmpty())
        return what + QStringLiteral("が指定されていません");
    return what + QStringLiteral("を読めません: ") + QFileInfo(path).fileName();
}

}  // namespace

std::unique_ptr<CTlsContext> CTlsContext::Make(const CTlsSettings &settings, QString *failure, QString *brief)
{
    std::unique_ptr<CTlsContext> context(new CTlsContext);
    context->m_settings = settings;
    QString shortText;
    if (!context->Load(failure, &shortText)) {
        if (brief)
            *brief = shortText.isEmpty() ? *failure : shortText;
        return nullptr;
    }
    return context;
}

std::unique_ptr<CTlsContext> CTlsContext::MakeForOpen(const CTlsSettings &settings, SocketFailure *failure)
{
    QString detail;
    QString brief;
    std::unique_ptr<CTlsContext> context = Make(settings, &detail, &brief);
    if (!context)
        *failure = SocketFailure::Tls(QStringLiteral("TLS ") + brief, QStringLiteral("TLS ") + detail);
    return context;
}

CTlsContext::~CTlsContext()
{
    SSL_CTX_free(m_pCtx);
}

void CTlsContext::SetPassphraseSource(PassphraseSource source)
{
    g_passphraseSource = std::move(source);
}

bool CTlsContext::CheckCaFile(const QString &path, QString *reason)
{
    QByteArray pem;
    if (!CTlsFile::Read(path, &pem, reason))
        return false;
    ERR_clear_error();
    const int certificates = AddCertificates(pem, nullptr);
    ERR_clear_error();
    if (certificates <= 0) {
        *reason = QStringLiteral("証明書がありません");
        return false;
    }
    return true;
}

bool CTlsContext::LoadCertificate(const QByteArray &pem)
{
    // The first certificate is the side's own, the rest its chain, as the chain file form has it.
    const MemoryBio bio = ReadOnlyBio(pem);
    X509 *own = bio ? PEM_read_bio_X509_AUX(bio.get(), nullptr, NoPassphrase, nullptr) : nullptr;
    if (!own)
        return false;
    const bool used = SSL_CTX_use_certificate(m_pCtx, own) == 1;
    X509_free(own);
    if (!used || SSL_CTX_clear_chain_certs(m_pCtx) != 1)
        return false;
    while (X509 *next = PEM_read_bio_X509(bio.get(), nullptr, NoPassphrase, nullptr)) {
        if (SSL_CTX_add0_chain_cert(m_pCtx, next) != 1) {
            X509_free(next);
            return false;
        }
    }
    // The end of the text ends the chain; anything else is a broken file.
    const unsigned long last = ERR_peek_last_error();
    if (ERR_GET_LIB(last) == ERR_LIB_PEM && ERR_GET_REASON(last) == PEM_R_NO_START_LINE)
        ERR_clear_error();
    return ERR_peek_error() == 0;
}

bool CTlsContext::LoadKey(const QByteArray &pem, const QString &path, QString *reason)
{
    const MemoryBio bio = ReadOnlyBio(pem);
    KeyPassphrase passphrase{path};
    EVP_PKEY *key = bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, AskPassphrase, &passphrase) : nullptr;
    if (!key) {
        if (passphrase.asked) {
            *reason = passphrase.given ? QStringLiteral("秘密鍵のﾊﾟｽﾌﾚｰｽﾞが違います") : QStringLiteral("秘密鍵にﾊﾟｽﾌﾚｰｽﾞが必要です");
            ERR_clear_error();
        }
        return false;
    }
    const bool used = SSL_CTX_use_PrivateKey(m_pCtx, key) == 1;
    EVP_PKEY_free(key);
    return used;
}

bool CTlsContext::Load(QString *failure, QString *brief)
{
    const CTlsSettings &s = m_settings;
    ERR_clear_error();
    m_pCtx = SSL_CTX_new(s.m_bServer ? TLS_server_method() : TLS_client_method());
    if (!m_pCtx || SSL_CTX_set_min_proto_version(m_pCtx, s.m_nMinVersion) != 1 ||
        SSL_CTX_set_max_proto_version(m_pCtx, s.m_nMaxVersion) != 1) {
        *failure = *brief = QStringLiteral("TLS を準備できません: ") + TakeErrors();
        return false;
    }
    // `cause`: the fault in words ("ﾌｫﾙﾀﾞです"); without it the library's errors say it.
    const auto fileFailed = [failure, brief](const QString &what, const QString &path, const QString &cause = {},
                                             const QString &inBrief = {}) {
        const QString errors = TakeErrors();
        *brief = inBrief.isEmpty() ? UnreadableText(what, path) : inBrief;
        *failure = what + QStringLiteral("を読めません (") + path + QStringLiteral("): ") + (cause.isEmpty() ? errors : cause);
        return false;
    };
    // Every file is read whole first, never opened by the library: a FIFO or a device must not block.
    QByteArray pem;
    QString cause;
    const auto readFile = [&pem, &cause](const QString &path) { return CTlsFile::Read(path, &pem, &cause); };
    // The pane names what is wrong with a file that is there; a missing one keeps its short words.
    const auto readFailed = [&](const QString &what, const QString &path) {
        const bool shown = !path.isEmpty() && QFileInfo::exists(path);
        return fileFailed(what, path, cause,
                          shown ? UnreadableText(what, path) + QStringLiteral(" (") + cause + QLatin1Char(')') : QString());
    };
    if (!s.m_strCertFile.isEmpty() || s.m_bServer) {
        if (!readFile(s.m_strCertFile))
            return readFailed(QStringLiteral("証明書ﾌｧｲﾙ"), s.m_strCertFile);
        if (!LoadCertificate(pem))
            return fileFailed(QStringLiteral("証明書ﾌｧｲﾙ"), s.m_strCertFile);
        const QString key = s.m_strKeyFile.isEmpty() ? s.m_strCertFile : s.m_strKeyFile;
        if (!readFile(key))
            return readFailed(QStringLiteral("秘密鍵ﾌｧｲﾙ"), key);
        QString passphraseFault;
        const bool keyRead = LoadKey(pem, key, &passphraseFault);
        OPENSSL_cleanse(pem.data(), size_t(pem.size()));
        if (!passphraseFault.isEmpty())
            return fileFailed(QStringLiteral("秘密鍵ﾌｧｲﾙ"), key, passphraseFault, passphraseFault);
        if (!keyRead || SSL_CTX_check_private_key(m_pCtx) != 1) {
            const bool mismatch = keyRead || KeyMismatchQueued();
            return fileFailed(QStringLiteral("秘密鍵ﾌｧｲﾙ"), key, {},
                              mismatch ? QStringLiteral("秘密鍵が証明書と一致しません") : QString());
        }
    }
    const bool verifyPeer = s.m_bServer ? s.m_clientCert != CTlsSettings::ClientCert::None
                                        : s.m_verify != CTlsSettings::Verify::None;
    if (verifyPeer) {
        if (!s.m_strCaFile.isEmpty() && (s.m_bServer || s.m_verify == CTlsSettings::Verify::CaFile)) {
            if (!readFile(s.m_strCaFile))
                return readFailed(QStringLiteral("CAﾌｧｲﾙ"), s.m_strCaFile);
            const int added = AddCertificates(pem, SSL_CTX_get_cert_store(m_pCtx));
            if (added == 0)
                return fileFailed(QStringLiteral("CAﾌｧｲﾙ"), s.m_strCaFile, QStringLiteral("証明書がありません"),
                                  UnreadableText(QStringLiteral("CAﾌｧｲﾙ"), s.m_strCaFile) + QStringLiteral(" (証明書がありません)"));
            if (added < 0)
                return fileFailed(QStringLiteral("CAﾌｧｲﾙ"), s.m_strCaFile);
            ERR_clear_error();  // the end of the text
        } else if (s.m_verify == CTlsSettings::Verify::CaFile) {
            return fileFailed(QStringLiteral("CAﾌｧｲﾙ"), s.m_strCaFile);
        } else if (SSL_CTX_set_default_verify_paths(m_pCtx) != 1) {
            *failure = *brief = QStringLiteral("ｼｽﾃﾑのCAｽﾄｱを読めません: ") + TakeErrors();
            return false;
        }
        int mode = SSL_VERIFY_PEER;
        if (s.m_bServer && s.m_clientCert == CTlsSettings::ClientCert::Require)
            mode |= SSL_VERIFY_FAIL_IF_NO_PEER_CERT;
        SSL_CTX_set_verify(m_pCtx, mode, nullptr);
    } else {
        SSL_CTX_set_verify(m_pCtx, SSL_VERIFY_NONE, nullptr);
    }
    if (!s.m_bServer && s.m_strCertFile.isEmpty())
        SSL_CTX_set_client_cert_cb(m_pCtx, NoteCertificateRequest);
    for (const QString &protocol : s.m_alpn) {
        const QByteArray name = protocol.toLatin1().left(255);
        m_alpnWire.append(char(name.size())).append(name);
    }
    if (!m_alpnWire.isEmpty()) {
        if (s.m_bServer) {
            SSL_CTX_set_alpn_select_cb(
                m_pCtx,
                [](SSL *, const unsigned char **out, unsigned char *outLength, const unsigned char *in,
                   unsigned inLength, void *arg) -> int {
                    const QByteArray *ours = static_cast<const QByteArray *>(arg);
                    unsigned char *chosen = nullptr;
                    if (SSL_select_next_proto(&chosen, outLength, reinterpret_cast<const unsigned char *>(ours->constData()),
                                              unsigned(ours->size()), in, inLength) != OPENSSL_NPN_NEGOTIATED)
                        return SSL_TLSEXT_ERR_NOACK;
                    *out = chosen;
                    return SSL_TLSEXT_ERR_OK;
                },
                &m_alpnWire);
        } else if (SSL_CTX_set_alpn_protos(m_pCtx, reinterpret_cast<const unsigned char *>(m_alpnWire.constData()),
                                           unsigned(m_alpnWire.size())) != 0) {  // 0 is success here
            *failure = *brief = QStringLiteral("ALPN を設定できません: ") + TakeErrors();
            return false;
        }
    }
    return true;
}

ssl_st *CTlsContext::NewConnection() const
{
    return SSL_new(m_pCtx);
}

bool CTlsContext::CertificateWasRequested(const ssl_st *ssl)
{
    return SSL_get_ex_data(ssl, RequestedIndex()) != nullptr;
}

QString CTlsContext::HandshakeFailureText(const ssl_st *ssl)
{
    // A side that does not verify still has a result: it is no reason for the failure.
    const long verified = SSL_get_verify_mode(ssl) != SSL_VERIFY_NONE ? SSL_get_verify_result(ssl) : X509_V_OK;
    if (verified != X509_V_OK) {
        ERR_clear_error();
        return VerifyText(verified);
    }
    const unsigned long error = ERR_peek_error();
    QString known = error ? ReasonText(ERR_GET_REASON(error)) : QString();
    // A server that wanted a certificate the client had none for says only "handshake failure".
    if (CertificateWasRequested(ssl) && (known.isEmpty() || ERR_GET_REASON(error) == SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE))
        known = ReasonText(SSL_R_TLSV13_ALERT_CERTIFICATE_REQUIRED);
    const QString all = TakeErrors();
    if (!known.isEmpty())
        return known;
    return all.isEmpty() ? QStringLiteral("ﾊﾝﾄﾞｼｪｲｸに失敗しました") : QStringLiteral("ﾊﾝﾄﾞｼｪｲｸに失敗しました: ") + all;
}

QString CTlsContext::Summary(const ssl_st *ssl)
{
    QString text = Local8(SSL_get_version(ssl)).remove(QLatin1Char('v')) + QLatin1Char(' ') +
                   Local8(SSL_CIPHER_get_name(SSL_get_current_cipher(ssl)));
    const unsigned char *alpn = nullptr;
    unsigned length = 0;
    SSL_get0_alpn_selected(ssl, &alpn, &length);
    if (length > 0)
        text += QStringLiteral(" ALPN:") + QString::fromLatin1(reinterpret_cast<const char *>(alpn), length);
    return text;
}

QStringList CTlsContext::CertificateLines(x509_st *certificate)
{
    if (!certificate)
        return {QStringLiteral("証明書がありません")};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    X509_digest(certificate, EVP_sha256(), digest, &length);
    QStringList hex;
    for (unsigned i = 0; i < length; ++i)
        hex.append(QString::asprintf("%02X", digest[i]));
    return {QStringLiteral("証明書 ｻﾌﾞｼﾞｪｸﾄ:") + NameText(X509_get_subject_name(certificate)),
            QStringLiteral("証明書 発行者:") + NameText(X509_get_issuer_name(certificate)),
            QStringLiteral("証明書 有効期間:") + TimeText(X509_get0_notBefore(certificate)) + QStringLiteral(" - ") +
                TimeText(X509_get0_notAfter(certificate)),
            QStringLiteral("証明書 SHA-256:") + hex.join(QLatin1Char(':'))};
}

QString CTlsContext::TakeErrors()
{
    QStringList texts;
    while (const unsigned long error = ERR_get_error()) {
        const char *reason = ERR_reason_error_string(error);
        texts.append(reason ? Local8(reason) : QString::number(error, 16));
    }
    return texts.join(QStringLiteral(", "));
}
