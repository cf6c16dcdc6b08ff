#include "display/ctracerecorder.h"

#include "display/cpcapngwriter.h"
#include "platform/fileerrortext.h"

#include <QFile>
#include <QPointer>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// What the window hands the writer: a telegram, or the close of a TCP connection.
struct Item
{
    CTraceTelegram telegram;
    bool end = false;
};

// How long the writer waits for a slow output before it looks at the queue again.
constexpr int kPollMs = 50;
// The most one write hands the output, and one read takes back from the temporary file.
constexpr qsizetype kChunk = 1024 * 1024;

}  // namespace

struct CTraceRecorder::State
{
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::vector<Item> queue;
    bool stop = false;
    bool failed = false;
    bool finished = false;
    bool drained = true;  // the writer holds nothing that has not reached the output
    int fd = -1;
    qsizetype memoryLimit = kDefaultMemoryLimit;
    QByteArray dissector;
    std::atomic<qint64> spilled{0};
    QPointer<CTraceRecorder> owner;  // null once the recorder has stopped waiting

    // Called with the mutex held.
    void Fail(const QString &cause)
    {
        failed = true;
        queue.clear();
        if (CTraceRecorder *recorder = owner)
            QMetaObject::invokeMethod(recorder, [recorder, cause] { Q_EMIT recorder->Failed(cause); }, Qt::QueuedConnection);
    }
};

CTraceRecorder::CTraceRecorder(QObject *parent) : QObject(parent) {}

CTraceRecorder::~CTraceRecorder()
{
    Close();
}

bool CTraceRecorder::Open(const QString &path, const QByteArray &serialDissector, QString *error)
{
    int fd = -1;
    if (path == QStringLiteral("-")) {
        fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    } else {
        // Not blocking: opening a pipe for writing otherwise waits for a reader, maybe for ever.
        fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
    }
    if (fd < 0) {
        if (error)
            *error = FileErrorText(errno);
        return false;
    }
    m_strPath = path;
    return OpenDescriptor(fd, serialDissector, error);
}

bool CTraceRecorder::OpenDescriptor(int fd, const QByteArray &serialDissector, QString *error)
{
    Close();
    // The writer never blocks in a write: while the output is full it keeps taking what comes.
    if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        if (error)
            *error = FileErrorText(errno);
        ::close(fd);
        return false;
    }
    m_state = std::make_shared<State>();
    m_state->fd = fd;
    m_state->memoryLimit = m_memoryLimit;
    m_state->dissector = serialDissector;
    m_state->owner = this;
    std::thread(Run, m_state).detach();
    return true;
}

void CTraceRecorder::Write(const CTraceTelegram &telegram)
{
    if (!m_state)
        return;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (m_state->failed)
        return;
    m_state->queue.push_back(Item{telegram, false});
    m_state->drained = false;
    m_state->wake.notify_one();
}

void CTraceRecorder::EndConnection(quint64 connection, qint64 microseconds)
{
    if (!m_state)
        return;
    CTraceTelegram end;
    end.connection = connection;
    end.microseconds = microseconds;
    std::lock_guard<std::mutex> lock(m_state->mutex);
    if (m_state->failed)
        return;
    m_state->queue.push_back(Item{end, true});
    m_state->drained = false;
    m_state->wake.notify_one();
}

void CTraceRecorder::Close(std::chrono::milliseconds wait)
{
    if (!m_state)
        return;
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->stop = true;
    m_state->owner = nullptr;
    m_state->wake.notify_one();
    const auto done = [this] { return m_state->finished; };
    if (wait.count() < 0)
        m_state->idle.wait(lock, done);
    else
        m_state->idle.wait_for(lock, wait, done);
    lock.unlock();
    m_state.reset();
}

void CTraceRecorder::WaitWritten()
{
    if (!m_state)
        return;
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->idle.wait(lock, [this] { return m_state->failed || m_state->finished || (m_state->queue.empty() && m_state->drained); });
}

qint64 CTraceRecorder::SpilledBytes() const
{
    return m_state ? m_state->spilled.load() : 0;
}

