#include "display/clinerecorder.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString ErrnoText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

}  // namespace

CLineRecorder::CLineRecorder(QObject *parent) : QObject(parent) {}

CLineRecorder::~CLineRecorder()
{
    if (m_writer.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_one();
        m_writer.join();
    }
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CLineRecorder::Open(const QString &path, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    m_fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        if (error)
            *error = ErrnoText(errno);
        return false;
    }
    m_strPath = path;
    m_writer = std::thread([this] { Run(); });
    return true;
}

void CLineRecorder::Append(QByteArrayView text)
{
    bool wake = false;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_failed || m_fd < 0)
            return;
        if (m_pending.size() + text.size() > kMaxPending) {
            m_failed = true;
            m_pending.clear();
            Fail(QStringLiteral("書き込みが受信に追いつきません。"));
            return;
        }
        // The writer wakes for the first text after a write and again once a batch is full.
        const qsizetype before = m_pending.size();
        m_pending.append(text);
        wake = before == 0 || (before < kBatch && m_pending.size() >= kBatch);
    }
    if (wake)
        m_wake.notify_one();
}

void CLineRecorder::WaitWritten()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_idle.wait(lock, [this] { return (m_pending.isEmpty() && !m_writing) || m_failed || !m_writer.joinable(); });
}

void CLineRecorder::Run()
{
    pthread_setname_np(pthread_self(), "qn-recorder");  // for top -H and a debugger
    using Clock = std::chrono::steady_clock;
    auto lastCheck = Clock::now();
    QByteArray batch;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_pending.isEmpty(); });
        if (m_pending.isEmpty() && m_stop)
            break;
        // Lines arriving one by one go out together: one write for a batch or a short while.
        m_wake.wait_for(lock, kGather, [this] { return m_stop || m_pending.size() >= kBatch; });
        batch.clear();
        batch.swap(m_pending);
        m_writing = true;
        lock.unlock();
        QString cause;
        for (qsizetype written = 0; written < batch.size();) {
            const ssize_t n = ::write(m_fd, batch.constData() + written, static_cast<size_t>(batch.size() - written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                cause = ErrnoText(n < 0 ? errno : ENOSPC);
                break;
            }
            written += n;
        }
        // A file removed (or its folder, or its medium) takes writes without complaint: look now and then.
        if (cause.isEmpty() && Clock::now() - lastCheck > std::chrono::milliseconds(200)) {
            lastCheck = Clock::now();
            if (!StillThere())
                cause = ErrnoText(ENOENT);
        }
        lock.lock();
        m_writing = false;
        if (!cause.isEmpty() && !m_failed) {
            m_failed = true;
            m_pending.clear();
            Fail(cause);
        }
        m_idle.notify_all();
        if (m_failed && m_stop)
            break;
    }
    m_idle.notify_all();
}

void CLineRecorder::Fail(const QString &cause)
{
    // Queued: the window hears of it after whatever it is doing now, never inside it.
    QMetaObject::invokeMethod(this, [this, cause] { Q_EMIT Failed(cause); }, Qt::QueuedConnection);
}

bool CLineRecorder::StillThere() const
{
    struct stat open {};
    struct stat named {};
    if (::fstat(m_fd, &open) != 0)
        return false;
    if (::stat(QFile::encodeName(m_strPath).constData(), &named) != 0)
        return false;
    return open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}
