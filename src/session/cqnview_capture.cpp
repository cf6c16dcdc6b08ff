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
    // cut, so a file another capture holds is neither opened nor emptied.
    bool opened = false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0) {
        struct stat info = {};
        const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && (!regular || ::ftruncate(fd, 0) == 0))
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
    const QString cause = m_fileCapture.errorString();
    m_bCapture = 0;
    m_fileCapture.close();
    Q_EMIT CommandStateChanged();
    Prompts::Instance().MessageBox(this,
                                   m_strCaptureFile + QStringLiteral(" Write err\n") + cause +
                                       QStringLiteral("\n受信ﾃﾞｰﾀの保存を終了しました。"),
                                   Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
}
