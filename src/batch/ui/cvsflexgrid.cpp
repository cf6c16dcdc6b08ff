#include "batch/ui/cvsflexgrid.h"

#include "batch/ui/cflexgridheader.h"
#include "batch/ui/cflexgridmodel.h"
#include "platform/ui/uifonts.h"

#include <QAbstractButton>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

COLORREF RefFromColor(const QColor &colour)
{
    return COLORREF(colour.red()) | (COLORREF(colour.green()) << 8) | (COLORREF(colour.blue()) << 16);
}

}  // namespace

CvsFlexGrid::CvsFlexGrid(QWidget *parent) : QTableView(parent), m_pModel(new CFlexGridModel(this))
{
    setHorizontalHeader(new CFlexGridHeader(Qt::Horizontal, this));
    setVerticalHeader(new CFlexGridHeader(Qt::Vertical, this));
    setModel(m_pModel);
    // The block is kept here and shown through the selection model; the view never selects by itself.
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setFocusPolicy(Qt::StrongFocus);
    horizontalHeader()->setSectionsClickable(true);
    verticalHeader()->setSectionsClickable(true);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    UpdateRowHeight();

    // The corner shows cell (0, 0), the caption of the number column.
    m_pCorner = findChild<QAbstractButton *>();
    if (m_pCorner)
        m_pCorner->installEventFilter(this);
    horizontalHeader()->viewport()->installEventFilter(this);
    verticalHeader()->viewport()->installEventFilter(this);
    connect(m_pModel, &QAbstractItemModel::headerDataChanged, this, [this] {
        if (m_pCorner)
            m_pCorner->update();
    });
    connect(m_pModel, &QAbstractItemModel::modelReset, this, &CvsFlexGrid::ClampCursor);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) { TakeCurrent(current); });

    // Pressing a number selects the row, pressing a caption the column.
    connect(verticalHeader(), &QHeaderView::sectionPressed, this, [this](int section) {
        m_nCursorRow = m_nSelEndRow = section + GetFixedRowCount();
        m_nCursorCol = GetFixedColCount();
        m_nSelEndCol = GetColCount() - 1;
        ShowSelection();
    });
    connect(horizontalHeader(), &QHeaderView::sectionPressed, this, [this](int section) {
        m_nCursorCol = m_nSelEndCol = section + GetFixedColCount();
        m_nCursorRow = GetFixedRowCount();
        m_nSelEndRow = GetRowCount() - 1;
        ShowSelection();
    });
}

CvsFlexGrid::~CvsFlexGrid() = default;

void CvsFlexGrid::SetFontName(const QString &face)
{
    QFont f = font();
    f.setFamily(face);
    setFont(f);
    UpdateRowHeight();
}

void CvsFlexGrid::UpdateRowHeight()
{
    // Rows, the caption row included, are as high as the text with two pixels above and below.
    const int height = fontMetrics().height() + 4;
    verticalHeader()->setMinimumSectionSize(qMin(height, verticalHeader()->minimumSectionSize()));
    verticalHeader()->setDefaultSectionSize(height);
    horizontalHeader()->setFixedHeight(height);
}

void CvsFlexGrid::SetRowCount(int rows)
{
    m_pModel->Resize(rows, GetColCount());
}

void CvsFlexGrid::SetColCount(int cols)
{
    m_pModel->Resize(GetRowCount(), cols);
    m_colWidths.resize(size_t(GetColCount()), 0);
    for (int c = 0; c < GetColCount(); ++c)
        ApplyColumnWidth(c);
}

int CvsFlexGrid::GetRowCount() const
{
    return m_pModel->Rows();
}

int CvsFlexGrid::GetColCount() const
{
    return m_pModel->Cols();
}

int CvsFlexGrid::GetFixedRowCount() const
{
    return m_pModel->FixedRows();
}

int CvsFlexGrid::GetFixedColCount() const
{
    return m_pModel->FixedCols();
}

void CvsFlexGrid::SetHeaderLayout(const QString &layout)
{
    const QStringList captions = layout.split(QLatin1Char('|'));
    const QFontMetrics metrics(font());
    for (int c = 0; c < qMin(int(captions.size()), GetColCount()); ++c) {
        SetCellText(0, c, captions[c]);
        // The caption's text, its insets, a pixel of air on each side, the grid line on the right.
        m_colWidths[size_t(c)] = metrics.horizontalAdvance(captions[c]) + 2 * CFlexGridHeader::kTextInset + 3;
        ApplyColumnWidth(c);
    }
}

void CvsFlexGrid::ApplyColumnWidth(int col)
{
    const int width = col < int(m_colWidths.size()) ? m_colWidths[size_t(col)] : 0;
    if (col < GetFixedColCount())
        verticalHeader()->setMinimumWidth(width);
    else if (width > 0)
        setColumnWidth(col - GetFixedColCount(), width);
}

