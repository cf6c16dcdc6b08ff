#include "display/ui/clineview.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QMenu>
#include <QGlyphRun>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <limits>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Control characters take the place of a blank on screen (the stored text keeps them).
QChar DisplayChar(char16_t c)
{
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0))
        return QChar(u' ');
    return QChar(c);
}

bool IsWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

}  // namespace

CLineView::CLineView(QWidget *parent)
    : QAbstractScrollArea(parent),
      m_pCopy(new QAction(QStringLiteral("コピー(&C)"), this)),
      m_pSelectAll(new QAction(QStringLiteral("すべて選択(&A)"), this))
{
    setFocusPolicy(Qt::StrongFocus);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(1);
    m_flushTimer.setSingleShot(true);
    connect(&m_flushTimer, &QTimer::timeout, this, &CLineView::Flush);

    // Window-wide, so that copying still works after an append moved the focus to a check box.
    m_pCopy->setShortcuts(QKeySequence::Copy);
    m_pCopy->setShortcutContext(Qt::WindowShortcut);
    m_pSelectAll->setShortcuts(QKeySequence::SelectAll);
    m_pSelectAll->setShortcutContext(Qt::WindowShortcut);
    connect(m_pCopy, &QAction::triggered, this, &CLineView::Copy);
    connect(m_pSelectAll, &QAction::triggered, this, &CLineView::SelectAll);
    addAction(m_pCopy);
    addAction(m_pSelectAll);
    UpdateFontMetrics();
}

CLineView::~CLineView() = default;

void CLineView::AppendEntry(std::vector<CLineStore::Line> lines, bool scrollToEnd)
{
    const int before = m_store.Count();
    const int removed = m_store.Append(std::move(lines));
    // The lines kept before the entry come first; those of the entry that fit follow them.
    const int firstNew = before - removed;
    for (int i = 0; i < removed; ++i) {
        if (i < m_measured && m_layouts.front().width >= m_maxWidth)
            m_maxStale = true;
        m_layouts.pop_front();
    }
    m_measured = std::max(0, m_measured - removed);
    m_layouts.resize(static_cast<size_t>(m_store.Count()));
    if (m_pCheck) {
        const auto gone = std::min(static_cast<size_t>(removed), m_verdicts.size());
        m_verdicts.erase(m_verdicts.begin(), m_verdicts.begin() + static_cast<std::ptrdiff_t>(gone));
        m_verdicts.resize(static_cast<size_t>(m_store.Count()));
    }
    if (m_search.IsActive()) {
        for (int i = 0; i < removed && !m_counts.empty(); ++i) {
            m_total -= m_counts.front();
            m_counts.pop_front();
        }
        for (int i = firstNew; i < m_store.Count(); ++i) {
            m_counts.push_back(CountMatches(i));
            m_total += m_counts.back();
        }
    }
    const qint64 firstSerial = m_store.FirstSerial();
    if (m_currentSerial >= 0 && m_currentSerial < firstSerial)
        m_currentSerial = -1;
    int rowsRemoved = removed;
    if (m_filtered) {
        rowsRemoved = 0;
        while (!m_rows.empty() && m_rows.front() < firstSerial) {
            m_rows.pop_front();
            ++rowsRemoved;
        }
        for (int i = firstNew; i < m_store.Count(); ++i) {
            if (Shows(i))
                m_rows.push_back(firstSerial + i);
        }
    }
    if (rowsRemoved > 0)
        ShiftForRemoved(rowsRemoved);
    m_pendingEnd = m_pendingEnd || scrollToEnd;
    ScheduleFlush();
}

void CLineView::Clear()
{
    m_store.Clear();
    std::deque<Layout>().swap(m_layouts);
    m_measured = 0;
    m_maxWidth = 0;
    m_maxStale = false;
    m_pendingEnd = false;
    m_pendingShift = 0;
    m_anchor = m_cursor = Position{};
    m_selecting = false;
    std::deque<int>().swap(m_counts);
    std::deque<qint64>().swap(m_rows);
    std::deque<quint8>().swap(m_verdicts);
    m_total = 0;
    m_currentSerial = -1;
#ifdef __GLIBC__
    // Large lines freed in the middle of the heap stay mapped until the allocator is asked.
    malloc_trim(0);
#endif
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    ScheduleFlush();
}

