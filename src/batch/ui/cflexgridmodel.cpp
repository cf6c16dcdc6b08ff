#include "batch/ui/cflexgridmodel.h"

#include "platform/ui/uifonts.h"

#include <QBrush>

CFlexGridModel::CFlexGridModel(QObject *parent) : QAbstractTableModel(parent)
{
}

void CFlexGridModel::Resize(int rows, int cols)
{
    rows = qMax(0, rows);
    cols = qMax(0, cols);
    if (rows == m_nRows && cols == m_nCols)
        return;
    beginResetModel();
    std::vector<Cell> cells(size_t(rows) * size_t(cols));
    for (int r = 0; r < qMin(rows, m_nRows); ++r) {
        for (int c = 0; c < qMin(cols, m_nCols); ++c)
            cells[size_t(r) * size_t(cols) + size_t(c)] = std::move(*At(r, c));
    }
    m_cells = std::move(cells);
    m_nRows = rows;
    m_nCols = cols;
    endResetModel();
}

void CFlexGridModel::SetFixed(int fixedRows, int fixedCols)
{
    fixedRows = qBound(0, fixedRows, 1);
    fixedCols = qBound(0, fixedCols, 1);
    if (fixedRows == m_nFixedRows && fixedCols == m_nFixedCols)
        return;
    beginResetModel();
    m_nFixedRows = fixedRows;
    m_nFixedCols = fixedCols;
    endResetModel();
}

const CFlexGridModel::Cell *CFlexGridModel::At(int row, int col) const
{
    return Contains(row, col) ? &m_cells[size_t(row) * size_t(m_nCols) + size_t(col)] : nullptr;
}

CFlexGridModel::Cell *CFlexGridModel::At(int row, int col)
{
    return Contains(row, col) ? &m_cells[size_t(row) * size_t(m_nCols) + size_t(col)] : nullptr;
}

QString CFlexGridModel::Text(int row, int col) const
{
    const Cell *cell = At(row, col);
    return cell ? cell->text : QString();
}

void CFlexGridModel::SetText(int row, int col, const QString &text)
{
    Cell *cell = At(row, col);
    if (!cell || cell->text == text)
        return;
    cell->text = text;
    Changed(row, col, row, col);
}

std::optional<COLORREF> CFlexGridModel::Back(int row, int col) const
{
    const Cell *cell = At(row, col);
    return cell ? cell->back : std::nullopt;
}

void CFlexGridModel::SetBack(int row, int col, std::optional<COLORREF> colour)
{
    Cell *cell = At(row, col);
    if (!cell || cell->back == colour)
        return;
    cell->back = colour;
    Changed(row, col, row, col);
}

void CFlexGridModel::Clear(int row1, int col1, int row2, int col2, bool text, bool colour)
{
    row1 = qMax(0, row1);
    col1 = qMax(0, col1);
    row2 = qMin(m_nRows - 1, row2);
    col2 = qMin(m_nCols - 1, col2);
    if (row1 > row2 || col1 > col2)
        return;
    for (int r = row1; r <= row2; ++r) {
        for (int c = col1; c <= col2; ++c) {
            Cell *cell = At(r, c);
            if (text)
                cell->text.clear();
            if (colour)
                cell->back.reset();
        }
    }
    Changed(row1, col1, row2, col2);
}

void CFlexGridModel::Changed(int row1, int col1, int row2, int col2)
{
    // Body part of the rectangle.
    const int bodyRow = qMax(row1, m_nFixedRows);
    const int bodyCol = qMax(col1, m_nFixedCols);
    if (bodyRow <= row2 && bodyCol <= col2)
        emit dataChanged(BodyIndex(bodyRow, bodyCol), BodyIndex(row2, col2));
    // Fixed parts: the caption row, the number column; the corner is repainted with either.
    if (row1 < m_nFixedRows)
        emit headerDataChanged(Qt::Horizontal, qMax(0, col1 - m_nFixedCols), qMax(0, col2 - m_nFixedCols));
    if (col1 < m_nFixedCols)
        emit headerDataChanged(Qt::Vertical, qMax(0, row1 - m_nFixedRows), qMax(0, row2 - m_nFixedRows));
}

QModelIndex CFlexGridModel::BodyIndex(int row, int col) const
{
    if (!Contains(row, col) || IsFixed(row, col))
        return {};
    return index(row - m_nFixedRows, col - m_nFixedCols);
}

int CFlexGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : qMax(0, m_nRows - m_nFixedRows);
}

int CFlexGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : qMax(0, m_nCols - m_nFixedCols);
}

QVariant CFlexGridModel::CellData(int row, int col, int role) const
{
    const Cell *cell = At(row, col);
    if (!cell)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cell->text;
    case Qt::BackgroundRole:
        if (cell->back)
            return QBrush(ColorFromRef(*cell->back));
        return {};
    default:
        return {};
    }
}

QVariant CFlexGridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    return CellData(index.row() + m_nFixedRows, index.column() + m_nFixedCols, role);
}

bool CFlexGridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    SetText(index.row() + m_nFixedRows, index.column() + m_nFixedCols, value.toString());
    return true;
}

QVariant CFlexGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(orientation == Qt::Horizontal ? Qt::AlignLeft | Qt::AlignVCenter
                                                                 : Qt::AlignCenter);
    }
    if (orientation == Qt::Horizontal)
        return m_nFixedRows ? CellData(0, section + m_nFixedCols, role) : QVariant();
    return m_nFixedCols ? CellData(section + m_nFixedRows, 0, role) : QVariant();
}

Qt::ItemFlags CFlexGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemNeverHasChildren;
}
