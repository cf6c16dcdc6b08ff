// The TCP server serving many clients: each gets a number from 1 as it comes; what it sends is read
// when the view selects it, what the view sends goes to the selected one or to every one.
#include "net/ctcpsrvr.h"

#include "net/ctcpsoc.h"
#include "net/socketlog.h"
#include "platform/csocketaddress.h"

#include <algorithm>

void CTCPSrvr::AcceptNumberedClient()
{
    int code = 0;
    if (int(m_clients.size()) >= m_nClientLimit) {
        // Over the limit: taken and closed at once, as the one-client server does with a second.
        Log(QStringLiteral("ON ACCEPT ｸﾗｲｱﾝﾄ数が上限 (%1) のため構築後即破棄します。").arg(m_nClientLimit), LOG_TRACE);
        CTCPSoc surplus(this, 0, m_pLogBuf, CTCPSoc::ROLE_TERM);
        if (!m_pListenSoc->Accept(&surplus))
            code = CAsyncSocket::GetLastError();
        AcceptFinished(code);
        return;
    }
    const int number = m_nNextClient;
    auto client = NewClientSoc(number);
    if (!m_pListenSoc->Accept(client.get())) {
        AcceptFinished(CAsyncSocket::GetLastError());
        return;
    }
    ++m_nNextClient;
    QString address;
    unsigned port = 0;
    SocketName(client->m_hSocket, true, &address, &port);
    CTCPSoc *accepted = client.get();
    m_clientBySerial.emplace(accepted->Serial(), number);
    m_clientNotes[number].address = CSocketAddress::JoinHostPort(address, port);
    m_peerNumbers.append(number);  // numbers only grow: the list stays in order
    m_clients.emplace(number, std::move(client));
    ClientAccepted(accepted);
    Log(QStringLiteral("ｸﾗｲｱﾝﾄ#%1 接続 %2 (%3 台)")
            .arg(number)
            .arg(CSocketAddress::JoinHostPort(address, port))
            .arg(m_clients.size()),
        0);
    AcceptFinished(0);
    DescriptionChanged();
}

void CTCPSrvr::ReleaseNumberedClient(int number, bool keepQueued)
{
    const auto it = m_clients.find(number);
    if (it == m_clients.end())
        return;
    if (!m_clientBySerial.erase(it->second->Serial()))  // closed already: its serial is gone
        std::erase_if(m_clientBySerial, [number](const auto &entry) { return entry.second == number; });
    m_clientNotes.erase(number);
    m_peerNumbers.removeAt(std::lower_bound(m_peerNumbers.begin(), m_peerNumbers.end(), number) - m_peerNumbers.begin());
    if (keepQueued && it->second->QueuedBytes() > 0)
        KeepClosing(std::move(it->second));  // its queued bytes still go out to a peer that reads
    m_clients.erase(it);
    Log(QStringLiteral("ｸﾗｲｱﾝﾄ#%1 切断 (%2 台)").arg(number).arg(m_clients.size()), 0);
    DescriptionChanged();
}

void CTCPSrvr::SelectPeer(int peer)
{
    if (m_nClientLimit > 0)
        m_nSelected = peer;
}

QList<int> CTCPSrvr::Peers() const
{
    return m_peerNumbers;  // shared, not copied
}

QList<CEndpoint::PeerSummary> CTCPSrvr::PeerSummaries() const
{
    QList<PeerSummary> summaries;
    summaries.reserve(qsizetype(m_clients.size()));
    for (const auto &client : m_clients) {
        const auto note = m_clientNotes.find(client.first);
        PeerSummary summary;
        if (note != m_clientNotes.end())
            summary = note->second;
        summary.number = client.first;
        summary.queued = client.second->QueuedBytes();
        summaries.append(summary);
    }
    return summaries;
}

bool CTCPSrvr::DropPeer(int peer)
{
    if (m_nClientLimit <= 0 || !m_clients.contains(peer))
        return false;
    ReleaseNumberedClient(peer, false);
    return true;
}

CTCPSoc *CTCPSrvr::SelectedClient() const
{
    const auto it = m_clients.find(m_nSelected);
    return it == m_clients.end() ? nullptr : it->second.get();
}

BOOL CTCPSrvr::SendToClients(const void *data, int length)
{
    if (m_clients.empty()) {
        Log(QStringLiteral("ｸﾗｲｱﾝﾄ未構築　送信不可"), LOG_WARN);
        return FALSE;
    }
    if (m_nSelected != 0) {
        CTCPSoc *client = SelectedClient();
        if (!client) {
            Log(QStringLiteral("ｸﾗｲｱﾝﾄ#%1 は切断されています　送信不可").arg(m_nSelected), LOG_WARN);
            return FALSE;
        }
        return SendToClient(client, m_nSelected, data, length);
    }
    BOOL all = TRUE;
    m_nAnswerPeer = -1;  // a send to every client answers none
    for (const auto &client : m_clients) {
        if (!SendToClient(client.second.get(), client.first, data, length))
            all = FALSE;
    }
    return all;
}

bool CTCPSrvr::TraceEndsOf(int peer, bool, TraceEnds *ends) const
{
    const CTCPSoc *client = m_pClientSoc.get();
    if (m_nClientLimit > 0) {
        const auto found = m_clients.find(peer);
        client = found == m_clients.end() ? nullptr : found->second.get();
    }
    if (!client || !CachedStreamEnds(client->m_hSocket, client->Serial(), ends))
        return false;
    ends->ownOpened = false;
    ends->tls = m_pTlsContext != nullptr;
    return true;
}
