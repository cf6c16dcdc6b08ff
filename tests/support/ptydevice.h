// A device on the far end of a pseudo-terminal pair: the program opens the slave's path as its serial
// line, the test plays the device on the master. It records what it receives and, where asked,
// greets with a prompt once the line has been opened and answers each line (ending with CR) with one.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <sys/types.h>

class QSocketNotifier;

class PtyDevice : public QObject
{
    Q_OBJECT
public:
    PtyDevice();
    ~PtyDevice() override;

    QString Path() const { return m_strPath; }
    bool IsValid() const { return m_nMaster >= 0; }
    // The program has opened the line and set it to raw bytes.
    bool IsOpenedRaw() const;
    // Writes all of `bytes` to the program (waiting while the line is full).
    void Write(const QByteArray &bytes);
    // Writes what the line takes now, without reading; the count written.
    qsizetype WriteSome(QByteArrayView bytes);
    // Reading stops (what the program sends waits in the line) and starts again.
    void SetReading(bool reading);
    // The program's open has barred further opens of the line (TIOCEXCL).
    bool IsExclusive() const;
    // Gives the program's end of the line to `user` and `group` with `mode` (the test runs as root).
    bool SetOwner(uid_t user, gid_t group, mode_t mode);
    // Closes the master: for the program, the device is gone.
    void PullOut();

    // Written once the line is opened raw (with greetEachOpen: as each open of the program ends), and
    // after each line received; empty writes nothing.
    QByteArray greeting;
    bool greetEachOpen = false;
    QByteArray answer;

    QByteArray received;  // every byte the program sent, in order
    // The lines received, without their CR.
    QList<QByteArray> Lines() const;

private:
    void Read();

    int m_nMaster = -1;
    int m_nSlave = -1;  // held open so that the pair lives until the program opens it
    QString m_strPath;
    QSocketNotifier *m_pNotifier = nullptr;
    QTimer m_openWatch;
    bool m_bGreeted = false;
    int m_nAnswered = 0;
};
