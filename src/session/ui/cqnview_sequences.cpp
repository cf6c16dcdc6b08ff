// The view's side of command sequences: what they send goes out as Command Send's telegrams do, and
// every block received reaches the running sequence as it arrives.
#include "session/ui/cqnview.h"

#include "display/ui/ccommandsenddlg.h"
#include "display/ui/cmessagewnd.h"
#include "net/cendpoint.h"
#include "document/cqndoc.h"
#include "session/csequencerecording.h"
#include "session/csequencerunner.h"
#include "session/ui/ccommandpanelwnd.h"

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

void CQnView::LoadCommands()
{
    if (!m_pCommandPanel) {
        m_pCommandPanel = std::make_unique<CCommandPanelWnd>(this);
        CSequenceRunner *runner = &m_pCommandPanel->Runner();
        runner->SetSender([this, runner](const QByteArray &bytes) { return SendSequenceTelegram(bytes, runner->Name()); });
        runner->SetLineControl([this](CCommandStep::Action action, int value, int *lastsMs, QString *why) {
            return ControlLine(action, value, lastsMs, why);
        });
        AttachSequenceRunner(runner);
        connect(m_pCommandPanel.get(), &CCommandPanelWnd::Note, this, &CQnView::AddLog);
        connect(m_pCommandPanel.get(), &CCommandPanelWnd::CommandsChanged, this, [this](const QByteArray &file) {
            if (!m_pDocument)
                return;
            m_pDocument->SetSlotBytes(CQnDoc::SLOT_COMMANDS, file);
            m_pDocument->SetModifiedFlag();
        });
    }
    // The commands are the document's own: they follow every New and Open.
    CCommandsFile commands;
    const QByteArray stored = m_pDocument ? m_pDocument->GetSlotBytes(CQnDoc::SLOT_COMMANDS) : QByteArray();
    QString error;
    if (!stored.isEmpty() && !commands.Parse(stored, &error)) {
        AddLog(QStringLiteral("ｺﾏﾝﾄﾞ一覧 壊れた設定を読み込みませんでした: %1").arg(error));
        commands = CCommandsFile();
    }
    m_pCommandPanel->SetCommands(std::move(commands));
}

void CQnView::OpenCommandPanel()
{
    if (!m_pCommandPanel->isVisible())
        m_pCommandPanel->show();
    m_pCommandPanel->activateWindow();
    m_pCommandPanel->raise();
}

QString CQnView::RecordHistorySequence()
{
    QList<CSequenceRecording::Telegram> telegrams;
    for (const CMessageWnd::TelegramBytes &telegram : m_pHistoryWnd->SelectedTelegrams())
        telegrams.append({telegram.direction, telegram.bytes, telegram.when / 1000});
    if (telegrams.isEmpty()) {
        AddLog(QStringLiteral("ｼｰｹﾝｽとして保存 記録する電文がありません"));
        return QString();
    }
    QString name;
    for (int n = 1; name.isEmpty() || m_pCommandPanel->Commands().Find(name); ++n)
        name = QStringLiteral("記録%1").arg(n);
    const QList<QStringList> rows = CSequenceRecording::Rows(name, telegrams);
    QString error;
    if (!m_pCommandPanel->AddRows(rows, &error)) {
        AddLog(QStringLiteral("ｼｰｹﾝｽとして保存 できませんでした: %1").arg(error));
        return QString();
    }
    AddLog(QStringLiteral("ｺﾏﾝﾄﾞ一覧に「%1」を追加しました (%2 手順)").arg(name).arg(rows.size()));
    return name;
}
