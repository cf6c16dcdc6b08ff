#include "support/lockedfolder.h"

#include "support/unprivileged.h"

#include <QDir>
#include <QFile>

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
    return RunUnprivileged(action).value_or(false);
}
