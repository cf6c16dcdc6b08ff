// quillnet --batch … --pcapng: the run's telegrams as a trace, to a file or standard output, read by tshark.
#include "batch/cbatchscenario.h"
#include "batch/promptserver.h"
#include "support/tempconfighome.h"
#include "support/tsharkreader.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestBatchTrace : public QObject
{
    Q_OBJECT
private:
    TempConfigHome m_config;
    QTemporaryDir m_dir;

    QString Path(const QString &name) const { return m_dir.filePath(name); }
    QString WriteFile(const QString &name, const QByteArray &bytes) const
    {
        QFile file(Path(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        return file.fileName();
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (TsharkReader::Program().isEmpty())
            QSKIP("tshark is not installed (scripts/install-packages.sh tshark)");
    }

    void aRunsTelegramsAreTracedPerConnection_data()
    {
        QTest::addColumn<bool>("toStdout");
        QTest::newRow("to a file") << false;
        QTest::newRow("to standard output") << true;
    }

    void aRunsTelegramsAreTracedPerConnection()
    {
        QFETCH(bool, toStdout);
        PromptServer device;
        const QString lines = WriteFile(QStringLiteral("lines.txt"), "first\r\nsecond\r\n");
        CBatchScenario scenario;
        for (int row = 1; row <= 2; ++row) {
            scenario.SetCell(row, 1, QStringLiteral("127.0.0.1"));
            scenario.SetCell(row, 2, device.PortText());
            scenario.SetCell(row, 3, lines);
        }
        const QString csv = Path(QStringLiteral("scenario.csv"));
        QVERIFY(scenario.WriteCsv(csv));
        const QString trace = Path(QStringLiteral("run.pcapng"));

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(environment);
        if (toStdout)
            process.setStandardOutputFile(trace);
        QSignalSpy finished(&process, &QProcess::finished);
        process.start(QStringLiteral(QN_EXECUTABLE),
                      {"--batch", csv, "--quiet", "--pcapng", toStdout ? QStringLiteral("-") : trace});
        QVERIFY(finished.wait(30000));
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(device.ConnectionCount(), 2);

        // Per connection: what the device received, and what it wrote (its prompts), byte for byte.
        QList<QStringList> rows;
        QString error;
        QVERIFY2(TsharkReader::Fields(trace, QStringLiteral("tcp.len > 0"), {"tcp.stream", "tcp.dstport", "tcp.payload"}, &rows, &error),
                 qPrintable(error));
        QMap<int, QByteArray> toDevice, fromDevice;
        for (const QStringList &row : rows) {
            const QByteArray bytes = TsharkReader::Bytes(row.at(2));
            (row.at(1).toUShort() == device.Port() ? toDevice : fromDevice)[row.at(0).toInt()] += bytes;
        }
        QCOMPARE(toDevice.keys(), (QList<int>{0, 1}));
        QCOMPARE(toDevice.value(0), device.Received(0));
        QCOMPARE(toDevice.value(1), device.Received(1));
        QCOMPARE(fromDevice.value(0), QByteArray("> > > "));
        // Each connection opened and closed.
        QVERIFY(TsharkReader::Fields(trace, QStringLiteral("tcp.flags.syn == 1 && tcp.flags.ack == 0"), {"tcp.stream"}, &rows, &error));
        QCOMPARE(rows.size(), 2);
        QVERIFY(TsharkReader::Fields(trace, QStringLiteral("tcp.flags.fin == 1"), {"tcp.stream"}, &rows, &error));
        QCOMPARE(rows.size(), 4);
    }

    void aSequenceRunIsTracedToo()
    {
        PromptServer device;
        const QString commands = WriteFile(QStringLiteral("commands.csv"),
                                           "name,key,action,form,data,checksum,ms,note\n"
                                           "s,,send,text,first\\r\\n,,,\n"
                                           "s,,expect,text,> ,,5000,\n");
        const QString trace = Path(QStringLiteral("sequence.pcapng"));
        QProcess process;
        QSignalSpy finished(&process, &QProcess::finished);  // the device answers while the test waits
        process.start(QStringLiteral(QN_EXECUTABLE),
                      {"--batch", "--commands", commands, "--run", "s", "--to", "127.0.0.1:" + device.PortText(), "--pcapng", trace});
        QVERIFY(finished.wait(30000));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        QList<QStringList> rows;
        QString error;
        QVERIFY2(TsharkReader::Fields(trace, QStringLiteral("tcp.len > 0 && tcp.dstport == ") + device.PortText(), {"tcp.payload"}, &rows, &error),
                 qPrintable(error));
        QByteArray toDevice;
        for (const QStringList &row : rows)
            toDevice += TsharkReader::Bytes(row.at(0));
        QCOMPARE(toDevice, QByteArray("first\r\n"));
        QCOMPARE(device.Received(0), toDevice);
        QVERIFY(TsharkReader::Fields(trace, QStringLiteral("tcp.flags.fin == 1"), {"tcp.stream"}, &rows, &error));
        QCOMPARE(rows.size(), 2);
    }

    void aTraceThatCannotBeWrittenStopsTheRunBeforeAnythingIsSent()
    {
        PromptServer device;
        CBatchScenario scenario;
        scenario.SetCell(1, 1, QStringLiteral("127.0.0.1"));
        scenario.SetCell(1, 2, device.PortText());
        scenario.SetCell(1, 3, WriteFile(QStringLiteral("one.txt"), "x\r\n"));
        const QString csv = Path(QStringLiteral("scenario2.csv"));
        QVERIFY(scenario.WriteCsv(csv));
        QProcess process;
        process.start(QStringLiteral(QN_EXECUTABLE),
                      {"--batch", csv, "--pcapng", Path(QStringLiteral("missing/folder/run.pcapng"))});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitCode(), 2);
        QVERIFY(QString::fromUtf8(process.readAllStandardError()).contains(QStringLiteral("pcapng")));
        QCOMPARE(device.ConnectionCount(), 0);
    }
};

QTEST_MAIN(TestBatchTrace)
#include "tst_batchtrace.moc"
