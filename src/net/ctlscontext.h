// The OpenSSL context one TLS connection is made from: versions, certificates, verification and
// ALPN as the settings say, and the program's words for what went wrong and for a certificate.
#pragma once

#include "net/ctlssettings.h"
#include "net/socketerrors.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct ssl_ctx_st;
struct ssl_st;
struct x509_st;

class CTlsContext
{
public:
    // The context for `settings`; null with `*failure` in words when a file cannot be used (the
    // file's path and the library's errors), and `*brief` in a few words for the connection pane
    // ("証明書ﾌｧｲﾙを読めません: name.pem", "秘密鍵が証明書と一致しません").
    static std::unique_ptr<CTlsContext> Make(const CTlsSettings &settings, QString *failure, QString *brief = nullptr);
    // The same for an endpoint's open: null with `*failure` (TLS) holding the Log's words and the
    // pane's brief text, each begun "TLS ".
    static std::unique_ptr<CTlsContext> MakeForOpen(const CTlsSettings &settings, SocketFailure *failure);
    // Where the passphrase of an encrypted key comes from: given the key file, true with the
    // passphrase, false when there is none. The library never asks on the terminal; without a source
    // set the program's prompt seam asks the user. The passphrase is wiped once the key is read.
    using PassphraseSource = std::function<bool(const QString &keyPath, QByteArray *passphrase)>;
    static void SetPassphraseSource(PassphraseSource source);
    // Checks a CA file as the client will read it: a regular file up to CTlsFile::kMaxBytes holding
    // at least one certificate; false with the reason in words.
    static bool CheckCaFile(const QString &path, QString *reason);
    ~CTlsContext();
    CTlsContext(const CTlsContext &) = delete;
    CTlsContext &operator=(const CTlsContext &) = delete;

    const CTlsSettings &Settings() const { return m_settings; }
    // A new connection of this context; the caller frees it with SSL_free.
    ssl_st *NewConnection() const;

    // Why a handshake of `ssl` failed, in words: the certificate's verification result first (when
    // the side verifies at all), then the library's error queue (which this empties).
    static QString HandshakeFailureText(const ssl_st *ssl);
    // "TLS1.3 TLS_AES_256_GCM_SHA384" (and " ALPN:h2" when one was agreed).
    static QString Summary(const ssl_st *ssl);
    // Subject, issuer, validity and SHA-256 fingerprint of `certificate`, one line each.
    static QStringList CertificateLines(x509_st *certificate);
    // The library's queued errors as one line, emptying the queue.
    static QString TakeErrors();
    // The words for a known reason code of the library's (an alert of the peer's); empty otherwise.
    static QString ReasonText(int reason);
    // The server asked `ssl` (a client) for a certificate and it had none to give.
    static bool CertificateWasRequested(const ssl_st *ssl);

private:
    CTlsContext() = default;
    bool Load(QString *failure, QString *brief);
    bool LoadCertificate(const QByteArray &pem);
    bool LoadKey(const QByteArray &pem, const QString &path, QString *reason);

    CTlsSettings m_settings;
    ssl_ctx_st *m_pCtx = nullptr;
    QByteArray m_alpnWire;  // the ALPN list in its length-prefixed form
};
