#include "net/creaderthread.h"

#include <cerrno>
#include <chrono>
#include <csignal>
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

// The signal that breaks a blocking call of a reader thread being stopped: its handler does nothing,
// and it is installed without SA_RESTART, so that the call returns EINTR.
int InterruptSignal()
{
    static const int signal = [] {
        const int number = SIGRTMIN + 4;
        struct sigaction action = {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        ::sigaction(number, &action, nullptr);
        return number;
    }();
    return signal;
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
    if (m_bInterrupt)
        InterruptSignal();
    m_bDone.store(false, std::memory_order_release);
    try {
        m_thread = std::thread([this, name, run = std::move(run)] {
            pthread_setname_np(pthread_self(), name);
            sched_param priority{};
            priority.sched_priority = sched_get_priority_min(SCHED_FIFO);
            m_bRealTime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority) == 0;
            run();
            m_bDone.store(true, std::memory_order_release);
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
    // A signal that comes just before the call blocks is lost: it is sent again until the thread ends.
    while (m_bInterrupt && !m_bDone.load(std::memory_order_acquire)) {
        ::pthread_kill(m_thread.native_handle(), InterruptSignal());
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
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
