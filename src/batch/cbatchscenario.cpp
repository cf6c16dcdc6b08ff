#include "batch/cbatchscenario.h"

#include "batch/csvfile.h"
#include "platform/cp932.h"

#include <QFile>
#include <QStringList>

namespace {

constexpr int kCols = CBatchScenario::COL_RESULT;

bool InRange(int row, int col)
{
    return row >= 1 && row <= CBatchScenario::kRows && col >= CBatchScenario::COL_ADDRESS && col <= kCols;
}

qsizetype Index(int row, int col)
{
    return qsizetype(row - 1) * kCols + (col - 1);
}

}  // namespace

CBatchScenario::CBatchScenario() : m_cells(kRows * kCols) {}

QString CBatchScenario::Cell(int row, int col) const
{
    return InRange(row, col) ? m_cells[Index(row, col)] : QString();
}

void CBatchScenario::SetCell(int row, int col, const QString &text)
{
    if (InRange(row, col))
        m_cells[Index(row, col)] = text;
}

void CBatchScenario::ClearResults()
{
    for (int row = 1; row <= kRows; ++row)
        SetCell(row, COL_RESULT, QString());
}

int CBatchScenario::RunnableRows() const
{
    int rows = 0;
    while (rows < kRows && !Cell(rows + 1, COL_ADDRESS).isEmpty())
        ++rows;
    return rows;
}

bool CBatchScenario::ReadCsv(const QString &path, QString *error)
{
    bool opened = false;
    const QList<QByteArray> lines = ReadTextLines(path, kRows, &opened);
    if (!opened) {
        if (error) {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            *error = file.errorString();
        }
        return false;
    }
    for (int row = 1; row <= kRows; ++row) {
        for (int col = COL_ADDRESS; col <= kCols; ++col)
            SetCell(row, col, row <= lines.size() ? FromCp932(CsvField(lines[row - 1], col)) : QString());
    }
    return true;
}

QList<QByteArray> CBatchScenario::CsvLines() const
{
    QList<QByteArray> lines;
    lines.reserve(kRows);
    for (int row = 1; row <= kRows; ++row) {
        QStringList cells;
        for (int col = COL_ADDRESS; col <= kCols; ++col)
            cells.append(Cell(row, col));
        lines.append(CsvLine(cells));
    }
    return lines;
}

bool CBatchScenario::WriteCsv(const QString &path, QString *error) const
{
    return WriteCsvFile(path, CsvLines(), error);
}
