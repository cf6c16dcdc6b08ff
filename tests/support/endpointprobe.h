// The endpoints' friend in the tests: the sockets behind an endpoint, which the view never sees.
#pragma once

#include "net/ctcpclient.h"
#include "net/ctcpsrvr.h"
#include "net/cudpwnd.h"

class EndpointProbe
{
public:
    static const CUDPSoc *Socket(const CUDPWnd &endpoint) { return endpoint.m_pSoc.get(); }
    // The server's client socket, also while it is being accepted.
    static const CTCPSoc *Client(const CTCPSrvr &endpoint) { return endpoint.m_pClientSoc.get(); }
    static bool HasClient(const CTCPSrvr &endpoint) { return endpoint.m_bClient; }
    static bool IsTornDown(const CTCPSrvr &endpoint) { return !endpoint.m_pListenSoc && !endpoint.m_bClient; }
    static const CTCPSoc *Socket(const CTCPClient &endpoint) { return endpoint.m_pSoc.get(); }
};
