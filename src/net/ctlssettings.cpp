#include "net/ctlssettings.h"

#include <openssl/ssl.h>

namespace {

bool IsOn(const QString &text)
{
    return text.trimmed() == QLatin1String("1");
}

QStringList ProtocolList(const QString &text)
{
    QStringList protocols;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!part.trimmed().isEmpty())
            protocols.append(part.trimmed());
    }
    return protocols;
}

// "1.2" or "1.3" keeps to that version; anything else allows both.
void ReadVersion(const QString &text, CTlsSettings *settings)
{
    const QString version = text.trimmed();
    const QStringList texts = CTlsSettings::VersionTexts();
    if (version == texts[1])
        settings->m_nMinVersion = settings->m_nMaxVersion = TLS1_2_VERSION;
    else if (version == texts[2])
        settings->m_nMinVersion = settings->m_nMaxVersion = TLS1_3_VERSION;
    else
        settings->m_nMinVersion = TLS1_2_VERSION;
}

QString VersionText(const CTlsSettings &settings)
{
    const QStringList texts = CTlsSettings::VersionTexts();
    if (settings.m_nMinVersion == settings.m_nMaxVersion && settings.m_nMinVersion == TLS1_2_VERSION)
        return texts[1];
    if (settings.m_nMinVersion == settings.m_nMaxVersion && settings.m_nMinVersion == TLS1_3_VERSION)
        return texts[2];
    return texts[0];
}

}  // namespace

CTlsSettings CTlsSettings::ForClient(const QStringList &texts)
{
    CTlsSettings settings;
    settings.m_bUse = IsOn(texts.value(0));
    const QString verify = texts.value(1).trimmed();
    settings.m_verify = verify == VerifyText(Verify::None)     ? Verify::None
                        : verify == VerifyText(Verify::CaFile) ? Verify::CaFile
                                                               : Verify::SystemStore;
    settings.m_strCaFile = texts.value(2);
    settings.m_strServerName = texts.value(3).trimmed();
    settings.m_alpn = ProtocolList(texts.value(4));
    settings.m_strCertFile = texts.value(5);
    settings.m_strKeyFile = texts.value(6);
    ReadVersion(texts.value(7), &settings);
    return settings;
}

CTlsSettings CTlsSettings::ForServer(const QStringList &texts)
{
    CTlsSettings settings;
    settings.m_bServer = true;
    settings.m_bUse = IsOn(texts.value(0));
    settings.m_strCertFile = texts.value(1);
    settings.m_strKeyFile = texts.value(2);
    const QString mode = texts.value(3).trimmed();
    settings.m_clientCert = mode == ClientCertText(ClientCert::Require)   ? ClientCert::Require
                            : mode == ClientCertText(ClientCert::Request) ? ClientCert::Request
                                                                          : ClientCert::None;
    settings.m_strCaFile = texts.value(4);
    settings.m_alpn = ProtocolList(texts.value(5));
    ReadVersion(texts.value(6), &settings);
    return settings;
}

QString CTlsSettings::VerifyText(Verify verify)
{
    switch (verify) {
    case Verify::CaFile:
        return QStringLiteral("file");
    case Verify::None:
        return QStringLiteral("none");
    default:
        return {};
    }
}

QString CTlsSettings::ClientCertText(ClientCert mode)
{
    switch (mode) {
    case ClientCert::Request:
        return QStringLiteral("request");
    case ClientCert::Require:
        return QStringLiteral("require");
    default:
        return {};
    }
}

bool CTlsSettings::ParseClient(const QStringList &texts, CTlsSettings *out, QString * /*error*/)
{
    *out = ForClient(texts);
    return true;
}

bool CTlsSettings::ParseServer(const QStringList &texts, CTlsSettings *out, QString * /*error*/)
{
    *out = ForServer(texts);
    return true;
}

QStringList CTlsSettings::Texts() const
{
    const QString use = m_bUse ? QStringLiteral("1") : QString();
    const QString alpn = m_alpn.join(QLatin1Char(','));
    if (m_bServer)
        return {use, m_strCertFile, m_strKeyFile, ClientCertText(m_clientCert), m_strCaFile, alpn, VersionText(*this)};
    return {use, VerifyText(m_verify), m_strCaFile, m_strServerName, alpn, m_strCertFile, m_strKeyFile, VersionText(*this)};
}

QStringList CTlsSettings::VersionTexts()
{
    return {QString(), QStringLiteral("1.2"), QStringLiteral("1.3")};
}
