#include "net/creaderthread.h"

#include <cerrno>
#include <cstdint>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <system_error>
#include <unistd.h>

namespace {

void Signal(int handle)
{
    const std::uint64_t one = 1;
    while (::write(handle, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

}  // namespace

CReaderThread::CReaderThread()
    : m_nWake(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), m_nStop(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

CReaderThread::~CReaderThread()
{
    Stop();
    for (const int handle : {m_nWake, m_nStop}) {
        if (handle >= 0)
            ::close(handle);
    }
}

bool CReaderThread::Start(const char *name, std::function<void()> run)
{
    if (m_nWake < 0 || m_nStop < 0 || m_thread.joinable())
        return false;
    try {
        m_thread = std::thread([this, name, run = std::move(run)] {
            pthread_setname_np(pthread_self(), name);
            sched_param priority{};
            priority.sched_priority = sched_get_priority_min(SCHED_FIFO);
            m_bRealTime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority) == 0;
            run();
        });
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}

void CReaderThread::Stop()
{
    if (!m_thread.joinable())
        return;
    m_bStop.store(true, std::memory_order_release);
    Signal(m_nStop);
    m_thread.join();
}

void CReaderThread::Wake() const
{
    Signal(m_nWake);
}

void CReaderThread::ClearWake() const
{
    std::uint64_t count;
    while (::read(m_nWake, &count, sizeof count) < 0 && errno == EINTR) {
    }
}
