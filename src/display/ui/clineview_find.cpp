// Finding and filtering in the message windows' text area: match counts kept per line, the rows a
// filter lets through, and stepping from match to match.
#include "display/ui/clineview.h"

#include <QScrollBar>

#include <algorithm>

int CLineView::RowOfLine(int line) const
{
    if (!m_filtered)
        return line;
    const qint64 serial = m_store.FirstSerial() + line;
    const auto it = std::lower_bound(m_rows.begin(), m_rows.end(), serial);
    return it != m_rows.end() && *it == serial ? static_cast<int>(it - m_rows.begin()) : -1;
}

bool CLineView::Shows(int line) const
{
    if (!PassesDirection(m_store.At(line)))
        return false;
    return !m_matchingOnly || !m_search.IsActive() || m_counts[static_cast<size_t>(line)] > 0;
}

int CLineView::CountMatches(int line) const
{
    const CLineStore::Line &l = m_store.At(line);
    return PassesDirection(l) ? m_search.Count(l) : 0;
}

void CLineView::Recount()
{
    std::deque<int>().swap(m_counts);
    m_total = 0;
    if (!m_search.IsActive())
        return;
    for (int i = 0; i < m_store.Count(); ++i) {
        m_counts.push_back(CountMatches(i));
        m_total += m_counts.back();
    }
}

void CLineView::RebuildRows()
{
    m_filtered = (m_matchingOnly && m_search.IsActive()) || m_direction != 0;
    std::deque<qint64>().swap(m_rows);
    if (m_filtered) {
        for (int i = 0; i < m_store.Count(); ++i) {
            if (Shows(i))
                m_rows.push_back(m_store.FirstSerial() + i);
        }
    }
    // Rows are other lines now: the selection and the place in the text start afresh at the end.
    m_anchor = m_cursor = Position{};
    m_selecting = false;
    m_pendingShift = 0;
    m_pendingEnd = true;
    CatchUp();
    viewport()->update();
}

void CLineView::SetSearch(const CLineSearch &search)
{
    m_search = search;
    m_currentSerial = -1;
    Recount();
    if (m_matchingOnly || m_filtered)
        RebuildRows();
    m_anchor = m_cursor;
    viewport()->update();
}

void CLineView::SetFilter(bool matchingOnly, char direction)
{
    if (matchingOnly == m_matchingOnly && direction == m_direction)
        return;
    m_matchingOnly = matchingOnly;
    m_direction = direction;
    Recount();
    RebuildRows();
    // The current match stays current while its line is shown.
    if (m_currentSerial >= 0 && m_search.IsActive()) {
        const int line = static_cast<int>(m_currentSerial - m_store.FirstSerial());
        if (m_currentIndex < m_counts[static_cast<size_t>(line)])
            SelectCurrent();
        else
            m_currentSerial = -1;
    }
}

QStringList CLineView::ShownLines() const
{
    QStringList texts;
    texts.reserve(RowCount());
    for (int row = 0; row < RowCount(); ++row)
        texts.append(m_store.At(LineOfRow(row)).Text());
    return texts;
}

qint64 CLineView::CurrentMatch() const
{
    if (m_currentSerial < 0 || !m_search.IsActive())
        return 0;
    const qint64 line = m_currentSerial - m_store.FirstSerial();
    qint64 before = 0;
    for (qint64 i = 0; i < line; ++i)
        before += m_counts[static_cast<size_t>(i)];
    return before + m_currentIndex + 1;
}

bool CLineView::GoToMatch(bool forward)
{
    const int n = m_store.Count();
    if (!m_search.IsActive() || m_total == 0 || n == 0)
        return false;
    int line;
    int index;
    if (m_currentSerial >= 0) {
        line = static_cast<int>(m_currentSerial - m_store.FirstSerial());
        index = m_currentIndex + (forward ? 1 : -1);
    } else {
        line = RowCount() > 0 ? LineOfRow(std::min(FirstLine(), RowCount() - 1)) : 0;
        index = forward ? 0 : -1;
    }
    auto count = [this](int l) { return m_counts[static_cast<size_t>(l)]; };
    for (int step = 0; step <= n + 1 && !(index >= 0 && index < count(line)); ++step) {
        if (forward) {
            line = (line + 1) % n;
            index = 0;
        } else {
            line = (line - 1 + n) % n;
            index = count(line) - 1;
        }
    }
    if (index < 0 || index >= count(line))
        return false;
    m_currentSerial = m_store.FirstSerial() + line;
    m_currentIndex = index;
    return SelectCurrent();
}

bool CLineView::SelectCurrent()
{
    const int line = static_cast<int>(m_currentSerial - m_store.FirstSerial());
    const CLineSearch::Span span = m_search.Nth(m_store.At(line), m_currentIndex);
    const int row = RowOfLine(line);
    if (row < 0)
        return false;
    CatchUp();
    SetSelection(Position{row, span.start}, Position{row, span.start + span.length});
    QScrollBar *vertical = verticalScrollBar();
    if (row < vertical->value() || row >= vertical->value() + vertical->pageStep())
        vertical->setValue(row - vertical->pageStep() / 2);
    QScrollBar *horizontal = horizontalScrollBar();
    const int x = static_cast<int>(IndexX(line, span.start));
    const int x1 = static_cast<int>(IndexX(line, span.start + span.length));
    if (x < horizontal->value() || x1 > horizontal->value() + viewport()->width() - 2 * kMargin)
        horizontal->setValue(x - viewport()->width() / 3);
    viewport()->update();
    return true;
}
