// Read-only text area of the message windows: paints only what is visible, selects and copies lines.
#pragma once

#include "display/cchecksumcheck.h"
#include "display/clinesearch.h"
#include "display/clinestore.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QHash>
#include <QRawFont>
#include <QTimer>

#include <algorithm>
#include <array>
#include <deque>
#include <memory>
#include <vector>

class QAction;

class CLineView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    // A place in the text: line index (Count() is the empty line after the last) and character.
    struct Position
    {
        int line = 0;
        qsizetype column = 0;
        friend bool operator==(const Position &, const Position &) = default;
        friend auto operator<=>(const Position &, const Position &) = default;
    };

    explicit CLineView(QWidget *parent = nullptr);
    ~CLineView() override;

    // Appends the lines of one entry; `scrollToEnd` brings the end into view. The display catches up
    // once for all entries of a turn of the event loop, and at most every kFlushInterval milliseconds.
    void AppendEntry(std::vector<CLineStore::Line> lines, bool scrollToEnd);
    void Clear();
    // True when the next entry removes the oldest line by the line limit.
    bool AtLineLimit() const { return m_store.AtLineLimit(); }

    int LineCount() const { return m_store.Count(); }
    const CLineStore &Store() const { return m_store; }
    QString LineText(int index) const { return m_store.At(index).Text(); }
    QStringList Lines() const { return m_store.Texts(); }
    qsizetype StoredBytes() const { return m_store.StoredBytes(); }
    void SetBudget(qsizetype bytes) { m_store.SetBudget(bytes); }

    bool HasSelection() const { return m_anchor != m_cursor; }
    // The rows the selection touches, first and last (a selection ending at a row's start leaves it out).
    std::pair<int, int> SelectedRows() const;
    QString SelectedText() const;
    void SetSelection(Position anchor, Position cursor);
    void SelectAll();
    void Copy();
    QAction *CopyAction() const { return m_pCopy; }
    QAction *SelectAllAction() const { return m_pSelectAll; }

    // Finding: every match of the search is marked; the current one is selected. The count of a
    // line's matches is kept as lines arrive and leave. Lines the filter hides have no matches.
    void SetSearch(const CLineSearch &search);
    const CLineSearch &Search() const { return m_search; }
    qint64 MatchTotal() const { return m_total; }
    // 1 for the first match, 0 when no match is current.
    qint64 CurrentMatch() const;
    // Selects the next (or previous) match after the current one or, without one, after the top of
    // the view, wrapping around, and brings it into view. False when there is none.
    bool GoToMatch(bool forward);
    // Shows only the lines with a match (when `matchingOnly` and a search is set) and only the
    // lines of the given direction ('R', 'S'; 0 all). Lines that arrive later are filtered too.
    void SetFilter(bool matchingOnly, char direction);
    // Rows on screen: the lines the filter lets through (all lines without a filter), oldest first.
    int RowCount() const { return m_filtered ? static_cast<int>(m_rows.size()) : m_store.Count(); }
    QStringList ShownLines() const;
    // The stored line a row shows.
    int LineOfRow(int row) const
    {
        return m_filtered ? static_cast<int>(m_rows[static_cast<size_t>(row)] - m_store.FirstSerial()) : row;
    }
    // Checksum check of received telegrams (null: off). A line is judged when first drawn or
    // stepped over, and the verdict kept; a bad one is drawn on a red band and its tooltip tells
    // the checksum expected.
    void SetChecksumCheck(std::unique_ptr<CChecksumCheck> check);
    const CChecksumCheck *ChecksumCheck() const { return m_pCheck.get(); }
    CChecksumCheck::Verdict VerdictOfRow(int row) { return Verdict(LineOfRow(row)); }
    // The tooltip of a row: empty unless its checksum is bad.
    QString ChecksumTip(int row);
    // Selects the next (or previous) row with a bad checksum after the selection, or from the
    // caret's row without one, and brings it into view; no wrapping. Its row, or -1.
    int GoToBadLine(bool forward);
    // Telegrams' hex digits shown in pairs with a blank between them (01 03 00 …); off by default.
    // Only the look changes: positions, finds and the stored text keep the compact digits, and a
    // copy holds the blanks as they are shown.
    void SetSpacedHex(bool on);
    bool SpacedHex() const { return m_spacedHex; }
    // Where digit `column` (0 the first; `digits` the end) of `digits` hex digits is shown in pairs.
    static qsizetype ShownColumn(qsizetype digits, qsizetype column);
    // Actions added to the context menu after its own.
    void SetMenuActions(const QList<QAction *> &actions) { m_menuActions = actions; }

    // Positions count rows, not stored lines, while a filter is on.
    // Where a point of the viewport falls in the text.
    Position PositionAt(QPoint point);
    // The viewport point at the left edge of a position, halfway down its line.
    QPoint PointOf(Position position);
    // Left edge of a character of a row in content coordinates (before horizontal scrolling).
    double ColumnX(int row, qsizetype column) { return IndexX(LineOfRow(row), column); }
    int LineHeight() const { return m_lineHeight; }
    // Brings the display up to date now instead of at the next scheduled moment.
    void Flush();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    bool viewportEvent(QEvent *event) override;

