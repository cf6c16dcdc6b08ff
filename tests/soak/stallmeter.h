// Measures how long the UI thread's event loop goes without a turn: a fast timer notes the longest
// gap between its ticks.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class StallMeter : public QObject
{
public:
    explicit StallMeter(int intervalMs = 5);
    void Start();
    void Stop() { m_timer.stop(); }
    // Longest gap between two ticks (or since the start), in milliseconds.
    qint64 LongestGapMs() const { return m_longest; }
    int Ticks() const { return m_ticks; }

private:
    void Tick();

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    int m_ticks = 0;
};
