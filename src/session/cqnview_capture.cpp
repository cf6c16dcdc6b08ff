// Received-data capture: every byte the receive path reads, written raw to a file the user chose.
#include "session/cqnview.h"

#include "platform/prompts.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

void CQnView::OnCaptureStart()
{
    Prompts::FileRequest request;
    request.open = false;
    request.filter = QStringLiteral("ﾊﾞｲﾅﾘﾌｧｲﾙ (*.bin)|*.bin|全てのﾌｧｲﾙ (*.*)|*.*||");
    request.defaultExtension = QStringLiteral("bin");
    request.overwritePrompt = true;
    request.kind = request.defaultExtension;
    const QString path = Prompts::AskFileName(this, request);
    if (path.isEmpty())
        return;
    m_strCaptureFile = path;

    // Write only, created or truncated, and held exclusively: the lock is taken before the file is
    // cut, so a file another capture holds is neither opened nor emptied. Opened without blocking, so
    // that a named pipe nobody reads fails at once instead of waiting for a reader; writes block as usual.
    bool opened = false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd >= 0) {
        struct stat info = {};
        const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
        const int flags = ::fcntl(fd, F_GETFL);
        if (flags != -1 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            (!regular || ::ftruncate(fd, 0) == 0))
            opened = m_fileCapture.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle);
        if (!opened)
            ::close(fd);
    }
    if (!opened) {
        Prompts::Instance().MessageBox(this, path + QStringLiteral(" Open err"), Prompts::AppTitle(), Prompts::Ok,
                                       Prompts::NoIcon);
        return;
    }
    m_bCapture = 1;
    Q_EMIT CommandStateChanged();
}

void CQnView::OnCaptureStop()
{
    m_bCapture = 0;
    m_fileCapture.close();
    Q_EMIT CommandStateChanged();
}

void CQnView::WriteCapture(const unsigned char *data, int length)
{
    // Unbuffered: the file holds each telegram once its receive event has been handled.
    qint64 written = 0;
    while (written < length) {
        const qint64 n = m_fileCapture.write(reinterpret_cast<const char *>(data) + written, length - written);
        if (n <= 0)
            break;
        written += n;
    }
    if (written == length)
        return;
    // Disk full, file removed or medium gone: stop capturing, keep what was written, and say why.
    // The box waits until the receive event has been handled: its event loop would otherwise run the
    // next receive in the middle of this one.
    const QString text = m_strCaptureFile + QStringLiteral(" Write err\n") + m_fileCapture.errorString() +
                         QStringLiteral("\n受信ﾃﾞｰﾀの保存を終了しました。");
    m_bCapture = 0;
    m_fileCapture.close();
    Q_EMIT CommandStateChanged();
    QMetaObject::invokeMethod(
        this,
        [this, text] {
            Prompts::Instance().MessageBox(this, text, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
        },
        Qt::QueuedConnection);
}
