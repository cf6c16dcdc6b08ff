// The far end of a batch run: a loopback TCP server that greets every connection with a prompt,
// records each line it receives (lines end with CR) and answers each with the prompt.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>

#include <functional>

class QTcpSocket;

class PromptServer : public QObject
{
    Q_OBJECT
public:
    // Listens on `address` (127.0.0.1 unless told), a port of the system's choice.
    explicit PromptServer(const QHostAddress &address = QHostAddress::LocalHost);
    ~PromptServer() override;

    quint16 Port() const { return m_server.serverPort(); }
    QString PortText() const { return QString::number(Port()); }

    // What the server writes on a new connection and after each line; empty writes nothing.
    QByteArray greeting = "> ";
    QByteArray answer = "> ";
    // Closes a connection, without answering, when it has received this many lines (0: never).
    int closeAfterLines = 0;
    // Called after each recorded line, with the connection's index and the line's number from 1.
    std::function<void(int connection, int line)> onLine;

    int ConnectionCount() const { return int(m_connections.size()); }
    // Everything a connection has received, byte for byte, and its lines without their CR.
    QByteArray Received(int connection) const;
    QList<QByteArray> Lines(int connection) const;
    int TotalLines() const;
    // Writes to a connection now, or closes it (after what was written).
    void Write(int connection, const QByteArray &bytes);
    void Close(int connection);

private:
    struct Connection
    {
        QTcpSocket *socket;
        QByteArray received;
        QByteArray pending;
        QList<QByteArray> lines;
    };
    void OnNewConnection();
    void OnReadyRead(int index);

    QTcpServer m_server;
    QList<Connection> m_connections;
};
