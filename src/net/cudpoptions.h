// The UDP endpoint's added choices, kept in one document text slot: the interface that joins a
// group and sends to it, the TTL (IPv6: hop limit) of what is sent to a group, whether the own sends
// to a group come back ("自分の送信を受信"), and whether History lines name each datagram's sender
// ("送信元を表示"). Written "if:eth0 ttl:4 loop:0 from:1"; empty means the system's interface, TTL 1,
// loop on and no sender shown.
#pragma once

#include <QString>
#include <QStringList>

struct CUdpOptions
{
    QString interfaceName;  // empty: the system's choice
    int ttl = 1;
    bool loop = true;
    bool showSender = false;

    bool operator==(const CUdpOptions &) const = default;

    // The options of `text`; false with the reason in `error` for a text that holds none.
    static bool Parse(const QString &text, CUdpOptions *out, QString *error);
    // The slot text: empty for the defaults.
    QString Text() const;
    // The names of this machine's network interfaces that can carry multicast.
    static QStringList InterfaceNames();
};
