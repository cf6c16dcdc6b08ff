#include "platform/csocketaddress.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <QStringList>

#include <algorithm>
#include <cstring>

namespace {

bool IsMappedV4(const sockaddr_in6 &address)
{
    return IN6_IS_ADDR_V4MAPPED(&address.sin6_addr);
}

}  // namespace

QString CSocketAddress::WithoutBrackets(const QString &host)
{
    const QString trimmed = host.trimmed();
    return trimmed.size() >= 2 && trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'))
               ? trimmed.mid(1, trimmed.size() - 2)
               : host;
}

QString CSocketAddress::JoinHostPort(const QString &host, unsigned port)
{
    const bool v6 = host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('['));
    return (v6 ? QLatin1Char('[') + host + QLatin1Char(']') : host) + QLatin1Char(':') + QString::number(port);
}

bool CSocketAddress::FromNumbers(const QString &host, unsigned port, CSocketAddress *out)
{
    if (port > 0xFFFF)
        return false;
    const QByteArray text = WithoutBrackets(host).toLatin1();
    CSocketAddress address;
    auto *v4 = reinterpret_cast<sockaddr_in *>(&address.m_storage);
    if (inet_pton(AF_INET, text.constData(), &v4->sin_addr) == 1) {
        v4->sin_family = AF_INET;
        v4->sin_port = htons(static_cast<uint16_t>(port));
        address.m_length = sizeof(sockaddr_in);
        *out = address;
        return true;
    }
    // An IPv6 address, with the scope after % as an interface name or number.
    const qsizetype percent = text.indexOf('%');
    const QByteArray numbers = percent < 0 ? text : text.left(percent);
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&address.m_storage);
    if (inet_pton(AF_INET6, numbers.constData(), &v6->sin6_addr) != 1)
        return false;
    if (percent >= 0) {
        const QByteArray scope = text.mid(percent + 1);
        bool number = false;
        const uint id = scope.toUInt(&number);
        v6->sin6_scope_id = number ? id : if_nametoindex(scope.constData());
        if (v6->sin6_scope_id == 0)
            return false;  // no such interface
    }
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<uint16_t>(port));
    address.m_length = sizeof(sockaddr_in6);
    *out = address;
    return true;
}

bool CSocketAddress::IsMalformed(const QString &host)
{
    CSocketAddress numbers;
    if (host.isEmpty() || FromNumbers(host, 0, &numbers))
        return false;
    // Brackets, colons and a scope belong to IPv6 numbers alone, and these did not read.
    for (const QChar c : host) {
        if (c == u'[' || c == u']' || c == u':' || c == u'%')
            return true;
    }
    QString name = host.trimmed();
    if (name.endsWith(u'.'))
        name.chop(1);  // the root's dot of a fully written name
    if (name.isEmpty() || name.size() > 253)
        return true;
    const QStringList parts = name.split(u'.');
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 63)
            return true;
    }
    // No top-level name is all digits: a last part of digits (or 0x and hex digits) means numbers,
    // which the resolver would read in forms nobody writes (1.2.3 as 1.2.0.3).
    const QString &last = parts.last();
    bool number = false;
    if (last.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        (void)last.mid(2).toULongLong(&number, 16);
    else
        number = std::all_of(last.begin(), last.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    return number;
}

CSocketAddress CSocketAddress::FromSockaddr(const sockaddr *address, socklen_t length)
{
    CSocketAddress result;
    const bool known = (address->sa_family == AF_INET && length >= socklen_t(sizeof(sockaddr_in))) ||
                       (address->sa_family == AF_INET6 && length >= socklen_t(sizeof(sockaddr_in6)));
    if (known && length <= socklen_t(sizeof result.m_storage)) {
        std::memcpy(&result.m_storage, address, length);
        result.m_length = length;
    }
    return result;
}

unsigned CSocketAddress::Port() const
{
    if (Family() == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6 *>(&m_storage)->sin6_port);
    return Family() == AF_INET ? ntohs(reinterpret_cast<const sockaddr_in *>(&m_storage)->sin_port) : 0;
}

void CSocketAddress::SetPort(unsigned port)
{
    if (Family() == AF_INET6)
        reinterpret_cast<sockaddr_in6 *>(&m_storage)->sin6_port = htons(static_cast<uint16_t>(port));
    else if (Family() == AF_INET)
        reinterpret_cast<sockaddr_in *>(&m_storage)->sin_port = htons(static_cast<uint16_t>(port));
}

bool CSocketAddress::ForFamily(int family, CSocketAddress *out) const
{
    if (Family() == family) {
        *out = *this;
        return true;
    }
    if (Family() != AF_INET || family != AF_INET6)
        return false;
    const auto &v4 = *reinterpret_cast<const sockaddr_in *>(&m_storage);
    CSocketAddress mapped;
    auto *v6 = reinterpret_cast<sockaddr_in6 *>(&mapped.m_storage);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = v4.sin_port;
    v6->sin6_addr.s6_addr[10] = 0xFF;
    v6->sin6_addr.s6_addr[11] = 0xFF;
    std::memcpy(&v6->sin6_addr.s6_addr[12], &v4.sin_addr, 4);
    mapped.m_length = sizeof(sockaddr_in6);
    *out = mapped;
    return true;
}

QString CSocketAddress::HostText() const
{
    char text[INET6_ADDRSTRLEN + IF_NAMESIZE + 1] = {};
    if (Family() == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(&m_storage)->sin_addr, text, sizeof text);
        return QString::fromLatin1(text);
    }
    if (Family() != AF_INET6)
        return {};
    const auto &v6 = *reinterpret_cast<const sockaddr_in6 *>(&m_storage);
    if (IsMappedV4(v6)) {
        inet_ntop(AF_INET, &v6.sin6_addr.s6_addr[12], text, sizeof text);
        return QString::fromLatin1(text);
    }
    inet_ntop(AF_INET6, &v6.sin6_addr, text, sizeof text);
    QString host = QString::fromLatin1(text);
    if (v6.sin6_scope_id != 0) {
        char name[IF_NAMESIZE] = {};
        host += QLatin1Char('%') +
                (if_indextoname(v6.sin6_scope_id, name) ? QString::fromLatin1(name) : QString::number(v6.sin6_scope_id));
    }
    return host;
}

bool CSocketAddress::IsMulticast() const
{
    if (Family() == AF_INET)
        return IN_MULTICAST(ntohl(reinterpret_cast<const sockaddr_in *>(&m_storage)->sin_addr.s_addr));
    return Family() == AF_INET6 && IN6_IS_ADDR_MULTICAST(&reinterpret_cast<const sockaddr_in6 *>(&m_storage)->sin6_addr);
}

bool CSocketAddress::IsBroadcast() const
{
    if (Family() != AF_INET)
        return false;
    const in_addr_t address = reinterpret_cast<const sockaddr_in *>(&m_storage)->sin_addr.s_addr;
    if (address == htonl(INADDR_BROADCAST))
        return true;
    ifaddrs *interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0)
        return false;
    bool found = false;
    for (const ifaddrs *i = interfaces; i && !found; i = i->ifa_next) {
        found = (i->ifa_flags & IFF_BROADCAST) && i->ifa_broadaddr && i->ifa_broadaddr->sa_family == AF_INET &&
                reinterpret_cast<const sockaddr_in *>(i->ifa_broadaddr)->sin_addr.s_addr == address;
    }
    freeifaddrs(interfaces);
    return found;
}
