// Reads a serial device on a thread of its own, as fast as bytes arrive, and cuts them into telegrams
// (each read, a gap in the bytes, or an end byte) in a bounded queue that the user-interface thread
// takes one telegram at a time. A full queue makes the thread wait, not drop: what was read is kept.
#pragma once

#include "net/creaderthread.h"
#include "net/cserialsettings.h"

#include <QtGlobal>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>

class CSerialReader
{
public:
    // Bytes the queue may hold before the thread waits for the user-interface thread.
    static constexpr qsizetype kLimit = 64 * 1024 * 1024;

    // Starts reading `handle` (a non-blocking device that outlives this object); the queue holds up
    // to `limit` bytes.
    CSerialReader(int handle, const CSerialSettings &settings, qsizetype limit = kLimit);
    // Stops the thread, wherever it is, and joins it.
    ~CSerialReader();
    CSerialReader(const CSerialReader &) = delete;
    CSerialReader &operator=(const CSerialReader &) = delete;

    // False when the thread or its handles could not be made.
    bool IsRunning() const { return m_thread.IsRunning(); }
    // Readable while a telegram waits, and for good once the device has ended.
    int WakeHandle() const { return m_thread.WakeHandle(); }
    // Takes the oldest telegram; false when none waits.
    bool Take(std::string &out);
    // The device ended (pulled out, hung up) and every telegram read before has been queued: the
    // errno it ended with, 0 while it has not.
    int EndedWith() const { return m_nEnded.load(std::memory_order_acquire); }
    qsizetype QueuedBytes() const { return m_nBytes.load(std::memory_order_relaxed); }
    // While held the thread takes nothing from the device, which then holds back the far end as a
    // full queue does.
    void Hold(bool held) { m_bHeld.store(held, std::memory_order_relaxed); }

private:
    void Run();
    // Queues `bytes` as telegrams by the settings; `pending` keeps what has no end yet.
    void Cut(const char *bytes, qsizetype length);
    void Emit(std::string &telegram);
    void End(int error);

    const int m_nHandle;
    const CSerialSettings m_settings;
    const qsizetype m_nLimit;
    std::atomic<int> m_nEnded{0};
    std::atomic<bool> m_bHeld{false};
    std::string m_pending;  // the thread's: bytes of a telegram whose end has not come
    mutable std::mutex m_mutex;
    std::deque<std::string> m_queue;  // filled by the thread, under the mutex
    std::deque<std::string> m_taken;  // the user-interface thread's, taken from m_queue in one piece
    std::atomic<qsizetype> m_nBytes{0};
    // Last: it stops before the rest goes. It wakes while a telegram waits, and for good once the
    // device has ended.
    CReaderThread m_thread;
};
