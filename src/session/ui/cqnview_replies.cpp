// Reply rules in the session: the document's table, the answer to a received block (its parts now
// or after their delays, on timers, its placeholders filled), its History and Log lines, and the
// edit dialog.
#include "session/ui/cqnview.h"

#include "document/cqndoc.h"
#include "net/cendpoint.h"
#include "display/ui/cmessagewnd.h"
#include "session/ui/creplyrulesdlg.h"

#include <QTimer>

#include <utility>

void CQnView::LoadReplyRules()
{
    CancelPendingReplies();
    int damaged = 0;
    if (m_pDocument)
        damaged = m_replyRules.Load(*m_pDocument);
    else
        m_replyRules = {};
    m_replyMatcher.SetRules(m_replyRules.rules);
    m_bReplyActive = m_replyRules.IsActive() && !m_replyMatcher.IsEmpty();
    m_nRuleFailuresSaid = 0;
    RefreshPeriodicReplies(true);
    if (damaged > 0)
        AddLog(QStringLiteral("応答ﾙｰﾙ 壊れた設定 %1 件を読み込みませんでした").arg(damaged));
}

void CQnView::SetReplyRules(const CReplyRuleTable &table)
{
    m_replyRules = table;
    m_replyMatcher.SetRules(m_replyRules.rules);
    m_bReplyActive = m_replyRules.IsActive() && !m_replyMatcher.IsEmpty();
    m_nRuleFailuresSaid = 0;
    RefreshPeriodicReplies(true);
    if (!m_bReplyActive)
        CancelPendingReplies();  // rules switched off: nothing they armed goes out any more
    if (m_pDocument) {
        m_replyRules.Store(*m_pDocument);
        m_pDocument->SetModifiedFlag();
    }
}

void CQnView::OnReplyRules()
{
    CReplyRulesDlg dialog(m_replyRules, this);
    if (dialog.exec() == QDialog::Accepted)
        SetReplyRules(dialog.Table());
}

int CQnView::MatchReplyRule(int length, QByteArray *kept) const
{
    if (!m_bReplyActive)
        return 0;
    // The History's copy is made while the matcher reads the block: one pass over it instead of two.
    *kept = m_pHistoryWnd->KeptBytesBuffer(length);
    auto *copy = kept->isEmpty() ? nullptr : reinterpret_cast<unsigned char *>(kept->data());
    const int peer = m_pEndpoint ? m_pEndpoint->SelectedPeer() : 0;
    const auto state = m_replyStates.find(peer);
    return m_replyMatcher.Match(m_pRecvBuf.get(), length, copy, &m_replyGroups,
                                state == m_replyStates.end() ? QString() : state->second);
}

void CQnView::ReplyByRule(int number, int length)
{
    CReplyTemplate::Context context;
    context.block = QByteArrayView(m_pRecvBuf.get(), length);
    context.groups = m_replyGroups;
    AnswerByRule(number, context, m_replyMatcher.Delay(number));
}

bool CQnView::AnswerByRule(int number, CReplyTemplate::Context context, int delay)
{
    const int peer = m_pEndpoint ? m_pEndpoint->SelectedPeer() : 0;
    quint32 &answers = m_ruleAnswers[peer][size_t(number - 1)];
    context.seq = answers + 1;
    QList<CReplyTemplate::Part> parts;
    QString why;
    if (!m_replyMatcher.Answer(number, context, &parts, &why)) {
        const quint64 bit = quint64(1) << (number - 1);
        if (!(m_nRuleFailuresSaid & bit))
            AddLog(QStringLiteral("応答ﾙｰﾙ%1 応答を作れないため送信しません: %2").arg(number).arg(why));
        m_nRuleFailuresSaid |= bit;
        return false;
    }
    ++answers;
    // At most the delay and a day of waits (CReplyTemplate::kMaxTotalWait): an int's milliseconds.
    qint64 at = delay;
    for (const CReplyTemplate::Part &part : parts) {
        at += part.waitMs;
        if (at <= 0)
            SendRuleReply(number, part.bytes);
        else
            ArmRuleReply(number, part.bytes, int(at));
    }
    const QString next = m_replyMatcher.NextState(number);
    if (!next.isEmpty() && std::exchange(ReplyState(), next) != next)
        ScheduleConnectionRefresh();
    return true;
}

