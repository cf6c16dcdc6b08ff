#include "net/csendbudget.h"

#include "net/ctcpsoc.h"

#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

void CSendBudget::Add(qsizetype delta)
{
    m_nQueued += delta;
    if (delta > 0) {
        m_nPeak = qMax(m_nPeak, m_nQueued);
        if (m_nQueued > m_nLimit)
            m_bHolding = true;
        return;
    }
    if (m_bHolding && m_nQueued <= m_nLimit / 2) {
        m_bHolding = false;
        ReleaseHeld();
    }
    if (m_nPeak >= kTrimAfter && m_nQueued <= m_nPeak / 4) {
        m_nPeak = m_nQueued;
        GiveBackMemory();
    }
}

void CSendBudget::ReleaseHeld()
{
    // A socket may hold again (its own queue is still too long): it then stays in the set.
    const std::vector<CTCPSoc *> held(m_held.begin(), m_held.end());
    m_held.clear();
    for (CTCPSoc *socket : held)
        socket->ResumeReading();
}

void CSendBudget::GiveBackMemory()
{
    // The queued telegrams were many blocks of the heap; freed, they stay with the process unless
    // the allocator is asked to return whole free pages.
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}