void CTraceRecorder::Run(const std::shared_ptr<State> &state)
{
    pthread_setname_np(pthread_self(), "qn-trace");
    // A pipe whose reader has gone fails the write (EPIPE) instead of ending the program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    CPcapngWriter writer;
    writer.SetSerialDissector(state->dissector);
    QByteArray out;
    writer.Begin(out);
    qsizetype outDone = 0;      // of `out`, handed to the output already
    std::FILE *spill = nullptr;  // trace the output has not taken, older than `out`
    qint64 spillRead = 0, spillSize = 0;
    bool slowSaid = false;
    bool finishing = false;
    QByteArray chunk;
    QString failure;

    const auto writeSome = [&](const char *data, qsizetype size) -> qsizetype {
        const ssize_t n = ::write(state->fd, data, size_t(std::min(size, kChunk)));
        if (n >= 0)
            return n;
        if (errno == EAGAIN || errno == EINTR)
            return 0;
        failure = FileErrorText(errno);
        return -1;
    };

    for (;;) {
        std::vector<Item> items;
        bool stopping = false;
        {
            std::unique_lock<std::mutex> lock(state->mutex);
            const bool waiting = outDone < out.size() || spillRead < spillSize;
            if (!waiting) {
                state->drained = true;
                state->idle.notify_all();
                state->wake.wait(lock, [&] { return !state->queue.empty() || state->stop; });
            }
            items.swap(state->queue);
            stopping = state->stop;
            if (state->failed)
                break;
        }
        for (const Item &item : items) {
            if (item.end)
                writer.EndConnection(item.telegram.connection, item.telegram.microseconds, out);
            else
                writer.Write(item.telegram, out);
        }
        if (stopping && !finishing) {
            writer.Finish(out);
            finishing = true;
        }

        // Oldest first: what waits in the temporary file, then what waits in memory.
        bool blocked = false;
        while (!blocked && spillRead < spillSize) {
            chunk.resize(qsizetype(std::min<qint64>(kChunk, spillSize - spillRead)));
            const ssize_t got = ::pread(fileno(spill), chunk.data(), size_t(chunk.size()), spillRead);
            if (got <= 0) {
                failure = FileErrorText(got < 0 ? errno : EIO);
                break;
            }
            const qsizetype n = writeSome(chunk.constData(), got);
            if (n < 0)
                break;
            spillRead += n;
            blocked = n < got;
        }
        if (failure.isEmpty() && spillRead == spillSize && spill) {
            std::fclose(spill);
            spill = nullptr;
            spillRead = spillSize = 0;
        }
        while (failure.isEmpty() && !blocked && !spill && outDone < out.size()) {
            const qsizetype n = writeSome(out.constData() + outDone, out.size() - outDone);
            if (n < 0)
                break;
            outDone += n;
            blocked = n == 0;
        }
        if (outDone == out.size()) {
            out.clear();
            outDone = 0;
        }
        // Too much waiting in memory: to the temporary file, after what waits there already.
        if (failure.isEmpty() && out.size() - outDone > state->memoryLimit) {
            if (!spill && !(spill = std::tmpfile()))
                failure = FileErrorText(errno);
            const qsizetype size = out.size() - outDone;
            if (spill && ::pwrite(fileno(spill), out.constData() + outDone, size_t(size), spillSize) != ssize_t(size))
                failure = FileErrorText(errno ? errno : ENOSPC);
            spillSize += size;
            state->spilled += size;
            out.clear();
            outDone = 0;
            if (!slowSaid) {
                slowSaid = true;
                std::lock_guard<std::mutex> lock(state->mutex);
                if (CTraceRecorder *recorder = state->owner)
                    QMetaObject::invokeMethod(recorder, [recorder] { Q_EMIT recorder->SlowReader(); }, Qt::QueuedConnection);
            }
        }
        if (!failure.isEmpty()) {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->Fail(failure);
            break;
        }
        const bool waiting = outDone < out.size() || spillRead < spillSize;
        if (finishing && !waiting) {
            std::lock_guard<std::mutex> lock(state->mutex);
            if (state->queue.empty())
                break;
        }
        if (blocked) {
            pollfd ready{state->fd, POLLOUT, 0};
            ::poll(&ready, 1, kPollMs);
        }
    }
    if (spill)
        std::fclose(spill);
    ::close(state->fd);
    std::lock_guard<std::mutex> lock(state->mutex);
    state->finished = true;
    state->drained = true;
    state->idle.notify_all();
}
