#include "session/csequencereport.h"

#include <QXmlStreamWriter>

#include <algorithm>

void CSequenceReport::Add(const QString &sequence)
{
    m_sequences.append(Sequence{sequence, NotRun, QString(), 0.0, {}, {}});
}

void CSequenceReport::StepStarted(int index, int step, const QString &action, double ms)
{
    if (index >= 0 && index < m_sequences.size())
        m_sequences[index].steps.append(Step{step, action, ms});
}

void CSequenceReport::Ended(int index, bool passed, const QString &failure, double ms)
{
    if (index < 0 || index >= m_sequences.size())
        return;
    Sequence &sequence = m_sequences[index];
    sequence.result = passed ? Passed : Failed;
    sequence.failure = failure;
    sequence.ms = ms;
}

void CSequenceReport::SetFigures(int index, const QStringList &figures)
{
    if (index >= 0 && index < m_sequences.size())
        m_sequences[index].figures = figures;
}

int CSequenceReport::PassedCount() const
{
    return int(std::count_if(m_sequences.begin(), m_sequences.end(), [](const Sequence &s) { return s.result == Passed; }));
}

int CSequenceReport::FailedCount() const
{
    return int(std::count_if(m_sequences.begin(), m_sequences.end(), [](const Sequence &s) { return s.result == Failed; }));
}

QByteArray CSequenceReport::JUnitXml() const
{
    const auto seconds = [](double ms) { return QString::number(ms / 1000.0, 'f', 3); };
    double total = 0.0;
    for (const Sequence &sequence : m_sequences)
        total += sequence.ms;
    QByteArray xml;
    QXmlStreamWriter writer(&xml);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("testsuites"));
    writer.writeStartElement(QStringLiteral("testsuite"));
    writer.writeAttribute(QStringLiteral("name"), m_strName);
    writer.writeAttribute(QStringLiteral("tests"), QString::number(Count()));
    writer.writeAttribute(QStringLiteral("failures"), QString::number(FailedCount()));
    writer.writeAttribute(QStringLiteral("errors"), QStringLiteral("0"));
    writer.writeAttribute(QStringLiteral("skipped"), QString::number(Count() - PassedCount() - FailedCount()));
    writer.writeAttribute(QStringLiteral("time"), seconds(total));
    for (const Sequence &sequence : m_sequences) {
        writer.writeStartElement(QStringLiteral("testcase"));
        writer.writeAttribute(QStringLiteral("classname"), m_strName);
        writer.writeAttribute(QStringLiteral("name"), sequence.name);
        writer.writeAttribute(QStringLiteral("time"), seconds(sequence.ms));
        if (sequence.result == NotRun) {
            writer.writeEmptyElement(QStringLiteral("skipped"));
        } else if (sequence.result == Failed) {
            writer.writeStartElement(QStringLiteral("failure"));
            writer.writeAttribute(QStringLiteral("message"), sequence.failure);
            writer.writeCharacters(sequence.failure);
            writer.writeEndElement();
        }
        if (!sequence.figures.isEmpty())
            writer.writeTextElement(QStringLiteral("system-out"), sequence.figures.join(QLatin1Char('\n')));
        writer.writeEndElement();
    }
    writer.writeEndDocument();
    return xml;
}

QByteArray CSequenceReport::TimingsCsv() const
{
    const auto quoted = [](const QString &text) {
        return '"' + text.toUtf8().replace("\"", "\"\"") + '"';
    };
    QByteArray csv = "sequence,step,action,milliseconds\r\n";
    for (const Sequence &sequence : m_sequences) {
        if (sequence.result == NotRun)
            continue;
        for (qsizetype i = 0; i < sequence.steps.size(); ++i) {
            const Step &step = sequence.steps[i];
            const double end = i + 1 < sequence.steps.size() ? sequence.steps[i + 1].startMs : sequence.ms;
            csv += quoted(sequence.name) + ',' + QByteArray::number(step.step) + ',' + quoted(step.action) + ',' +
                   QByteArray::number(end - step.startMs, 'f', 3) + "\r\n";
        }
        csv += quoted(sequence.name) + ",,total," + QByteArray::number(sequence.ms, 'f', 3) + "\r\n";
    }
    return csv;
}
