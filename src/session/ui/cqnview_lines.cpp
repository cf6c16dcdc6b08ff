// A serial line's control lines: DTR, RTS and the break from the menu, the tool bar and command
// sequences; the modem lines as lamps beside the send and receive lamps, and each change of them as
// an M line in the History.
#include "session/ui/cqnview.h"

#include "display/ui/cmessagewnd.h"
#include "document/cconnectiontype.h"
#include "net/cendpoint.h"
#include "platform/prompts.h"
#include "res/commandids.h"
#include "session/ccommandstep.h"

namespace {

constexpr COLORREF kLineOn = 0x00FF00;
constexpr COLORREF kLineOff = 0x808080;
constexpr int kLampLeft = 262;  // beside the send lamp
constexpr int kLampWidth = 20;

}  // namespace

void CQnView::CreateLineLamps()
{
    for (int i = 0; i < CEndpoint::kModemLineCount; ++i) {
        CColorStatic &lamp = m_lineLamps[size_t(i)];
        const int left = kLampLeft + i * (kLampWidth + 2);
        lamp.Create(nullptr, CEndpoint::ModemLineName(i), QnRect{left, 2, left + kLampWidth, 20}, kLineOff, this);
        lamp.setToolTip(i < 2 ? QStringLiteral("%1 (出力)").arg(CEndpoint::ModemLineName(i))
                              : QStringLiteral("%1 (入力)").arg(CEndpoint::ModemLineName(i)));
    }
    RefreshLineLamps();
}

bool CQnView::HasLineControls() const
{
    const bool open = m_nState == ST_CONNECTED || m_nState == ST_CONNECTED_LOOPBACK;
    const CConnectionType *row = m_pEndpoint ? CConnectionType::Find(m_pEndpoint->Type()) : nullptr;
    return open && row && row->Has(Capability::LineControls);
}

void CQnView::RefreshLineLamps()
{
    const CConnectionType *row = CConnectionType::Find(m_nSocketType);
    const bool shown = row && row->Has(Capability::LineControls);
    const int lines = HasLineControls() ? m_pEndpoint->ModemLines() : -1;
    for (int i = 0; i < CEndpoint::kModemLineCount; ++i) {
        CColorStatic &lamp = m_lineLamps[size_t(i)];
        lamp.setVisible(shown);
        lamp.SetColor(lines >= 0 && (lines & CEndpoint::ModemLineBit(i)) ? kLineOn : kLineOff);
    }
}

void CQnView::OnModemLines(int changed, int lines, qint64 /*when*/)
{
    // One line a change, output lines first, so the order of changes and telegrams reads in the History.
    for (int i = 0; i < CEndpoint::kModemLineCount; ++i) {
        if (changed & CEndpoint::ModemLineBit(i))
            m_pHistoryWnd->AddEventLine(QStringLiteral("M %1 %2").arg(CEndpoint::ModemLineName(i)).arg((lines & CEndpoint::ModemLineBit(i)) ? 1 : 0));
    }
    RefreshLineLamps();
    Q_EMIT CommandStateChanged();
}

bool CQnView::ControlLine(CCommandStep::Action action, int value, int *lastsMs, QString *why)
{
    *lastsMs = 0;
    if (!HasLineControls()) {
        *why = QStringLiteral("ｼﾘｱﾙ接続中ではありません");
        return false;
    }
    if (action == CCommandStep::Break) {
        if (!m_pEndpoint->SendBreak(value, why))
            return false;
        *lastsMs = value > 0 ? value : m_pEndpoint->BreakMs();
        AddLog(QStringLiteral("ﾌﾞﾚｰｸ送信 %1ms").arg(*lastsMs));
        return true;
    }
    const int line = action == CCommandStep::Dtr ? CEndpoint::LineDtr : CEndpoint::LineRts;
    if (!m_pEndpoint->SetControlLine(line, value != 0, why))
        return false;
    AddLog(QStringLiteral("%1 %2").arg(action == CCommandStep::Dtr ? QStringLiteral("DTR") : QStringLiteral("RTS"),
                                       value ? QStringLiteral("ｵﾝ") : QStringLiteral("ｵﾌ")));
    return true;
}

void CQnView::OnLineCommand(int id)
{
    int lastsMs = 0;
    QString why;
    const bool done = id == ID_LINE_BREAK ? ControlLine(CCommandStep::Break, 0, &lastsMs, &why)
                                          : ControlLine(id == ID_LINE_DTR ? CCommandStep::Dtr : CCommandStep::Rts,
                                                        !IsCommandChecked(id), &lastsMs, &why);
    if (!done)
        Prompts::Instance().MessageBox(this, why + QStringLiteral("。"), Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
    Q_EMIT CommandStateChanged();
}
