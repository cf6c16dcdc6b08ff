#include "net/cudpreader.h"

#include "platform/casyncsocket.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <poll.h>
#include <sys/eventfd.h>
#include <system_error>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

// Datagrams taken by one recvmmsg, and the room for each: the largest an IPv4 datagram can carry.
constexpr int kSlots = 32;
constexpr std::size_t kSlotSize = 65536;

void Signal(int handle)
{
    const std::uint64_t one = 1;
    while (::write(handle, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void Clear(int handle)
{
    std::uint64_t count;
    while (::read(handle, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

}  // namespace

CUdpReader::CUdpReader(int socket, qsizetype limit)
    : m_nSocket(socket), m_nLimit(limit > 0 ? limit : kDefaultLimit),
      m_nWake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), m_nStop(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
    if (m_nWake < 0 || m_nStop < 0)
        return;
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error &) {
        // no thread: IsRunning says so
    }
}

CUdpReader::~CUdpReader()
{
    if (m_thread.joinable()) {
        m_bStop.store(true, std::memory_order_release);
        Signal(m_nStop);
        m_thread.join();
    }
    for (const int handle : {m_nWake, m_nStop}) {
        if (handle >= 0)
            ::close(handle);
    }
}

bool CUdpReader::Take(Datagram &out)
{
    const std::lock_guard lock(m_mutex);
    if (m_queue.empty())
        return false;
    out = std::move(m_queue.front());
    m_queue.pop_front();
    m_nBytes -= qsizetype(out.bytes.size()) + kItemOverhead;
    if (m_queue.empty())
        Clear(m_nWake);
    return true;
}

quint64 CUdpReader::TakeDropped()
{
    const std::lock_guard lock(m_mutex);
    return std::exchange(m_nDropped, 0);
}

quint64 CUdpReader::DroppedTotal() const
{
    const std::lock_guard lock(m_mutex);
    return m_nDroppedTotal;
}

qsizetype CUdpReader::QueuedBytes() const
{
    const std::lock_guard lock(m_mutex);
    return m_nBytes;
}

qsizetype CUdpReader::PeakQueuedBytes() const
{
    const std::lock_guard lock(m_mutex);
    return m_nPeak;
}

void CUdpReader::Run()
{
    // Slots for one batch; only the pages a datagram touches become resident.
    const std::unique_ptr<char[]> room(new char[kSlots * kSlotSize]);
    mmsghdr messages[kSlots];
    iovec parts[kSlots];
    sockaddr_in senders[kSlots];
    std::vector<Datagram> batch;
    batch.reserve(kSlots);
    pollfd watched[2] = {{m_nSocket, POLLIN, 0}, {m_nStop, POLLIN, 0}};
    while (!m_bStop.load(std::memory_order_acquire)) {
        for (int i = 0; i < kSlots; ++i) {
            parts[i] = {room.get() + i * kSlotSize, kSlotSize};
            messages[i] = {};
            messages[i].msg_hdr.msg_name = &senders[i];
            messages[i].msg_hdr.msg_namelen = sizeof senders[i];
            messages[i].msg_hdr.msg_iov = &parts[i];
            messages[i].msg_hdr.msg_iovlen = 1;
        }
        const int count = ::recvmmsg(m_nSocket, messages, kSlots, MSG_DONTWAIT, nullptr);
        const int error = errno;
        if (count > 0) {
            batch.clear();
            for (int i = 0; i < count; ++i) {
                Datagram &d = batch.emplace_back();
                d.bytes.assign(room.get() + i * kSlotSize, messages[i].msg_len);
                d.address = senders[i].sin_addr.s_addr;
                d.port = senders[i].sin_port;
                if (messages[i].msg_hdr.msg_flags & MSG_TRUNC)
                    d.error = WSAEMSGSIZE;  // the rest of the datagram is gone
            }
            Store(batch);
            continue;
        }
        if (count < 0 && error == EINTR)
            continue;
        if (count < 0 && error != EAGAIN && error != EWOULDBLOCK) {
            // The read failed: the failure takes its place in the queue, as a read would have seen it.
            batch.clear();
            batch.emplace_back().error = WinsockErrorFromErrno(error);
            Store(batch);
        }
        ::poll(watched, 2, -1);
    }
}

void CUdpReader::Store(std::vector<Datagram> &batch)
{
    const std::lock_guard lock(m_mutex);
    const bool wasEmpty = m_queue.empty();
    for (Datagram &d : batch) {
        const qsizetype cost = qsizetype(d.bytes.size()) + kItemOverhead;
        if (m_nBytes + cost > m_nLimit) {
            ++m_nDropped;
            ++m_nDroppedTotal;
            continue;
        }
        m_nBytes += cost;
        m_queue.push_back(std::move(d));
    }
    m_nPeak = std::max(m_nPeak, m_nBytes);
    if (wasEmpty && !m_queue.empty())
        Signal(m_nWake);
}
