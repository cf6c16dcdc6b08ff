#include "session/csequencerecording.h"

#include "platform/chexconv.h"

namespace {

QString Hex(const QByteArray &bytes)
{
    QString hex;
    CHexConv().Bin2HexString(reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()), hex,
                             int(bytes.size()));
    return hex;
}

}  // namespace

QList<QStringList> CSequenceRecording::Rows(const QString &name, const QList<Telegram> &telegrams, int marginMs)
{
    QList<QStringList> rows;
    const auto row = [&](const QString &action, const QString &form, const QString &data, qint64 ms) {
        rows.append({name, QString(), action, form, data, QString(), ms < 0 ? QString() : QString::number(ms), QString()});
    };
    qint64 last = -1;  // when the telegram before came
    for (qsizetype i = 0; i < telegrams.size(); ++i) {
        const Telegram &telegram = telegrams[i];
        if (telegram.bytes.isEmpty())
            continue;
        if (telegram.direction == 'S') {
            if (last >= 0 && telegram.ms > last)
                row(QStringLiteral("wait"), QString(), QString(), telegram.ms - last);
            row(QStringLiteral("send"), QStringLiteral("hex"), Hex(telegram.bytes), -1);
            last = telegram.ms;
            continue;
        }
        // Received telegrams one after another: one pattern, as replay may read them in other pieces.
        QByteArray bytes = telegram.bytes;
        qint64 at = telegram.ms;
        while (i + 1 < telegrams.size() && telegrams[i + 1].direction != 'S') {
            ++i;
            bytes += telegrams[i].bytes;
            at = telegrams[i].ms;
        }
        row(QStringLiteral("expect"), QStringLiteral("hex"), Hex(bytes), qMax<qint64>(0, at - (last < 0 ? at : last)) + marginMs);
        last = at;
    }
    return rows;
}
