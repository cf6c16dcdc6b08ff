#include "net/cudpsettings.h"

#include "net/cendpoint.h"

int CUdpSettings::PortNumber() const
{
    return CEndpoint::DecimalValue(port);
}

int CUdpSettings::OwnPortNumber() const
{
    return CEndpoint::DecimalValue(ownPort);
}

bool CUdpSettings::Parse(const QStringList &texts, CUdpSettings *out, QString *error)
{
    CUdpSettings settings;
    settings.address = texts.value(0);
    settings.port = texts.value(1);
    settings.ownPort = texts.value(2);
    if (!CUdpOptions::Parse(texts.value(3), &settings.options, error))
        return false;
    *out = settings;
    return true;
}

QStringList CUdpSettings::Texts() const
{
    return {address, port, ownPort, options.Text()};
}
