#include "batch/cbatchreport.h"

#include "batch/cbatchrunner.h"
#include "platform/nearestrank.h"

#include <QXmlStreamWriter>

#include <algorithm>
#include <vector>

namespace {

QByteArray Number(double milliseconds)
{
    return QByteArray::number(milliseconds, 'f', 3);
}

}  // namespace

CBatchReport::CBatchReport(CBatchRunner *runner, const QString &name)
    : m_pRunner(runner), m_strName(name), m_rows(CBatchScenario::kRows)
{
    connect(runner, &CBatchRunner::LineSent, this, &CBatchReport::OnLineSent);
    connect(runner, &CBatchRunner::LineAnswered, this, &CBatchReport::OnLineAnswered);
    connect(runner, &CBatchRunner::RowEnded, this, &CBatchReport::OnRowEnded);
}

void CBatchReport::OnLineSent(int row, int line, int bytes)
{
    m_lines.append({row, line, bytes, -1.0});
}

void CBatchReport::OnLineAnswered(int row, int line, double milliseconds)
{
    if (!m_lines.isEmpty() && m_lines.last().row == row && m_lines.last().line == line)
        m_lines.last().answerMs = milliseconds;
}

void CBatchReport::OnRowEnded(int row, int code, double milliseconds)
{
    if (row >= 1 && row <= m_rows.size())
        m_rows[row - 1] = {code, milliseconds, {}, {}};
}

int CBatchReport::RowCount() const
{
    return m_pRunner->Scenario().RunnableRows();
}

int CBatchReport::PassedRows() const
{
    int passed = 0;
    for (int row = 0; row < RowCount(); ++row)
        passed += m_rows[row].code == CBatchRunner::RESULT_DONE && m_rows[row].limits.isEmpty() ? 1 : 0;
    return passed;
}

int CBatchReport::FailedRows() const
{
    return RowCount() - PassedRows();
}

QByteArray CBatchReport::JUnitXml() const
{
    const CBatchScenario &scenario = m_pRunner->Scenario();
    int skipped = 0;
    double total = 0.0;
    for (int row = 0; row < RowCount(); ++row) {
        skipped += m_rows[row].code == 0 ? 1 : 0;
        total += m_rows[row].ms;
    }
    const auto seconds = [](double ms) { return QString::number(ms / 1000.0, 'f', 3); };

    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("testsuites"));
    writer.writeStartElement(QStringLiteral("testsuite"));
    writer.writeAttribute(QStringLiteral("name"), m_strName);
    writer.writeAttribute(QStringLiteral("tests"), QString::number(RowCount()));
    writer.writeAttribute(QStringLiteral("failures"), QString::number(FailedRows() - skipped));
    writer.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    writer.writeAttribute(QStringLiteral("skipped"), QString::number(skipped));
    writer.writeAttribute(QStringLiteral("time"), seconds(total));
    for (int row = 1; row <= RowCount(); ++row) {
        const Row &result = m_rows[row - 1];
        writer.writeStartElement(QStringLiteral("testcase"));
        writer.writeAttribute(QStringLiteral("classname"), m_strName);
        writer.writeAttribute(QStringLiteral("name"),
                              QStringLiteral("%1 %2:%3 %4")
                                  .arg(QString::number(row), scenario.Cell(row, CBatchScenario::COL_ADDRESS),
                                       scenario.Cell(row, CBatchScenario::COL_PORT),
                                       scenario.Cell(row, CBatchScenario::COL_FILE)));
        writer.writeAttribute(QStringLiteral("time"), seconds(result.ms));
        if (result.code == 0) {
            writer.writeEmptyElement(QStringLiteral("skipped"));
        } else if (result.code != CBatchRunner::RESULT_DONE) {
            // The row's result as the results file has it: a failed connect names its cause.
            const QString cell = scenario.Cell(row, CBatchScenario::COL_RESULT);
            const QString text = cell.isEmpty() ? CBatchRunner::ResultText(result.code) : cell;
            writer.writeStartElement(QStringLiteral("failure"));
            writer.writeAttribute(QStringLiteral("message"), text);
            writer.writeCharacters(text);
            writer.writeEndElement();
        } else if (!result.limits.isEmpty()) {
            writer.writeStartElement(QStringLiteral("failure"));
            writer.writeAttribute(QStringLiteral("message"), result.limits);
            writer.writeCharacters(result.limits);
            writer.writeEndElement();
        }
        if (result.code != 0)
            writer.writeTextElement(QStringLiteral("system-out"),
                                    FiguresText(ResponseFigures(row)) +
                                        (result.figures.isEmpty() ? QString() : QLatin1Char('\n') + result.figures.join(QLatin1Char('\n'))));
        writer.writeEndElement();
    }
    writer.writeEndDocument();
    return xml;
}

void CBatchReport::SetRowValues(int row, const QStringList &figures, const QString &failure)
{
    if (row < 1 || row > m_rows.size())
        return;
    m_rows[row - 1].figures = figures;
    m_rows[row - 1].limits = failure;
}

bool CBatchReport::FailedByLimits(int row) const
{
    return row >= 1 && row <= m_rows.size() && m_rows[row - 1].code == CBatchRunner::RESULT_DONE &&
           !m_rows[row - 1].limits.isEmpty();
}

void CBatchReport::Clear()
{
    m_lines.clear();
    m_rows.fill({});
}

CBatchReport::Figures CBatchReport::ResponseFigures(int row) const
{
    std::vector<double> times;
    for (const Line &line : m_lines) {
        if ((row == 0 || line.row == row) && line.answerMs >= 0.0)
            times.push_back(line.answerMs);
    }
    if (times.empty())
        return {};
    const double longest = *std::max_element(times.begin(), times.end());
    return {int(times.size()), NearestRankValue(times, 0.50), NearestRankValue(times, 0.95), longest};
}

QString CBatchReport::FiguresText(const Figures &figures)
{
    if (figures.count == 0)
        return QStringLiteral("応答 0 件");
    return QStringLiteral("応答 %1 件 p50 %2 ms p95 %3 ms 最大 %4 ms")
        .arg(QString::number(figures.count), QString::fromLatin1(Number(figures.p50)), QString::fromLatin1(Number(figures.p95)),
             QString::fromLatin1(Number(figures.max)));
}

QStringList CBatchReport::SummaryLines() const
{
    QStringList lines;
    for (int row = 1; row <= RowCount(); ++row) {
        if (m_rows[row - 1].code != 0)
            lines << QStringLiteral("行 %1: ").arg(row) + FiguresText(ResponseFigures(row));
    }
    lines << QStringLiteral("全体: ") + FiguresText(ResponseFigures(0));
    return lines;
}

QByteArray CBatchReport::TimingsCsv() const
{
    QByteArray csv("row,line,bytes,response_ms,row_ms\n");
    for (const Line &line : m_lines) {
        csv += QByteArray::number(line.row) + ',' + QByteArray::number(line.line) + ',' +
               QByteArray::number(line.bytes) + ',' + (line.answerMs < 0 ? QByteArray() : Number(line.answerMs)) +
               ',' + Number(m_rows.value(line.row - 1).ms) + '\n';
    }
    return csv;
}
