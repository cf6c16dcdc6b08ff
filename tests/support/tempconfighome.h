// Points XDG_CONFIG_HOME at a fresh temporary folder for its lifetime: every test starts without a profile.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

class TempConfigHome
{
public:
    TempConfigHome();
    ~TempConfigHome();

    QString Path() const { return m_dir.path(); }
    QString FilePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
};
