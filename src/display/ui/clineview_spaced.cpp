// Telegrams' hex digits shown in pairs: the blanks are drawn, measured and copied, never stored.
#include "display/ui/clineview.h"

void CLineView::SetSpacedHex(bool on)
{
    if (m_spacedHex == on)
        return;
    m_spacedHex = on;
    // Every line is measured again; the place in view stays as near as the new widths allow.
    for (Layout &layout : m_layouts)
        layout = Layout{};
    m_measured = 0;
    m_maxWidth = 0;
    m_maxStale = false;
    Flush();
}

qsizetype CLineView::ShownColumn(qsizetype digits, qsizetype column)
{
    if (digits <= 0 || column <= 0)
        return 0;
    if (column >= digits)  // the end: no blank after the last pair
        return digits % 2 == 0 ? 3 * (digits / 2) - 1 : 3 * (digits / 2) + 1;
    return 3 * (column / 2) + column % 2;
}

CLineView::Spacing CLineView::SpacingOf(const CLineStore::Line &line) const
{
    // Hex lines only: a telegram's line whose digits are the whole tail (not a text display's line).
    if (!m_spacedHex || line.direction == 0 || line.body < 0 || line.rawEnd >= 0 || line.body != line.head.size()
        || line.tail.size() < 3)
        return Spacing{};
    return Spacing{line.body, line.Length(), m_latinAdvance[' ']};
}

QString CLineView::ShownMid(const CLineStore::Line &line, qsizetype start, qsizetype end) const
{
    const Spacing spacing = SpacingOf(line);
    if (spacing.gap == 0 || end <= spacing.begin)
        return line.Mid(start, end - start);
    QString text;
    text.reserve((end - start) * 3 / 2 + 1);
    for (qsizetype c = start; c < end; ++c) {
        if (c > start && c > spacing.begin && (c - spacing.begin) % 2 == 0)
            text += QLatin1Char(' ');
        text += line.At(c);
    }
    return text;
}
