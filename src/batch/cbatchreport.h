// What a batch run without a window reports: it follows a runner's rows and lines and gives the
// JUnit XML report and the response times (the results CSV is the runner's scenario itself).
#pragma once

#include "batch/cbatchscenario.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class CBatchRunner;

class CBatchReport : public QObject
{
    Q_OBJECT
public:
    // Follows `runner`, whose scenario is the one reported; `name` names the JUnit test suite.
    CBatchReport(CBatchRunner *runner, const QString &name);

    // Rows of the run: those before the first row without an address.
    int RowCount() const;
    // Rows of the run that ended "○:正常終了しました", and those that ended otherwise.
    int PassedRows() const;
    int FailedRows() const;

    // One test suite, one test case per row of the run; rows the run did not reach are skipped.
    QByteArray JUnitXml() const;
    // A heading line, then one line per sent line: row, line, bytes sent, milliseconds from the send
    // to the prompt that answered it (empty when none came), and the row's total milliseconds.
    QByteArray TimingsCsv() const;

    // Response times to the prompt (as in TimingsCsv) of one row, or with row 0 of the whole run:
    // how many lines were answered, and the nearest-rank p50 and p95 and the longest, in milliseconds.
    struct Figures
    {
        int count = 0;
        double p50 = 0.0;
        double p95 = 0.0;
        double max = 0.0;
    };
    Figures ResponseFigures(int row) const;
    // The figures in words: "応答 12 件 p50 5.123 ms p95 6.000 ms 最大 7.250 ms" (count 0: "応答 0 件").
    static QString FiguresText(const Figures &figures);
    // A line per row the run reached ("行 1: 応答 …"), then the whole run's ("全体: 応答 …").
    QStringList SummaryLines() const;
    // Forgets the lines and rows followed so far (a new run of the same runner).
    void Clear();
    // The row's channel figures (its JUnit case's output) and, when not empty, why its values fail
    // the row: a row that ended "○" then counts as failed with that text.
    void SetRowValues(int row, const QStringList &figures, const QString &failure);
    // The row passed its sends and prompts but not its limits.
    bool FailedByLimits(int row) const;

private:
    struct Line
    {
        int row;
        int line;
        int bytes;
        double answerMs;  // < 0: no answer
    };
    struct Row
    {
        int code = 0;      // 0: not reached
        double ms = 0.0;
        QStringList figures;
        QString limits;    // why the row's values fail it (empty: they do not)
    };
    void OnLineSent(int row, int line, int bytes);
    void OnLineAnswered(int row, int line, double milliseconds);
    void OnRowEnded(int row, int code, double milliseconds);

    const CBatchRunner *m_pRunner;
    QString m_strName;
    QList<Line> m_lines;
    QList<Row> m_rows;  // index row - 1
};