QString CLineView::SelectedText() const
{
    Position from = std::min(m_anchor, m_cursor);
    const Position to = std::max(m_anchor, m_cursor);
    QString text;
    for (int line = from.line; line <= to.line; ++line) {
        if (line < RowCount()) {
            const CLineStore::Line &l = m_store.At(LineOfRow(line));
            const qsizetype start = line == from.line ? from.column : 0;
            const qsizetype end = line == to.line ? to.column : l.Length();
            text += ShownMid(l, start, end);
        }
        if (line < to.line)
            text += QChar(u'\n');
    }
    return text;
}

void CLineView::SetSelection(Position anchor, Position cursor)
{
    auto clamp = [this](Position p) {
        p.line = std::clamp(p.line, 0, RowCount());
        const qsizetype length = p.line < RowCount() ? m_store.At(LineOfRow(p.line)).Length() : 0;
        p.column = std::clamp<qsizetype>(p.column, 0, length);
        return p;
    };
    m_anchor = clamp(anchor);
    m_cursor = clamp(cursor);
    viewport()->update();
}

void CLineView::SelectAll()
{
    SetSelection(Position{}, Position{RowCount(), 0});
}

void CLineView::Copy()
{
    if (HasSelection())
        QGuiApplication::clipboard()->setText(SelectedText());
}

CLineView::Position CLineView::PositionAt(QPoint point)
{
    const int row = point.y() >= 0 ? point.y() / m_lineHeight : -1;
    Position p;
    p.line = std::clamp(FirstLine() + row, 0, RowCount());
    if (p.line < RowCount()) {
        const int index = LineOfRow(p.line);
        Measure(index);
        const double x = point.x() + horizontalScrollBar()->value() - kMargin;
        const CLineStore::Line &line = m_store.At(index);
        // The nearest boundary between characters.
        const qsizetype c = ColumnAtX(index, x);
        if (c < line.Length()) {
            const double left = IndexX(index, c);
            const double right = IndexX(index, c + 1);
            p.column = x - left < right - x ? c : c + 1;
        } else {
            p.column = line.Length();
        }
    }
    return p;
}

QPoint CLineView::PointOf(Position position)
{
    const double x = position.line < RowCount() ? ColumnX(position.line, position.column) : 0;
    return QPoint(static_cast<int>(std::lround(x)) + kMargin - horizontalScrollBar()->value(),
                  (position.line - FirstLine()) * m_lineHeight + m_lineHeight / 2);
}

double CLineView::IndexX(int line, qsizetype column)
{
    Measure(line);
    const CLineStore::Line &l = m_store.At(line);
    const Layout &layout = m_layouts[static_cast<size_t>(line)];
    column = std::clamp<qsizetype>(column, 0, l.Length());
    qsizetype i = 0;
    double x = 0;
    if (!layout.marks.empty()) {
        const size_t k = std::min(static_cast<size_t>(column / kMarkStep), layout.marks.size() - 1);
        i = static_cast<qsizetype>(k) * kMarkStep;
        x = layout.marks[k];
    }
    const Spacing spacing = SpacingOf(l);
    x += double(spacing.GapsBefore(column) - spacing.GapsBefore(i)) * spacing.gap;
    for (; i < column && i < l.head.size(); ++i)
        x += Advance(l.head[i]);
    const qsizetype headSize = l.head.size();
    if (i < column)
        x += LatinWidth(l.tail.constData() + (i - headSize), column - i);
    return x;
}

void CLineView::Flush()
{
    CatchUp();
    m_sinceFlush.start();
    viewport()->update();
}

void CLineView::CatchUp()
{
    m_flushTimer.stop();
    const QScopedValueRollback<bool> internal(m_internalScroll, true);
    for (int i = m_measured; i < m_store.Count(); ++i) {
        Measure(i);
        m_maxWidth = std::max(m_maxWidth, m_layouts[static_cast<size_t>(i)].width);
    }
    m_measured = m_store.Count();
    // Keep the same lines in view while the end is not being followed.
    if (m_pendingShift > 0 && !m_pendingEnd)
        verticalScrollBar()->setValue(FirstLine());
    m_pendingShift = 0;
    if (m_maxStale) {
        m_maxWidth = 0;
        for (const Layout &layout : m_layouts)
            m_maxWidth = std::max(m_maxWidth, layout.width);
        m_maxStale = false;
    }
    UpdateScrollBars();
    if (m_pendingEnd) {
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
        m_pendingEnd = false;
    }
}

void CLineView::paintEvent(QPaintEvent * /*event*/)
{
    if (m_flushTimer.isActive())
        CatchUp();
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().brush(QPalette::Base));
    painter.setFont(font());
    const int left = horizontalScrollBar()->value();
    const int right = left + viewport()->width();
    const int first = FirstLine();
    const int rows = viewport()->height() / m_lineHeight + 1;
    for (int row = 0; row < rows && first + row < RowCount(); ++row)
        DrawLine(painter, first + row, row * m_lineHeight, left, right);
}

