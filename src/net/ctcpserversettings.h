// The settings of a TCP server as the document keeps them, in slot order: the port, the most clients
// served at once, then the TLS texts (CTlsSettings).
#pragma once

#include "net/ctlssettings.h"

#include <QString>
#include <QStringList>

struct CTcpServerSettings
{
    static constexpr int kMaxClients = 10000;

    QString port;          // as typed; read as the C library reads a number
    int clientLimit = 0;   // 0: one client, a second closed at once; else 1 to kMaxClients
    CTlsSettings tls;

    int PortNumber() const;

    // Never refuses: a limit that is no number reads as the C library reads it, kept in range.
    static bool Parse(const QStringList &texts, CTcpServerSettings *out, QString *error);
    QStringList Texts() const;
};
