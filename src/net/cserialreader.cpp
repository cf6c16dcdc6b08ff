#include "net/cserialreader.h"

#include "platform/qnwin.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr std::size_t kReadSize = 65536;
// How long the thread waits before it looks again at a full or held queue.
constexpr int kFullWaitMs = 10;

}  // namespace

CSerialReader::CSerialReader(int handle, const CSerialSettings &settings, qsizetype limit)
    : m_nHandle(handle), m_settings(settings), m_nLimit(limit)
{
    m_thread.Start("qn-serial-reader", [this] { Run(); });
}

CSerialReader::~CSerialReader()
{
    m_thread.Stop();  // before the queues the thread fills go
}

bool CSerialReader::Take(std::string &out)
{
    if (m_taken.empty()) {
        const std::lock_guard lock(m_mutex);
        m_taken.swap(m_queue);
    }
    if (m_taken.empty()) {
        if (EndedWith() == 0)
            m_thread.ClearWake();
        // A telegram or the end that came between the swap and the clear signals again.
        const std::lock_guard lock(m_mutex);
        if (!m_queue.empty() || EndedWith() != 0)
            m_thread.Wake();
        return false;
    }
    out = std::move(m_taken.front());
    m_taken.pop_front();
    m_nBytes.fetch_sub(qsizetype(out.size()), std::memory_order_relaxed);
    return true;
}

void CSerialReader::Emit(std::string &telegram)
{
    if (telegram.empty())
        return;
    m_nBytes.fetch_add(qsizetype(telegram.size()), std::memory_order_relaxed);
    bool first = false;
    {
        const std::lock_guard lock(m_mutex);
        first = m_queue.empty();
        m_queue.push_back(std::move(telegram));
    }
    telegram.clear();
    if (first)
        m_thread.Wake();
}

void CSerialReader::Cut(const char *bytes, qsizetype length)
{
    if (m_settings.end == CSerialSettings::END_EACH_READ) {
        std::string telegram(bytes, std::size_t(length));
        Emit(telegram);
        return;
    }
    // A telegram ends after its end byte, and at the most one receive takes.
    while (length > 0) {
        qsizetype take = std::min(length, QN_MAX_RECEIVE - qsizetype(m_pending.size()));
        bool end = false;
        if (m_settings.end == CSerialSettings::END_BYTE) {
            if (const void *found = std::memchr(bytes, m_settings.endByte, std::size_t(take))) {
                take = static_cast<const char *>(found) - bytes + 1;
                end = true;
            }
        }
        m_pending.append(bytes, std::size_t(take));
        bytes += take;
        length -= take;
        if (end || qsizetype(m_pending.size()) >= QN_MAX_RECEIVE)
            Emit(m_pending);
    }
}

void CSerialReader::End(int error)
{
    Emit(m_pending);  // what was read before the end is a telegram of its own
    m_nEnded.store(error != 0 ? error : EIO, std::memory_order_release);
    m_thread.Wake();
}

void CSerialReader::Run()
{
    std::string buffer(kReadSize, '\0');
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastByte = Clock::now();
    bool filled = false;  // until the queue has drained to half: then reading goes on in long runs
    while (!m_thread.StopRequested()) {
        pollfd handles[2] = {{m_nHandle, POLLIN, 0}, {m_thread.StopHandle(), POLLIN, 0}};
        const qsizetype bytes = m_nBytes.load(std::memory_order_relaxed);
        filled = filled ? bytes > m_nLimit / 2 : bytes >= m_nLimit;
        const bool full = filled || m_bHeld.load(std::memory_order_relaxed);
        int timeout = full ? kFullWaitMs : -1;
        if (!full && m_settings.end == CSerialSettings::END_GAP && !m_pending.empty()) {
            const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastByte).count();
            timeout = int(std::max<qint64>(0, m_settings.gapMs - since));
        }
        const int ready = ::poll(full ? handles + 1 : handles, full ? 1 : 2, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            End(errno);
            return;
        }
        if (full || m_thread.StopRequested())
            continue;
        if (ready == 0) {
            Emit(m_pending);  // the gap has passed: the telegram is whole
            continue;
        }
        if (handles[0].revents == 0)
            continue;
        // Read what there is, also after a hang-up: bytes that came before it are kept.
        const ssize_t count = ::read(m_nHandle, buffer.data(), buffer.size());
        if (count > 0) {
            lastByte = Clock::now();
            Cut(buffer.data(), qsizetype(count));
        } else if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
            End(count == 0 ? EIO : errno);
            return;
        } else if (handles[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            End(EIO);
            return;
        }
    }
}
