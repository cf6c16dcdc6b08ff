// Appends a message window's lines to a file on a writer thread, so that the disk never holds up the window.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

class CLineRecorder : public QObject
{
    Q_OBJECT
public:
    // Text waiting for the disk beyond this stops the recording (the disk cannot keep up).
    static constexpr qsizetype kMaxPending = 256 * 1024 * 1024;
    // The writer writes when this much is waiting, or kGather after the first of it arrived.
    static constexpr qsizetype kBatch = 256 * 1024;
    static constexpr std::chrono::milliseconds kGather{20};
    // How long the end of a recording waits for the writer to finish; a writer still held up then
    // (a pipe nobody reads, a file system that does not answer) goes on alone, or ends with the program.
    static constexpr std::chrono::milliseconds kStopWait{500};

    explicit CLineRecorder(QObject *parent = nullptr);
    // Lets the writer write what is still waiting and close the file, waiting at most kStopWait.
    ~CLineRecorder() override;

    // Opens the file for appending (created when missing) without waiting for anything (a pipe
    // without a reader is an error at once) and starts the writer; false with the cause in
    // `error` when it cannot be opened.
    bool Open(const QString &path, QString *error);
    // Queues text for the file; returns at once. Ignored after a failure.
    void Append(QByteArrayView text);
    // Waits until everything queued so far is on the disk or has failed (for tests and the benchmark).
    void WaitWritten();
    QString Path() const { return m_strPath; }

Q_SIGNALS:
    // Writing failed (disk full, file gone, …): nothing more is written. Emitted once, from the
    // event loop, never from inside Append.
    void Failed(const QString &cause);

private:
    // What the writer thread shares with the recorder; it outlives a recorder that stopped waiting.
    struct State;
    static void Run(const std::shared_ptr<State> &state);

    QString m_strPath;
    std::shared_ptr<State> m_state;
};
