// A plain INI file read and written like a Windows private profile: [section], key=value,
// values kept exactly as written (leading and trailing blanks included).
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

class CIniFile
{
public:
    // Reads the file at `path` (a missing or unreadable file reads as empty; an empty path holds the
    // profile in memory only).
    explicit CIniFile(const QString &path);

    // Reads the text again from disk.
    void Reload();
    // Parses INI text; used by Reload and by tests. Lines without '=' outside a section are ignored.
    void Parse(const QByteArray &text);
    QByteArray Serialize() const;

    QString GetString(const QString &section, const QString &key, const QString &defaultValue) const;
    bool HasKey(const QString &section, const QString &key) const;
    // Like GetPrivateProfileInt: the decimal integer at the start of the value, default when absent.
    int GetInt(const QString &section, const QString &key, int defaultValue) const;

    // Change the value in memory and write the whole file; false when the file cannot be written.
    bool WriteString(const QString &section, const QString &key, const QString &value);
    bool WriteInt(const QString &section, const QString &key, int value);

    QString Path() const { return m_strPath; }

    // $XDG_CONFIG_HOME (default ~/.config).
    static QString ConfigHome();
    // The program's private profile file: window placement and recent files.
    static QString ProfilePath();
    // The prompt-judgement store (the "registry" key SOFTWARE\Corvexa\qn).
    static QString StorePath();

    // Values are stored with \\, \n and \r escaped so that each stays on its line.
    static QString EscapeValue(const QString &value);
    static QString UnescapeValue(const QString &value);

private:
    struct Entry
    {
        QString key;
        QString value;
    };
    struct Section
    {
        QString name;
        std::vector<Entry> entries;
    };

    const Entry *Find(const QString &section, const QString &key) const;
    bool Save() const;

    QString m_strPath;
    std::vector<Section> m_sections;
};
