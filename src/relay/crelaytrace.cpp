#include "relay/crelaytrace.h"

#include "display/ctracerecorder.h"
#include "relay/crelay.h"
#include "relay/crelayside.h"

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
    CTraceTelegram telegram;
    telegram.carrier = ends.carrier == CEndpoint::TraceEnds::Stream     ? CTraceTelegram::Tcp
                       : ends.carrier == CEndpoint::TraceEnds::Datagram ? CTraceTelegram::Udp
                                                                         : CTraceTelegram::Serial;
    telegram.own = ends.own;
    telegram.peer = ends.peer;
    telegram.connection = ends.connection;
    telegram.ownOpened = ends.ownOpened;
    telegram.tls = ends.tls;
    telegram.direction = received ? 'R' : 'S';
    telegram.microseconds = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    telegram.bytes = bytes;
    m_pRecorder->Write(telegram);
}
