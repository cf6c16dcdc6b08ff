#include "session/tracetelegramof.h"

CTraceTelegram TraceTelegramOf(const CEndpoint::TraceEnds &ends)
{
    CTraceTelegram telegram;
    telegram.carrier = ends.carrier == CEndpoint::TraceEnds::Stream     ? CTraceTelegram::Tcp
                       : ends.carrier == CEndpoint::TraceEnds::Datagram ? CTraceTelegram::Udp
                                                                         : CTraceTelegram::Serial;
    telegram.own = ends.own;
    telegram.peer = ends.peer;
    telegram.connection = ends.connection;
    telegram.ownOpened = ends.ownOpened;
    telegram.tls = ends.tls;
    return telegram;
}
