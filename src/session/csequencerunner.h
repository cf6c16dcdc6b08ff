// Runs one command sequence over whatever connection its owner gives it: sends go through the
// sender, received bytes come in through Receive as they arrive (an expect is judged on each
// arrival, never on a polling interval), waits and time limits run on one precise timer. The window
// and the command line both drive it; it knows no widget and no socket.
#pragma once

#include "session/ccommandsfile.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class CChecksumRule;

class CSequenceRunner : public QObject
{
    Q_OBJECT
public:
    enum Outcome { Passed, Failed, Stopped };
    // Sends a telegram on the open connection; false when it could not (no connection, refused).
    using Sender = std::function<bool(const QByteArray &bytes)>;
    // Sets a control line or sends a break (CCommandStep::Dtr, Rts, Break with the step's value or
    // ms); false with the reason. `lastsMs` gets how long a break lasts: the next step waits for it.
    using LineControl = std::function<bool(CCommandStep::Action action, int value, int *lastsMs, QString *why)>;
    // An expect keeps at most this much of what arrived (the latest bytes).
    static constexpr qsizetype kMaxReceived = 2 * 1024 * 1024;

    CSequenceRunner();
    ~CSequenceRunner() override;

    void SetSender(Sender sender) { m_sender = std::move(sender); }
    void SetLineControl(LineControl control) { m_lineControl = std::move(control); }
    // A checksum put into every telegram of a send step that names none of its own (null: none).
    void SetDefaultChecksum(std::shared_ptr<const CChecksumRule> rule) { m_pChecksum = std::move(rule); }
    // Starts `sequence`; `run` is its number for ${seq} (from 1). False when one is running.
    bool Start(const CCommandsFile::Sequence &sequence, quint32 run);
    // Ends the running sequence as stopped (nothing when none runs).
    void Stop();
    // Bytes received on the connection.
    void Receive(QByteArrayView bytes);

    bool IsRunning() const { return m_nStep > 0; }
    QString Name() const { return m_sequence.name; }
    // The step in progress, from 1 (0: none).
    int Step() const { return m_nStep; }
    // Why the last run failed (empty when it did not).
    QString Failure() const { return m_strFailure; }
    // The text of what arrived for a failure: "受信 4 ﾊﾞｲﾄ: 4E470D0A" or "受信なし".
    static QString ArrivedText(const QByteArray &bytes);

Q_SIGNALS:
    void StepStarted(int step, const QString &what);
    // A telegram has been handed to the sender.
    void Sent(int step, const QByteArray &bytes);
    // The run is over; `failure` names the step, what it expected and what arrived.
    void Finished(int outcome, const QString &failure);

private:
    enum Phase { Idle, Waiting, Expecting, SendingParts };
    // Runs steps from m_nStep until one has to wait; ends the run after the last.
    void Advance();
    bool SendPart(const QByteArray &bytes);
    void OnTimer();
    void Fail(const QString &reason);
    void End(int outcome, const QString &failure);

    CCommandsFile::Sequence m_sequence;
    Sender m_sender;
    LineControl m_lineControl;
    quint32 m_nRun = 1;
    int m_nStep = 0;
    Phase m_phase = Idle;
    QTimer m_timer;
    QByteArray m_received;    // since the expect in progress began
    QByteArray m_lastBlock;   // what the last expect that held had received ($0, ${len})
    QList<QByteArray> m_groups;  // its groups ($1–$9)
    QList<CReplyTemplate::Part> m_parts;  // parts of a send still to go
    QString m_strFailure;
    std::shared_ptr<const CChecksumRule> m_pChecksum;
};
