// The endpoints' friend in the tests: the sockets behind an endpoint, which the view never sees.
#pragma once

#include "net/csendbudget.h"
#include "net/ctcpclient.h"
#include "net/ctcpsoc.h"
#include "net/ctcpsrvr.h"
#include "net/cudpwnd.h"

#include <vector>

class EndpointProbe
{
public:
    static const CUDPSoc *Socket(const CUDPWnd &endpoint) { return endpoint.m_pSoc.get(); }
    // The server's client socket, also while it is being accepted.
    static const CTCPSoc *Client(const CTCPSrvr &endpoint) { return endpoint.m_pClientSoc.get(); }
    static bool HasClient(const CTCPSrvr &endpoint) { return endpoint.m_bClient; }
    static bool IsTornDown(const CTCPSrvr &endpoint) { return !endpoint.m_pListenSoc && !endpoint.m_bClient; }
    static const CTCPSoc *Socket(const CTCPClient &endpoint) { return endpoint.m_pSoc.get(); }
    // What the server's clients may leave waiting together, and the closing clients still kept.
    static CSendBudget &Budget(const CTCPSrvr &endpoint) { return *endpoint.m_pBudget; }
    static size_t ClosingClients(const CTCPSrvr &endpoint) { return endpoint.m_closingSocs.size(); }
    static std::vector<const CTCPSoc *> NumberedClients(const CTCPSrvr &endpoint)
    {
        std::vector<const CTCPSoc *> clients;
        for (const auto &client : endpoint.m_clients)
            clients.push_back(client.second.get());
        return clients;
    }
};
