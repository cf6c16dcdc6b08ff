#include "platform/wholefile.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool WriteAll(int fd, QByteArrayView bytes)
{
    const char *data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

bool Fail(int *errorNumber, int code)
{
    if (errorNumber)
        *errorNumber = code;
    return false;
}

// Closes `fd`, keeping the first error number when a step before failed.
bool Close(int fd, bool ok, int *errorNumber)
{
    const int before = errno;
    const bool closed = ::close(fd) == 0;
    if (!ok)
        return Fail(errorNumber, before);
    return closed || Fail(errorNumber, errno);
}

bool WriteStraight(const QByteArray &name, QByteArrayView bytes, int *errorNumber)
{
    const int fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Fail(errorNumber, errno);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return Close(fd, WriteAll(fd, bytes), errorNumber);
}

bool WriteInPlace(const QByteArray &name, QByteArrayView bytes, int *errorNumber)
{
    const int fd = ::open(name.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return Fail(errorNumber, errno);
    // The room first: a disk without it fails here, before a byte of the old content changes.
    int reserved = bytes.isEmpty() ? 0 : ::posix_fallocate(fd, 0, off_t(bytes.size()));
    if (reserved == EOPNOTSUPP || reserved == EINVAL)
        reserved = 0;  // a file system that cannot reserve: written as it comes
    if (reserved != 0) {
        ::close(fd);
        return Fail(errorNumber, reserved);
    }
    const bool ok = WriteAll(fd, bytes) && ::ftruncate(fd, off_t(bytes.size())) == 0 && ::fsync(fd) == 0;
    return Close(fd, ok, errorNumber);
}

}  // namespace

bool WriteWholeFile(const QString &path, QByteArrayView bytes, int *errorNumber)
{
    // A link is followed: the file it names is replaced, the link stays.
    const QString target = QFileInfo(path).canonicalFilePath();
    const QByteArray name = QFile::encodeName(target.isEmpty() ? path : target);
    struct stat old = {};
    const bool exists = ::stat(name.constData(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode))
        return Fail(errorNumber, EISDIR);
    if (exists && !S_ISREG(old.st_mode))
        return WriteStraight(name, bytes, errorNumber);

    const qsizetype slash = name.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : name.left(slash);
    // Created as a new file would be (0666 less the umask), then given the old file's permissions.
    static std::atomic<unsigned> counter{0};
    QByteArray temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = folder + "/." + name.mid(slash + 1) + '.' + QByteArray::number(::getpid()) + '.'
             + QByteArray::number(++counter);
        fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        const int code = errno;
        if (exists && (code == EACCES || code == EPERM || code == EROFS) && ::access(name.constData(), W_OK) == 0)
            return WriteInPlace(name, bytes, errorNumber);
        return Fail(errorNumber, code);
    }
    const bool written = WriteAll(fd, bytes) && (!exists || ::fchmod(fd, old.st_mode & 07777) == 0) && ::fsync(fd) == 0;
    if (!Close(fd, written, errorNumber) || ::rename(temp.constData(), name.constData()) != 0) {
        const int code = errno;
        ::unlink(temp.constData());
        if (written)
            Fail(errorNumber, code);
        return false;
    }
    return true;
}