void CLineView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    const bool atEnd = verticalScrollBar()->value() == verticalScrollBar()->maximum();
    UpdateScrollBars();
    if (atEnd)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void CLineView::showEvent(QShowEvent *event)
{
    QAbstractScrollArea::showEvent(event);
    Flush();
}

void CLineView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        UpdateFontMetrics();
        ScheduleFlush();
    }
}

void CLineView::scrollContentsBy(int /*dx*/, int /*dy*/)
{
    if (!m_internalScroll)
        viewport()->update();
}

void CLineView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const Position p = PositionAt(event->position().toPoint());
    if (!(event->modifiers() & Qt::ShiftModifier))
        m_anchor = p;
    m_cursor = p;
    m_selecting = true;
    viewport()->update();
}

void CLineView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_selecting || !(event->buttons() & Qt::LeftButton))
        return;
    const QPoint point = event->position().toPoint();
    ScrollTowards(point);
    m_cursor = PositionAt(point);
    viewport()->update();
}

void CLineView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_selecting)
        return;
    m_selecting = false;
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (HasSelection() && clipboard->supportsSelection())
        clipboard->setText(SelectedText(), QClipboard::Selection);
}

void CLineView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const Position p = PositionAt(event->position().toPoint());
    if (p.line >= RowCount())
        return;
    const CLineStore::Line &line = m_store.At(LineOfRow(p.line));
    qsizetype start = p.column;
    qsizetype end = p.column;
    while (start > 0 && IsWordChar(line.At(start - 1)))
        --start;
    while (end < line.Length() && IsWordChar(line.At(end)))
        ++end;
    SetSelection(Position{p.line, start}, Position{p.line, end});
}

void CLineView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.addAction(m_pCopy);
    menu.addAction(m_pSelectAll);
    m_pCopy->setEnabled(HasSelection());
    if (!m_menuActions.isEmpty()) {
        menu.addSeparator();
        menu.addActions(m_menuActions);
    }
    menu.exec(event->globalPos());
    m_pCopy->setEnabled(true);
}

void CLineView::ScheduleFlush()
{
    if (!isVisible() || m_flushTimer.isActive())
        return;
    // The first change after a quiet spell shows at once, later ones at most every kFlushInterval.
    const qint64 since = m_sinceFlush.isValid() ? m_sinceFlush.elapsed() : kFlushInterval;
    m_flushTimer.start(static_cast<int>(std::max<qint64>(0, kFlushInterval - since)));
}

void CLineView::UpdateFontMetrics()
{
    const QFontMetricsF metrics(font());
    for (int c = 0; c < 256; ++c)
        m_latinAdvance[static_cast<size_t>(c)] = metrics.horizontalAdvance(DisplayChar(char16_t(c)));
    m_advance.clear();
    m_rawFont = QRawFont::fromFont(font());
    QString latin;
    for (int c = 0; c < 256; ++c)
        latin += DisplayChar(char16_t(c));
    const QList<quint32> glyphs = m_rawFont.isValid() ? m_rawFont.glyphIndexesForString(latin) : QList<quint32>();
    for (int c = 0; c < 256; ++c)
        m_latinGlyph[static_cast<size_t>(c)] = glyphs.size() == 256 ? glyphs[c] : 0;
    m_lineHeight = std::max(1, static_cast<int>(std::ceil(metrics.lineSpacing())));
    m_ascent = static_cast<int>(std::round(metrics.ascent()));
    for (Layout &layout : m_layouts)
        layout = Layout{};
    m_measured = 0;
    m_maxWidth = 0;
    m_maxStale = false;
    horizontalScrollBar()->setSingleStep(std::max(1, static_cast<int>(m_latinAdvance['0'] * 4)));
}

void CLineView::Measure(int line)
{
    Layout &layout = m_layouts[static_cast<size_t>(line)];
    if (layout.width >= 0)
        return;
    const CLineStore::Line &l = m_store.At(line);
    const qsizetype length = l.Length();
    const qsizetype headSize = l.head.size();
    const char *tail = l.tail.constData();
    if (SharesLayout(line)) {
        layout = m_layouts[static_cast<size_t>(line - 1)];
        return;
    }
    if (length > kMarkStep)
        layout.marks.reserve(static_cast<size_t>(length / kMarkStep + 1));
    double x = 0;
    for (qsizetype i = 0; i < length;) {
        if (length > kMarkStep)
            layout.marks.push_back(x);
        const qsizetype end = std::min(i + kMarkStep, length);
        for (; i < end && i < headSize; ++i)
            x += Advance(l.head[i]);
        if (i < end) {
            x += LatinWidth(tail + (i - headSize), end - i);
            i = end;
        }
    }
    layout.width = x;
    if (const Spacing spacing = SpacingOf(l); spacing.gap != 0) {
        for (size_t k = 0; k < layout.marks.size(); ++k)
            layout.marks[k] += double(spacing.GapsBefore(qsizetype(k) * kMarkStep)) * spacing.gap;
        layout.width += double(spacing.GapsBefore(length)) * spacing.gap;
    }
}

