// The cells of a CvsFlexGrid in the control's own coordinates, shown through a Qt table model:
// fixed rows and columns become the header sections, the rest the body of the table.
#pragma once

#include "platform/qnwin.h"

#include <QAbstractTableModel>
#include <QString>

#include <optional>
#include <vector>

class CFlexGridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit CFlexGridModel(QObject *parent = nullptr);

    // Totals including the fixed rows and columns; cells inside both old and new extents are kept.
    void Resize(int rows, int cols);
    // Fixed rows (0 or 1) shown as the horizontal header, fixed columns (0 or 1) as the vertical one.
    void SetFixed(int fixedRows, int fixedCols);

    int Rows() const { return m_nRows; }
    int Cols() const { return m_nCols; }
    int FixedRows() const { return m_nFixedRows; }
    int FixedCols() const { return m_nFixedCols; }
    bool Contains(int row, int col) const { return row >= 0 && col >= 0 && row < m_nRows && col < m_nCols; }
    bool IsFixed(int row, int col) const { return row < m_nFixedRows || col < m_nFixedCols; }

    QString Text(int row, int col) const;
    void SetText(int row, int col, const QString &text);
    std::optional<COLORREF> Back(int row, int col) const;
    void SetBack(int row, int col, std::optional<COLORREF> colour);

    // Empties the text and/or the colour of the cells of the rectangle (inside the grid).
    void Clear(int row1, int col1, int row2, int col2, bool text, bool colour);

    // Control coordinates of a body index and back; an invalid index for a fixed or outside cell.
    QModelIndex BodyIndex(int row, int col) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct Cell
    {
        QString text;
        std::optional<COLORREF> back;
    };

    const Cell *At(int row, int col) const;
    Cell *At(int row, int col);
    QVariant CellData(int row, int col, int role) const;
    // Tells the views that the cells changed, as body data or as header sections.
    void Changed(int row1, int col1, int row2, int col2);

    int m_nRows = 0;
    int m_nCols = 0;
    int m_nFixedRows = 1;
    int m_nFixedCols = 1;
    std::vector<Cell> m_cells;  // m_nRows × m_nCols, row by row
};
