#include "promptserver.h"

#include <QTcpSocket>

PromptServer::PromptServer(const QHostAddress &address)
{
    m_server.listen(address, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &PromptServer::OnNewConnection);
}

PromptServer::~PromptServer() = default;

QByteArray PromptServer::Received(int connection) const
{
    return connection < m_connections.size() ? m_connections[connection].received : QByteArray();
}

QList<QByteArray> PromptServer::Lines(int connection) const
{
    return connection < m_connections.size() ? m_connections[connection].lines : QList<QByteArray>();
}

int PromptServer::TotalLines() const
{
    int total = 0;
    for (const Connection &c : m_connections)
        total += int(c.lines.size());
    return total;
}

void PromptServer::Write(int connection, const QByteArray &bytes)
{
    if (connection < m_connections.size() && !bytes.isEmpty())
        m_connections[connection].socket->write(bytes);
}

void PromptServer::Close(int connection)
{
    if (connection < m_connections.size())
        m_connections[connection].socket->close();
}

void PromptServer::OnNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        const int index = int(m_connections.size());
        m_connections.append({socket, {}, {}, {}});
        connect(socket, &QTcpSocket::readyRead, this, [this, index] { OnReadyRead(index); });
        Write(index, greeting);
    }
}

void PromptServer::OnReadyRead(int index)
{
    // Looked up afresh after every step: the callback may run code that adds connections.
    const auto at = [this, index]() -> Connection & { return m_connections[index]; };
    const QByteArray data = at().socket->readAll();
    at().received += data;
    at().pending += data;
    qsizetype end;
    while ((end = at().pending.indexOf('\r')) >= 0) {
        at().lines.append(at().pending.left(end));
        at().pending.remove(0, end + 1);
        const int line = int(at().lines.size());
        if (closeAfterLines > 0 && line == closeAfterLines) {
            at().socket->close();
            return;
        }
        Write(index, answer);
        if (onLine)
            onLine(index, line);
    }
}
