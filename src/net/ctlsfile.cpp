#include "net/ctlsfile.h"

#include "platform/fileerrortext.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool CTlsFile::Read(const QString &path, QByteArray *bytes, QString *reason)
{
    bytes->clear();
    if (path.isEmpty()) {
        *reason = QStringLiteral("ﾌｧｲﾙが指定されていません");
        return false;
    }
    // Non-blocking: opening a FIFO must not wait for its writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *reason = FileErrorText(errno);
        return false;
    }
    struct stat info = {};
    bool ok = false;
    if (::fstat(fd, &info) != 0) {
        *reason = FileErrorText(errno);
    } else if (S_ISDIR(info.st_mode)) {
        *reason = QStringLiteral("ﾌｫﾙﾀﾞです");
    } else if (!S_ISREG(info.st_mode)) {
        *reason = QStringLiteral("通常のﾌｧｲﾙではありません");
    } else if (info.st_size > kMaxBytes) {
        *reason = QStringLiteral("ﾌｧｲﾙが大きすぎます (1 MB まで)");
    } else {
        // One byte more than allowed: a file that grows meanwhile is refused, never read on.
        bytes->resize(qsizetype(kMaxBytes) + 1);
        qsizetype got = 0;
        ok = true;
        while (got < bytes->size()) {
            const ssize_t n = ::read(fd, bytes->data() + got, size_t(bytes->size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                *reason = FileErrorText(errno);
                ok = false;
                break;
            }
            if (n == 0)
                break;
            got += n;
        }
        bytes->resize(got);
        if (ok && got > kMaxBytes) {
            *reason = QStringLiteral("ﾌｧｲﾙが大きすぎます (1 MB まで)");
            ok = false;
        }
    }
    ::close(fd);
    if (!ok)
        bytes->clear();
    return ok;
}