private:
    // Widths of one line: total, and the x of every kMarkStep-th character of a long line.
    struct Layout
    {
        double width = -1;  // not measured yet
        std::vector<double> marks;
    };
    // The hex digits of a telegram's line while they are shown in pairs: columns [begin, end), and
    // the blank's width (0: the line is shown as stored).
    struct Spacing
    {
        qsizetype begin = 0;
        qsizetype end = 0;
        double gap = 0;
        // Blanks left of a column, and the blank after one (the second digit of a pair, not the last).
        qsizetype GapsBefore(qsizetype column) const
        {
            return gap == 0 || column <= begin ? 0 : ShownColumn(end - begin, std::min(column, end) - begin) - (std::min(column, end) - begin);
        }
        double After(qsizetype column) const
        {
            return gap != 0 && column >= begin && (column - begin) % 2 == 1 && column < end - 1 ? gap : 0;
        }
    };
    Spacing SpacingOf(const CLineStore::Line &line) const;
    // Characters [start, end) of a line as shown (with the blanks of spaced hex).
    QString ShownMid(const CLineStore::Line &line, qsizetype start, qsizetype end) const;
    static constexpr qsizetype kMarkStep = 1024;
    static constexpr int kMargin = 2;
    static constexpr qint64 kFlushInterval = 25;

    CChecksumCheck::Verdict Verdict(int line);
    // Selects a whole row and brings it into view.
    void SelectRow(int row);
    // Measures new lines, updates the scroll bars and follows the end, without painting.
    void CatchUp();

    void ScheduleFlush();
    // The row that shows a stored line, or -1.
    int RowOfLine(int line) const;
    bool PassesDirection(const CLineStore::Line &line) const
    {
        return !m_direction || (m_direction == CLineStore::kMarks ? line.mark : line.direction == m_direction);
    }
    bool Shows(int line) const;
    int CountMatches(int line) const;
    void Recount();
    void RebuildRows();
    // Selects the current match and brings it into view.
    bool SelectCurrent();
    double IndexX(int line, qsizetype column);
    void UpdateFontMetrics();
    void Measure(int line);
    // True when a long line's layout equals the one before it (the same shared tail, a head as wide).
    bool SharesLayout(int line);
    double Advance(QChar c);
    // Width of `count` Latin-1 characters.
    double LatinWidth(const char *text, qsizetype count) const;
    qsizetype ColumnAtX(int line, double x);
    void UpdateScrollBars();
    void ShiftForRemoved(int removed);
    // The line at the top of the viewport.
    int FirstLine() const;
    void DrawLine(QPainter &painter, int row, int y, int left, int right);
    // Draws characters [first, last) of a line with the first one's left edge at origin.
    void DrawSegment(QPainter &painter, const CLineStore::Line &line, qsizetype first, qsizetype last,
                     QPointF origin);
    void ScrollTowards(QPoint point);

    CLineStore m_store;
    std::deque<Layout> m_layouts;
    int m_measured = 0;       // lines [0, m_measured) have their layout
    double m_maxWidth = 0;
    bool m_maxStale = false;  // the widest line left: find the widest again
    bool m_pendingEnd = false;
    int m_pendingShift = 0;  // lines that left the front since the scroll bar was last placed
    bool m_internalScroll = false;  // scroll bar moved by the view itself: no paint of its own
    QTimer m_flushTimer;
    QElapsedTimer m_sinceFlush;

    std::array<double, 256> m_latinAdvance{};
    std::array<quint32, 256> m_latinGlyph{};  // 0: no glyph in the font, drawn as text instead
    QRawFont m_rawFont;
    QHash<char16_t, double> m_advance;
    int m_lineHeight = 1;
    int m_ascent = 1;

    Position m_anchor;
    Position m_cursor;
    bool m_selecting = false;

    CLineSearch m_search;
    std::deque<int> m_counts;  // matches per stored line while a search is active
    qint64 m_total = 0;
    qint64 m_currentSerial = -1;  // the line of the current match, or -1
    int m_currentIndex = 0;       // its index among the line's matches
    bool m_matchingOnly = false;
    char m_direction = 0;
    bool m_filtered = false;
    std::deque<qint64> m_rows;  // serials of the lines shown while filtered
    std::unique_ptr<CChecksumCheck> m_pCheck;
    std::deque<quint8> m_verdicts;  // per stored line while checking: 0 not judged yet, else Verdict + 1
    QList<QAction *> m_menuActions;
    QAction *m_pCopy;
    QAction *m_pSelectAll;
    bool m_spacedHex = false;
};
