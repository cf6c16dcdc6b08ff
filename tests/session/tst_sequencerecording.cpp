// A sequence recorded from a session's telegrams: sends, waits before them, received telegrams as
// expects with their time plus the margin; the rows are ones the commands file takes.
#include "session/ccommandsfile.h"
#include "session/csequencerecording.h"

#include <QTest>

using Telegrams = QList<CSequenceRecording::Telegram>;

class TestSequenceRecording : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void telegramsBecomeSteps_data()
    {
        QTest::addColumn<Telegrams>("telegrams");
        QTest::addColumn<QStringList>("steps");  // action form data ms
        QTest::newRow("send, answer, pause, send")
            << Telegrams{{'S', "AB", 1000}, {'R', "OK", 1040}, {'S', "C", 1300}}
            << QStringList{"send hex 4142 ", "expect hex 4F4B 540", "wait   260", "send hex 43 "};
        QTest::newRow("received pieces are one expect")
            << Telegrams{{'S', "Q", 0}, {'R', "O", 10}, {'R', "K", 30}}
            << QStringList{"send hex 51 ", "expect hex 4F4B 530"};
        QTest::newRow("a session that begins with a greeting")
            << Telegrams{{'R', "HI", 5}, {'S', "X", 5}}
            << QStringList{"expect hex 4849 500", "send hex 58 "};
    }
    void telegramsBecomeSteps()
    {
        QFETCH(Telegrams, telegrams);
        QFETCH(QStringList, steps);
        const QList<QStringList> rows = CSequenceRecording::Rows(QStringLiteral("rec"), telegrams);
        QStringList got;
        for (const QStringList &row : rows)
            got << QStringList{row[2], row[3], row[4], row[6]}.join(u' ');
        QCOMPARE(got, steps);
        CCommandsFile file;
        QString error;
        QVERIFY2(file.SetRows(rows, &error), qPrintable(error));
        QCOMPARE(file.Sequences().value(0).steps.size(), steps.size());
    }
};

QTEST_GUILESS_MAIN(TestSequenceRecording)
#include "tst_sequencerecording.moc"
