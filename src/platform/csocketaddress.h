// An IPv4 or IPv6 socket address (an IPv6 one with its scope), read from what users type ("::1",
// "[fe80::1%eth0]", "192.0.2.1") and written as they read it: "192.0.2.1:502", "[::1]:502". An
// IPv4 peer of a dual-stack socket (::ffff:192.0.2.1) reads as plain IPv4.
#pragma once

#include <QString>

#include <sys/socket.h>

class CSocketAddress
{
public:
    CSocketAddress() = default;
    // The address of the numbers in `host` (IPv4 dotted, or IPv6 with or without brackets and with an
    // optional %scope); false for anything else, a host name included.
    static bool FromNumbers(const QString &host, unsigned port, CSocketAddress *out);
    // Text that is neither an address in numbers nor a possible host name, so never worth looking
    // up: numbers that are not a full dotted quad ("1.2.3", "999.1.1.1", "0x7f.1"), an IPv6 address
    // that does not read ("[::1", "fe80::1%nonexistent"), a name past 253 characters or with a part
    // empty or past 63.
    static bool IsMalformed(const QString &host);
    static CSocketAddress FromSockaddr(const sockaddr *address, socklen_t length);
    // "host:port", the host in brackets when it is IPv6 ("[::1]:502").
    static QString JoinHostPort(const QString &host, unsigned port);
    // The host without the brackets a user may type around an IPv6 address.
    static QString WithoutBrackets(const QString &host);

    bool IsValid() const { return m_length > 0; }
    int Family() const { return m_storage.ss_family; }
    const sockaddr *Data() const { return reinterpret_cast<const sockaddr *>(&m_storage); }
    socklen_t Length() const { return m_length; }
    unsigned Port() const;
    void SetPort(unsigned port);
    // This address for a socket of `family`: an IPv4 address becomes ::ffff:a.b.c.d for an IPv6
    // socket. False when it cannot be (an IPv6 address for an IPv4 socket).
    bool ForFamily(int family, CSocketAddress *out) const;
    // The address alone: "192.0.2.1", "::1", "fe80::1%eth0"; mapped IPv4 as plain IPv4.
    QString HostText() const;
    // A group address: 224.0.0.0/4 or ff00::/8.
    bool IsMulticast() const;
    // 255.255.255.255, or the broadcast address of one of this machine's IPv4 networks.
    bool IsBroadcast() const;
    // HostText and the port: "192.0.2.1:502", "[::1]:502".
    QString Text() const { return JoinHostPort(HostText(), Port()); }

private:
    sockaddr_storage m_storage{};
    socklen_t m_length = 0;
};
