// Watches the modem lines of an open serial line on a thread of its own: it waits in the driver for
// a change of an input line (TIOCMIWAIT) where the driver can, and reads the lines every kPollMs
// where it cannot. Each reading that differs from the one before is queued with its time; the
// user-interface thread takes them in order when the wake handle is readable.
#pragma once

#include "net/creaderthread.h"

#include <QtGlobal>

#include <atomic>
#include <deque>
#include <mutex>

class CSerialControl;

class CModemWatcher
{
public:
    static constexpr int kPollMs = 50;

    struct Change
    {
        int lines = 0;  // TIOCM_* bits as read
        qint64 when = 0;  // microseconds since the epoch
    };

    // Starts watching `handle` (which outlives this object), whose lines read `lines` now.
    CModemWatcher(int handle, CSerialControl *control, int lines);
    ~CModemWatcher();
    CModemWatcher(const CModemWatcher &) = delete;
    CModemWatcher &operator=(const CModemWatcher &) = delete;

    bool IsRunning() const { return m_thread.IsRunning(); }
    int WakeHandle() const { return m_thread.WakeHandle(); }
    // Takes the oldest change; false when none waits.
    bool Take(Change *change);
    // The driver waits for changes (else they are polled); known once the first wait has returned.
    bool Waits() const { return m_bWaits.load(std::memory_order_relaxed); }

private:
    void Run();

    const int m_nHandle;
    CSerialControl *const m_pControl;
    int m_nLines;  // the thread's: the lines read last
    std::atomic<bool> m_bWaits{true};
    std::mutex m_mutex;
    std::deque<Change> m_queue;
    CReaderThread m_thread;  // last: it stops before the rest goes
};
