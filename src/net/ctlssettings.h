// The TLS settings of a TCP client or server as the document keeps them: texts, file paths rather
// than keys. Empty texts mean TLS off, or, with it on, the defaults (system CA store, TLS 1.2 and 1.3).
#pragma once

#include <QString>
#include <QStringList>

class CTlsSettings
{
public:
    enum class Verify { SystemStore, CaFile, None };
    enum class ClientCert { None, Request, Require };

    // The client's texts in slot order: on, verification, CA file, server name, ALPN, certificate,
    // key, version.
    static CTlsSettings ForClient(const QStringList &texts);
    // The server's texts in slot order: on, certificate, key, client certificate, CA file, ALPN,
    // version.
    static CTlsSettings ForServer(const QStringList &texts);
    // The same, as every transport's settings read: TLS texts are never refused (a text that is no
    // choice reads as the default), so these always succeed.
    static bool ParseClient(const QStringList &texts, CTlsSettings *out, QString *error);
    static bool ParseServer(const QStringList &texts, CTlsSettings *out, QString *error);
    // The texts in the slot order of the client or the server (m_bServer); what reads back the same.
    QStringList Texts() const;
    static constexpr int kClientTexts = 8;
    static constexpr int kServerTexts = 7;
    // The texts of the verification and client-certificate choices as stored.
    static QString VerifyText(Verify verify);
    static QString ClientCertText(ClientCert mode);
    // The version texts: both 1.2 and 1.3, 1.2 alone, 1.3 alone.
    static QStringList VersionTexts();

    bool m_bUse = false;
    bool m_bServer = false;
    Verify m_verify = Verify::SystemStore;
    QString m_strCaFile;
    QString m_strServerName;   // client: SNI and the name checked (empty: the host typed)
    QStringList m_alpn;        // protocols offered or accepted, in order of preference
    QString m_strCertFile;     // PEM
    QString m_strKeyFile;      // PEM
    ClientCert m_clientCert = ClientCert::None;
    int m_nMinVersion = 0;     // TLS1_2_VERSION, TLS1_3_VERSION, 0: the library's lowest allowed
    int m_nMaxVersion = 0;     // 0: the highest
};
