// Appends a message window's lines to a file on a writer thread, so that the disk never holds up the window.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

class CLineRecorder : public QObject
{
    Q_OBJECT
public:
    // Text waiting for the disk beyond this stops the recording (the disk cannot keep up).
    static constexpr qsizetype kMaxPending = 256 * 1024 * 1024;
    // The writer writes when this much is waiting, or kGather after the first of it arrived.
    static constexpr qsizetype kBatch = 256 * 1024;
    static constexpr std::chrono::milliseconds kGather{20};

    explicit CLineRecorder(QObject *parent = nullptr);
    // Writes what is still waiting, then closes the file.
    ~CLineRecorder() override;

    // Opens the file for appending (created when missing) and starts the writer; false with the
    // cause in `error` when it cannot be opened.
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
    void Run();
    void Fail(const QString &cause);
    // The file at the path is still the one being written.
    bool StillThere() const;

    QString m_strPath;
    int m_fd = -1;
    std::thread m_writer;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    QByteArray m_pending;
    bool m_writing = false;
    bool m_stop = false;
    bool m_failed = false;
};