void CvsFlexGrid::SetFixedRowCount(int rows)
{
    m_pModel->SetFixed(rows, GetFixedColCount());
    horizontalHeader()->setVisible(GetFixedRowCount() > 0);
    for (int c = 0; c < GetColCount(); ++c)
        ApplyColumnWidth(c);
}

void CvsFlexGrid::SetFixedColCount(int cols)
{
    m_pModel->SetFixed(GetFixedRowCount(), cols);
    verticalHeader()->setVisible(GetFixedColCount() > 0);
    if (GetFixedColCount() == 0)
        verticalHeader()->setMinimumWidth(0);
    for (int c = 0; c < GetColCount(); ++c)
        ApplyColumnWidth(c);
}

void CvsFlexGrid::SetCursorRow(int row)
{
    m_nCursorRow = m_nSelEndRow = qBound(0, row, qMax(0, GetRowCount() - 1));
    m_nSelEndCol = m_nCursorCol;
    ShowSelection();
}

void CvsFlexGrid::SetCursorCol(int col)
{
    m_nCursorCol = m_nSelEndCol = qBound(0, col, qMax(0, GetColCount() - 1));
    m_nSelEndRow = m_nCursorRow;
    ShowSelection();
}

void CvsFlexGrid::SetSelEndRow(int row)
{
    m_nSelEndRow = qBound(0, row, qMax(0, GetRowCount() - 1));
    ShowSelection();
}

void CvsFlexGrid::SetSelEndCol(int col)
{
    m_nSelEndCol = qBound(0, col, qMax(0, GetColCount() - 1));
    ShowSelection();
}

void CvsFlexGrid::ShowSelection()
{
    QItemSelectionModel *selection = selectionModel();
    const int firstRow = GetFixedRowCount();
    const int firstCol = GetFixedColCount();
    const int lastRow = GetRowCount() - 1;
    const int lastCol = GetColCount() - 1;
    m_bSyncing = true;
    if (firstRow > lastRow || firstCol > lastCol) {
        selection->clear();
    } else {
        // Fixed cells cannot be shown as current or selected: the nearest body cell stands for them.
        const int cursorRow = qBound(firstRow, m_nCursorRow, lastRow);
        const int cursorCol = qBound(firstCol, m_nCursorCol, lastCol);
        const int endRow = qBound(firstRow, m_nSelEndRow, lastRow);
        const int endCol = qBound(firstCol, m_nSelEndCol, lastCol);
        selection->setCurrentIndex(m_pModel->BodyIndex(cursorRow, cursorCol), QItemSelectionModel::NoUpdate);
        if (cursorRow == endRow && cursorCol == endCol) {
            selection->clearSelection();  // one cell shows as the focus frame alone
        } else {
            selection->select(QItemSelection(m_pModel->BodyIndex(qMin(cursorRow, endRow), qMin(cursorCol, endCol)),
                                             m_pModel->BodyIndex(qMax(cursorRow, endRow), qMax(cursorCol, endCol))),
                              QItemSelectionModel::ClearAndSelect);
        }
    }
    m_bSyncing = false;
    viewport()->update();
}

void CvsFlexGrid::ClampCursor()
{
    const int lastRow = qMax(GetFixedRowCount(), GetRowCount() - 1);
    const int lastCol = qMax(GetFixedColCount(), GetColCount() - 1);
    m_nCursorRow = qBound(GetFixedRowCount(), m_nCursorRow, lastRow);
    m_nCursorCol = qBound(GetFixedColCount(), m_nCursorCol, lastCol);
    m_nSelEndRow = qBound(GetFixedRowCount(), m_nSelEndRow, lastRow);
    m_nSelEndCol = qBound(GetFixedColCount(), m_nSelEndCol, lastCol);
    ShowSelection();
}

void CvsFlexGrid::TakeCurrent(const QModelIndex &current)
{
    if (m_bSyncing || !current.isValid())
        return;
    m_nCursorRow = m_nSelEndRow = current.row() + GetFixedRowCount();
    m_nCursorCol = m_nSelEndCol = current.column() + GetFixedColCount();
    ShowSelection();
}

void CvsFlexGrid::SetBackColor(COLORREF colour)
{
    QPalette p = palette();
    p.setColor(QPalette::Base, ColorFromRef(colour));
    setPalette(p);
}

