#include "batch/ui/cbatchgrid.h"

#include "platform/chexconv.h"
#include "platform/cmessageevent.h"

#include <QMouseEvent>

CBatchGrid::CBatchGrid(QWidget *parent, int x, int y, int width, int height, int markCols, BOOL markRow, BOOL notify)
    : CvsFlexGrid(parent), m_bMarkRow(markRow), m_bNotify(notify), m_nMarkCols(markCols), m_pNotifyWnd(parent)
{
    setObjectName(QStringLiteral("GRID"));
    setWindowTitle(QStringLiteral("GRID"));
    setGeometry(x, y, width, height);
    show();
}

void CBatchGrid::MarkRow(int row)
{
    if (!m_bMarkRow)
        return;
    PaintMark(TRUE);
    m_nMarkRow = row;
    PaintMark(FALSE);
}

void CBatchGrid::PaintMark(BOOL clear)
{
    if (m_nMarkRow == 0)
        return;
    SetRangeCellProperty(kCellBackColor, m_nMarkRow, 1, m_nMarkRow, m_nMarkCols - 1, clear ? kWhite : kMarkColor);
    SetRangeCellProperty(kCellBackColor, m_nMarkRow, 0, m_nMarkRow, 0, clear ? ButtonFaceColor() : kMarkColor);
    if (!clear && m_bNotify)
        Notify(EV_GRID_ROW_MARKED, m_nMarkRow);
}

LPARAM CBatchGrid::CellParam(int row, int col)
{
    std::uint32_t value = 0;
    SetWordHalf(&value, std::uint16_t(row), 0);
    SetWordHalf(&value, std::uint16_t(col), 1);
    return LPARAM(value);
}

LPARAM CBatchGrid::ScreenPointParam(QPoint screen)
{
    std::uint32_t value = 0;
    SetWordHalf(&value, std::uint16_t(screen.x()), 1);
    SetWordHalf(&value, std::uint16_t(screen.y()), 0);
    return LPARAM(value);
}

QPoint CBatchGrid::ScreenPointFromParam(LPARAM lParam)
{
    // Each half is a signed 16-bit coordinate: screens left of or above the first one are negative.
    const auto value = std::uint32_t(lParam);
    return QPoint(std::int16_t(GetWordHalf(value, 1)), std::int16_t(GetWordHalf(value, 0)));
}

void CBatchGrid::Notify(int code, LPARAM lParam)
{
    PostMessage(m_pNotifyWnd, WM_SESSION_EVENT, WPARAM(code), lParam);
}

void CBatchGrid::OnKeyDown(short *keyCode, short shift)
{
    if (m_bNotify) {
        int code = 0;
        if (*keyCode == 0x2E)
            code = EV_GRID_DELETE_KEY;
        else if (*keyCode == 0x43 && shift == 2)
            code = EV_GRID_COPY_KEY;
        else if (*keyCode == 0x56 && shift == 2)
            code = EV_GRID_PASTE_KEY;
        if (code != 0) {
            Notify(code, CellParam(GetCursorRow(), GetCursorCol()));
            *keyCode = 0;  // the window acts on the key; the grid does nothing more with it
        }
    }
    CvsFlexGrid::OnKeyDown(keyCode, shift);
}

void CBatchGrid::OnKeyUp(short *keyCode, short shift)
{
    if (m_bMarkRow)
        MoveMarkToCursor();
    CvsFlexGrid::OnKeyUp(keyCode, shift);
}

void CBatchGrid::MoveMarkToCursor()
{
    PaintMark(TRUE);
    m_nMarkRow = GetCursorRow();
    PaintMark(FALSE);
}

void CBatchGrid::OnMouseUp(short button, short shift, float x, float y)
{
    if (m_bMarkRow)
        PaintMark(TRUE);
    m_nMarkRow = GetCursorRow();
    if (m_bNotify) {
        if (button == 2)
            Notify(EV_GRID_CONTEXT_MENU, ScreenPointParam(mapToGlobal(QPointF(x, y)).toPoint()));
        else
            Notify(EV_GRID_CLICK, CellParam(GetCursorRow(), GetCursorCol()));
    }
    if (m_bMarkRow)
        PaintMark(FALSE);
    CvsFlexGrid::OnMouseUp(button, shift, x, y);
}

void CBatchGrid::OnCellChanged(int row, int col)
{
    if (m_bNotify)
        Notify(EV_GRID_NOTIFY, CellParam(GetCursorRow(), GetCursorCol()));
    CvsFlexGrid::OnCellChanged(row, col);
}

bool CBatchGrid::CellAt(QPoint viewportPoint, int *row, int *col) const
{
    const QModelIndex index = indexAt(viewportPoint);
    if (!index.isValid())
        return false;
    *row = index.row() + GetFixedRowCount();
    *col = index.column() + GetFixedColCount();
    return true;
}

void CBatchGrid::mouseDoubleClickEvent(QMouseEvent *event)
{
    int row = 0;
    int col = 0;
    if (m_nFilePickCol > 0 && event->button() == Qt::LeftButton && GetEditAllowed() &&
        CellAt(event->position().toPoint(), &row, &col) && col == m_nFilePickCol && GetCellText(row, col).isEmpty()) {
        event->accept();
        emit FilePickRequested(row, col);
        return;
    }
    CvsFlexGrid::mouseDoubleClickEvent(event);
}
