// The view's side of command sequences: what they send goes out as Command Send's telegrams do, and
// every block received reaches the running sequence as it arrives.
#include "session/ui/cqnview.h"

#include "display/ui/ccommandsenddlg.h"
#include "display/ui/cmessagewnd.h"
#include "net/cendpoint.h"
#include "session/csequencerunner.h"

bool CQnView::SendSequenceTelegram(const QByteArray &bytes, const QString &name)
{
    if (m_nState != ST_CONNECTED && m_nState != ST_CONNECTED_LOOPBACK)
        return false;
    if (m_pEndpoint && m_pEndpoint->ServesManyPeers())
        m_pEndpoint->SelectPeer(m_pCommandDlg->PeerTarget());
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const int length = int(bytes.size());
    if (!SendData(data, length))
        return false;
    m_traffic.Sent(length, CTrafficStats::Clock::now(), TrafficPeers());
    m_pHistoryWnd->AddTelegramLines({HistoryPrefix(u'S')}, data, length);
    AddLog(QStringLiteral("ｺﾏﾝﾄﾞ「%1」送信 ").arg(name) + LogTelegramText(data, length));
    return true;
}

bool CQnView::HasPeer() const
{
    const bool open = m_nState == ST_CONNECTED || m_nState == ST_CONNECTED_LOOPBACK;
    return open && m_pEndpoint && m_pEndpoint->HasPeer();
}

void CQnView::TapSequenceRunner(int length)
{
    // The endpoint's own send come back (UDP to itself) is no answer.
    if (m_pSequenceRunner && length > 0 && !ReceivedOwnSend())
        m_pSequenceRunner->Receive(QByteArrayView(m_pRecvBuf.get(), length));
}
