#include "soakprobe.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

namespace SoakProbe {

int OpenDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size());
}

qint64 ResidentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLongLong();
    }
    return -1;
}

UdpCounters UdpSocket(quint16 port)
{
    // "sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode ref pointer drops",
    // in the IPv6 table for a socket of both families.
    UdpCounters counters;
    for (const char *path : {"/proc/net/udp", "/proc/net/udp6"}) {
        QFile table(QString::fromLatin1(path));
        if (!table.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = table.readAll().split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QList<QByteArray> fields = lines[i].simplified().split(' ');
            if (fields.size() < 13)
                continue;
            bool ok = false;
            const uint localPort = fields[1].split(':').value(1).toUInt(&ok, 16);
            if (!ok || localPort != port)
                continue;
            counters.found = true;
            counters.receiveQueue = fields[4].split(':').value(1).toLongLong(nullptr, 16);
            counters.drops = fields[12].toLongLong();
            return counters;
        }
    }
    return counters;
}

bool RunUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    check.start(5);
    loop.exec();
    return done();
}

}  // namespace SoakProbe
