// Takes datagrams from a UDP socket on a thread of its own, as fast as they arrive, into a bounded
// queue that the user-interface thread reads one datagram at a time.
#pragma once

#include "net/creaderthread.h"

#include <QtGlobal>

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class CUdpReader
{
public:
    // Bytes the queue may hold when no other limit is set: datagram bytes plus kItemOverhead each.
    static constexpr qsizetype kDefaultLimit = 64 * 1024 * 1024;
    // What one queued datagram costs beside its bytes (its record and the allocation's header).
    static constexpr qsizetype kItemOverhead = 64;

    // One read of the socket: a datagram and its sender, or the Winsock code the read failed with.
    struct Datagram
    {
        std::string bytes;
        sockaddr_in6 sender{};  // room for either family
        socklen_t senderLength = 0;
        int error = 0;
    };

    // Starts reading `socket` (a non-blocking datagram socket that outlives this object); a limit of
    // 0 or less is kDefaultLimit.
    CUdpReader(int socket, qsizetype limit);
    // Stops the thread, wherever it is, and joins it.
    ~CUdpReader();
    CUdpReader(const CUdpReader &) = delete;
    CUdpReader &operator=(const CUdpReader &) = delete;

    // False when the thread or its handles could not be made (the process is out of them).
    bool IsRunning() const { return m_thread.IsRunning(); }
    // Readable exactly while the queue holds a datagram: the user-interface thread watches it.
    int WakeHandle() const { return m_thread.WakeHandle(); }
    // Takes the oldest datagram; false when the queue is empty.
    bool Take(Datagram &out);
    // Datagrams dropped because the queue was full since the last call.
    quint64 TakeDropped();
    // Datagrams dropped since the reader started.
    quint64 DroppedTotal() const;
    qsizetype Limit() const { return m_nLimit; }
    // True once the thread runs at a real-time priority (see Run).
    bool IsRealTime() const { return m_thread.IsRealTime(); }
    qsizetype QueuedBytes() const;
    qsizetype PeakQueuedBytes() const;

private:
    void Run();
    // Moves the batch into the queue in order; counts those that would pass the limit as dropped.
    void Store(std::vector<Datagram> &batch);

    const int m_nSocket;
    const qsizetype m_nLimit;
    mutable std::mutex m_mutex;
    std::deque<Datagram> m_queue;  // filled by the thread, under the mutex
    // Taken from m_queue in one piece when it runs dry, then read one by one without the mutex: the
    // thread is never kept waiting by a read. Only the user-interface thread touches it.
    std::deque<Datagram> m_taken;
    std::atomic<qsizetype> m_nBytes{0};  // in both queues
    std::atomic<qsizetype> m_nPeak{0};
    std::atomic<quint64> m_nDroppedTotal{0};
    quint64 m_nDroppedTaken = 0;  // DroppedTotal at the last TakeDropped; only the user-interface thread touches it
    CReaderThread m_thread;  // last: it stops before the rest goes; wakes while the queue is not empty
};
