#include "app/crecentfilelist.h"

#include "platform/cinifile.h"

#include <QDir>
#include <QFileInfo>

namespace {

constexpr int kMenuNameLength = 40;

}  // namespace

CRecentFileList::CRecentFileList(int size, const QString &section, const QString &entryFormat)
    : m_nSize(size), m_strSection(section), m_strEntryFormat(entryFormat)
{
}

void CRecentFileList::ReadList(const CIniFile &profile)
{
    m_entries.clear();
    for (int i = 1; i <= m_nSize; ++i) {
        const QString path = profile.GetString(m_strSection, m_strEntryFormat.arg(i), QString());
        if (!path.isEmpty() && !m_entries.contains(path))
            m_entries.append(path);
    }
}

bool CRecentFileList::WriteList(CIniFile &profile) const
{
    bool ok = true;
    for (int i = 0; i < m_nSize; ++i)
        ok = profile.WriteString(m_strSection, m_strEntryFormat.arg(i + 1), m_entries.value(i)) && ok;
    return ok;
}

void CRecentFileList::Add(const QString &path)
{
    if (path.isEmpty())
        return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    m_entries.removeAll(absolute);
    m_entries.prepend(absolute);
    while (m_entries.size() > m_nSize)
        m_entries.removeLast();
}

void CRecentFileList::Remove(int index)
{
    if (index >= 0 && index < m_entries.size())
        m_entries.removeAt(index);
}

QString CRecentFileList::MenuText(int index) const
{
    QString name = DisplayName(m_entries.value(index), kMenuNameLength);
    name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(name);
}

QString CRecentFileList::DisplayName(const QString &path, int maxLength)
{
    const QString native = QDir::toNativeSeparators(path);
    if (native.size() <= maxLength)
        return native;
    // Keep the file name whole and as much of the start of the folder as fits.
    const QString fileName = QFileInfo(path).fileName();
    const QString ellipsis = QStringLiteral("...") + QDir::separator();
    const qsizetype head = maxLength - fileName.size() - ellipsis.size();
    if (head <= 0)
        return ellipsis + fileName;
    return native.left(head) + ellipsis + fileName;
}
