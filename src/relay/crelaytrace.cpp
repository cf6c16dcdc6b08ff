#include "relay/crelaytrace.h"

#include "display/ctracerecorder.h"
#include "relay/crelay.h"
#include "relay/crelayside.h"
#include "session/tracetelegramof.h"

#include <chrono>

CRelayTrace::CRelayTrace(CRelay *relay, QObject *parent) : QObject(parent), m_pRelay(relay)
{
    connect(relay, &CRelay::Received, this, [this](int direction, const QByteArray &bytes) { Write(direction, true, bytes); });
    connect(relay, &CRelay::Forwarded, this, [this](int direction, const QByteArray &bytes) { Write(1 - direction, false, bytes); });
}

CRelayTrace::~CRelayTrace()
{
    Close();
}

bool CRelayTrace::Open(const QString &path, const QByteArray &serialDissector, QString *error)
{
    m_pRecorder = std::make_unique<CTraceRecorder>();
    if (!m_pRecorder->Open(path, serialDissector, error)) {
        m_pRecorder.reset();
        return false;
    }
    return true;
}

void CRelayTrace::Close()
{
    if (m_pRecorder && m_pRecorder->IsOpen())
        m_pRecorder->Close(std::chrono::milliseconds(-1));
}

void CRelayTrace::Write(int side, bool received, const QByteArray &bytes)
{
    if (!m_pRecorder || !m_pRecorder->IsOpen())
        return;
    CEndpoint::TraceEnds ends;
    if (!m_pRelay->Side(side).TraceEndsOf(received, &ends))
        return;
    CTraceTelegram telegram = TraceTelegramOf(ends);
    telegram.direction = received ? 'R' : 'S';
    telegram.microseconds = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    telegram.bytes = bytes;
    m_pRecorder->Write(telegram);
}
