// A peer on a thread of its own that streams a known byte sequence into a loopback TCP port as fast
// as the far end takes it, hashing what it sent.
#pragma once

#include <QByteArray>

#include <atomic>
#include <thread>

class FloodPeer
{
public:
    // The byte at `offset` of the stream (a pattern whose period is no multiple of a read size).
    static char ByteAt(qint64 offset);
    // `count` bytes of the stream from `offset`.
    static QByteArray Slice(qint64 offset, qint64 count);

    // Connects to 127.0.0.1:port at once; Start sends `total` bytes.
    FloodPeer(quint16 port, qint64 total);
    ~FloodPeer();
    FloodPeer(const FloodPeer &) = delete;
    FloodPeer &operator=(const FloodPeer &) = delete;

    bool IsConnected() const { return m_handle >= 0; }
    void Start();
    qint64 Sent() const { return m_sent.load(std::memory_order_acquire); }
    bool IsFinished() const { return m_finished.load(std::memory_order_acquire); }
    // SHA-256 of every byte sent; valid once finished.
    QByteArray Sha256() const { return m_sha256; }
    // errno of a failed send, 0 when none failed.
    int Error() const { return m_error; }

private:
    void Run();

    int m_handle = -1;
    qint64 m_total;
    std::atomic<qint64> m_sent{0};
    std::atomic<bool> m_finished{false};
    int m_error = 0;
    QByteArray m_sha256;
    std::thread m_thread;
};
