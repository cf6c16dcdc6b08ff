// The capture source the packet analyser starts (its "extcap" protocol): lists the interfaces
// (listen as a TCP server, connect as a TCP client, open a serial line), their link types and their
// settings, and captures on one of them into the FIFO the analyser names, as a pcapng trace of
// what the peers send.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class CTraceRecorder;
class QSocketNotifier;

class CExtcap : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *kTcpServer = "quillnet-tcpserver";
    static constexpr const char *kTcpClient = "quillnet-tcpclient";
    static constexpr const char *kSerial = "quillnet-serial";

    CExtcap();
    ~CExtcap() override;

    // Runs the command line (the analyser's options) and returns the exit code; what the protocol
    // answers goes to `out`, complaints to standard error.
    int Run(const QStringList &arguments, QByteArray *out);

    // The protocol's answers.
    static QByteArray Interfaces();
    static QByteArray Dlts(const QString &interface);
    static QByteArray Config(const QString &interface);

private:
    // The capture: until the peer closes (a client, a line that goes) or the analyser stops it
    // (SIGTERM, or the FIFO's reader goes).
    int Capture(const QString &interface, const QMap<QString, QString> &options);
    bool Listen(unsigned port);
    bool Connect(const QString &host, unsigned port);
    bool OpenLine(const QString &device, const QString &baud);
    void Accept();
    // Reads what `fd` has; false once it has ended.
    void Read(int fd);
    void Watch(int fd);
    void Drop(int fd);

    struct Connection;
    std::unique_ptr<CTraceRecorder> m_pRecorder;
    int m_nListen = -1;
    std::unique_ptr<QSocketNotifier> m_pListenNotifier;
    QMap<int, std::shared_ptr<Connection>> m_connections;
    quint64 m_nNextConnection = 1;
    bool m_bEndWhenIdle = false;  // a client or a line: the capture ends with its connection
    bool m_bSerial = false;
    int m_nExit = 0;
};
