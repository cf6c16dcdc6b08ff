// When to try again after a connection ended by itself: a first delay that doubles with each attempt
// that fails, up to a most (a serial line looks every second: first and most the same). A
// connection that held for kHeldMs starts the next series at the first delay again; one the peer
// dropped at once goes on with the longer delays, so a peer that accepts and closes is not hammered.
#pragma once

#include <chrono>

class CReconnectSchedule
{
public:
    using Clock = std::chrono::steady_clock;
    // How long a connection must have lasted for its end to start over from the first delay.
    static constexpr int kHeldMs = 10000;

    // Sets the delays; the series starts over when they differ from those in use.
    void Configure(int firstMs, int maxMs);
    // The delay before the next attempt, each call doubling the next up to the most.
    int NextDelayMs();
    // A connection was made at `now`, or ended at `now` (a held one resets the delays).
    void Connected(Clock::time_point now = Clock::now());
    void Ended(Clock::time_point now = Clock::now());
    // The user stopped waiting: the next series starts at the first delay.
    void Reset();
    int FirstMs() const { return m_nFirstMs; }

private:
    int m_nFirstMs = 500;
    int m_nMaxMs = 10000;
    int m_nNextMs = 500;
    bool m_bConnected = false;
    Clock::time_point m_connectedAt;
};
