// Value channels in the session: the document's table, read from each telegram sent or received.
#include "session/ui/cqnview.h"

#include "document/cqndoc.h"
#include "session/ui/cchannelsdlg.h"
#include "session/ui/cplotwnd.h"

#include <chrono>

void CQnView::LoadChannels()
{
    QString error;
    CChannelTable table;
    if (m_pDocument && !table.Load(*m_pDocument, &error))
        AddLog(QStringLiteral("ﾁｬﾝﾈﾙ 壊れた設定を読み込みませんでした: ") + error);
    m_channelTable = table;
    UseChannels();
}

void CQnView::SetChannels(const CChannelTable &table)
{
    m_channelTable = table;
    if (m_pDocument) {
        table.Store(*m_pDocument);
        m_pDocument->SetModifiedFlag();
    }
    UseChannels();
}

void CQnView::UseChannels()
{
    QString error;
    if (!m_channelParser.SetTable(m_channelTable, &error))
        AddLog(QStringLiteral("ﾁｬﾝﾈﾙ ﾁｪｯｸｻﾑ: ") + error);
    if (m_channelValues.Channels() != m_channelTable.channels)
        m_channelValues.SetChannels(m_channelTable.channels);
}

void CQnView::FeedChannels(char direction, const unsigned char *data, int length)
{
    if (m_channelParser.IsEmpty() || length <= 0)
        return;
    // The History's time base: microseconds since the epoch of the system clock.
    const qint64 when =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    m_channelParser.Feed(direction, TrafficPeer(), data, length, when, &m_channelValues);
}

void CQnView::OpenPlotWindow()
{
    if (!m_pPlotWnd)
        m_pPlotWnd = std::make_unique<CPlotWnd>(&m_channelValues, [this] { OnChannels(); });
    if (!m_pPlotWnd->isVisible())
        m_pPlotWnd->show();
    m_pPlotWnd->activateWindow();
    m_pPlotWnd->raise();
}

void CQnView::OnChannels()
{
    CChannelsDlg dialog(m_channelTable, this);
    if (dialog.exec() == QDialog::Accepted && !(dialog.Table() == m_channelTable))
        SetChannels(dialog.Table());
}