QString &CQnView::ReplyState()
{
    return m_replyStates[m_pEndpoint ? m_pEndpoint->SelectedPeer() : 0];
}

void CQnView::RefreshPeriodicReplies(bool restart)
{
    if (restart)
        qDeleteAll(m_periodicTimers.children());
    const bool run = m_bReplyActive && (m_nState == ST_CONNECTED || m_nState == ST_CONNECTED_LOOPBACK);
    if (!run) {
        qDeleteAll(m_periodicTimers.children());
        return;
    }
    if (!m_periodicTimers.children().isEmpty())
        return;
    for (const int number : m_replyMatcher.PeriodicRules()) {
        auto *timer = new QTimer(&m_periodicTimers);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, [this, number] { SendPeriodicReply(number); });
        timer->start(m_replyMatcher.Delay(number));
    }
}

void CQnView::SendPeriodicReply(int number)
{
    // Each client of a server of many on its own: its state, its count.
    const QList<int> peers = m_pEndpoint && m_pEndpoint->ServesManyPeers() ? m_pEndpoint->Peers() : QList<int>{0};
    for (const int peer : peers) {
        if (!m_pEndpoint || !m_pEndpoint->HasPeer())
            return;
        if (peer > 0)
            m_pEndpoint->SelectPeer(peer);
        if (m_replyMatcher.HoldsIn(number, ReplyState()))
            AnswerByRule(number, CReplyTemplate::Context(), 0);
    }
}

void CQnView::ArmRuleReply(int number, const QByteArray &reply, int ms)
{
    const QObjectList &pending = m_replyTimers.children();
    if (pending.size() >= kMaxPendingReplies || m_nPendingReplyBytes + reply.size() > kMaxPendingReplyBytes) {
        if (!std::exchange(m_bPendingReplyDropped, true))
            AddLog(QStringLiteral("応答ﾙｰﾙ%1 送信待ちの応答が上限を超えたため破棄しました").arg(number));
        return;
    }
    m_nPendingReplyBytes += reply.size();
    // The reply's own copy: the table may change before the timer fires. It answers the client
    // that asked, when a server serves many.
    const int peer = m_pEndpoint ? m_pEndpoint->SelectedPeer() : 0;
    auto *timer = new QTimer(&m_replyTimers);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, timer, number, reply, peer] {
        timer->deleteLater();
        timer->setParent(nullptr);
        ForgetPendingReply(reply.size());
        if (m_pEndpoint)
            m_pEndpoint->SelectPeer(peer);
        SendRuleReply(number, reply);
    });
    timer->start(ms);
}

void CQnView::SendRuleReply(int number, const QByteArray &reply)
{
    const auto *data = reinterpret_cast<const unsigned char *>(reply.constData());
    const int length = int(reply.size());
    // A send the transport refused is told by it in the Log; it is neither counted nor shown as sent.
    if (!SendData(data, length))
        return;
    m_traffic.Sent(length, CTrafficStats::Clock::now(), TrafficPeers());
    m_pHistoryWnd->AddTelegramLines({HistoryPrefix(u'S')}, data, length);
    AddLog(QStringLiteral("応答ﾙｰﾙ%1 送信 ").arg(number) + LogTelegramText(data, length));
}

int CQnView::PendingReplies() const
{
    return int(m_replyTimers.children().size());
}

void CQnView::ForgetPendingReply(qsizetype bytes)
{
    m_nPendingReplyBytes -= bytes;
    if (m_replyTimers.children().isEmpty())
        m_bPendingReplyDropped = false;  // the next excess is said again
}

void CQnView::CancelPendingReplies()
{
    qDeleteAll(m_replyTimers.children());
    // Answers are counted per connection; a server of many clients counts each client's apart, until
    // it closes.
    if (!m_pEndpoint || !m_pEndpoint->ServesManyPeers()) {
        m_ruleAnswers.clear();
        m_replyStates.clear();
    }
    m_nPendingReplyBytes = 0;
    m_bPendingReplyDropped = false;
}
