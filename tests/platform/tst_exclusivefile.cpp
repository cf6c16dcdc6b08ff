// The exclusive open: a file is created or emptied only when no other holder has it locked.
#include "platform/exclusivefile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

}  // namespace

class TestExclusiveFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void opensCreatedOrEmptiedForWriting()
    {
        QTemporaryDir dir;
        const QString fresh = dir.filePath(QStringLiteral("fresh.bin"));
        const QString old = dir.filePath(QStringLiteral("old.bin"));
        WriteFile(old, "earlier capture");
        for (const QString &path : {fresh, old}) {
            QFile file;
            QVERIFY(OpenExclusive(file, path));
            QCOMPARE(file.write("new", 3), qint64(3));
            file.close();
            QCOMPARE(Contents(path), QByteArray("new"));
        }
        // A folder is not opened, nor a named pipe that nobody reads (at once, without waiting).
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString &path : {dir.path(), fifo}) {
            QFile file;
            QVERIFY(!OpenExclusive(file, path));
            QVERIFY(!file.isOpen());
        }
    }

    void aHeldFileIsNeitherOpenedNorEmptiedUntilReleased()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("held.bin"));
        QFile holder;
        QVERIFY(OpenExclusive(holder, path));
        holder.write("kept", 4);

        QFile second;
        QVERIFY(!OpenExclusive(second, path));
        QVERIFY(!second.isOpen());
        QCOMPARE(Contents(path), QByteArray("kept"));

        holder.close();
        QVERIFY(OpenExclusive(second, path));
        QCOMPARE(Contents(path), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestExclusiveFile)
#include "tst_exclusivefile.moc"
