// A grid of text cells with a caption row and a number column, driven by the operations and
// events the batch windows use: rows and columns count from 0, the fixed ones included.
#pragma once

#include "platform/qnwin.h"

#include <QString>
#include <QTableView>

#include <vector>

class CFlexGridModel;

// The fixed row (captions) and the fixed column (row numbers) are this view's header sections, so
// they stay in view while the body scrolls and are never user cells; the corner holds cell (0, 0).
// The selected block runs from the cursor cell (its anchor, where the focus frame is) to the
// selection end cell; an end above or left of the cursor is kept as such.
class CvsFlexGrid : public QTableView
{
    Q_OBJECT
public:
    explicit CvsFlexGrid(QWidget *parent = nullptr);
    ~CvsFlexGrid() override;

    // Cell property selector of SetRangeCellProperty: the background colour.
    static constexpr int kCellBackColor = 6;
    // ClearCells: where (everywhere, the non-fixed cells, the selected block) and what (all, text, colours).
    enum ClearWhere { kClearEverywhere = 0, kClearScrollable = 1, kClearSelection = 2 };
    enum ClearWhat { kClearEverything = 0, kClearText = 1, kClearFormatting = 2 };

    void SetFontName(const QString &face);
    void SetRowCount(int rows);
    void SetColCount(int cols);
    int GetRowCount() const;
    int GetColCount() const;
    // Captions of row 0 separated by "|"; each column becomes as wide as its caption, blanks included.
    void SetHeaderLayout(const QString &layout);
    // 0 or 1 each.
    void SetFixedRowCount(int rows);
    void SetFixedColCount(int cols);
    int GetFixedRowCount() const;
    int GetFixedColCount() const;

    // Setting the cursor row or column also moves the selection end onto the cursor cell.
    int GetCursorRow() const { return m_nCursorRow; }
    int GetCursorCol() const { return m_nCursorCol; }
    void SetCursorRow(int row);
    void SetCursorCol(int col);
    int GetSelEndRow() const { return m_nSelEndRow; }
    int GetSelEndCol() const { return m_nSelEndCol; }
    void SetSelEndRow(int row);
    void SetSelEndCol(int col);

    void SetBackColor(COLORREF colour);
    // Fills the selected block from text: cells split by tab, rows by CR (CR LF and LF count as one
    // break; a final LF ends the last row). Text beyond the block is dropped; cells of the block
    // beyond the text keep their contents.
    void SetSelectionText(const QString &text);
    void SetEditAllowed(BOOL allowed);
    BOOL GetEditAllowed() const { return m_bEditAllowed; }

    // Cells outside the grid read "" and ignore writes.
    QString GetCellText(int row, int col) const;
    void SetCellText(int row, int col, const QString &text);
    void ClearCells(int where, int what);
    // Only kCellBackColor is known; the rectangle may hold fixed cells and is cut to the grid.
    void SetRangeCellProperty(int property, int row1, int col1, int row2, int col2, COLORREF value);
    // The background a cell is painted with: its own colour, or the grid's for its kind of cell.
    COLORREF GetCellBackColor(int row, int col) const;
    // The system's button face colour, which fixed cells show by default.
    COLORREF ButtonFaceColor() const;

    // Ends an edit in progress, keeping the typed text.
    void CommitEdit();

Q_SIGNALS:
    // Windows key code and shift state (1 Shift, 2 Ctrl, 4 Alt); a slot may set the code to 0 to
    // take the key away from the grid.
    void KeyDown(short *keyCode, short shift);
    void KeyUp(short *keyCode, short shift);
    // Button 1 left, 2 right, 4 middle; x and y in this widget's pixels.
    void MouseUp(short button, short shift, float x, float y);
    // The user has changed the text of a cell by editing it.
    void CellChanged(int row, int col);

protected:
    // Event handlers; the defaults emit the signals above.
    virtual void OnKeyDown(short *keyCode, short shift);
    virtual void OnKeyUp(short *keyCode, short shift);
    virtual void OnMouseUp(short button, short shift, float x, float y);
    virtual void OnCellChanged(int row, int col);

    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void commitData(QWidget *editor) override;
    // The grid has no type-ahead search: typing either edits or does nothing.
    void keyboardSearch(const QString &) override {}

private:
    static short ShiftState(Qt::KeyboardModifiers modifiers);
    static short KeyCode(int qtKey);
    // Moves the cursor (or with `extend` the selection end) by the key; false for other keys.
    bool MoveByKey(int key, Qt::KeyboardModifiers modifiers);
    void MoveTo(int row, int col, bool extend);
    // Shows the block and the cursor as the view's selection and current cell.
    void ShowSelection();
    // Brings the cursor and the selection end back into the body after the counts changed.
    void ClampCursor();
    void UpdateRowHeight();
    // Takes the cursor from the view when something else moved its current cell.
    void TakeCurrent(const QModelIndex &current);
    void ApplyColumnWidth(int col);
    void MouseUpAt(QMouseEvent *event, QWidget *source);
    void PaintCorner(QWidget *corner);

    CFlexGridModel *m_pModel;
    QWidget *m_pCorner = nullptr;
    std::vector<int> m_colWidths;  // by control column; 0 = not set by a layout
    int m_nCursorRow = 1;
    int m_nCursorCol = 1;
    int m_nSelEndRow = 1;
    int m_nSelEndCol = 1;
    BOOL m_bEditAllowed = FALSE;
    bool m_bSyncing = false;
    bool m_bDragging = false;
};
