// A table of the batch send window: the grid with a coloured mark on the row in progress, which
// forwards its key and mouse events to the window as WM_SESSION_EVENT notifications.
#pragma once

#include "batch/ui/cvsflexgrid.h"

#include <QPoint>

class CBatchGrid : public CvsFlexGrid
{
    Q_OBJECT
public:
    // Creates the grid as a visible child of `parent` at (x, y) with the given size; notifications
    // go to `parent`. The mark starts on row 1 (not painted until the first MarkRow).
    CBatchGrid(QWidget *parent, int x, int y, int width, int height, int markCols, BOOL markRow, BOOL notify);

    static constexpr COLORREF kMarkColor = 0xEBCE87;  // red 135, green 206, blue 235
    static constexpr COLORREF kWhite = 0xFFFFFF;

    // With marking on: unpaints the mark, moves it to `row` and paints it.
    void MarkRow(int row);
    // Paints (clear FALSE) or unpaints the mark of m_nMarkRow over columns 0 to m_nMarkCols - 1;
    // painting also posts EV_GRID_ROW_MARKED when notifying. Nothing when m_nMarkRow is 0.
    void PaintMark(BOOL clear);

    // lParam of a cell notification: row in the low 16 bits, column in the high 16 bits.
    static LPARAM CellParam(int row, int col);
    // lParam of EV_GRID_CONTEXT_MENU: screen x in the high 16 bits, y in the low 16 bits, and back.
    static LPARAM ScreenPointParam(QPoint screen);
    static QPoint ScreenPointFromParam(LPARAM lParam);

    // The cell (fixed rows and columns counted) at a point of the grid's cell area; false outside.
    bool CellAt(QPoint viewportPoint, int *row, int *col) const;
    // A double-click on an empty cell of `col` while editing is allowed asks for a file instead of
    // editing the cell (FilePickRequested); 0 turns it off.
    void SetFilePickColumn(int col) { m_nFilePickCol = col; }

Q_SIGNALS:
    void FilePickRequested(int row, int col);

public:

    int m_nMarkRow = 1;    // 0 = no mark
    int m_bMarkRow;        // 1 = row marking on
    int m_bNotify;         // 1 = forward events to m_pNotifyWnd
    int m_nMarkCols;       // the mark covers columns 0 to m_nMarkCols - 1
    QObject *m_pNotifyWnd; // the batch send window

protected:
    void OnKeyDown(short *keyCode, short shift) override;
    void OnKeyUp(short *keyCode, short shift) override;
    void OnMouseUp(short button, short shift, float x, float y) override;
    void OnCellChanged(int row, int col) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void Notify(int code, LPARAM lParam);
    // Unpaints the mark, moves it to the cursor row and paints it.
    void MoveMarkToCursor();

    int m_nFilePickCol = 0;
};
