// Repeated sends: the sequence number in each telegram, the checksum over it, and the pace.
#include "display/crepeatsend.h"

#include <QTest>

class TestRepeatSend : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void stampCountsUpFromTheTypedValue_data()
    {
        QTest::addColumn<QByteArray>("typed");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<bool>("fits");
        const QByteArray t = QByteArray::fromHex("AA00FFBB");
        QTest::newRow("1 byte") << t << 1 << 1 << true << 3 << QByteArray::fromHex("AA03FFBB") << true;
        QTest::newRow("1 byte wraps") << t << 2 << 1 << true << 1 << QByteArray::fromHex("AA0000BB") << true;
        QTest::newRow("2 bytes big endian carry") << t << 1 << 2 << true << 1 << QByteArray::fromHex("AA0100BB") << true;
        QTest::newRow("2 bytes little endian") << t << 1 << 2 << false << 1 << QByteArray::fromHex("AA01FFBB") << true;
        QTest::newRow("4 bytes wraps") << QByteArray::fromHex("FFFFFFFF") << 0 << 4 << true << 2
                                       << QByteArray::fromHex("00000001") << true;
        QTest::newRow("4 bytes little endian") << t << 0 << 4 << false << 0x10000 << QByteArray::fromHex("AA0000BC") << true;
        QTest::newRow("none") << t << -1 << 1 << true << 5 << t << true;
        QTest::newRow("past the end") << t << 3 << 2 << true << 1 << t << false;
    }
    void stampCountsUpFromTheTypedValue()
    {
        QFETCH(QByteArray, typed);
        QFETCH(int, offset);
        QFETCH(int, bytes);
        QFETCH(bool, bigEndian);
        QFETCH(int, step);
        QFETCH(QByteArray, expected);
        QFETCH(bool, fits);
        const CRepeatSend::Sequence sequence{offset, bytes, bigEndian};
        QCOMPARE(CRepeatSend::Stamp(typed, sequence, quint32(step)).toHex(), expected.toHex());
        QCOMPARE(CRepeatSend::CheckSequence(typed, sequence).isEmpty(), fits);
    }

    void eachSendIsNumberedThenChecksummedAndKeepsItsDeadline()
    {
        QString error;
        std::shared_ptr<const CChecksumRule> crc = CChecksumRule::Parse(QStringLiteral("CRC-16/MODBUS:le"), &error);
        QVERIFY(crc);
        CRepeatSend repeat;
        repeat.Start(QByteArray::fromHex("0103000000"), {4, 1, true}, crc, 10, 3);
        QVERIFY(repeat.IsDue(0));
        QCOMPARE(repeat.Next().toHex(), QByteArray("0103000000") + crc->Value(QByteArray::fromHex("0103000000")).toHex());
        // The second is due 10 ms after the start, however late the first went out.
        QVERIFY(!repeat.IsDue(9'999'999));
        QCOMPARE(repeat.MillisecondsToNext(9'000'001), 1);
        QVERIFY(repeat.IsDue(25'000'000));
        QCOMPARE(repeat.Next(), crc->Apply(QByteArray::fromHex("0103000001")));
        QCOMPARE(repeat.MillisecondsToNext(25'000'000), 0);  // late: the third is due at once
        QCOMPARE(repeat.Next(), crc->Apply(QByteArray::fromHex("0103000002")));
        QVERIFY(!repeat.IsRunning());
        QCOMPARE(repeat.Sent(), 3);
        QVERIFY(!repeat.IsDue(1'000'000'000));
    }
};

QTEST_GUILESS_MAIN(TestRepeatSend)
#include "tst_repeatsend.moc"
