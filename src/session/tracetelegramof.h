// A packet trace's telegram over the connection an endpoint names: the carrier and the two ends, for
// the session's History and the relay's trace alike.
#pragma once

#include "display/ctracetelegram.h"
#include "net/cendpoint.h"

// The telegram's carrier, ends, connection number, opener and TLS from `ends`; the rest as made.
CTraceTelegram TraceTelegramOf(const CEndpoint::TraceEnds &ends);
