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

bool CBatchScenario::ReadCsv(const QString &path, QString *error, ReadNotes *notes)
{
    bool opened = false;
    bool more = false;
    const QList<QByteArray> lines = ReadTextLines(path, kRows, &opened, kMaxTextLine, notes ? &more : nullptr);
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
    if (notes) {
        *notes = {};
        notes->lines = int(lines.size());
        notes->pastLastRow = more;
        notes->utf8Bom = !lines.isEmpty() && lines[0].startsWith("\xEF\xBB\xBF");
        const int runnable = RunnableRows();
        for (int row = 1; row <= lines.size(); ++row) {
            const QByteArray &line = lines[row - 1];
            if (line.count('"') % 2 != 0)
                notes->strayQuotes.append(row);
            if (!IsCp932Text(line))
                notes->notCp932.append(row);
            bool text = false;
            for (int col = COL_ADDRESS; col <= kCols; ++col)
                text = text || !Cell(row, col).isEmpty();
            if (row > runnable && text)
                notes->afterBlank.append(row);
        }
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

bool CBatchScenario::SplitTlsAddress(const QString &address, QString *host)
{
    static const QString prefix = QStringLiteral("tls://");
    const bool tls = address.startsWith(prefix, Qt::CaseInsensitive);
    *host = tls ? address.mid(prefix.size()) : address;
    return tls;
}
