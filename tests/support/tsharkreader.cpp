#include "support/tsharkreader.h"

#include <QProcess>
#include <QStandardPaths>

QString TsharkReader::Program()
{
    return QStandardPaths::findExecutable(QStringLiteral("tshark"));
}

bool TsharkReader::Fields(const QString &file, const QString &filter, const QStringList &fields,
                          QList<QStringList> *rows, QString *error)
{
    QStringList arguments{QStringLiteral("-n"), QStringLiteral("-r"), file, QStringLiteral("-T"), QStringLiteral("fields"),
                          QStringLiteral("-E"), QStringLiteral("separator=/t"), QStringLiteral("-E"),
                          QStringLiteral("occurrence=f")};
    if (!filter.isEmpty())
        arguments << QStringLiteral("-Y") << filter;
    for (const QString &field : fields)
        arguments << QStringLiteral("-e") << field;
    QProcess reader;
    reader.start(Program(), arguments);
    if (!reader.waitForFinished(120000) || reader.exitStatus() != QProcess::NormalExit || reader.exitCode() != 0) {
        *error = QString::fromUtf8(reader.readAllStandardError());
        return false;
    }
    rows->clear();
    const QList<QByteArray> lines = reader.readAllStandardOutput().split('\n');
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        rows->append(QString::fromUtf8(line).split(QLatin1Char('\t')));
    }
    return true;
}

QByteArray TsharkReader::Bytes(const QString &field)
{
    QString digits = field;
    digits.remove(QLatin1Char(':'));
    return QByteArray::fromHex(digits.toLatin1());
}

qint64 TsharkReader::Microseconds(const QString &field)
{
    const qsizetype dot = field.indexOf(QLatin1Char('.'));
    const qint64 seconds = field.left(dot).toLongLong();
    const QString fraction = (dot < 0 ? QString() : field.mid(dot + 1)).leftJustified(6, QLatin1Char('0')).left(6);
    return seconds * 1000000 + fraction.toLongLong();
}
