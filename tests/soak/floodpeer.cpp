#include "floodpeer.h"

#include <QCryptographicHash>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr qint64 kPeriod = 65521;  // prime: every read size lands at a new place in the pattern
constexpr qint64 kChunk = 256 * 1024;

// The pattern twice over, so that any window of up to kPeriod bytes is one contiguous copy.
const QByteArray &Pattern()
{
    static const QByteArray pattern = [] {
        QByteArray bytes(2 * kPeriod, Qt::Uninitialized);
        quint32 state = 0x2545F491u;
        for (qint64 i = 0; i < kPeriod; ++i) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            bytes[i] = bytes[i + kPeriod] = char(state >> 24);
        }
        return bytes;
    }();
    return pattern;
}

}  // namespace

char FloodPeer::ByteAt(qint64 offset)
{
    return Pattern()[offset % kPeriod];
}

QByteArray FloodPeer::Slice(qint64 offset, qint64 count)
{
    QByteArray out;
    out.reserve(count);
    while (count > 0) {
        const qint64 part = qMin(count, kPeriod);
        out.append(Pattern().constData() + offset % kPeriod, part);
        offset += part;
        count -= part;
    }
    return out;
}

FloodPeer::FloodPeer(quint16 port, qint64 total) : m_total(total)
{
    Pattern();  // built before the thread starts
    m_handle = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_handle, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(m_handle);
        m_handle = -1;
    }
}

FloodPeer::~FloodPeer()
{
    if (m_handle >= 0)
        ::shutdown(m_handle, SHUT_RDWR);  // a send still blocked returns
    if (m_thread.joinable())
        m_thread.join();
    if (m_handle >= 0)
        ::close(m_handle);
}

void FloodPeer::Start()
{
    m_thread = std::thread([this] { Run(); });
}

void FloodPeer::Run()
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    qint64 sent = 0;
    while (sent < m_total) {
        const qint64 part = qMin(kChunk, m_total - sent);
        const QByteArray chunk = Slice(sent, part);
        qint64 done = 0;
        while (done < part) {
            const ssize_t n = ::send(m_handle, chunk.constData() + done, size_t(part - done), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                m_error = n < 0 ? errno : EPIPE;
                m_finished.store(true, std::memory_order_release);
                return;
            }
            done += n;
            m_sent.store(sent + done, std::memory_order_release);
        }
        hash.addData(chunk);
        sent += part;
    }
    m_sha256 = hash.result();
    m_finished.store(true, std::memory_order_release);
}
