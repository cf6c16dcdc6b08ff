#include "stallmeter.h"

StallMeter::StallMeter(int intervalMs)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
}

void StallMeter::Start()
{
    m_clock.start();
    m_last = 0;
    m_longest = 0;
    m_ticks = 0;
    m_timer.start();
}

void StallMeter::Tick()
{
    const qint64 now = m_clock.elapsed();
    m_longest = qMax(m_longest, now - m_last);
    m_last = now;
    ++m_ticks;
}
