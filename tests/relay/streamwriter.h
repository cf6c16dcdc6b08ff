// Writes a block to a socket while the event loop runs, as fast as the socket takes it.
#pragma once

#include <QByteArray>
#include <QSocketNotifier>

#include <memory>

class StreamWriter
{
public:
    StreamWriter(int handle, QByteArray data, int chunk = 1024 * 1024);
    qsizetype Written() const { return m_nWritten; }
    bool IsDone() const { return m_nWritten == m_data.size(); }

private:
    void WriteSome();

    int m_handle;
    QByteArray m_data;
    int m_nChunk;
    qsizetype m_nWritten = 0;
    std::unique_ptr<QSocketNotifier> m_pNotifier;
};

// Bytes that differ from run to run and from place to place, so that a reordering shows.
QByteArray PatternBytes(qsizetype size, quint32 seed);
