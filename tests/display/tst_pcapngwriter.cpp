// The pcapng trace writer, judged by tshark: every telegram one data packet with its bytes and its
// time to the microsecond, TCP connections as streams with the real ports (so that port-based
// dissectors apply), serial telegrams handed to the dissector named.
#include "display/cpcapngwriter.h"
#include "support/tsharkreader.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

// "S:0102" / "R:0304": a telegram sent or received (hex), optionally "@N" for its connection.
struct Step
{
    char direction;
    QByteArray bytes;
    quint64 connection;
};

QList<Step> Steps(const QStringList &texts)
{
    QList<Step> steps;
    for (const QString &text : texts) {
        Step step{text.at(0).toLatin1(), QByteArray(), 1};
        QString rest = text.mid(2);
        if (const qsizetype at = rest.indexOf(QLatin1Char('@')); at >= 0) {
            step.connection = rest.mid(at + 1).toULongLong();
            rest.truncate(at);
        }
        step.bytes = rest.startsWith(QLatin1Char('*')) ? QByteArray(rest.mid(1).toInt(), 'x')
                                                       : QByteArray::fromHex(rest.toLatin1());
        steps.append(step);
    }
    return steps;
}

CSocketAddress Address(const QString &host, unsigned port)
{
    CSocketAddress address;
    CSocketAddress::FromNumbers(host, port, &address);
    return address;
}

}  // namespace

