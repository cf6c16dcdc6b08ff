#include "net/cmodemwatcher.h"

#include "net/cserialcontrol.h"

#include <cerrno>
#include <chrono>
#include <poll.h>

CModemWatcher::CModemWatcher(int handle, CSerialControl *control, int lines)
    : m_nHandle(handle), m_pControl(control), m_nLines(lines)
{
    m_thread.SetInterruptOnStop(true);
    m_thread.Start("qn-serial-lines", [this] { Run(); });
}

CModemWatcher::~CModemWatcher()
{
    m_thread.Stop();
}

bool CModemWatcher::Take(Change *change)
{
    const std::lock_guard lock(m_mutex);
    if (m_queue.empty()) {
        m_thread.ClearWake();
        return false;
    }
    *change = m_queue.front();
    m_queue.pop_front();
    return true;
}

void CModemWatcher::Run()
{
    // Read, then wait: a change between the open's reading and the first wait is not missed.
    while (!m_thread.StopRequested()) {
        int lines = 0;
        if (m_pControl->GetLines(m_nHandle, &lines) != 0)
            return;  // the device has gone: the reader says so
        if (lines != m_nLines) {
            m_nLines = lines;
            const qint64 when = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
            bool first = false;
            {
                const std::lock_guard lock(m_mutex);
                first = m_queue.empty();
                m_queue.push_back({lines, when});
            }
            if (first)
                m_thread.Wake();
        }
        if (m_bWaits.load(std::memory_order_relaxed)) {
            const int error = m_pControl->WaitLines(m_nHandle);
            if (error == ENOTTY || error == EINVAL)
                m_bWaits.store(false, std::memory_order_relaxed);  // this driver cannot wait: poll
            else if (error != 0 && error != EINTR)
                return;
        } else {
            pollfd stop = {m_thread.StopHandle(), POLLIN, 0};
            ::poll(&stop, 1, kPollMs);
        }
    }
}
