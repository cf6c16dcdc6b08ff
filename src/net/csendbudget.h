// The bytes that sockets sharing one budget (the clients of a server) may leave waiting to be sent,
// together. Past the limit the sockets whose own bytes wait stop announcing received data until the
// total has drained to half, so that TCP holds their peers back; a send of the user's that would
// queue past the limit is refused. After a large queue has drained the freed memory goes back to
// the system.
#pragma once

#include <QtGlobal>

#include <unordered_set>

class CTCPSoc;

class CSendBudget
{
public:
    static constexpr qsizetype kDefaultLimit = qsizetype(256) * 1024 * 1024;
    // A drain from at least this much to a quarter of it gives the freed memory back.
    static constexpr qsizetype kTrimAfter = qsizetype(16) * 1024 * 1024;

    explicit CSendBudget(qsizetype limit = kDefaultLimit) : m_nLimit(limit) {}
    CSendBudget(const CSendBudget &) = delete;
    CSendBudget &operator=(const CSendBudget &) = delete;

    qsizetype Limit() const { return m_nLimit; }
    void SetLimit(qsizetype limit) { m_nLimit = limit; }
    qsizetype Queued() const { return m_nQueued; }
    // Past the limit, and not yet drained to half of it.
    bool Holds() const { return m_bHolding; }
    // Whether `bytes` more may wait: always for the answer to what was just read (holding reading
    // bounds those), otherwise only within the limit.
    bool Admits(qsizetype bytes) const { return m_bAnswering || m_nQueued + bytes <= m_nLimit; }
    // The sends between these two answer the telegram just read (an echo).
    void BeginAnswer() { m_bAnswering = true; }
    void EndAnswer() { m_bAnswering = false; }

    // A socket's queue grew (positive) or shrank.
    void Add(qsizetype delta);
    // `socket` holds back a receive notice; it hears ResumeReading() when holding ends.
    void Hold(CTCPSoc *socket) { m_held.insert(socket); }
    void Forget(CTCPSoc *socket) { m_held.erase(socket); }

private:
    qsizetype m_nLimit;
    qsizetype m_nQueued = 0;
    qsizetype m_nPeak = 0;  // the most queued since memory was last given back
    bool m_bHolding = false;
    bool m_bAnswering = false;
    std::unordered_set<CTCPSoc *> m_held;

    void ReleaseHeld();
    static void GiveBackMemory();
};
