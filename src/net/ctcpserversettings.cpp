#include "net/ctcpserversettings.h"

#include "net/cendpoint.h"

namespace {

constexpr int kOwnTexts = 2;  // before the TLS texts

}  // namespace

int CTcpServerSettings::PortNumber() const
{
    return CEndpoint::DecimalValue(port);
}

bool CTcpServerSettings::Parse(const QStringList &texts, CTcpServerSettings *out, QString *error)
{
    CTcpServerSettings settings;
    settings.port = texts.value(0);
    const QString limit = texts.value(1).trimmed();
    settings.clientLimit = limit.isEmpty() ? 0 : qBound(1, CEndpoint::DecimalValue(limit), kMaxClients);
    settings.tls.m_bServer = true;
    if (!CTlsSettings::ParseServer(texts.mid(kOwnTexts), &settings.tls, error))
        return false;
    *out = settings;
    return true;
}

QStringList CTcpServerSettings::Texts() const
{
    CTlsSettings server = tls;
    server.m_bServer = true;  // the server's order, also for TLS settings made without it
    return QStringList{port, clientLimit > 0 ? QString::number(clientLimit) : QString()} + server.Texts();
}
