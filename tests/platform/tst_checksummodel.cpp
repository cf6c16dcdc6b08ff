// CRCs by their parameters: every catalogue entry read back from its model notation with its check
// and residue, random parameter sets against the bit-at-a-time reference, notation faults; the fast
// paths against the tables on random lengths and alignments (widths over 64 bits as well); parts
// computed apart and joined; the added sums' published values.
#include "platform/cchecksum.h"
#include "platform/ccrcfast.h"
#include "support/crcreference.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

class TestChecksumModel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void catalogueEntriesReadBackFromTheirModel_data()
    {
        QTest::addColumn<int>("index");
        int count = 0;
        const CChecksum::Entry *entries = CChecksum::Entries(&count);
        for (int i = 0; i < count; ++i)
            if (entries[i].kind == CChecksum::KIND_CRC)
                QTest::newRow(entries[i].name) << i;
    }
    void catalogueEntriesReadBackFromTheirModel()
    {
        QFETCH(int, index);
        int count = 0;
        const CChecksum::Entry &entry = CChecksum::Entries(&count)[index];
        QCOMPARE(CChecksum::Residue(entry), entry.residue);
        const CChecksum named(entry);
        const QString model = CChecksum::ModelText(entry) + QStringLiteral(" check=") + named.HexText(entry.check).prepend(QStringLiteral("0x")) +
                              QStringLiteral(" residue=0x") + named.HexText(entry.residue);
        QString error;
        const auto checksum = CChecksum::Find(model, &error);
        QVERIFY2(checksum, qPrintable(error));
        QCOMPARE(CChecksum::CatalogueEntry(checksum->Parameters()), &entry);
        // Long enough for every fast path, against the reference.
        QByteArray data(1000 + index, '\0');
        QRandomGenerator random(index);
        for (char &c : data)
            c = char(random.bounded(256));
        QCOMPARE(checksum->HexText(checksum->Compute(data)), checksum->HexText(ReferenceCrc(entry, data)));
    }

    void randomModelsMatchTheReference()
    {
        QRandomGenerator random(47);
        for (int i = 0; i < 600; ++i) {
            const int width = 1 + int(random.bounded(64));
            const quint64 mask = width == 64 ? ~quint64(0) : (quint64(1) << width) - 1;
            CChecksum::Entry entry{"", "", CChecksum::KIND_CRC, width, random.generate64() & mask, random.generate64() & mask,
                                   random.bounded(2) == 1, random.bounded(2) == 1, random.generate64() & mask, 0, 0};
            QString error;
            const auto checksum = CChecksum::FromModel(CChecksum::ModelText(entry), &error);
            QVERIFY2(checksum, qPrintable(error));
            QByteArray data(int(random.bounded(400)), '\0');
            for (char &c : data)
                c = char(random.bounded(256));
            QVERIFY2(checksum->Compute(data) == ReferenceCrc(entry, data), qPrintable(CChecksum::ModelText(entry)));
        }
    }

    // Widths over 64 bits take their own register, folded where the processor allows: against the
    // reference at random lengths and alignments, in one piece and in two, the tables as well.
    void wideModelsMatchTheReference_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("refin");
        QTest::addColumn<bool>("refout");
        for (const int width : {65, 82, 100, 127, 128})
            for (const bool refin : {false, true})
                for (const bool refout : {false, true})
                    QTest::addRow("width %d refin %d refout %d", width, int(refin), int(refout)) << width << refin << refout;
    }
    void wideModelsMatchTheReference()
    {
        QFETCH(int, width);
        QFETCH(bool, refin);
        QFETCH(bool, refout);
        QRandomGenerator random(width * 4 + int(refin) * 2 + int(refout));
        const CChecksum::Value mask = CChecksum::WideMask(width);
        const auto value = [&] { return CChecksum::Wide(random.generate64(), random.generate64()) & mask; };
        CChecksum::Entry entry{"", "", CChecksum::KIND_CRC, width, value() | 1, value(), refin, refout, value(), 0, 0};
        QString error;
        const auto checksum = CChecksum::FromModel(CChecksum::ModelText(entry), &error);
        QVERIFY2(checksum, qPrintable(error));
        QByteArray buffer(3100, '\0');
        for (char &c : buffer)
            c = char(random.bounded(256));
        QList<int> lengths{0, 1, 31, 32, 63, 64, 127, 128, 129, 159, 160, 161, 3000};
        for (int i = 0; i < 6; ++i)
            lengths << int(random.bounded(3000));
        for (const int length : lengths) {
            const QByteArray data = buffer.mid(int(random.bounded(16)), length);
            const QString expected = checksum->HexText(ReferenceCrc(entry, data));
            const QString at = QStringLiteral("length %1").arg(length);
            QCOMPARE(checksum->HexText(checksum->Compute(data)), expected);
            CCrcFast::SetEnabled(false);
            const QString tables = checksum->HexText(checksum->Compute(data));
            CCrcFast::SetEnabled(true);
            QVERIFY2(tables == expected, qPrintable(at));
            CChecksum::State state = checksum->Init();
            const int cut = int(random.bounded(data.size() + 1));
            checksum->Update(state, data.constData(), cut);
            checksum->Update(state, data.constData() + cut, data.size() - cut);
            QVERIFY2(checksum->HexText(checksum->Final(state)) == expected, qPrintable(at));
            // A message followed by its CRC (in the order its bits run) leaves the register at the residue.
            const QByteArray sealed = data + checksum->ValueBytes(checksum->Compute(data), !refout, false);
            if (width % 8 == 0 && refin == refout)
                QCOMPARE(checksum->HexText(checksum->Compute(sealed) ^ entry.xorout), checksum->HexText(CChecksum::Residue(entry)));
        }
    }

    // Parts computed apart and joined give the value of the whole, cut anywhere (at the start and
    // the end as well): every CRC of the catalogue, and wide ones of every kind.
    void partsJoinToTheWhole_data()
    {
        QTest::addColumn<QString>("model");
        int count = 0;
        const CChecksum::Entry *entries = CChecksum::Entries(&count);
        for (int i = 0; i < count; ++i)
            if (entries[i].kind == CChecksum::KIND_CRC)
                QTest::newRow(entries[i].name) << QString::fromLatin1(entries[i].name);
        QTest::newRow("width 128, not reflected")
            << QStringLiteral("width=128 poly=0x8E3B64A1F7C2D5097A41B36C0E5F9D27 init=0x0123456789ABCDEFFEDCBA9876543210 refin=false "
                              "xorout=0xFFFF0000FFFF0000FFFF0000FFFF0000");
        QTest::newRow("width 101, reflected in only")
            << QStringLiteral("width=101 poly=0x1A2B3C4D5E6F708192A3B4C5D init=0x1F refin=true refout=false xorout=0x5");
        QTest::newRow("width 1") << QStringLiteral("width=1 poly=0x1 init=0x1 refin=false xorout=0x1");
    }
    void partsJoinToTheWhole()
    {
        QFETCH(QString, model);
        QString error;
        const auto checksum = CChecksum::Find(model, &error);
        QVERIFY2(checksum && checksum->Combines(), qPrintable(error));
        QRandomGenerator random(qHash(model));
        for (int round = 0; round < 6; ++round) {
            QByteArray data(int(random.bounded(round < 2 ? 40 : 5000)), '\0');
            for (char &c : data)
                c = char(random.bounded(256));
            // Up to four parts; the first rounds cut at the start and at the end.
            QList<int> cuts{0, int(data.size())};
            for (int i = 0, n = int(random.bounded(4)); i < n; ++i)
                cuts << int(random.bounded(data.size() + 1));
            if (round == 0)
                cuts << 0;
            if (round == 1)
                cuts << data.size();
            std::sort(cuts.begin(), cuts.end());
            CChecksum::State whole = checksum->Init();
            checksum->Update(whole, data.constData(), cuts[1]);
            for (int i = 1; i + 1 < cuts.size(); ++i) {
                CChecksum::State part = checksum->InitPart();
                checksum->Update(part, data.constData() + cuts[i], cuts[i + 1] - cuts[i]);
                checksum->Append(whole, part, cuts[i + 1] - cuts[i]);
            }
            QStringList at;
            for (const int cut : cuts)
                at << QString::number(cut);
            QVERIFY2(checksum->Final(whole) == checksum->Compute(data), qPrintable(at.join(QLatin1Char(' '))));
        }
    }

    void notationIsReadOrRefused_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QString>("name");  // the catalogue entry it is, or empty: refused
        QTest::newRow("any order, decimal, refout follows refin")
            << QStringLiteral("refin=true poly=32773 width=16 init=0xffff") << QStringLiteral("CRC-16/MODBUS");
        QTest::newRow("as the catalogue writes it")
            << QStringLiteral("width=32 poly=0x04c11db7 init=0xffffffff refin=true refout=true xorout=0xffffffff check=0xcbf43926 "
                              "residue=0xdebb20e3 name=\"CRC-32/ISO-HDLC\"")
            << QStringLiteral("CRC-32/ISO-HDLC");
        QTest::newRow("refin and refout apart") << QStringLiteral("width=12 poly=0x80f refin=false refout=true") << QStringLiteral("CRC-12/UMTS");
        QTest::newRow("wrong check") << QStringLiteral("width=16 poly=0x8005 check=0x1234") << QString();
        QTest::newRow("wrong residue") << QStringLiteral("width=16 poly=0x1021 init=0xFFFF refin=true xorout=0xFFFF residue=0") << QString();
        QTest::newRow("no poly") << QStringLiteral("width=16 init=0") << QString();
        QTest::newRow("width 129") << QStringLiteral("width=129 poly=1") << QString();
        QTest::newRow("82 bits as the catalogue writes it")
            << QStringLiteral("width=82 poly=0x0308c0111011401440411 init=0x000000000000000000000 refin=true refout=true "
                              "xorout=0x000000000000000000000 check=0x09ea83f625023801fd612 residue=0x000000000000000000000")
            << QStringLiteral("CRC-82/DARC");
        QTest::newRow("82 bits, wrong check") << QStringLiteral("width=82 poly=0x0308c0111011401440411 refin=true check=0x09ea83f625023801fd613")
                                              << QString();
        QTest::newRow("poly wider than 82 bits") << QStringLiteral("width=82 poly=0x40308c0111011401440411") << QString();
        QTest::newRow("number past 128 bits") << QStringLiteral("width=128 poly=0x100000000000000000000000000000001") << QString();
        QTest::newRow("decimal past 128 bits") << QStringLiteral("width=128 poly=340282366920938463463374607431768211456") << QString();
        QTest::newRow("poly wider than width") << QStringLiteral("width=8 poly=0x107") << QString();
        QTest::newRow("unknown key") << QStringLiteral("width=8 poly=7 fold=1") << QString();
        QTest::newRow("twice") << QStringLiteral("width=8 poly=7 poly=7") << QString();
        QTest::newRow("not a number") << QStringLiteral("width=8 poly=0xZZ") << QString();
        QTest::newRow("refin not a truth") << QStringLiteral("width=8 poly=7 refin=yes") << QString();
    }
    void notationIsReadOrRefused()
    {
        QFETCH(QString, model);
        QFETCH(QString, name);
        QString error;
        const auto checksum = CChecksum::Find(model, &error);
        QCOMPARE(error.isEmpty(), !name.isEmpty());
        const CChecksum::Entry *entry = checksum ? CChecksum::CatalogueEntry(checksum->Parameters()) : nullptr;
        QCOMPARE(entry ? QString::fromLatin1(entry->name) : QString(), name);
    }

    void fastPathsEqualTheTables_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"CRC-32/ISO-HDLC", "CRC-32/ISCSI", "CRC-32/MPEG-2", "CRC-16/MODBUS", "CRC-16/XMODEM",
                                 "CRC-64/XZ", "CRC-64/ECMA-182", "CRC-5/USB", "CRC-3/GSM", "CRC-12/UMTS"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void fastPathsEqualTheTables()
    {
        QFETCH(QString, name);
        if (!CCrcFast::CanFold())
            qInfo("this processor has no carry-less multiplication: the tables meet themselves");
        const auto checksum = CChecksum::Find(name);
        QVERIFY(checksum);
        QByteArray buffer(70000, '\0');
        QRandomGenerator random(qHash(name));
        for (char &c : buffer)
            c = char(random.bounded(256));
        QList<int> lengths{0, 1, 15, 16, 63, 64, 65, 127, 128, 129, 255, 256, 767, 768, 769, 24576, 24577, 3 * 8192 + 3 * 256 + 7};
        for (int i = 0; i < 40; ++i)
            lengths << int(random.bounded(69000));
        for (const int length : lengths) {
            const int offset = int(random.bounded(16));
            const char *data = buffer.constData() + offset;
            CCrcFast::SetEnabled(false);
            const quint64 tables = checksum->Compute(data, length);
            CCrcFast::SetEnabled(true);
            // Two pieces as well: a register carried in from a first piece.
            const int cut = length ? int(random.bounded(length)) : 0;
            CChecksum::State state = checksum->Init();
            checksum->Update(state, data, cut);
            checksum->Update(state, data + cut, length - cut);
            QVERIFY2(checksum->Compute(data, length) == tables && checksum->Final(state) == tables,
                     qPrintable(QStringLiteral("length %1 at offset %2").arg(length).arg(offset)));
        }
    }

    void sumsGiveTheirPublishedValues_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("value");
        QTest::newRow("Fletcher-16 abcde") << QStringLiteral("FLETCHER-16") << QByteArray("abcde") << QStringLiteral("C8F0");
        QTest::newRow("Fletcher-16 abcdef") << QStringLiteral("FLETCHER-16") << QByteArray("abcdef") << QStringLiteral("2057");
        QTest::newRow("Fletcher-32 abcde (odd)") << QStringLiteral("FLETCHER-32") << QByteArray("abcde") << QStringLiteral("F04FC729");
        QTest::newRow("Fletcher-32 abcdef") << QStringLiteral("FLETCHER-32") << QByteArray("abcdef") << QStringLiteral("56502D2A");
        QTest::newRow("Fletcher-32 abcdefgh") << QStringLiteral("FLETCHER-32") << QByteArray("abcdefgh") << QStringLiteral("EBE19591");
        QTest::newRow("Adler-32 Wikipedia") << QStringLiteral("ADLER-32") << QByteArray("Wikipedia") << QStringLiteral("11E60398");
        QTest::newRow("Adler-32 nothing") << QStringLiteral("ADLER-32") << QByteArray() << QStringLiteral("00000001");
        QTest::newRow("Adler-32 100000 x FF") << QStringLiteral("ADLER-32") << QByteArray(100000, '\xFF') << QStringLiteral("149A302C");
        QTest::newRow("Internet RFC 1071 example") << QStringLiteral("INTERNET") << QByteArray::fromHex("0001F203F4F5F6F7") << QStringLiteral("220D");
        QTest::newRow("Internet IPv4 header") << QStringLiteral("INTERNET") << QByteArray::fromHex("450000730000400040110000C0A80001C0A800C7")
                                              << QStringLiteral("B861");
        QTest::newRow("Internet odd length") << QStringLiteral("INTERNET") << QByteArray::fromHex("0102FF") << QStringLiteral("FFFC");
        QTest::newRow("XOR16 odd length") << QStringLiteral("XOR16") << QByteArray::fromHex("12345678AB") << QStringLiteral("EF4C");
        QTest::newRow("SUM32 wraps at 2^32") << QStringLiteral("SUM32") << QByteArray(20000000, '\xFF') << QStringLiteral("2FFBD300");
        QTest::newRow("SUM8/1C") << QStringLiteral("SUM8/1C") << QByteArray::fromHex("FF02") << QStringLiteral("FE");
    }
    void sumsGiveTheirPublishedValues()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, data);
        QFETCH(QString, value);
        const auto checksum = CChecksum::Find(name);
        QVERIFY(checksum);
        QCOMPARE(checksum->HexText(checksum->Compute(data)), value);
    }
};

QTEST_GUILESS_MAIN(TestChecksumModel)
#include "tst_checksummodel.moc"
