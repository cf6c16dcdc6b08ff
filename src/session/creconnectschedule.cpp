#include "session/creconnectschedule.h"

#include <algorithm>

void CReconnectSchedule::Configure(int firstMs, int maxMs)
{
    if (firstMs == m_nFirstMs && maxMs == m_nMaxMs)
        return;
    m_nFirstMs = std::max(1, firstMs);
    m_nMaxMs = std::max(m_nFirstMs, maxMs);
    m_nNextMs = m_nFirstMs;
}

int CReconnectSchedule::NextDelayMs()
{
    const int delay = m_nNextMs;
    m_nNextMs = m_nNextMs > m_nMaxMs / 2 ? m_nMaxMs : m_nNextMs * 2;
    return delay;
}

void CReconnectSchedule::Connected(Clock::time_point now)
{
    m_bConnected = true;
    m_connectedAt = now;
}

void CReconnectSchedule::Ended(Clock::time_point now)
{
    if (m_bConnected && now - m_connectedAt >= std::chrono::milliseconds(kHeldMs))
        m_nNextMs = m_nFirstMs;
    m_bConnected = false;
}

void CReconnectSchedule::Reset()
{
    m_nNextMs = m_nFirstMs;
    m_bConnected = false;
}