void CvsFlexGrid::SetSelectionText(const QString &text)
{
    // Rows at CR, LF or CR LF; a break at the very end closes the last row only when it is an LF.
    QStringList rows;
    QString current;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            rows.append(current);
            current.clear();
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
        } else {
            current += c;
        }
    }
    if (!text.endsWith(QLatin1Char('\n')))
        rows.append(current);

    const int top = qMin(m_nCursorRow, m_nSelEndRow);
    const int left = qMin(m_nCursorCol, m_nSelEndCol);
    const int height = qAbs(m_nSelEndRow - m_nCursorRow) + 1;
    const int width = qAbs(m_nSelEndCol - m_nCursorCol) + 1;
    for (int r = 0; r < qMin(height, int(rows.size())); ++r) {
        const QStringList cells = rows[r].split(QLatin1Char('\t'));
        for (int c = 0; c < qMin(width, int(cells.size())); ++c)
            SetCellText(top + r, left + c, cells[c]);
    }
}

void CvsFlexGrid::SetEditAllowed(BOOL allowed)
{
    m_bEditAllowed = allowed ? TRUE : FALSE;
    if (!m_bEditAllowed)
        CommitEdit();
    setEditTriggers(m_bEditAllowed ? QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                                         QAbstractItemView::AnyKeyPressed
                                   : QAbstractItemView::NoEditTriggers);
}

void CvsFlexGrid::CommitEdit()
{
    if (state() != QAbstractItemView::EditingState)
        return;
    if (QWidget *editor = indexWidget(currentIndex())) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

QString CvsFlexGrid::GetCellText(int row, int col) const
{
    return m_pModel->Text(row, col);
}

void CvsFlexGrid::SetCellText(int row, int col, const QString &text)
{
    m_pModel->SetText(row, col, text);
}

void CvsFlexGrid::ClearCells(int where, int what)
{
    int row1 = 0, col1 = 0, row2 = GetRowCount() - 1, col2 = GetColCount() - 1;
    if (where == kClearScrollable) {
        row1 = GetFixedRowCount();
        col1 = GetFixedColCount();
    } else if (where == kClearSelection) {
        row1 = qMin(m_nCursorRow, m_nSelEndRow);
        row2 = qMax(m_nCursorRow, m_nSelEndRow);
        col1 = qMin(m_nCursorCol, m_nSelEndCol);
        col2 = qMax(m_nCursorCol, m_nSelEndCol);
    }
    m_pModel->Clear(row1, col1, row2, col2, what != kClearFormatting, what != kClearText);
}

void CvsFlexGrid::SetRangeCellProperty(int property, int row1, int col1, int row2, int col2, COLORREF value)
{
    if (property != kCellBackColor)
        return;
    for (int r = qMax(0, qMin(row1, row2)); r <= qMin(GetRowCount() - 1, qMax(row1, row2)); ++r) {
        for (int c = qMax(0, qMin(col1, col2)); c <= qMin(GetColCount() - 1, qMax(col1, col2)); ++c)
            m_pModel->SetBack(r, c, value);
    }
}

COLORREF CvsFlexGrid::GetCellBackColor(int row, int col) const
{
    if (const auto back = m_pModel->Back(row, col))
        return *back;
    return m_pModel->IsFixed(row, col) ? ButtonFaceColor() : RefFromColor(palette().color(QPalette::Base));
}

COLORREF CvsFlexGrid::ButtonFaceColor() const
{
    return RefFromColor(palette().color(QPalette::Button));
}

// ---- events ----------------------------------------------------------------------------------

short CvsFlexGrid::ShiftState(Qt::KeyboardModifiers modifiers)
{
    return short(((modifiers & Qt::ShiftModifier) ? 1 : 0) | ((modifiers & Qt::ControlModifier) ? 2 : 0) |
                 ((modifiers & Qt::AltModifier) ? 4 : 0));
}

short CvsFlexGrid::KeyCode(int qtKey)
{
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return short(qtKey);
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return short(0x70 + (qtKey - Qt::Key_F1));
    switch (qtKey) {
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    case Qt::Key_Pause: return 0x13;
    case Qt::Key_CapsLock: return 0x14;
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    default: return 0;
    }
}

void CvsFlexGrid::OnKeyDown(short *keyCode, short shift)
{
    emit KeyDown(keyCode, shift);
}

void CvsFlexGrid::OnKeyUp(short *keyCode, short shift)
{
    emit KeyUp(keyCode, shift);
}

void CvsFlexGrid::OnMouseUp(short button, short shift, float x, float y)
{
    emit MouseUp(button, shift, x, y);
}

void CvsFlexGrid::OnCellChanged(int row, int col)
{
    emit CellChanged(row, col);
}

void CvsFlexGrid::keyPressEvent(QKeyEvent *event)
{
    short code = KeyCode(event->key());
    if (code != 0) {
        OnKeyDown(&code, ShiftState(event->modifiers()));
        if (code == 0) {
            event->accept();
            return;
        }
    }
    if (MoveByKey(event->key(), event->modifiers())) {
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CvsFlexGrid::keyReleaseEvent(QKeyEvent *event)
{
    short code = KeyCode(event->key());
    if (code != 0 && !event->isAutoRepeat())
        OnKeyUp(&code, ShiftState(event->modifiers()));
    QTableView::keyReleaseEvent(event);
}

bool CvsFlexGrid::MoveByKey(int key, Qt::KeyboardModifiers modifiers)
{
    const bool extend = modifiers & Qt::ShiftModifier;
    const bool control = modifiers & Qt::ControlModifier;
    int row = extend ? m_nSelEndRow : m_nCursorRow;
    int col = extend ? m_nSelEndCol : m_nCursorCol;
    const int page = qMax(1, viewport()->height() / qMax(1, verticalHeader()->defaultSectionSize()) - 1);
    switch (key) {
    case Qt::Key_Up: --row; break;
    case Qt::Key_Down: ++row; break;
    case Qt::Key_Left: --col; break;
    case Qt::Key_Right: ++col; break;
    case Qt::Key_PageUp: row -= page; break;
    case Qt::Key_PageDown: row += page; break;
    case Qt::Key_Home:
        col = 0;
        if (control)
            row = 0;
        break;
    case Qt::Key_End:
        col = GetColCount();
        if (control)
            row = GetRowCount();
        break;
    default:
        return false;
    }
    MoveTo(row, col, extend);
    return true;
}

void CvsFlexGrid::MoveTo(int row, int col, bool extend)
{
    if (GetFixedRowCount() >= GetRowCount() || GetFixedColCount() >= GetColCount())
        return;
    row = qBound(GetFixedRowCount(), row, GetRowCount() - 1);
    col = qBound(GetFixedColCount(), col, GetColCount() - 1);
    if (!extend) {
        m_nCursorRow = row;
        m_nCursorCol = col;
    }
    m_nSelEndRow = row;
    m_nSelEndCol = col;
    ShowSelection();
    scrollTo(m_pModel->BodyIndex(row, col));
}

void CvsFlexGrid::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        // Other buttons leave the cursor and the block as they are, so a menu acts on the block.
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid()) {
        const int row = index.row() + GetFixedRowCount();
        const int col = index.column() + GetFixedColCount();
        if (!(event->modifiers() & Qt::ShiftModifier)) {
            m_nCursorRow = row;
            m_nCursorCol = col;
        }
        m_nSelEndRow = row;
        m_nSelEndCol = col;
        m_bDragging = true;
    }
    // The view ends an edit in progress and starts editing where its triggers say; it selects nothing.
    m_bSyncing = true;
    QTableView::mousePressEvent(event);
    m_bSyncing = false;
    ShowSelection();
}

void CvsFlexGrid::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_bDragging || !(event->buttons() & Qt::LeftButton)) {
        QTableView::mouseMoveEvent(event);
        return;
    }
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid()) {
        m_nSelEndRow = index.row() + GetFixedRowCount();
        m_nSelEndCol = index.column() + GetFixedColCount();
        ShowSelection();
    }
}

