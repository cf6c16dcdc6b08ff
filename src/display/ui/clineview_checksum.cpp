// The checksum check in the message windows' text area: verdicts kept per line, the red band and
// tooltip of a bad telegram, and stepping from one bad telegram to the next.
#include "display/ui/clineview.h"

#include <QHelpEvent>
#include <QScrollBar>
#include <QToolTip>

void CLineView::SetChecksumCheck(std::unique_ptr<CChecksumCheck> check)
{
    m_pCheck = std::move(check);
    std::deque<quint8>().swap(m_verdicts);
    if (m_pCheck)
        m_verdicts.resize(static_cast<size_t>(m_store.Count()));
    viewport()->update();
}

CChecksumCheck::Verdict CLineView::Verdict(int line)
{
    if (!m_pCheck)
        return CChecksumCheck::NotJudged;
    quint8 &verdict = m_verdicts[static_cast<size_t>(line)];
    if (verdict == 0)
        verdict = quint8(m_pCheck->Judge(m_store.At(line)).verdict + 1);
    return static_cast<CChecksumCheck::Verdict>(verdict - 1);
}

QString CLineView::ChecksumTip(int row)
{
    const int line = LineOfRow(row);
    if (Verdict(line) != CChecksumCheck::Bad)
        return QString();
    return CChecksumCheck::Describe(m_pCheck->Judge(m_store.At(line)));
}

int CLineView::GoToBadLine(bool forward)
{
    if (!m_pCheck)
        return -1;
    const int step = forward ? 1 : -1;
    int row = std::min(m_anchor, m_cursor).line;
    if (HasSelection())
        row += step;
    for (; row >= 0 && row < RowCount(); row += step) {
        if (Verdict(LineOfRow(row)) == CChecksumCheck::Bad) {
            SelectRow(row);
            return row;
        }
    }
    return -1;
}

void CLineView::SelectRow(int row)
{
    CatchUp();
    SetSelection(Position{row, 0}, Position{row, m_store.At(LineOfRow(row)).Length()});
    QScrollBar *vertical = verticalScrollBar();
    if (row < vertical->value() || row >= vertical->value() + vertical->pageStep())
        vertical->setValue(row - vertical->pageStep() / 2);
    horizontalScrollBar()->setValue(0);
}

bool CLineView::viewportEvent(QEvent *event)
{
    if (event->type() != QEvent::ToolTip || !m_pCheck)
        return QAbstractScrollArea::viewportEvent(event);
    const auto *help = static_cast<QHelpEvent *>(event);
    const int row = PositionAt(help->pos()).line;
    const QString tip = row < RowCount() ? ChecksumTip(row) : QString();
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), tip, viewport());
    return true;
}

std::pair<int, int> CLineView::SelectedRows() const
{
    const Position first = std::min(m_anchor, m_cursor);
    const Position last = std::max(m_anchor, m_cursor);
    return {first.line, last.column == 0 && last.line > first.line ? last.line - 1 : last.line};
}