bool CLineView::SharesLayout(int line)
{
    // An echo's S line holds the R line's digits: when the short heads measure the same, so does all.
    if (line == 0 || m_layouts[static_cast<size_t>(line - 1)].width < 0)
        return false;
    const CLineStore::Line &l = m_store.At(line);
    const CLineStore::Line &before = m_store.At(line - 1);
    if (l.tail.size() < kMarkStep || !l.tail.isSharedWith(before.tail) || l.head.size() != before.head.size() ||
        l.head.size() >= kMarkStep)
        return false;
    double x = 0;
    double y = 0;
    for (qsizetype i = 0; i < l.head.size(); ++i) {
        x += Advance(l.head[i]);
        y += Advance(before.head[i]);
    }
    return x == y;
}

double CLineView::LatinWidth(const char *text, qsizetype count) const
{
    // Four partial sums: the additions do not wait on one another (a 2,048,000-digit line is
    // measured as it arrives).
    const auto advance = [this](char c) { return m_latinAdvance[static_cast<uchar>(c)]; };
    double a = 0, b = 0, c = 0, d = 0;
    qsizetype i = 0;
    for (; i + 4 <= count; i += 4) {
        a += advance(text[i]);
        b += advance(text[i + 1]);
        c += advance(text[i + 2]);
        d += advance(text[i + 3]);
    }
    for (; i < count; ++i)
        a += advance(text[i]);
    return (a + b) + (c + d);
}

double CLineView::Advance(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 256)
        return m_latinAdvance[u];
    auto it = m_advance.constFind(u);
    if (it != m_advance.constEnd())
        return *it;
    double advance;
    if (c.isLowSurrogate())
        advance = 0;  // the high surrogate before it carries the width of the pair
    else if (c.isHighSurrogate())
        advance = QFontMetricsF(font()).horizontalAdvance(QChar(u'\u3000'));
    else
        advance = QFontMetricsF(font()).horizontalAdvance(c);
    m_advance.insert(u, advance);
    return advance;
}

qsizetype CLineView::ColumnAtX(int line, double x)
{
    Measure(line);
    const CLineStore::Line &l = m_store.At(line);
    const Layout &layout = m_layouts[static_cast<size_t>(line)];
    if (x <= 0)
        return 0;
    if (x >= layout.width)
        return l.Length();
    qsizetype i = 0;
    double left = 0;
    if (!layout.marks.empty()) {
        const auto it = std::upper_bound(layout.marks.begin(), layout.marks.end(), x);
        const size_t k = static_cast<size_t>(std::max<std::ptrdiff_t>(0, (it - layout.marks.begin()) - 1));
        i = static_cast<qsizetype>(k) * kMarkStep;
        left = layout.marks[k];
    }
    const Spacing spacing = SpacingOf(l);
    for (; i < l.Length(); ++i) {
        const double advance = Advance(l.At(i)) + spacing.After(i);
        if (advance > 0 && x < left + advance)
            return i;
        left += advance;
    }
    return l.Length();
}

void CLineView::UpdateScrollBars()
{
    const int rows = RowCount() + 1;  // the empty line after the last one
    const int visible = std::max(1, viewport()->height() / m_lineHeight);
    QScrollBar *vertical = verticalScrollBar();
    vertical->setPageStep(visible);
    vertical->setRange(0, std::max(0, rows - visible));
    const double total = std::min(m_maxWidth + 2 * kMargin + 1, double(std::numeric_limits<int>::max() / 2));
    QScrollBar *horizontal = horizontalScrollBar();
    horizontal->setPageStep(std::max(1, viewport()->width()));
    horizontal->setRange(0, std::max(0, static_cast<int>(std::ceil(total)) - viewport()->width()));
}

