// Writes telegrams to a pcapng trace as they arrive (a file, a pipe, or standard output) on a writer
// thread of its own, so that a slow disk or reader never holds up the window. Each packet is handed
// to the output as soon as it is encoded, so a reader sees it at once. While the output does not take
// what comes, the trace waits in memory up to kMemoryLimit and beyond that in a temporary file: it is
// bounded in memory, and no telegram is lost; the slow reader is reported once.
#pragma once

#include "display/ctracetelegram.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class CTraceRecorder : public QObject
{
    Q_OBJECT
public:
    // Encoded trace waiting for the output beyond this goes to a temporary file.
    static constexpr qsizetype kDefaultMemoryLimit = 32 * 1024 * 1024;
    // How long the end of a recording waits for the writer to finish by default; a writer still held
    // up then goes on alone, or ends with the program.
    static constexpr std::chrono::milliseconds kStopWait{500};

    explicit CTraceRecorder(QObject *parent = nullptr);
    // Ends the recording as Close(kStopWait) does.
    ~CTraceRecorder() override;

    // Starts a new trace at `path` ("-": standard output), replacing a file that is there; a pipe
    // without a reader is an error at once. `serialDissector` names the dissector of serial telegrams.
    bool Open(const QString &path, const QByteArray &serialDissector, QString *error);
    // The same on an open descriptor, which the recorder then owns.
    bool OpenDescriptor(int fd, const QByteArray &serialDissector, QString *error);
    // Sets where waiting trace goes to disk (before Open; for tests).
    void SetMemoryLimit(qsizetype bytes) { m_memoryLimit = bytes; }
    // Queues a telegram (its bytes are shared, not copied); returns at once. Ignored after a failure.
    void Write(const CTraceTelegram &telegram);
    // Queues the close of a TCP connection.
    void EndConnection(quint64 connection, qint64 microseconds);
    // Closes the connections still open, lets the writer hand everything to the output and closes
    // it, waiting at most `wait` (negative: as long as it takes).
    void Close(std::chrono::milliseconds wait = kStopWait);
    // Waits until everything queued so far has reached the output, or failed (tests, benchmark).
    void WaitWritten();
    bool IsOpen() const { return m_state != nullptr; }
    QString Path() const { return m_strPath; }
    // Bytes of trace that went to the temporary file since the open (0: the output kept up).
    qint64 SpilledBytes() const;

Q_SIGNALS:
    // Writing failed (disk full, reader gone, …): nothing more is written. From the event loop, once.
    void Failed(const QString &cause);
    // The output stopped taking the trace as fast as it came: from now on it waits in a temporary
    // file. From the event loop, once per recording.
    void SlowReader();

private:
    struct State;
    static void Run(const std::shared_ptr<State> &state);

    QString m_strPath;
    qsizetype m_memoryLimit = kDefaultMemoryLimit;
    std::shared_ptr<State> m_state;
};
