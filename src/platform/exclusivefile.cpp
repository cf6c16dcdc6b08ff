#include "platform/exclusivefile.h"

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

bool OpenExclusive(QFile &file, const QString &path)
{
    // Opened without blocking, so that a named pipe nobody reads fails at once instead of waiting
    // for a reader; writes block as usual.
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return false;
    struct stat info = {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const int flags = ::fcntl(fd, F_GETFL);
    bool opened = false;
    if (flags != -1 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        (!regular || ::ftruncate(fd, 0) == 0))
        opened = file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle);
    if (!opened)
        ::close(fd);
    return opened;
}
