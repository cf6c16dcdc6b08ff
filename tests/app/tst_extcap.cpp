// quillnet-extcap driven as the packet analyser drives it: the interfaces, their link types and
// settings, and a capture into a FIFO that tshark reads.
#include "net/loopbackpeer.h"
#include "support/ptydevice.h"
#include "support/tsharkreader.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Answer
{
    int code = -1;
    QByteArray out;
};

Answer Ask(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(QN_EXTCAP), arguments);
    Answer answer;
    if (process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit)
        answer.code = process.exitCode();
    answer.out = process.readAllStandardOutput();
    return answer;
}

}  // namespace

class TestExtcap : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void answersTheProtocolsQuestions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("lines");  // lines the answer holds, in order
        QTest::newRow("interfaces") << QStringList{"--extcap-interfaces", "--extcap-version=4.0"} << 0
                                    << QStringList{"extcap {version=", "interface {value=quillnet-tcpserver}",
                                                   "interface {value=quillnet-tcpclient}", "interface {value=quillnet-serial}"};
        QTest::newRow("link type of TCP") << QStringList{"--extcap-dlts", "--extcap-interface", "quillnet-tcpclient"} << 0
                                          << QStringList{"dlt {number=101}"};
        QTest::newRow("link type of serial") << QStringList{"--extcap-dlts", "--extcap-interface", "quillnet-serial"} << 0
                                             << QStringList{"dlt {number=252}"};
        QTest::newRow("server settings") << QStringList{"--extcap-config", "--extcap-interface", "quillnet-tcpserver"} << 0
                                         << QStringList{"arg {number=0}{call=--port}"};
        QTest::newRow("client settings") << QStringList{"--extcap-config", "--extcap-interface", "quillnet-tcpclient"} << 0
                                         << QStringList{"arg {number=0}{call=--host}", "arg {number=1}{call=--port}"};
        QTest::newRow("serial settings") << QStringList{"--extcap-config", "--extcap-interface=quillnet-serial"} << 0
                                         << QStringList{"{call=--device}", "{call=--baud}", "{call=--dissector}"};
        QTest::newRow("unknown interface") << QStringList{"--extcap-config", "--extcap-interface", "eth0"} << 2 << QStringList{};
    }

    void answersTheProtocolsQuestions()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QStringList, lines);
        const Answer answer = Ask(arguments);
        QCOMPARE(answer.code, code);
        const QList<QByteArray> got = answer.out.split('\n');
        QCOMPARE(got.size() - 1, lines.size());
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(QString::fromUtf8(got.at(i)).contains(lines.at(i)), got.at(i).constData());
    }

    void capturesWhatTheServerSendsIntoTheFifo_data()
    {
        QTest::addColumn<bool>("serial");
        QTest::newRow("TCP client") << false;
        QTest::newRow("serial line") << true;
    }

    void capturesWhatTheServerSendsIntoTheFifo()
    {
        QFETCH(bool, serial);
        if (TsharkReader::Program().isEmpty())
            QSKIP("tshark is not installed (scripts/install-packages.sh tshark)");
        QTemporaryDir folder;
        const QString fifo = folder.filePath(QStringLiteral("capture"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        LoopbackPeer server = LoopbackPeer::ListenTcp();
        PtyDevice device;
        QStringList arguments{"--capture", "--fifo", fifo};
        if (serial)
            arguments << "--extcap-interface" << "quillnet-serial" << "--device" << device.Path() << "--baud" << "19200"
                      << "--dissector" << "mbrtu";
        else
            arguments << "--extcap-interface" << "quillnet-tcpclient" << "--host" << "127.0.0.1" << "--port"
                      << QString::number(server.Port());
        QProcess process;
        process.start(QStringLiteral(QN_EXTCAP), arguments);
        // The analyser's side: it reads the FIFO while the capture runs.
        const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
        QVERIFY(reader >= 0);
        QByteArray trace;
        QSocketNotifier readable(reader, QSocketNotifier::Read);
        connect(&readable, &QSocketNotifier::activated, this, [&] {
            char buffer[65536];
            const ssize_t n = ::read(reader, buffer, sizeof buffer);
            if (n > 0)
                trace.append(buffer, n);
        });
        const QByteArray first = serial ? QByteArray::fromHex("010300000002c40b") : QByteArray("hello");
        const QByteArray second = serial ? QByteArray::fromHex("0103040001000223fa") : QByteArray("world");
        LoopbackPeer peer;
        if (serial) {
            QTRY_VERIFY(device.IsOpenedRaw());
            device.Write(first);
        } else {
            peer = server.AcceptTcp();
            QVERIFY(peer.IsValid());
            peer.Write(first);
        }
        // The first packet reached the analyser before the second is sent: written as it arrives.
        QTRY_VERIFY(trace.contains(first));
        if (serial)
            device.Write(second);
        else
            peer.Write(second);
        QTRY_VERIFY(trace.contains(second));
        if (serial)
            process.terminate();
        else
            peer = LoopbackPeer();  // the server closes: the capture ends
        QSignalSpy finished(&process, &QProcess::finished);
        QVERIFY(process.state() == QProcess::NotRunning || finished.wait(10000));
        QCOMPARE(process.exitCode(), 0);
        char rest[65536];
        for (ssize_t n; (n = ::read(reader, rest, sizeof rest)) > 0;)
            trace.append(rest, n);
        ::close(reader);

        const QString file = folder.filePath(QStringLiteral("capture.pcapng"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(trace);
        out.close();
        QList<QStringList> rows;
        QString error;
        const QString filter = serial ? QStringLiteral("mbrtu") : QStringLiteral("tcp.len > 0");
        const QString payload = serial ? QStringLiteral("exported_pdu.exported_pdu") : QStringLiteral("tcp.payload");
        QVERIFY2(TsharkReader::Fields(file, filter, {payload}, &rows, &error), qPrintable(error));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(TsharkReader::Bytes(rows.at(0).at(0)), first);
        QCOMPARE(TsharkReader::Bytes(rows.at(1).at(0)), second);
        if (!serial) {
            QVERIFY(TsharkReader::Fields(file, QStringLiteral("tcp.flags.fin == 1"), {"frame.number"}, &rows, &error));
            QCOMPARE(rows.size(), 2);
        }
    }
};

QTEST_GUILESS_MAIN(TestExtcap)
#include "tst_extcap.moc"