void CvsFlexGrid::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_bDragging = false;
        m_bSyncing = true;
        QTableView::mouseReleaseEvent(event);
        m_bSyncing = false;
    }
    MouseUpAt(event, viewport());
}

void CvsFlexGrid::MouseUpAt(QMouseEvent *event, QWidget *source)
{
    short button = 0;
    switch (event->button()) {
    case Qt::LeftButton: button = 1; break;
    case Qt::RightButton: button = 2; break;
    case Qt::MiddleButton: button = 4; break;
    default: return;
    }
    const QPointF at = QPointF(source->mapTo(this, QPoint(0, 0))) + event->position();
    OnMouseUp(button, ShiftState(event->modifiers()), float(at.x()), float(at.y()));
}

bool CvsFlexGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_pCorner && event->type() == QEvent::Paint) {
        PaintCorner(m_pCorner);
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease &&
        (watched == m_pCorner || watched == horizontalHeader()->viewport() || watched == verticalHeader()->viewport()))
        MouseUpAt(static_cast<QMouseEvent *>(event), static_cast<QWidget *>(watched));
    return QTableView::eventFilter(watched, event);
}

void CvsFlexGrid::PaintCorner(QWidget *corner)
{
    QPainter painter(corner);
    const bool shown = GetFixedRowCount() > 0 && GetFixedColCount() > 0;
    CFlexGridHeader::PaintCell(&painter, corner->rect(), shown ? GetCellText(0, 0) : QString(), Qt::AlignCenter,
                               ColorFromRef(shown ? GetCellBackColor(0, 0) : ButtonFaceColor()), palette());
}

void CvsFlexGrid::commitData(QWidget *editor)
{
    QTableView::commitData(editor);
    OnCellChanged(m_nCursorRow, m_nCursorCol);
}
