#include "fuzzsupport.h"

#include "platform/cinifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

QTemporaryDir *g_pConfigHome = nullptr;

void RemoveConfigHome()
{
    delete g_pConfigHome;
    g_pConfigHome = nullptr;
}

}  // namespace

void UsePrivateConfigHome()
{
    if (g_pConfigHome)
        return;
    // In memory where the system offers it: the store is saved with a sync to disk on every write.
    const QString shm = QStringLiteral("/dev/shm");
    g_pConfigHome = QFileInfo(shm).isWritable() ? new QTemporaryDir(shm + QStringLiteral("/qnfuzz-XXXXXX"))
                                                : new QTemporaryDir;
    Require(g_pConfigHome->isValid(), "temporary configuration folder");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(g_pConfigHome->path()));
    Require(QDir().mkpath(QFileInfo(CIniFile::StorePath()).absolutePath()), "store folder");
    std::atexit(RemoveConfigHome);
}

QString ScratchPath(const QString &name)
{
    UsePrivateConfigHome();
    return g_pConfigHome->filePath(name);
}

void WriteWholeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "scratch file opens");
    Require(file.write(bytes) == bytes.size(), "scratch file written");
}

QByteArray InputBytes(const std::uint8_t *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

void Require(bool ok, const char *what)
{
    if (ok)
        return;
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}
