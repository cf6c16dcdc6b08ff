// The settings of a TCP client as the document keeps them, in slot order: the server's address and
// port, the own port, then the TLS texts (CTlsSettings). Ports stay as typed; they are read as the
// C library reads a number.
#pragma once

#include "net/ctlssettings.h"

#include <QString>
#include <QStringList>

struct CTcpClientSettings
{
    QString address;
    QString port;
    QString ownPort;
    CTlsSettings tls;

    int PortNumber() const;
    int OwnPortNumber() const;

    // Never refuses: every text reads as some setting.
    static bool Parse(const QStringList &texts, CTcpClientSettings *out, QString *error);
    QStringList Texts() const;
};
