// The checksum check of History lines: the bytes recovered from each form of an R line and the
// verdict on the checksum at their end.
#include "display/cchecksumcheck.h"

#include <QTest>

Q_DECLARE_METATYPE(CChecksumCheck::Verdict)

class TestChecksumCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void judgesLines_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QString>("form");  // how the line holds the bytes
        QTest::addColumn<QByteArray>("telegram");
        QTest::addColumn<CChecksumCheck::Verdict>("verdict");
        QTest::addColumn<QByteArray>("expected");  // hex, for a bad one

        const QString rtu = QStringLiteral("CRC-16/MODBUS:le");
        const QString ascii = QStringLiteral("LRC/ASCII:from=1,before=0D0A");
        const QString sum = QStringLiteral("SUM8:before=0D0A");
        const QByteArray frame = QByteArray::fromHex("01030000000AC5CD");
        QTest::newRow("good") << rtu << "hex" << frame << CChecksumCheck::Good << QByteArray();
        QTest::newRow("good, digits not written yet") << rtu << "pending" << frame << CChecksumCheck::Good << QByteArray();
        QTest::newRow("checksum corrupted") << rtu << "hex" << QByteArray::fromHex("01030000000AC5CE")
                                            << CChecksumCheck::Bad << QByteArray("C5CD");
        QTest::newRow("data corrupted") << rtu << "hex" << QByteArray::fromHex("01030000000BC5CD")
                                        << CChecksumCheck::Bad << QByteArray("040D");
        QTest::newRow("shorter than a checksum") << rtu << "hex" << QByteArray("\x01", 1) << CChecksumCheck::Bad
                                                 << QByteArray();
        QTest::newRow("empty") << rtu << "hex" << QByteArray() << CChecksumCheck::Bad << QByteArray();
        QTest::newRow("before the terminator") << sum << "hex" << QByteArray("ABC\xC6\r\n") << CChecksumCheck::Good
                                               << QByteArray();
        QTest::newRow("at the end without terminator") << sum << "hex" << QByteArray("ABC\xC6") << CChecksumCheck::Good
                                                       << QByteArray();
        QTest::newRow("terminator incomplete") << sum << "hex" << QByteArray("ABC\xC6\r") << CChecksumCheck::Bad
                                               << QByteArray("8C");
        QTest::newRow("only the terminator") << sum << "hex" << QByteArray("\r\n") << CChecksumCheck::Bad << QByteArray();
        QTest::newRow("ascii good, as text") << ascii << "text" << QByteArray(":010300000001FB\r\n")
                                             << CChecksumCheck::Good << QByteArray();
        QTest::newRow("ascii bad, as text") << ascii << "text" << QByteArray(":010300000002FB\r\n")
                                            << CChecksumCheck::Bad << QByteArray("4641");
        QTest::newRow("ascii bad, as hex") << ascii << "hex" << QByteArray(":010300000001FC\r\n")
                                           << CChecksumCheck::Bad << QByteArray("4642");
        QTest::newRow("ascii good, lower-case digits, as text") << ascii << "text" << QByteArray(":010300000001fb\r\n")
                                                                << CChecksumCheck::Good << QByteArray();
        QTest::newRow("ascii good, mixed case, as hex") << ascii << "hex" << QByteArray(":010300000001fB\r\n")
                                                        << CChecksumCheck::Good << QByteArray();
        QTest::newRow("ascii bad, lower-case digits") << ascii << "text" << QByteArray(":010300000002fb\r\n")
                                                      << CChecksumCheck::Bad << QByteArray("4641");
        QTest::newRow("a binary checksum byte for byte") << sum << "hex" << QByteArray("Ff\r\n") << CChecksumCheck::Bad
                                                         << QByteArray("46");
        // Not judged: bytes the line lacks, lines that begin no received telegram, a telegram as
        // long as the receive buffer (perhaps cut).
        QTest::newRow("text cut at a zero byte") << rtu << "text-short" << QByteArray("\x01\x02", 2)
                                                 << CChecksumCheck::NotJudged << QByteArray();
        QTest::newRow("second line of a text") << ascii << "text-next" << QByteArray(":01FE\r\n")
                                               << CChecksumCheck::NotJudged << QByteArray();
        QTest::newRow("sent") << rtu << "sent" << QByteArray::fromHex("01030000000AC5CE") << CChecksumCheck::NotJudged
                              << QByteArray();
        QTest::newRow("cut") << rtu << "hex" << QByteArray(kCutLength, '\x01') << CChecksumCheck::NotJudged
                             << QByteArray();
    }

    void judgesLines()
    {
        QFETCH(QString, rule);
        QFETCH(QString, form);
        QFETCH(QByteArray, telegram);
        QFETCH(CChecksumCheck::Verdict, verdict);
        QFETCH(QByteArray, expected);

        QString error;
        const std::unique_ptr<CChecksumCheck> check = CChecksumCheck::Create(rule, &error, kCutLength);
        QVERIFY2(check, qPrintable(error));
        // The line as the History stores it.
        const QString head = QStringLiteral("01/02/24 03:04:05  (+1.000 ms) ");
        CLineStore::Line line;
        if (form == "hex" || form == "sent") {
            line = CLineStore::Line::FromText(head, telegram.toHex().toUpper());
        } else if (form == "pending") {
            line.head = head;
            line.hexPending = telegram;
        } else {
            line = CLineStore::Line::FromText(head + QString::fromLatin1(telegram).trimmed());
            line.raw = telegram;
            line.rawBegin = form == "text-next" ? 1 : 0;
            line.rawEnd = qint32(telegram.size());
            line.rawShort = form == "text-short";
        }
        line.body = qint32(head.size());
        line.direction = form == "sent" ? 'S' : 'R';

        const CChecksumCheck::Result result = check->Judge(line);
        QCOMPARE(result.verdict, verdict);
        const QString tip = CChecksumCheck::Describe(result);
        QCOMPARE(tip.isEmpty(), verdict != CChecksumCheck::Bad);
        if (!expected.isEmpty()) {
            QCOMPARE(result.expected.toHex().toUpper(), expected);
            QVERIFY2(tip.contains(QString::fromLatin1(expected)), qPrintable(tip));
        }
    }

    void refusesRuleWithParserReason()
    {
        QString error;
        QVERIFY(!CChecksumCheck::Create(QStringLiteral("CRC-16/MODBUS:sideways"), &error));
        QVERIFY2(error.contains(QStringLiteral("sideways")), qPrintable(error));
        for (const QString &rule : CChecksumCheck::Suggestions())
            QVERIFY2(CChecksumCheck::Create(rule, &error), qPrintable(rule));
    }

private:
    static constexpr int kCutLength = 64;
};

QTEST_GUILESS_MAIN(TestChecksumCheck)
#include "tst_checksumcheck.moc"
