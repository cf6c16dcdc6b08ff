// quillnet --batch with value channels: the real executable, without a display, reads a device's
// values in a scenario run and in a run of command sequences, fails the row or sequence whose
// value leaves its limits (JUnit naming channel, value and time) and writes the values' CSV.
#include "batch/cbatchscenario.h"
#include "batch/promptserver.h"
#include "document/cqndoc.h"
#include "net/loopbackpeer.h"
#include "session/cchanneltable.h"
#include "support/tempconfighome.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString err;
};

Run RunProgram(const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QStringLiteral(QN_EXECUTABLE), arguments);
    if (finished.isEmpty() && !finished.wait(30000)) {
        process.kill();
        process.waitForFinished();
    }
    Run run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QString FileText(const QString &path, bool cp932 = false)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = file.readAll();
    return cp932 ? QStringDecoder("windows-31j").decode(bytes) : QString::fromUtf8(bytes);
}

}  // namespace

class TestBatchValues : public QObject
{
    Q_OBJECT
private:
    TempConfigHome m_config;

private Q_SLOTS:
    void limitsFailARunAndTheValuesAreWritten_data()
    {
        QTest::addColumn<QString>("mode");  // scenario, sequence
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("low");
        QTest::addColumn<QString>("high");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("failure");  // the start of the JUnit failure; empty: none
        QTest::newRow("scenario within") << "scenario" << QByteArray("21.5") << "-10" << "90" << 0 << QString();
        QTest::newRow("scenario above") << "scenario" << QByteArray("95") << "-10" << "90" << 1
                                        << QStringLiteral("限界外: 温度 = 95 ℃ (上限 90 超過) 20");
        QTest::newRow("scenario below") << "scenario" << QByteArray("-12.5") << "-10" << "" << 1
                                        << QStringLiteral("限界外: 温度 = -12.5 ℃ (下限 -10 未満) 20");
        QTest::newRow("sequence within") << "sequence" << QByteArray("21.5") << "" << "90" << 0 << QString();
        QTest::newRow("sequence above") << "sequence" << QByteArray("95") << "" << "90" << 1
                                        << QStringLiteral("「v」限界外: 温度 = 95 ℃ (上限 90 超過) 20");
    }
    void limitsFailARunAndTheValuesAreWritten()
    {
        QFETCH(QString, mode);
        QFETCH(QByteArray, value);
        QFETCH(QString, low);
        QFETCH(QString, high);
        QFETCH(int, exitCode);
        QFETCH(QString, failure);
        QTemporaryDir dir;
        const auto path = [&dir](const char *name) { return dir.filePath(QString::fromLatin1(name)); };

        CChannel channel;
        QString why;
        int column = 0;
        QVERIFY(CChannelTable::FromCells({QStringLiteral("温度"), QStringLiteral("℃"), QStringLiteral("受信"), QString(),
                                          QString(), QString(), QString(), QStringLiteral("正規表現"), QStringLiteral("T=([-0-9.]+)"),
                                          QStringLiteral("1"), QStringLiteral("10"), QString(), QString(), QString(), QString(),
                                          QString(), low, high},
                                         &channel, &column, &why));
        CChannelTable table;
        table.channels << channel;
        CQnDoc doc;
        table.Store(doc);
        QString error;
        QVERIFY(doc.OnSaveDocument(path("v.qn"), &error));

        const QByteArray reply = "T=" + value + "\r\n";
        QStringList arguments{"--batch", "--settings", path("v.qn"), "--junit", path("j.xml"), "--values", path("v.csv")};
        PromptServer device;
        LoopbackPeer listener;
        LoopbackPeer accepted;
        std::unique_ptr<QSocketNotifier> watch;
        QProcess process;
        if (mode == QStringLiteral("scenario")) {
            device.greeting = device.answer = reply + "> ";
            QFile send(path("f.txt"));
            QVERIFY(send.open(QIODevice::WriteOnly));
            send.write("GET\r\n");
            send.close();
            CBatchScenario scenario;
            scenario.SetCell(1, 1, QStringLiteral("127.0.0.1"));
            scenario.SetCell(1, 2, device.PortText());
            scenario.SetCell(1, 3, path("f.txt"));
            QVERIFY(scenario.WriteCsv(path("s.csv")));
            arguments.insert(1, path("s.csv"));
            const Run run = RunProgram(arguments);
            QCOMPARE(run.exitCode, exitCode);
            if (!failure.isEmpty())
                QVERIFY2(run.err.contains(failure), qPrintable(run.err));
        } else {
            QFile commands(path("c.csv"));
            QVERIFY(commands.open(QIODevice::WriteOnly));
            commands.write("name,key,action,form,data,checksum,ms,note\nv,,send,text,GET\\r,,,\nv,,expect,text,T=,,2000,\n");
            commands.close();
            listener = LoopbackPeer::ListenTcp();
            arguments << "--commands" << path("c.csv") << "--run" << "v" << "--to"
                      << QStringLiteral("127.0.0.1:%1").arg(listener.Port());
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
                environment.remove(QString::fromLatin1(name));
            process.setProcessEnvironment(environment);
            QSignalSpy finished(&process, &QProcess::finished);
            process.start(QStringLiteral(QN_EXECUTABLE), arguments);
            accepted = listener.AcceptTcp(20000);
            QVERIFY(accepted.IsValid());
            watch = std::make_unique<QSocketNotifier>(accepted.Handle(), QSocketNotifier::Read);
            connect(watch.get(), &QSocketNotifier::activated, this, [&] {
                const QByteArray part = accepted.ReadNow();
                if (part.isEmpty())
                    watch->setEnabled(false);
                if (part.contains('\r'))
                    accepted.Write(reply);
            });
            QVERIFY(finished.wait(30000));
            QCOMPARE(process.exitCode(), exitCode);
        }
        const QString junit = FileText(path("j.xml"));
        if (failure.isEmpty())
            QVERIFY2(!junit.contains(QStringLiteral("<failure")), qPrintable(junit));
        else
            QVERIFY2(junit.contains(QStringLiteral("<failure message=\"") + failure), qPrintable(junit));
        // The figures are the test case's output; the values file has the heading and the value.
        QVERIFY2(junit.contains(QStringLiteral("温度 [℃]: ")), qPrintable(junit));
        const QString csv = FileText(path("v.csv"), true);
        QVERIFY2(csv.startsWith(QStringLiteral("\"時刻\",\"温度 [℃]\",\r\n")), qPrintable(csv));
        QVERIFY2(csv.contains(QStringLiteral("\",\"%1\",\r\n").arg(CChannelTable::NumberText(value.toDouble()))), qPrintable(csv));
    }
};

QTEST_MAIN(TestBatchValues)
#include "tst_batchvalues.moc"
