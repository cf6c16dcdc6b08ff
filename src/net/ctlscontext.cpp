#include "net/ctlscontext.h"

#include <QFile>
#include <QFileInfo>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace {

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

// The peer sends something that is no TLS record, or a version we do not share.
QString ReasonText(int reason)
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

CTlsContext::~CTlsContext()
{
    SSL_CTX_free(m_pCtx);
}

bool CTlsContext::Load(QString *failure, QString *brief)
{
    const CTlsSettings &s = m_settings;
    ERR_clear_error();
    m_pCtx = SSL_CTX_new(s.m_bServer ? TLS_server_method() : TLS_client_method());
    if (!m_pCtx) {
        *failure = TakeErrors();
        return false;
    }
    SSL_CTX_set_min_proto_version(m_pCtx, s.m_nMinVersion);
    SSL_CTX_set_max_proto_version(m_pCtx, s.m_nMaxVersion);
    const auto fileFailed = [failure, brief](const QString &what, const QString &path, const QString &inBrief = {}) {
        *brief = inBrief.isEmpty() ? UnreadableText(what, path) : inBrief;
        *failure = what + QStringLiteral("を読めません (") + path + QStringLiteral("): ") + TakeErrors();
        return false;
    };
    if (!s.m_strCertFile.isEmpty() || s.m_bServer) {
        if (SSL_CTX_use_certificate_chain_file(m_pCtx, QFile::encodeName(s.m_strCertFile).constData()) != 1)
            return fileFailed(QStringLiteral("証明書ﾌｧｲﾙ"), s.m_strCertFile);
        const QString key = s.m_strKeyFile.isEmpty() ? s.m_strCertFile : s.m_strKeyFile;
        const bool keyRead = SSL_CTX_use_PrivateKey_file(m_pCtx, QFile::encodeName(key).constData(), SSL_FILETYPE_PEM) == 1;
        if (!keyRead || SSL_CTX_check_private_key(m_pCtx) != 1) {
            const bool mismatch = keyRead || KeyMismatchQueued();
            return fileFailed(QStringLiteral("秘密鍵ﾌｧｲﾙ"), key,
                              mismatch ? QStringLiteral("秘密鍵が証明書と一致しません") : QString());
        }
    }
    const bool verifyPeer = s.m_bServer ? s.m_clientCert != CTlsSettings::ClientCert::None
                                        : s.m_verify != CTlsSettings::Verify::None;
    if (verifyPeer) {
        if (!s.m_strCaFile.isEmpty() && (s.m_bServer || s.m_verify == CTlsSettings::Verify::CaFile)) {
            if (SSL_CTX_load_verify_locations(m_pCtx, QFile::encodeName(s.m_strCaFile).constData(), nullptr) != 1)
                return fileFailed(QStringLiteral("CAﾌｧｲﾙ"), s.m_strCaFile);
        } else if (s.m_verify == CTlsSettings::Verify::CaFile) {
            return fileFailed(QStringLiteral("CAﾌｧｲﾙ"), s.m_strCaFile);
        } else {
            SSL_CTX_set_default_verify_paths(m_pCtx);
        }
        int mode = SSL_VERIFY_PEER;
        if (s.m_bServer && s.m_clientCert == CTlsSettings::ClientCert::Require)
            mode |= SSL_VERIFY_FAIL_IF_NO_PEER_CERT;
        SSL_CTX_set_verify(m_pCtx, mode, nullptr);
    } else {
        SSL_CTX_set_verify(m_pCtx, SSL_VERIFY_NONE, nullptr);
    }
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
        } else {
            SSL_CTX_set_alpn_protos(m_pCtx, reinterpret_cast<const unsigned char *>(m_alpnWire.constData()),
                                    unsigned(m_alpnWire.size()));
        }
    }
    return true;
}

ssl_st *CTlsContext::NewConnection() const
{
    return SSL_new(m_pCtx);
}

QString CTlsContext::HandshakeFailureText(const ssl_st *ssl)
{
    const long verified = SSL_get_verify_result(ssl);
    if (verified != X509_V_OK) {
        ERR_clear_error();
        return VerifyText(verified);
    }
    const unsigned long error = ERR_peek_error();
    const QString known = error ? ReasonText(ERR_GET_REASON(error)) : QString();
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
