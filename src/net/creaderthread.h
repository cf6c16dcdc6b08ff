// The thread of a reader that takes bytes from a handle for the user-interface thread: a wake handle
// that is readable while the reader has something for that thread, a stop handle the thread watches,
// and the thread itself, stopped and joined at the latest when this goes.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

class CReaderThread
{
public:
    CReaderThread();
    ~CReaderThread();
    CReaderThread(const CReaderThread &) = delete;
    CReaderThread &operator=(const CReaderThread &) = delete;

    // Runs `run` on a thread named `name` (for top -H and a debugger); false when the handles or the
    // thread could not be made. Where the system allows it (root, or a real-time limit granted to
    // the user) the thread takes the lowest real-time priority, so that busy processors do not keep
    // it from a peer that sends faster than the window draws; refused, it keeps the ordinary one.
    bool Start(const char *name, std::function<void()> run);
    // Asks the thread to end (StopRequested, the stop handle readable) and joins it. A thread that
    // blocks in a call no handle can wake (an ioctl that waits) is interrupted by a signal until it
    // has ended, when `interrupt` is set.
    void Stop();
    void SetInterruptOnStop(bool interrupt) { m_bInterrupt = interrupt; }
    bool IsRunning() const { return m_thread.joinable(); }
    bool StopRequested() const { return m_bStop.load(std::memory_order_acquire); }
    // True once the thread runs at the real-time priority.
    bool IsRealTime() const { return m_bRealTime.load(std::memory_order_relaxed); }
    int WakeHandle() const { return m_nWake; }
    int StopHandle() const { return m_nStop; }
    // Makes the wake handle readable, or no longer readable.
    void Wake() const;
    void ClearWake() const;

private:
    int m_nWake = -1;  // eventfd
    int m_nStop = -1;  // eventfd, written once to end the thread
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bRealTime{false};
    std::atomic<bool> m_bDone{false};
    bool m_bInterrupt = false;
    std::thread m_thread;
};
