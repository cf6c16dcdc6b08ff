#include "streamwriter.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

StreamWriter::StreamWriter(int handle, QByteArray data, int chunk) : m_handle(handle), m_data(std::move(data)), m_nChunk(chunk)
{
    m_pNotifier = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Write);
    QObject::connect(m_pNotifier.get(), &QSocketNotifier::activated, m_pNotifier.get(), [this] { WriteSome(); });
    WriteSome();
}

void StreamWriter::WriteSome()
{
    while (m_nWritten < m_data.size()) {
        const qsizetype length = qMin<qsizetype>(m_nChunk, m_data.size() - m_nWritten);
        const ssize_t sent = ::send(m_handle, m_data.constData() + m_nWritten, size_t(length), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            break;
        m_nWritten += sent;
    }
    m_pNotifier->setEnabled(m_nWritten < m_data.size());
}

QByteArray PatternBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 x = seed * 2654435761u + 1;
    for (qsizetype i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = char(x);
    }
    return bytes;
}
