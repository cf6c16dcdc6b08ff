#include "net/cendpoint.h"

#include "net/cserialport.h"
#include "net/ctcpclient.h"
#include "net/ctcpsrvr.h"
#include "net/cudpwnd.h"
#include "platform/csocketaddress.h"

#include <sys/socket.h>
#include <netinet/in.h>

namespace {

// How the endpoint of each connection type is made; the rest of what is known of a type is its row
// in document/cconnectiontype.cpp.
struct TypeEntry
{
    ConnectionType type;
    std::unique_ptr<CEndpoint> (*make)(QObject *view, char *logBuf);
};

const TypeEntry kTypes[] = {
    {TYPE_UDP,
     [](QObject *view, char *logBuf) -> std::unique_ptr<CEndpoint> {
         auto endpoint = std::make_unique<CUDPWnd>();
         endpoint->CreateEndpoint(0, 100, view, 1, logBuf);
         return endpoint;
     }},
    {TYPE_TCP_SERVER,
     [](QObject *view, char *logBuf) -> std::unique_ptr<CEndpoint> {
         auto endpoint = std::make_unique<CTCPSrvr>();
         endpoint->CreateEndpoint(view, logBuf);
         return endpoint;
     }},
    {TYPE_TCP_CLIENT,
     [](QObject *view, char *logBuf) -> std::unique_ptr<CEndpoint> {
         return std::make_unique<CTCPClient>(view, logBuf);
     }},
    {TYPE_SERIAL,
     [](QObject *view, char *logBuf) -> std::unique_ptr<CEndpoint> {
         return std::make_unique<CSerialPort>(view, logBuf);
     }},
};

const TypeEntry *Entry(ConnectionType type)
{
    for (const TypeEntry &entry : kTypes) {
        if (entry.type == type)
            return &entry;
    }
    return nullptr;
}

}  // namespace

CEndpoint::~CEndpoint() = default;

QString CEndpoint::ModemLineName(int i)
{
    static const char *const names[kModemLineCount] = {"DTR", "RTS", "CTS", "DSR", "DCD", "RI"};
    return i >= 0 && i < kModemLineCount ? QLatin1String(names[i]) : QString();
}

bool CEndpoint::SetControlLine(int, bool, QString *error)
{
    *error = QStringLiteral("この接続には制御線がありません");
    return false;
}

bool CEndpoint::SendBreak(int, QString *error)
{
    *error = QStringLiteral("この接続ではﾌﾞﾚｰｸを送信できません");
    return false;
}

std::unique_ptr<CEndpoint> CEndpoint::Make(ConnectionType type, QObject *view, char *logBuf)
{
    const TypeEntry *entry = Entry(type);
    return entry ? entry->make(view, logBuf) : nullptr;
}

QString CEndpoint::DestinationHost(const QStringList & /*settings*/) const
{
    return {};
}

QString CEndpoint::DestinationText(const QStringList & /*settings*/) const
{
    return {};
}

int CEndpoint::DecimalValue(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == QLatin1Char(' ') || (text[i].unicode() >= 9 && text[i].unicode() <= 13)))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    // Read as an unsigned 32-bit value that wraps, as the C library's conversion does on this platform.
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i)
        value = value * 10u + std::uint32_t(text[i].unicode() - '0');
    if (negative)
        value = 0u - value;
    return static_cast<int>(value);
}

bool CEndpoint::SocketName(int handle, bool peer, QString *address, unsigned *port)
{
    if (handle < 0)
        return false;
    sockaddr_storage name{};
    socklen_t length = sizeof name;
    const int result = peer ? ::getpeername(handle, reinterpret_cast<sockaddr *>(&name), &length)
                            : ::getsockname(handle, reinterpret_cast<sockaddr *>(&name), &length);
    const CSocketAddress found = CSocketAddress::FromSockaddr(reinterpret_cast<const sockaddr *>(&name), length);
    if (result != 0 || !found.IsValid())
        return false;
    *address = found.HostText();
    *port = found.Port();
    return true;
}

bool CEndpoint::TraceEndsOf(int, bool, TraceEnds *) const
{
    return false;
}

bool CEndpoint::StreamEnds(int handle, TraceEnds *ends)
{
    if (handle < 0)
        return false;
    sockaddr_storage name{};
    socklen_t length = sizeof name;
    if (::getsockname(handle, reinterpret_cast<sockaddr *>(&name), &length) != 0)
        return false;
    ends->own = CSocketAddress::FromSockaddr(reinterpret_cast<const sockaddr *>(&name), length);
    length = sizeof name;
    if (::getpeername(handle, reinterpret_cast<sockaddr *>(&name), &length) != 0)
        return false;
    ends->peer = CSocketAddress::FromSockaddr(reinterpret_cast<const sockaddr *>(&name), length);
    ends->carrier = TraceEnds::Stream;
    return ends->own.IsValid() && ends->peer.IsValid();
}

bool CEndpoint::CachedStreamEnds(int handle, std::uint64_t serial, TraceEnds *ends) const
{
    if (serial == 0)
        return false;
    if (m_traceCache.connection != serial) {
        TraceEnds found;
        if (!StreamEnds(handle, &found))
            return false;
        found.connection = serial;
        m_traceCache = found;
    }
    *ends = m_traceCache;
    return true;
}

qint64 CEndpoint::KernelDrops(int handle)
{
#if defined(SO_MEMINFO)
    // The socket's memory figures; SK_MEMINFO_DROPS (8) counts what it dropped, kernels since 4.15.
    quint32 figures[9]{};
    socklen_t length = sizeof figures;
    if (handle >= 0 && ::getsockopt(handle, SOL_SOCKET, SO_MEMINFO, figures, &length) == 0 && length >= sizeof figures)
        return qint64(figures[8]);
#else
    Q_UNUSED(handle);
#endif
    return -1;
}
