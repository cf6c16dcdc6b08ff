#include "net/ctcpclientsettings.h"

#include "net/cendpoint.h"

namespace {

constexpr int kOwnTexts = 3;  // before the TLS texts

}  // namespace

int CTcpClientSettings::PortNumber() const
{
    return CEndpoint::DecimalValue(port);
}

int CTcpClientSettings::OwnPortNumber() const
{
    return CEndpoint::DecimalValue(ownPort);
}

bool CTcpClientSettings::Parse(const QStringList &texts, CTcpClientSettings *out, QString *error)
{
    CTcpClientSettings settings;
    settings.address = texts.value(0);
    settings.port = texts.value(1);
    settings.ownPort = texts.value(2);
    if (!CTlsSettings::ParseClient(texts.mid(kOwnTexts), &settings.tls, error))
        return false;
    *out = settings;
    return true;
}

QStringList CTcpClientSettings::Texts() const
{
    return QStringList{address, port, ownPort} + tls.Texts();
}
