#include "support/lockedfolder.h"

#include <QDir>
#include <QFile>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t kNobody = 65534;

}  // namespace

LockedFolder::LockedFolder(const QByteArray &content)
{
    m_strFolder = m_dir.filePath(QStringLiteral("locked"));
    m_strFile = m_strFolder + QStringLiteral("/target");
    QFile file(m_strFile);
    m_bValid = QDir().mkpath(m_strFolder) && file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    file.close();
    const QFile::Permissions all = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
    const QFile::Permissions enter = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    m_bValid = m_bValid
            && QFile::setPermissions(m_dir.path(), all | enter | QFile::WriteOwner)
            && QFile::setPermissions(m_strFile, all | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)
            && QFile::setPermissions(m_strFolder, all | enter);
}

LockedFolder::~LockedFolder()
{
    QFile::setPermissions(m_strFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

bool LockedFolder::Run(const std::function<bool()> &action) const
{
    if (::geteuid() != 0)
        return action();
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
        ::_exit(dropped && action() ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