class TestPcapngWriter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (TsharkReader::Program().isEmpty())
            QSKIP("tshark is not installed (scripts/install-packages.sh tshark)");
    }

    void readsAsOnTheWire_data()
    {
        QTest::addColumn<int>("carrier");
        QTest::addColumn<QString>("own");
        QTest::addColumn<QString>("peer");
        QTest::addColumn<bool>("ownOpened");
        QTest::addColumn<QByteArray>("dissector");
        QTest::addColumn<QStringList>("telegrams");
        QTest::addColumn<QString>("dataFilter");   // the telegrams' packets
        QTest::addColumn<QString>("payload");      // the field with their bytes
        QTest::addColumn<QString>("decoded");      // a filter every telegram's packet passes (empty: none)
        QTest::addColumn<int>("streams");          // tcp.stream values seen (0: not TCP)

        const QString tcpData = QStringLiteral("tcp.len > 0");
        const QString tcpPayload = QStringLiteral("tcp.payload");
        QTest::newRow("TCP over IPv4, client") << int(CTraceTelegram::Tcp) << "127.0.0.1:40000" << "127.0.0.1:7000"
                                               << true << QByteArray() << QStringList{"S:48656c6c6f", "R:776f726c64", "S:00ff"}
                                               << tcpData << tcpPayload << QString() << 1;
        QTest::newRow("TCP over IPv6, server") << int(CTraceTelegram::Tcp) << "[::1]:7000" << "[::1]:40001" << false
                                               << QByteArray() << QStringList{"R:0102", "S:0304"} << tcpData << tcpPayload
                                               << QString("ipv6.src == ::1") << 1;
        QTest::newRow("TCP, two connections in turn")
            << int(CTraceTelegram::Tcp) << "127.0.0.1:40000" << "127.0.0.1:7000" << true << QByteArray()
            << QStringList{"S:01@1", "R:02@1", "S:03@2", "R:04@2"} << tcpData << tcpPayload << QString() << 2;
        QTest::newRow("Modbus/TCP on port 502")
            << int(CTraceTelegram::Tcp) << "127.0.0.1:40002" << "127.0.0.1:502" << true << QByteArray()
            << QStringList{"S:000100000006010300000002", "R:00010000000701030400010002"} << tcpData << tcpPayload
            << QString("mbtcp") << 1;
        QTest::newRow("TCP telegram longer than one segment")
            << int(CTraceTelegram::Tcp) << "127.0.0.1:40003" << "127.0.0.1:7001" << true << QByteArray()
            << QStringList{"S:*65495", "R:01"} << tcpData << tcpPayload << QString() << 1;
        QTest::newRow("UDP over IPv4") << int(CTraceTelegram::Udp) << "127.0.0.1:5000" << "127.0.0.2:5001" << true
                                       << QByteArray() << QStringList{"S:0a0b", "R:", "R:0c"} << QString("udp")
                                       << QString("udp.payload") << QString("udp.srcport == 5000 || udp.srcport == 5001") << 0;
        QTest::newRow("UDP over IPv6") << int(CTraceTelegram::Udp) << "[::1]:5000" << "[::1]:5001" << true
                                       << QByteArray() << QStringList{"R:41", "S:4243"} << QString("udp")
                                       << QString("udp.payload") << QString() << 0;
        QTest::newRow("serial, plain data") << int(CTraceTelegram::Serial) << QString() << QString() << true
                                            << QByteArray() << QStringList{"S:3f0d", "R:4f4b0d"} << QString("data")
                                            << QString("exported_pdu.exported_pdu") << QString("data") << 0;
        QTest::newRow("serial, Modbus RTU") << int(CTraceTelegram::Serial) << QString() << QString() << true
                                            << QByteArray("mbrtu") << QStringList{"S:010300000002c40b", "R:0103040001000223fa"}
                                            << QString("exported_pdu") << QString("exported_pdu.exported_pdu") << QString("mbrtu") << 0;
    }

    void readsAsOnTheWire()
    {
        QFETCH(int, carrier);
        QFETCH(QString, own);
        QFETCH(QString, peer);
        QFETCH(bool, ownOpened);
        QFETCH(QByteArray, dissector);
        QFETCH(QStringList, telegrams);
        QFETCH(QString, dataFilter);
        QFETCH(QString, payload);
        QFETCH(QString, decoded);
        QFETCH(int, streams);

        const auto split = [](const QString &text) {
            const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
            return Address(CSocketAddress::WithoutBrackets(text.left(colon)), text.mid(colon + 1).toUInt());
        };
        CPcapngWriter writer;
        writer.SetSerialDissector(dissector);
        QByteArray out;
        writer.Begin(out);
        const QList<Step> steps = Steps(telegrams);
        QList<qint64> times;
        qint64 when = 1765000000123456;  // microseconds; each telegram some odd microseconds later
        for (const Step &step : steps) {
            CTraceTelegram telegram;
            telegram.carrier = CTraceTelegram::Carrier(carrier);
            telegram.direction = step.direction;
            if (!own.isEmpty()) {
                telegram.own = split(own);
                telegram.peer = split(peer);
            }
            telegram.ownOpened = ownOpened;
            telegram.connection = step.connection;
            telegram.microseconds = when;
            telegram.bytes = step.bytes;
            writer.Write(telegram, out);
            times.append(when);
            when += 1234567;
        }
        writer.Finish(out);

        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("trace.pcapng"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(out), out.size());
        file.close();

        QList<QStringList> rows;
        QString error;
        QVERIFY2(TsharkReader::Fields(path, dataFilter, {"frame.time_epoch", payload, "tcp.stream", "exported_pdu.p2p_dir"}, &rows, &error),
                 qPrintable(error));
        // A telegram longer than a segment is several packets: their bytes in order make it up.
        QByteArray all, expected;
        for (const Step &step : steps)
            expected += step.bytes;
        qsizetype at = 0;
        int index = 0;
        QSet<QString> seen;
        for (const QStringList &row : rows) {
            QVERIFY2(index < steps.size(), "more packets than telegrams");
            const QByteArray bytes = TsharkReader::Bytes(row.value(1));
            QCOMPARE(bytes, expected.mid(at, bytes.size()));
            QCOMPARE(TsharkReader::Microseconds(row.value(0)), times.at(index));
            if (carrier == CTraceTelegram::Serial)  // sent 0, received 1
                QCOMPARE(row.value(3), QString::number(steps.at(index).direction == 'S' ? 0 : 1));
            at += bytes.size();
            all += bytes;
            if (!row.value(2).isEmpty())
                seen.insert(row.value(2));
            qsizetype done = 0;
            for (int i = 0; i <= index; ++i)
                done += steps.at(i).bytes.size();
            if (at >= done)
                ++index;
        }
        QCOMPARE(all, expected);
        if (streams == 0 && !payload.startsWith(QStringLiteral("tcp"))) {
            // One packet per telegram, an empty one included.
            QCOMPARE(rows.size(), steps.size());
        }
        QCOMPARE(int(seen.size()), streams);
        if (!decoded.isEmpty()) {
            QVERIFY2(TsharkReader::Fields(path, dataFilter + QStringLiteral(" && ") + decoded, {"frame.number"}, &rows, &error),
                     qPrintable(error));
            QCOMPARE(rows.size(), steps.size());
        }
    }

    void tcpNumbersContinueAndChecksumsHold()
    {
        // Handshake, the telegrams both ways and the close: tshark finds no fault in the stream.
        CPcapngWriter writer;
        QByteArray out;
        writer.Begin(out);
        for (int i = 0; i < 4; ++i) {
            CTraceTelegram telegram;
            telegram.own = Address(QStringLiteral("127.0.0.1"), 40000);
            telegram.peer = Address(QStringLiteral("127.0.0.1"), 80);
            telegram.direction = i % 2 ? 'R' : 'S';
            telegram.microseconds = 1765000000000000 + i;
            telegram.bytes = i % 2 ? QByteArray("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n") : QByteArray("GET / HTTP/1.0\r\n\r\n");
            telegram.rule = i == 1 ? 3 : 0;
            telegram.checksum = i == 1 ? 1 : -1;
            writer.Write(telegram, out);
        }
        writer.Finish(out);
        QCOMPARE(writer.PacketCount(), 3 + 4 + 3);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("http.pcapng"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(out);
        file.close();

        QList<QStringList> rows;
        QString error;
        QVERIFY2(TsharkReader::Fields(path, QStringLiteral("tcp.analysis.flags || ip.checksum.status == 0 || tcp.checksum.status == 0"),
                                      {"frame.number"}, &rows, &error), qPrintable(error));
        QCOMPARE(rows.size(), 0);
        QVERIFY(TsharkReader::Fields(path, QStringLiteral("http"), {"frame.number"}, &rows, &error));
        QCOMPARE(rows.size(), 4);
        QVERIFY(TsharkReader::Fields(path, QStringLiteral("tcp.flags.syn == 1 || tcp.flags.fin == 1"), {"frame.number"}, &rows, &error));
        QCOMPARE(rows.size(), 4);
        QVERIFY(TsharkReader::Fields(path, QStringLiteral("tcp.len > 0"), {"frame.comment"}, &rows, &error));
        QCOMPARE(rows.value(1).value(0), QStringLiteral("受信 応答ﾙｰﾙ3 ﾁｪｯｸｻﾑ正常"));
        QVERIFY(TsharkReader::Fields(path, QString(), {"frame.interface_name"}, &rows, &error));
        QCOMPARE(rows.value(0).value(0), QStringLiteral("tcp"));
    }
};

QTEST_GUILESS_MAIN(TestPcapngWriter)
#include "tst_pcapngwriter.moc"
