#include "display/clinerecorder.h"

#include "platform/fileerrortext.h"

#include <QFile>
#include <QPointer>

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

struct CLineRecorder::State
{
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    QByteArray pending;
    bool writing = false;
    bool stop = false;
    bool failed = false;
    bool finished = false;
    int fd = -1;
    QByteArray path;
    QPointer<CLineRecorder> owner;  // null once the recorder has stopped waiting

    // Writing has failed: nothing more is taken, and the owner hears of it from the event loop.
    // Called with the mutex held.
    void Fail(const QString &cause)
    {
        failed = true;
        pending.clear();
        if (CLineRecorder *recorder = owner)
            QMetaObject::invokeMethod(recorder, [recorder, cause] { Q_EMIT recorder->Failed(cause); }, Qt::QueuedConnection);
    }

    // The file at the path is still the one being written.
    bool StillThere() const
    {
        struct stat open {};
        struct stat named {};
        if (::fstat(fd, &open) != 0 || ::stat(path.constData(), &named) != 0)
            return false;
        return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
    }
};

CLineRecorder::CLineRecorder(QObject *parent) : QObject(parent) {}

CLineRecorder::~CLineRecorder()
{
    if (!m_state)
        return;
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->stop = true;
    m_state->owner = nullptr;
    m_state->wake.notify_one();
    // The writer owns the file and its own end from here: one that does not finish in time is
    // left to it (or to the end of the program), never waited for.
    m_state->idle.wait_for(lock, kStopWait, [this] { return m_state->finished; });
}

bool CLineRecorder::Open(const QString &path, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    // Not blocking: opening a pipe for writing otherwise waits for a reader, maybe for ever.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0 || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        if (error)
            *error = FileErrorText(errno);
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    m_strPath = path;
    m_state = std::make_shared<State>();
    m_state->fd = fd;
    m_state->path = name;
    m_state->owner = this;
    std::thread([state = m_state] { Run(state); }).detach();
    return true;
}

void CLineRecorder::Append(QByteArrayView text)
{
    if (!m_state)
        return;
    bool wake = false;
    {
        const std::lock_guard<std::mutex> lock(m_state->mutex);
        if (m_state->failed)
            return;
        if (m_state->pending.size() + text.size() > kMaxPending) {
            m_state->Fail(QStringLiteral("書き込みが受信に追いつきません。"));
            return;
        }
        // The writer wakes for the first text after a write and again once a batch is full.
        const qsizetype before = m_state->pending.size();
        m_state->pending.append(text);
        wake = before == 0 || (before < kBatch && m_state->pending.size() >= kBatch);
    }
    if (wake)
        m_state->wake.notify_one();
}

void CLineRecorder::WaitWritten()
{
    if (!m_state)
        return;
    std::unique_lock<std::mutex> lock(m_state->mutex);
    m_state->idle.wait(lock, [this] {
        return (m_state->pending.isEmpty() && !m_state->writing) || m_state->failed || m_state->finished;
    });
}

void CLineRecorder::Run(const std::shared_ptr<State> &state)
{
    pthread_setname_np(pthread_self(), "qn-recorder");  // for top -H and a debugger
    // A pipe whose reader has gone fails the write (EPIPE) instead of ending the program.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    using Clock = std::chrono::steady_clock;
    auto lastCheck = Clock::now();
    QByteArray batch;
    std::unique_lock<std::mutex> lock(state->mutex);
    for (;;) {
        state->wake.wait(lock, [&] { return state->stop || !state->pending.isEmpty(); });
        if (state->pending.isEmpty() && state->stop)
            break;
        // Lines arriving one by one go out together: one write for a batch or a short while.
        state->wake.wait_for(lock, kGather, [&] { return state->stop || state->pending.size() >= kBatch; });
        batch.clear();
        batch.swap(state->pending);
        state->writing = true;
        lock.unlock();
        int code = 0;
        for (qsizetype written = 0; written < batch.size();) {
            const ssize_t n = ::write(state->fd, batch.constData() + written, static_cast<size_t>(batch.size() - written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                code = n < 0 ? errno : ENOSPC;
                break;
            }
            written += n;
        }
        // A file removed (or its folder, or its medium) takes writes without complaint: look now and then.
        if (code == 0 && Clock::now() - lastCheck > std::chrono::milliseconds(200)) {
            lastCheck = Clock::now();
            if (!state->StillThere())
                code = ENOENT;
        }
        lock.lock();
        state->writing = false;
        if (code != 0 && !state->failed)
            state->Fail(FileErrorText(code));
        state->idle.notify_all();
        if (state->failed && state->stop)
            break;
    }
    ::close(state->fd);
    state->finished = true;
    state->idle.notify_all();
}
