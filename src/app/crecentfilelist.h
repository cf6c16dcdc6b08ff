// The recently used document files, most recent first, as kept in the program's profile.
#pragma once

#include <QString>
#include <QStringList>

class CIniFile;

class CRecentFileList
{
public:
    // `size` entries under `section`, keys made from `entryFormat` with 1 to size ("File%1").
    CRecentFileList(int size, const QString &section, const QString &entryFormat);

    void ReadList(const CIniFile &profile);
    bool WriteList(CIniFile &profile) const;

    // Puts the path first, dropping an older entry for the same file and the oldest beyond the size.
    void Add(const QString &path);
    void Remove(int index);

    int GetSize() const { return m_nSize; }
    int Count() const { return static_cast<int>(m_entries.size()); }
    QString At(int index) const { return m_entries.value(index); }
    QStringList Entries() const { return m_entries; }

    // The menu text of an entry: "&1 " and the path, shortened in the middle when long.
    QString MenuText(int index) const;
    static QString DisplayName(const QString &path, int maxLength);

private:
    int m_nSize;
    QString m_strSection;
    QString m_strEntryFormat;
    QStringList m_entries;
};
