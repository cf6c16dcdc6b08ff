// The live trace recorder: a reader that stalls makes it hold the trace (memory, then a temporary
// file) without blocking the caller and without losing a packet; a reader that goes ends it once.
#include "display/ctracerecorder.h"
#include "support/tsharkreader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <thread>
#include <unistd.h>

class TestTraceRecorder : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void aStalledReaderLosesNothing_data()
    {
        QTest::addColumn<qsizetype>("memoryLimit");
        QTest::addColumn<bool>("spills");
        QTest::newRow("held in memory") << qsizetype(CTraceRecorder::kDefaultMemoryLimit) << false;
        QTest::newRow("held in a temporary file") << qsizetype(256 * 1024) << true;
    }

    void aStalledReaderLosesNothing()
    {
        QFETCH(qsizetype, memoryLimit);
        QFETCH(bool, spills);
        int ends[2];
        QVERIFY(::pipe2(ends, O_CLOEXEC) == 0);
        CTraceRecorder recorder;
        recorder.SetMemoryLimit(memoryLimit);
        QSignalSpy slow(&recorder, &CTraceRecorder::SlowReader);
        QString error;
        QVERIFY2(recorder.OpenDescriptor(ends[1], "mbrtu", &error), qPrintable(error));
        // Far more than the pipe holds (64 KB), with nobody reading: every Write returns at once.
        constexpr int kTelegrams = 2000;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kTelegrams; ++i) {
            CTraceTelegram telegram;
            telegram.carrier = CTraceTelegram::Serial;
            telegram.direction = i % 2 ? 'R' : 'S';
            telegram.microseconds = 1765000000000000 + i;
            telegram.bytes = QByteArray(1000, char(i));
            telegram.bytes[0] = char(i >> 8);
            telegram.bytes[1] = char(i);
            recorder.Write(telegram);
        }
        QVERIFY2(clock.elapsed() < 2000, "Write waited for the reader");
        if (spills) {
            QTRY_COMPARE(slow.size(), 1);
            QVERIFY(recorder.SpilledBytes() > 0);
        }
        // The reader comes back and reads to the end, while the recording is ended.
        QByteArray trace;
        std::thread reader([&trace, fd = ends[0]] {
            char buffer[65536];
            ssize_t n;
            while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
                trace.append(buffer, n);
        });
        recorder.Close(std::chrono::milliseconds(-1));
        reader.join();
        ::close(ends[0]);
        if (!spills)
            QCOMPARE(slow.size(), 0);

        if (TsharkReader::Program().isEmpty())
            QSKIP("tshark is not installed: the trace's packets are not counted");
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("stalled.pcapng"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(trace);
        file.close();
        QList<QStringList> rows;
        QVERIFY2(TsharkReader::Fields(path, QString(), {"exported_pdu.exported_pdu"}, &rows, &error), qPrintable(error));
        QCOMPARE(rows.size(), kTelegrams);
        for (int i = 0; i < kTelegrams; ++i) {
            const QByteArray bytes = TsharkReader::Bytes(rows.at(i).at(0));
            QCOMPARE(bytes.size(), 1000);
            QCOMPARE((quint8(bytes[0]) << 8) | quint8(bytes[1]), i & 0xFFFF);
        }
    }

    void aReaderThatGoesEndsTheRecordingOnce()
    {
        int ends[2];
        QVERIFY(::pipe2(ends, O_CLOEXEC) == 0);
        CTraceRecorder recorder;
        QSignalSpy failed(&recorder, &CTraceRecorder::Failed);
        QString error;
        QVERIFY(recorder.OpenDescriptor(ends[1], QByteArray(), &error));
        ::close(ends[0]);
        CTraceTelegram telegram;
        telegram.carrier = CTraceTelegram::Udp;
        telegram.bytes = "x";
        for (int i = 0; i < 3; ++i)
            recorder.Write(telegram);
        QTRY_COMPARE(failed.size(), 1);
        recorder.Write(telegram);  // ignored after the failure
        recorder.Close();
        QCOMPARE(failed.size(), 1);
    }

    void aFileThatCannotBeOpenedIsSaidAtOnce()
    {
        CTraceRecorder recorder;
        QString error;
        QVERIFY(!recorder.Open(QStringLiteral("/nonexistent-folder/trace.pcapng"), QByteArray(), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(!recorder.IsOpen());
    }
};

QTEST_GUILESS_MAIN(TestTraceRecorder)
#include "tst_tracerecorder.moc"