void CLineView::ShiftForRemoved(int removed)
{
    auto shift = [removed](Position &p) {
        p.line -= removed;
        if (p.line < 0)
            p = Position{};
    };
    shift(m_anchor);
    shift(m_cursor);
    // The scroll bar moves when the display catches up: moving it here would paint it every time.
    m_pendingShift = std::min(m_pendingShift + removed, verticalScrollBar()->value());
}

int CLineView::FirstLine() const
{
    return std::max(0, verticalScrollBar()->value() - m_pendingShift);
}

void CLineView::DrawLine(QPainter &painter, int row, int y, int left, int right)
{
    const int line = LineOfRow(row);
    const CLineStore::Line &l = m_store.At(line);
    qsizetype first = ColumnAtX(line, left - kMargin);
    if (first > 0 && first < l.Length() && l.At(first).isLowSurrogate())
        --first;
    const qsizetype last = std::min(l.Length(), ColumnAtX(line, right - kMargin) + 1);
    const QPointF origin(IndexX(line, first) + kMargin - left, y + m_ascent);
    if (m_pCheck && Verdict(line) == CChecksumCheck::Bad)
        painter.fillRect(QRect(0, y, viewport()->width(), m_lineHeight), QColor(255, 176, 176));
    if (m_search.IsActive() && static_cast<size_t>(line) < m_counts.size() && m_counts[static_cast<size_t>(line)] > 0) {
        // Every match in view on a marker colour; a match on the line break shows as a blank's width.
        for (const CLineSearch::Span &span : m_search.Find(l, first, last)) {
            const double x0 = IndexX(line, span.start) + kMargin - left;
            const double x1 = std::max(IndexX(line, span.start + span.length) + kMargin - left, x0 + m_latinAdvance[' ']);
            painter.fillRect(QRectF(x0, y, x1 - x0, m_lineHeight), QColor(255, 224, 64));
        }
    }
    // A mark line (a disturbance) in a colour of its own among the telegrams.
    painter.setPen(l.mark ? QColor(176, 64, 0) : palette().color(QPalette::Text));
    DrawSegment(painter, l, first, last, origin);

    const Position from = std::min(m_anchor, m_cursor);
    const Position to = std::max(m_anchor, m_cursor);
    if (from == to || row < from.line || row > to.line)
        return;
    const qsizetype start = row == from.line ? from.column : 0;
    const qsizetype end = row == to.line ? to.column : l.Length();
    // A selection that runs on to the next line also covers the line break.
    const double lineBreak = row < to.line ? m_latinAdvance[' '] : 0;
    const double x0 = std::max(-1.0, IndexX(line, start) + kMargin - left);
    const double x1 = std::min(double(viewport()->width() + 1), IndexX(line, end) + kMargin - left + lineBreak);
    if (x1 <= x0)
        return;
    const QRectF band(x0, y, x1 - x0, m_lineHeight);
    painter.fillRect(band, palette().brush(QPalette::Highlight));
    painter.save();
    painter.setClipRect(band);
    painter.setPen(palette().color(QPalette::HighlightedText));
    DrawSegment(painter, l, first, last, origin);
    painter.restore();
}

void CLineView::DrawSegment(QPainter &painter, const CLineStore::Line &line, qsizetype first, qsizetype last,
                            QPointF origin)
{
    const qsizetype headSize = line.head.size();
    QPointF at = origin;
    if (first < headSize) {
        QString head = line.head.mid(first, std::min(last, headSize) - first);
        for (QChar &c : head) {
            at.rx() += Advance(c);
            c = DisplayChar(c.unicode());
        }
        painter.drawText(origin, head);
        first = headSize;
    }
    if (first >= last)
        return;
    // The tail is Latin-1: its glyphs and their places come from tables, without shaping.
    const char *tail = line.tail.constData() + (first - headSize);
    const qsizetype count = last - first;
    const Spacing spacing = SpacingOf(line);
    QList<quint32> glyphs(count);
    QList<QPointF> positions(count);
    double x = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const uchar c = static_cast<uchar>(tail[i]);
        if (m_latinGlyph[c] == 0) {
            painter.drawText(at, line.Mid(first, count));
            return;
        }
        glyphs[i] = m_latinGlyph[c];
        positions[i] = QPointF(x, 0);
        x += m_latinAdvance[c] + spacing.After(first + i);
    }
    QGlyphRun run;
    run.setRawFont(m_rawFont);
    run.setGlyphIndexes(glyphs);
    run.setPositions(positions);
    painter.drawGlyphRun(at, run);
}

void CLineView::ScrollTowards(QPoint point)
{
    const QRect area = viewport()->rect();
    if (point.y() < area.top())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.y() > area.bottom())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (point.x() < area.left())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (point.x() > area.right())
        horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}
