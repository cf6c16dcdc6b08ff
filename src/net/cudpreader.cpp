#include "net/cudpreader.h"

#include "platform/casyncsocket.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

// Datagrams taken by one recvmmsg, and the room for each: the largest an IPv4 datagram can carry.
constexpr int kSlots = 32;
constexpr std::size_t kSlotSize = 65536;

// A flood is on when one pass from a wake to an empty socket takes this many datagrams or more.
constexpr int kFloodFrom = 8;
// During a flood the thread lets datagrams gather for at most this long before it reads again.
constexpr std::chrono::microseconds kGatherMax{500};
// About what the kernel's buffer spends on a small datagram beside its bytes.
constexpr qsizetype kKernelOverhead = 1024;

// How long to let datagrams gather after a pass that took `count` datagrams of `bytes` in all, which
// arrived within `took`: none unless a flood is on, then as long as the kernel's buffer takes to fill
// to an eighth at that pace, and at most kGatherMax. Each wake then reads many datagrams instead of
// a few: a woken thread takes a processor from another, and on a busy machine that other is the
// user-interface thread.
std::chrono::nanoseconds GatherTime(int count, qsizetype bytes, std::chrono::nanoseconds took, int bufferBytes)
{
    if (count < kFloodFrom || bufferBytes <= 0)
        return {};
    const qsizetype cost = bytes + count * kKernelOverhead;  // of the kernel's buffer
    const double eighth = double(took.count()) * double(bufferBytes) / 8.0 / double(cost);
    return std::min<std::chrono::nanoseconds>(kGatherMax, std::chrono::nanoseconds(qint64(eighth)));
}

}  // namespace

CUdpReader::CUdpReader(int socket, qsizetype limit)
    : m_nSocket(socket), m_nLimit(limit > 0 ? limit : kDefaultLimit)
{
    m_thread.Start("qn-udp-reader", [this] { Run(); });
}

CUdpReader::~CUdpReader()
{
    m_thread.Stop();  // before the queues the thread fills go
}

bool CUdpReader::Take(Datagram &out)
{
    if (m_taken.empty()) {
        const std::lock_guard lock(m_mutex);
        m_taken.swap(m_queue);
        if (m_taken.empty()) {
            m_thread.ClearWake();
            return false;
        }
    }
    out = std::move(m_taken.front());
    m_taken.pop_front();
    m_nBytes.fetch_sub(qsizetype(out.bytes.size()) + kItemOverhead, std::memory_order_relaxed);
    if (m_taken.empty()) {
        const std::lock_guard lock(m_mutex);
        if (m_queue.empty())
            m_thread.ClearWake();  // readable again when the thread queues the next datagram
    }
    return true;
}

quint64 CUdpReader::TakeDropped()
{
    const quint64 total = DroppedTotal();
    return total - std::exchange(m_nDroppedTaken, total);
}

quint64 CUdpReader::DroppedTotal() const
{
    return m_nDroppedTotal.load(std::memory_order_relaxed);
}

qsizetype CUdpReader::QueuedBytes() const
{
    return m_nBytes.load(std::memory_order_relaxed);
}

qsizetype CUdpReader::PeakQueuedBytes() const
{
    return m_nPeak.load(std::memory_order_relaxed);
}

void CUdpReader::Run()
{
    // A burst fills the kernel's buffer within milliseconds, hence the real-time priority where
    // allowed (CReaderThread::Start). The thread sleeps whenever the socket is empty (during a flood
    // only briefly, see GatherTime), and a full queue costs it no more than a read.
    // Slots for one batch; only the pages a datagram touches become resident.
    const std::unique_ptr<char[]> room(new char[kSlots * kSlotSize]);
    mmsghdr messages[kSlots];
    iovec parts[kSlots];
    sockaddr_in6 senders[kSlots];
    std::vector<Datagram> batch;
    batch.reserve(kSlots);
    pollfd watched[2] = {{m_nSocket, POLLIN, 0}, {m_thread.StopHandle(), POLLIN, 0}};
    int bufferBytes = 0;
    socklen_t size = sizeof bufferBytes;
    ::getsockopt(m_nSocket, SOL_SOCKET, SO_RCVBUF, &bufferBytes, &size);
    // This pass: datagrams read since the wake, their bytes, and when they began to arrive.
    int passCount = 0;
    qsizetype passBytes = 0;
    auto passStart = std::chrono::steady_clock::now();
    while (!m_thread.StopRequested()) {
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
                d.sender = senders[i];
                d.senderLength = messages[i].msg_hdr.msg_namelen;
                if (messages[i].msg_hdr.msg_flags & MSG_TRUNC)
                    d.error = WSAEMSGSIZE;  // the rest of the datagram is gone
                passBytes += qsizetype(messages[i].msg_len);
            }
            Store(batch);
            passCount += count;
            if (count == kSlots)
                continue;  // more may be waiting
        } else if (count < 0 && error == EINTR) {
            continue;
        } else if (count < 0 && error != EAGAIN && error != EWOULDBLOCK) {
            // The read failed: the failure takes its place in the queue, as a read would have seen it.
            batch.clear();
            batch.emplace_back().error = WinsockErrorFromErrno(error);
            Store(batch);
        }
        // The socket is empty, or its read failed.
        const auto now = std::chrono::steady_clock::now();
        const auto gather = GatherTime(std::exchange(passCount, 0), std::exchange(passBytes, 0), now - passStart, bufferBytes);
        if (gather.count() > 0) {
            const timespec wait{0, long(gather.count())};
            ::ppoll(&watched[1], 1, &wait, nullptr);  // ends at once when the thread is stopped
            passStart = now;
            continue;
        }
        ::poll(watched, 2, -1);
        passStart = std::chrono::steady_clock::now();
    }
}

void CUdpReader::Store(std::vector<Datagram> &batch)
{
    const std::lock_guard lock(m_mutex);
    const bool wasEmpty = m_queue.empty();
    qsizetype bytes = m_nBytes.load(std::memory_order_relaxed);  // only this thread adds to it
    for (Datagram &d : batch) {
        const qsizetype cost = qsizetype(d.bytes.size()) + kItemOverhead;
        if (bytes + cost > m_nLimit) {
            m_nDroppedTotal.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        bytes = m_nBytes.fetch_add(cost, std::memory_order_relaxed) + cost;
        m_queue.push_back(std::move(d));
    }
    if (bytes > m_nPeak.load(std::memory_order_relaxed))
        m_nPeak.store(bytes, std::memory_order_relaxed);
    if (wasEmpty && !m_queue.empty())
        m_thread.Wake();  // already readable while the other thread still has datagrams taken
}
