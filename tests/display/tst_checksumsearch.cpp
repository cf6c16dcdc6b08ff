// Finding the checksum of sample telegrams: catalogue entries in either byte order, after a header, as
// ASCII hex before CR LF; CRCs outside the catalogue solved from three samples; nothing for random
// data; every rule found puts back the checksum each sample ends in. Samples from hex lines and from a
// saved History.
#include "display/cchecksumsearch.h"
#include "platform/cchecksum.h"
#include "platform/cchecksumrule.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTest>

namespace {

// Three telegrams of `lengths` random bytes after `header`, each with the rule's checksum in place.
QList<QByteArray> Telegrams(const QString &rule, const QList<int> &lengths, const QByteArray &header = QByteArray(),
                            const QByteArray &terminator = QByteArray())
{
    QString error;
    const auto parsed = CChecksumRule::Parse(rule, &error);
    if (!parsed)
        qFatal("%s", qPrintable(error));
    QRandomGenerator random(qHash(rule));
    QList<QByteArray> telegrams;
    for (const int length : lengths) {
        QByteArray body = header;
        for (int i = 0; i < length; ++i)
            body += char(random.bounded(256));
        telegrams << parsed->Apply(body + terminator);
    }
    return telegrams;
}

}  // namespace

class TestChecksumSearch : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void findsTheChecksum_data()
    {
        QTest::addColumn<QList<QByteArray>>("samples");
        QTest::addColumn<QString>("expected");  // the first rule found; empty: none
        QTest::newRow("Modbus RTU requests") << QList<QByteArray>{QByteArray::fromHex("01030000000AC5CD"), QByteArray::fromHex("1103006B00037687"),
                                                                  QByteArray::fromHex("010600010003980B")}
                                             << QStringLiteral("CRC-16/MODBUS:le");
        QTest::newRow("CRC-32 big endian") << Telegrams(QStringLiteral("CRC-32"), {20, 31, 7}) << QStringLiteral("CRC-32/ISO-HDLC");
        QTest::newRow("CRC-32 little endian") << Telegrams(QStringLiteral("CRC-32:le"), {64, 9, 100}) << QStringLiteral("CRC-32/ISO-HDLC:le");
        QTest::newRow("CRC-8 after a 3-byte header") << Telegrams(QStringLiteral("CRC-8/SMBUS:from=3"), {12, 12, 5}, QByteArray("\xAA\x55\x01"))
                                                     << QStringLiteral("CRC-8/SMBUS:from=3");
        QTest::newRow("CRC-16 before an ETX trailer") << Telegrams(QStringLiteral("CRC-16/KERMIT:end=1"), {8, 9, 10}, QByteArray(), QByteArray("\x03"))
                                                      << QStringLiteral("CRC-16/KERMIT:end=1");
        QTest::newRow("Modbus ASCII") << QList<QByteArray>{":010300000001FB\r\n", ":01030000000AF2\r\n", ":110300006B00037E\r\n"}
                                      << QStringLiteral("LRC/ASCII:before=0D0A");
        QTest::newRow("Fletcher-16") << Telegrams(QStringLiteral("FLETCHER-16"), {10, 11, 40}) << QStringLiteral("FLETCHER-16");
        QTest::newRow("16-bit polynomial outside the catalogue, one length")
            << Telegrams(QStringLiteral("width=16 poly=0x2F15 init=0xFFFF refin=false refout=false xorout=0x0000"), {24, 24, 24})
            << QStringLiteral("width=16 poly=0x2F15 init=0xFFFF refin=false refout=false xorout=0x0000");
        QTest::newRow("16-bit, init and xorout apart by two lengths, four samples")
            << Telegrams(QStringLiteral("width=16 poly=0x2F15 init=0x1D0F refin=true refout=true xorout=0x00FF:le"), {12, 12, 12, 20})
            << QStringLiteral("width=16 poly=0x2F15 init=0x1D0F refin=true refout=true xorout=0x00FF:le");
        QTest::newRow("32-bit polynomial outside the catalogue")
            << Telegrams(QStringLiteral("width=32 poly=0x32583499 init=0x00000000 refin=true refout=true xorout=0xFFFFFFFF:le"), {40, 40, 40})
            << QStringLiteral("width=32 poly=0x32583499 init=0x00000000 refin=true refout=true xorout=0xFFFFFFFF:le");
        QTest::newRow("8-bit polynomial outside the catalogue")
            << Telegrams(QStringLiteral("width=8 poly=0x5D init=0x00 refin=false refout=false xorout=0x00"), {6, 6, 6})
            << QStringLiteral("width=8 poly=0x5D init=0x00 refin=false refout=false xorout=0x00");
        QTest::newRow("ASCII hex digits in lower case before CR LF")
            << QList<QByteArray>{"ABC3994\r\n", "hello world3be4\r\n", "1234567890abcdeff24c\r\n"}
            << QStringLiteral("CRC-16/XMODEM:before=0D0A,ascii");
        QTest::newRow("binary before CR") << Telegrams(QStringLiteral("CRC-16/ARC:le,before=0D"), {5, 9, 14}, QByteArray(), QByteArray("\r"))
                                          << QStringLiteral("CRC-16/ARC:before=0D,le");
        QTest::newRow("a header of zeros changes nothing: the shortest")
            << Telegrams(QStringLiteral("CRC-16/XMODEM:from=2"), {6, 8, 9}, QByteArray(2, '\0')) << QStringLiteral("CRC-16/XMODEM");
        QTest::newRow("outside the catalogue, no two of one length")
            << Telegrams(QStringLiteral("width=16 poly=0x2F15 init=0xFFFF"), {10, 11, 12}) << QString();
        QTest::newRow("shorter than any checksum") << QList<QByteArray>{QByteArray("\x01"), QByteArray("\x02")} << QString();
        QList<QByteArray> random;
        QRandomGenerator generator(1071);
        for (int i = 0; i < 4; ++i) {
            QByteArray bytes(24, '\0');
            for (char &c : bytes)
                c = char(generator.bounded(256));
            random << bytes;
        }
        QTest::newRow("random bytes") << random << QString();
    }
    void findsTheChecksum()
    {
        QFETCH(QList<QByteArray>, samples);
        QFETCH(QString, expected);
        QElapsedTimer timer;
        timer.start();
        const QStringList rules = CChecksumSearch::Find(samples);
        QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(rules.value(0), expected);
        for (const QString &rule : rules) {
            QString error;
            const auto parsed = CChecksumRule::Parse(rule, &error);
            QVERIFY2(parsed, qPrintable(error));
            for (const QByteArray &sample : samples) {
                // The sample without its checksum gets it back.
                const qsizetype place = parsed->Place(sample);
                const QByteArray bare = sample.first(place - parsed->ValueBytes()) + sample.sliced(place);
                QVERIFY2(parsed->Apply(bare).compare(sample, parsed->IsAscii() ? Qt::CaseInsensitive : Qt::CaseSensitive) == 0,
                         qPrintable(rule + QStringLiteral(" on ") + QString::fromLatin1(sample.toHex())));
            }
        }
    }

    void samplesAreRead_data()
    {
        QTest::addColumn<bool>("history");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<QByteArray>>("samples");
        QTest::addColumn<bool>("refused");
        QTest::newRow("hex lines, spaces, comments") << false << QByteArray("# Modbus\n01 03 00 00\n\n0aff\r\n") << QList<QByteArray>{
            QByteArray::fromHex("01030000"), QByteArray::fromHex("0AFF")} << false;
        QTest::newRow("odd digits") << false << QByteArray("010\n") << QList<QByteArray>{} << true;
        QTest::newRow("not hex") << false << QByteArray("0102\nhello\n") << QList<QByteArray>{} << true;
        QTest::newRow("saved History: R lines only") << true
            << QByteArray("12/07/06 09:05:03  S 0102\n12/07/06 09:05:03  R 0A0B\n12/07/06 09:05:03.123  R@127.0.0.1:5000 (+1.500 ms) 0C\n"
                          "12/07/06 09:05:04  R text line\n接続しました\n")
            << QList<QByteArray>{QByteArray::fromHex("0A0B"), QByteArray::fromHex("0C")} << false;
    }
    void samplesAreRead()
    {
        QFETCH(bool, history);
        QFETCH(QByteArray, text);
        QFETCH(QList<QByteArray>, samples);
        QFETCH(bool, refused);
        QString error;
        QCOMPARE(history ? CChecksumSearch::FromHistory(text) : CChecksumSearch::FromHexLines(text, &error), samples);
        QCOMPARE(!error.isEmpty(), refused);
    }
};

QTEST_GUILESS_MAIN(TestChecksumSearch)
#include "tst_checksumsearch.moc"
