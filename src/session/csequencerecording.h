// A command sequence recorded from a session: telegrams sent become send steps, telegrams received
// expect steps (their bytes the pattern, the time they took plus a margin the time limit; received
// telegrams one after another are one expect), and the pause before each send a wait.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class CSequenceRecording
{
public:
    struct Telegram
    {
        char direction;  // 'S' sent, 'R' received
        QByteArray bytes;
        qint64 ms;       // when, on any clock that only goes forward
    };
    static constexpr int kDefaultMarginMs = 500;

    // The commands file's rows (name, key, action, form, data, checksum, ms, note) of sequence `name`.
    static QList<QStringList> Rows(const QString &name, const QList<Telegram> &telegrams, int marginMs = kDefaultMarginMs);
};
