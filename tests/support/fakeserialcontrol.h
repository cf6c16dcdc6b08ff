// A serial driver with modem lines, a break and RS-485, standing in behind a pseudo-terminal (which
// has none of them) through CSerialControl: the test sets the input lines as a device would, sees
// what the program set, and may make a call fail as a driver that lacks it does. Installed for the
// lines opened while it lives.
#pragma once

#include "net/cserialcontrol.h"

#include <QElapsedTimer>
#include <QList>
#include <QPair>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/ioctl.h>

class FakeSerialControl final : public CSerialControl
{
public:
    FakeSerialControl()
    {
        clock.start();
        Use(this);
    }
    ~FakeSerialControl() override { Use(nullptr); }

    // The lines the device drives change to `lines` (TIOCM_* bits; the output lines are kept).
    void SetInputs(int inputs)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_nLines = (m_nLines & (TIOCM_DTR | TIOCM_RTS)) | inputs;
            ++m_nChanges;
        }
        m_changed.notify_all();
    }
    int Lines()
    {
        const std::lock_guard lock(m_mutex);
        return m_nLines;
    }

    int GetLines(int, int *bits) override
    {
        const std::lock_guard lock(m_mutex);
        *bits = m_nLines;
        return 0;
    }
    int SetLines(int, int bits, bool on) override
    {
        const std::lock_guard lock(m_mutex);
        if (setError)
            return setError;
        m_nLines = on ? m_nLines | bits : m_nLines & ~bits;
        return 0;
    }
    int SetBreak(int, bool on) override
    {
        const std::lock_guard lock(m_mutex);
        breaks.append({on, clock.elapsed()});
        return 0;
    }
    int WaitLines(int) override
    {
        if (waitError)
            return waitError;
        // Wakes at a change, and now and then without one, as a stop's signal would wake the driver.
        std::unique_lock lock(m_mutex);
        const int seen = m_nChanges;
        m_changed.wait_for(lock, std::chrono::milliseconds(20), [&] { return m_nChanges != seen; });
        return 0;
    }
    int SetRs485(int, const Rs485 &rs485) override
    {
        const std::lock_guard lock(m_mutex);
        rs485Set.append(rs485);
        return rs485Error;
    }

    int setError = 0;    // what SetLines answers
    int waitError = 0;   // what WaitLines answers (ENOTTY: the driver cannot wait, the lines are polled)
    int rs485Error = 0;  // what SetRs485 answers
    QList<QPair<bool, qint64>> breaks;  // each SetBreak: on or off, and when (ms on `clock`)
    QList<Rs485> rs485Set;
    QElapsedTimer clock;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_nLines = 0;
    int m_nChanges = 0;
};
