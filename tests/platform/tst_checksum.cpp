// The checksum catalogue: every entry's check value over "123456789", in pieces of every length the
// eight-byte steps meet; a value fed in pieces equals the value of the whole; names and aliases; the
// bytes appended for Modbus frames.
#include "platform/cchecksum.h"
#include "platform/cchecksumrule.h"
#include "support/crcreference.h"

#include <QTest>

class TestChecksum : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyEntryGivesItsCheckValue_data()
    {
        QTest::addColumn<int>("index");
        int count = 0;
        const CChecksum::Entry *entries = CChecksum::Entries(&count);
        for (int i = 0; i < count; ++i)
            QTest::newRow(entries[i].name) << i;
    }
    void everyEntryGivesItsCheckValue()
    {
        QFETCH(int, index);
        int count = 0;
        const CChecksum::Entry &entry = CChecksum::Entries(&count)[index];
        const CChecksum checksum(entry);
        QCOMPARE(checksum.HexText(checksum.Compute(QByteArray("123456789"))), checksum.HexText(entry.check));
        if (entry.kind != CChecksum::KIND_CRC)
            return;
        // A CRC over a text long enough for the eight-byte steps, against a bit at a time from the
        // model's definition.
        const QByteArray text = QByteArray("123456789").repeated(7);
        QCOMPARE(checksum.HexText(checksum.Compute(text)), checksum.HexText(ReferenceCrc(entry, text)));
    }

    void piecesGiveTheValueOfTheWhole_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QList<int>>("cuts");  // where the bytes are cut into pieces; {-1}: every byte
        const QList<QList<int>> cutSets{{}, {0, 1}, {2}, {7, 8, 16}, {3, 12, 13, 29, 61}, {-1}};
        int count = 0;
        const CChecksum::Entry *entries = CChecksum::Entries(&count);
        for (int i = 0; i < count; ++i) {
            for (const QList<int> &cuts : cutSets) {
                QStringList at;
                for (int cut : cuts)
                    at << (cut < 0 ? QStringLiteral("every byte") : QString::number(cut));
                QTest::addRow("%s cut at %s", entries[i].name, qPrintable(at.isEmpty() ? QStringLiteral("none") : at.join(QLatin1Char(','))))
                    << i << cuts;
            }
        }
    }
    void piecesGiveTheValueOfTheWhole()
    {
        QFETCH(int, index);
        QFETCH(QList<int>, cuts);
        int count = 0;
        const CChecksum checksum(CChecksum::Entries(&count)[index]);
        // A Modbus ASCII frame (a cut may split a digit pair) and bytes of every value after it.
        QByteArray data(":01030000000Afb\r\n");
        for (int i = 0; i < 300; ++i)
            data += char(i * 37 + 11);
        if (cuts == QList<int>{-1}) {
            cuts.clear();
            for (int i = 1; i < data.size(); ++i)
                cuts << i;
        }
        cuts << int(data.size());
        CChecksum::State state = checksum.Init();
        int from = 0;
        for (int cut : cuts) {
            checksum.Update(state, data.constData() + from, cut - from);
            from = cut;
        }
        QCOMPARE(checksum.HexText(checksum.Final(state)), checksum.HexText(checksum.Compute(data)));
    }

    void namesAndAliasesFindTheirEntry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("entry");
        QTest::newRow("the name") << QStringLiteral("CRC-16/MODBUS") << QStringLiteral("CRC-16/MODBUS");
        QTest::newRow("an alias, lower case") << QStringLiteral("crc-16/ccitt-false") << QStringLiteral("CRC-16/IBM-3740");
        QTest::newRow("X-25") << QStringLiteral("CRC-16/X-25") << QStringLiteral("CRC-16/IBM-SDLC");
        QTest::newRow("CRC-32C") << QStringLiteral("CRC-32C") << QStringLiteral("CRC-32/ISCSI");
        QTest::newRow("BCC") << QStringLiteral("BCC") << QStringLiteral("XOR8");
        QTest::newRow("unknown") << QStringLiteral("CRC-17/NONE") << QString();
    }
    void namesAndAliasesFindTheirEntry()
    {
        QFETCH(QString, name);
        QFETCH(QString, entry);
        const auto checksum = CChecksum::Find(name);
        QCOMPARE(checksum ? QString::fromLatin1(checksum->Parameters().name) : QString(), entry);
    }

    void modbusFramesGetTheirChecksumBytes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<bool>("ascii");
        QTest::addColumn<QByteArray>("appended");
        // Modbus RTU sends its CRC low byte first; Modbus ASCII its LRC as two hex digits.
        QTest::newRow("RTU read holding registers") << QStringLiteral("CRC-16/MODBUS") << QByteArray::fromHex("01030000000A")
                                                    << false << false << QByteArray::fromHex("C5CD");
        QTest::newRow("ASCII frame") << QStringLiteral("LRC/ASCII") << QByteArray(":010300000001") << true << true << QByteArray("FB");
        QTest::newRow("SUM16 little endian") << QStringLiteral("SUM16") << QByteArray::fromHex("FFFF02") << false << false
                                             << QByteArray::fromHex("0002");
    }
    void modbusFramesGetTheirChecksumBytes()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, frame);
        QFETCH(bool, bigEndian);
        QFETCH(bool, ascii);
        QFETCH(QByteArray, appended);
        const auto checksum = CChecksum::Find(name);
        QVERIFY(checksum);
        QCOMPARE(checksum->ValueBytes(checksum->Compute(frame), bigEndian, ascii), appended);
    }

    void aRulePlacesTheChecksum_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QByteArray>("telegram");
        QTest::addColumn<QByteArray>("placed");  // empty: the rule is refused
        QTest::newRow("appended, big endian") << QStringLiteral("SUM16") << QByteArray("\xFF\xFF\x02") << QByteArray("\xFF\xFF\x02\x02\x00", 5);
        QTest::newRow("before CR LF, as ASCII") << QStringLiteral("SUM8:before=0D0A,ascii") << QByteArray("AB\r\n") << QByteArray("AB83\r\n");
        QTest::newRow("no terminator: appended") << QStringLiteral("SUM8:before=0D0A") << QByteArray("AB") << QByteArray("AB\x83");
        QTest::newRow("from byte 1 to the end less 1") << QStringLiteral("XOR8:from=1,end=1") << QByteArray("\x02\x10\x20\x03")
                                                       << QByteArray("\x02\x10\x20\x03\x30");
        QTest::newRow("a range past the telegram covers nothing") << QStringLiteral("SUM8:from=9") << QByteArray("A") << QByteArray("A\x00", 2);
        QTest::newRow("between STX and ETX") << QStringLiteral("XOR8:after=02,until=03") << QByteArray("\x7F\x02\x10\x20\x03")
                                             << QByteArray("\x7F\x02\x10\x20\x03\x30");
        QTest::newRow("through ETX") << QStringLiteral("XOR8:after=02,through=03") << QByteArray("\x02\x10\x20\x03")
                                     << QByteArray("\x02\x10\x20\x03\x33");
        QTest::newRow("no ETX: up to the end") << QStringLiteral("SUM8:after=02,until=03") << QByteArray("\x02\x10\x20")
                                               << QByteArray("\x02\x10\x20\x30");
        QTest::newRow("no STX: covers nothing") << QStringLiteral("SUM8:after=02") << QByteArray("\x10\x20") << QByteArray("\x10\x20\x00", 3);
        QTest::newRow("ETX only in the skipped head") << QStringLiteral("SUM8:from=1,until=03") << QByteArray("\x03\x10\x03\x20")
                                                     << QByteArray("\x03\x10\x03\x20\x10");
        QTest::newRow("a model with its options") << QStringLiteral("width=16 poly=0x8005 init=0xFFFF refin=true refout=true xorout=0:le")
                                                  << QByteArray::fromHex("01030000000A") << QByteArray::fromHex("01030000000AC5CD");
        QTest::newRow("a model that fails its check") << QStringLiteral("width=8 poly=0x07 check=0x00:le") << QByteArray("A") << QByteArray();
        QTest::newRow("unknown option") << QStringLiteral("SUM8:middle") << QByteArray("A") << QByteArray();
        QTest::newRow("unknown name") << QStringLiteral("CRC-99") << QByteArray("A") << QByteArray();
    }
    void aRulePlacesTheChecksum()
    {
        QFETCH(QString, rule);
        QFETCH(QByteArray, telegram);
        QFETCH(QByteArray, placed);
        QString error;
        const auto parsed = CChecksumRule::Parse(rule, &error);
        QCOMPARE(bool(parsed), !placed.isEmpty());
        QCOMPARE(error.isEmpty(), !placed.isEmpty());
        if (parsed)
            QCOMPARE(parsed->Apply(telegram), placed);
    }
};

QTEST_GUILESS_MAIN(TestChecksum)
#include "tst_checksum.moc"
