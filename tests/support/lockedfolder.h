// A folder that takes no new file, holding one file anybody may write: where a save cannot place
// its temporary file. Root creates files anywhere, so as root the action runs in a child process
// under an unprivileged user id.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <functional>

class LockedFolder
{
public:
    explicit LockedFolder(const QByteArray &content);
    ~LockedFolder();

    bool IsValid() const { return m_bValid; }
    // The writable file inside the folder.
    QString FilePath() const { return m_strFile; }
    // Runs `action` as a user the folder refuses; its result (false when it could not be run).
    bool Run(const std::function<bool()> &action) const;

private:
    QTemporaryDir m_dir;
    QString m_strFolder;
    QString m_strFile;
    bool m_bValid = false;
};
