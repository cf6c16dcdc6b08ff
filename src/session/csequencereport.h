// What a run of command sequences without a window reports: one JUnit test case per sequence (the
// failure naming the step, the pattern and what arrived) and the time of every step.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class CSequenceReport
{
public:
    enum Result { NotRun, Passed, Failed };

    explicit CSequenceReport(const QString &name) : m_strName(name) {}

    // The sequences of the run, in order, before any has run.
    void Add(const QString &sequence);
    // Sequence `index` has begun step `step` (from 1) `action` at `ms` since it began.
    void StepStarted(int index, int step, const QString &action, double ms);
    void Ended(int index, bool passed, const QString &failure, double ms);
    // The sequence's channel figures (its JUnit case's output).
    void SetFigures(int index, const QStringList &figures);

    int Count() const { return int(m_sequences.size()); }
    int PassedCount() const;
    int FailedCount() const;

    QByteArray JUnitXml() const;
    // "sequence,step,action,milliseconds": a line per step run (its time up to the next step or the
    // end), then a line for the sequence ("total").
    QByteArray TimingsCsv() const;

private:
    struct Step
    {
        int step;
        QString action;
        double startMs;
    };
    struct Sequence
    {
        QString name;
        Result result = NotRun;
        QString failure;
        double ms = 0.0;
        QList<Step> steps;
        QStringList figures;
    };
    QString m_strName;
    QList<Sequence> m_sequences;
};
