// The settings of the UDP endpoint as the document keeps them, in slot order: the destination's
// address and port, the own port, and the added options (CUdpOptions).
#pragma once

#include "net/cudpoptions.h"

#include <QString>
#include <QStringList>

struct CUdpSettings
{
    QString address;
    QString port;      // as typed; read as the C library reads a number
    QString ownPort;
    CUdpOptions options;

    int PortNumber() const;
    int OwnPortNumber() const;

    // False with the reason in `error` when the options' text holds none.
    static bool Parse(const QStringList &texts, CUdpSettings *out, QString *error);
    QStringList Texts() const;
};
