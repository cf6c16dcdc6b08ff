// The packet trace of a relay: each telegram twice, as read on the side it came from and as sent on
// the side it went to, each over that side's own connection, written by a trace recorder.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class CRelay;
class CTraceRecorder;

class CRelayTrace : public QObject
{
    Q_OBJECT
public:
    explicit CRelayTrace(CRelay *relay, QObject *parent = nullptr);
    ~CRelayTrace() override;

    // Starts writing to `path` ("-": standard output); false with the reason.
    bool Open(const QString &path, const QByteArray &serialDissector, QString *error);
    // Writes everything still waiting and closes (waits as long as it takes).
    void Close();
    CTraceRecorder *Recorder() const { return m_pRecorder.get(); }

private:
    void Write(int side, bool received, const QByteArray &bytes);

    CRelay *m_pRelay;
    std::unique_ptr<CTraceRecorder> m_pRecorder;
};
