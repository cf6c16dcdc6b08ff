// One telegram as a packet trace sees it: its bytes and time, which way it went, and the two ends of
// the connection that carried it.
#pragma once

#include "platform/csocketaddress.h"

#include <QByteArray>
#include <QtGlobal>

struct CTraceTelegram
{
    enum Carrier : quint8 { Tcp, Udp, Serial };

    Carrier carrier = Tcp;
    bool tls = false;          // TCP with TLS: `bytes` are the decrypted application data
    bool ownOpened = true;     // TCP: this end opened the connection (a client); false: a server's
    char direction = 'R';      // 'R' received, 'S' sent
    CSocketAddress own;        // TCP and UDP: this end's address and port
    CSocketAddress peer;       // TCP and UDP: the other end's
    quint64 connection = 0;    // TCP: one number per connection, never reused within a trace
    qint64 microseconds = 0;   // since 1970-01-01 UTC
    int client = 0;            // a server of many: the client's number (0: the one peer)
    int rule = 0;              // the reply rule that answered it (0: none)
    int checksum = -1;         // the History's checksum check: -1 not checked, 0 bad, 1 good
    QByteArray bytes;
};
