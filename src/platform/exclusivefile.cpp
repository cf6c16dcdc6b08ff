#include "platform/exclusivefile.h"

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

bool OpenExclusive(QFile &file, const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat info = {};
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    bool opened = false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && (!regular || ::ftruncate(fd, 0) == 0))
        opened = file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle);
    if (!opened)
        ::close(fd);
    return opened;
}
