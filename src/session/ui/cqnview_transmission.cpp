// The transmission path: sending the prepared telegram, reading what arrives, the History and Log
// lines, loopback, prompt judgement for a batch run, and the two lamps.
#include "session/ui/cqnview.h"

#include "batch/cbatchrunner.h"
#include "display/ui/ccommandsenddlg.h"
#include "platform/chexconv.h"
#include "display/ui/cmessagewnd.h"
#include "net/cendpoint.h"

namespace {

constexpr COLORREF kLampOn = 0x00FF00;
constexpr COLORREF kLampOff = 0x808080;
constexpr int kLampMilliseconds = 100;
// A log line shows the first 32 bytes of a telegram (64 hex digits).
constexpr int kLogBytes = 32;

}  // namespace

int CQnView::SendData(const unsigned char *data, int length)
{
    LightLamp(m_stSendLamp, TIMER_SEND_LAMP, m_sendLampLit);
    const int sent = m_pEndpoint ? m_pEndpoint->Send(data, length) : 0;
    if (sent)
        FeedChannels('S', data, length);
    return sent;
}

int CQnView::ReceiveData(unsigned char *buffer, int maximum)
{
    LightLamp(m_stRecvLamp, TIMER_RECEIVE_LAMP, m_recvLampLit);
    maximum = qBound(0, maximum, QN_BUFFER_SIZE - 1);  // room for the zero byte after the data
    int n = m_pEndpoint ? m_pEndpoint->Receive(buffer, maximum) : 0;
    n = qBound(0, n, maximum);
    FeedChannels('R', buffer, n);
    m_bPromptHit = JudgePrompt(buffer, n);
    if (IsCapturing())
        WriteCapture(buffer, n);
    return n;
}

int CQnView::JudgePrompt(unsigned char *buffer, int length)
{
    const CBatchRunner *runner = BatchRunner();
    if (!runner)
        return 0;
    buffer[length] = 0;
    return runner->JudgePrompt(reinterpret_cast<const char *>(buffer), length) ? 1 : 0;
}

void CQnView::LightLamp(CColorStatic &lamp, int timer, std::chrono::steady_clock::time_point &lit)
{
    lit = std::chrono::steady_clock::now();
    if (IsTimerRunning(timer))
        return;  // lit already: its timer looks at the new time when it comes
    SetTimer(timer, kLampMilliseconds);
    lamp.SetColor(kLampOn);
}

void CQnView::PutOutLamp(CColorStatic &lamp, int timer, std::chrono::steady_clock::time_point lit)
{
    const auto rest = std::chrono::milliseconds(kLampMilliseconds) - (std::chrono::steady_clock::now() - lit);
    if (rest > std::chrono::milliseconds(0)) {
        // A telegram came since the timer started: the lamp stays lit until its own time is up.
        SetTimer(timer, int(std::chrono::ceil<std::chrono::milliseconds>(rest).count()));
        return;
    }
    KillTimer(timer);
    lamp.SetColor(kLampOff);
}

void CQnView::OnTimer(int id)
{
    if (id == TIMER_SEND_LAMP)
        PutOutLamp(m_stSendLamp, TIMER_SEND_LAMP, m_sendLampLit);
    else if (id == TIMER_RECEIVE_LAMP)
        PutOutLamp(m_stRecvLamp, TIMER_RECEIVE_LAMP, m_recvLampLit);
}

QString CQnView::LogTelegramText(const unsigned char *data, int length)
{
    QString shown;
    CHexConv().Bin2HexString(data, length, shown, kLogBytes);
    return length > kLogBytes ? shown + QStringLiteral(" +α") : shown;
}

QString CQnView::HistoryPrefix(char16_t direction) const
{
    // A server of many clients names the client: "R#3 ", "S#3 "; a send to every client is "S ".
    // UDP asked to show senders names the datagram's: "R@192.0.2.7:5000 ".
    const int peer = m_pEndpoint && m_pEndpoint->ServesManyPeers() ? m_pEndpoint->SelectedPeer() : 0;
    if (peer > 0)
        return QStringLiteral("%1#%2 ").arg(QChar(direction)).arg(peer);
    const QString sender = direction == u'R' && m_pEndpoint ? m_pEndpoint->LastSender() : QString();
    return sender.isEmpty() ? QString(QChar(direction)) + u' ' : QStringLiteral("R@") + sender + u' ';
}

bool CQnView::DoSend()
{
    int length = 0;
    const unsigned char *data = OutgoingTelegram(&length);
    if (!BatchRunner() && m_pEndpoint && m_pEndpoint->ServesManyPeers())
        m_pEndpoint->SelectPeer(m_pCommandDlg->PeerTarget());
    // A send the transport refused is told by it in the Log; it is neither counted nor shown as sent.
    if (!SendData(data, length))
        return false;
    m_traffic.Sent(length, CTrafficStats::Clock::now(), TrafficPeers());
    m_pHistoryWnd->AddTelegramLines({HistoryPrefix(u'S')}, data, length);
    AddLog(QStringLiteral("送信 ") + LogTelegramText(data, length));
    return true;
}

void CQnView::RecordReceived(int n, const QByteArray &kept)
{
    m_traffic.Received(n, CTrafficStats::Clock::now(), TrafficPeer());
    m_pHistoryWnd->AddTelegramLines({HistoryPrefix(u'R')}, m_pRecvBuf.get(), n, kept);
    AddLog(QStringLiteral("受信 ") + LogTelegramText(m_pRecvBuf.get(), n));
}

bool CQnView::ReceivedOwnSend() const
{
    return m_pEndpoint && m_pEndpoint->LastWasOwnSend();
}

void CQnView::DoReceive()
{
    const int n = ReceiveData(m_pRecvBuf.get(), QN_MAX_RECEIVE);
    TapSequenceRunner(n);
    QByteArray kept;
    const int rule = ReceivedOwnSend() ? 0 : MatchReplyRule(n, &kept);
    m_nTraceRule = rule;
    RecordReceived(n, kept);
    m_nTraceRule = 0;
    if (m_bPromptHit == 1) {
        PostToBatchWindow(EV_PROMPT);
        AddLog(QStringLiteral("ﾌﾟﾛﾝﾌﾟﾄ受信"));
        m_bPromptHit = 0;
    }
    if (rule)
        ReplyByRule(rule, n);
}

void CQnView::DoReceiveEcho()
{
    const int n = ReceiveData(m_pRecvBuf.get(), QN_MAX_RECEIVE);
    TapSequenceRunner(n);
    // The own echo come back is recorded, never echoed again.
    if (ReceivedOwnSend()) {
        RecordReceived(n, QByteArray());
        return;
    }
    // A rule that answers takes the place of the echo.
    QByteArray kept;
    if (const int rule = MatchReplyRule(n, &kept)) {
        m_nTraceRule = rule;
        RecordReceived(n, kept);
        m_nTraceRule = 0;
        ReplyByRule(rule, n);
        return;
    }
    // An echo the transport refused leaves the telegram received only.
    if (!SendData(m_pRecvBuf.get(), n)) {
        RecordReceived(n, kept);
        return;
    }
    const auto now = CTrafficStats::Clock::now();
    m_traffic.Received(n, now, TrafficPeer());
    m_traffic.Sent(n, now, TrafficPeers());
    m_pHistoryWnd->AddTelegramLines({HistoryPrefix(u'R'), HistoryPrefix(u'S')}, m_pRecvBuf.get(), n, kept);
    AddLog(QStringLiteral("受信-自動応答 ") + LogTelegramText(m_pRecvBuf.get(), n));
}
