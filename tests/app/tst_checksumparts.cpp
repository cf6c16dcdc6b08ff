// A file's CRC read in parts on threads of their own: the same value as over the whole file, however
// many parts, for files shorter than their parts, and for a file that is longer or shorter than the
// size it was read with (grown or shrunk since).
#include "app/cchecksumparts.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

class TestChecksumParts : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private Q_SLOTS:
    void partsGiveTheWholeFilesValue_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("length");  // the file's
        QTest::addColumn<int>("size");    // the size it is read with
        QTest::addColumn<int>("parts");
        const int odd = 2 * 1024 * 1024 + 777;
        QTest::newRow("CRC-32, two parts") << QStringLiteral("CRC-32") << odd << odd << 2;
        QTest::newRow("CRC-32, one part") << QStringLiteral("CRC-32") << odd << odd << 1;
        QTest::newRow("CRC-32C, four parts") << QStringLiteral("CRC-32/ISCSI") << odd << odd << 4;
        QTest::newRow("CRC-16/MODBUS, three parts") << QStringLiteral("CRC-16/MODBUS") << odd << odd << 3;
        QTest::newRow("CRC-16/XMODEM, three parts") << QStringLiteral("CRC-16/XMODEM") << odd << odd << 3;
        QTest::newRow("CRC-82/DARC, three parts") << QStringLiteral("CRC-82/DARC") << odd << odd << 3;
        QTest::newRow("CRC-3/GSM, two parts") << QStringLiteral("CRC-3/GSM") << odd << odd << 2;
        QTest::newRow("empty file, four parts") << QStringLiteral("CRC-32") << 0 << 0 << 4;
        QTest::newRow("fewer bytes than parts") << QStringLiteral("CRC-32") << 3 << 3 << 4;
        QTest::newRow("grown: the last part reads on") << QStringLiteral("CRC-32") << odd << odd - 5000 << 2;
        QTest::newRow("shrunk: the CRC of what is there") << QStringLiteral("CRC-64/XZ") << odd - 300000 << odd << 4;
        QTest::newRow("shrunk to nothing") << QStringLiteral("CRC-82/DARC") << 0 << odd << 3;
    }
    void partsGiveTheWholeFilesValue()
    {
        QFETCH(QString, name);
        QFETCH(int, length);
        QFETCH(int, size);
        QFETCH(int, parts);
        QByteArray data(length, '\0');
        QRandomGenerator random(length);
        for (char &c : data)
            c = char(random.bounded(256));
        QFile file(m_dir.filePath(QStringLiteral("parts.bin")));
        QVERIFY(file.open(QIODevice::ReadWrite | QIODevice::Truncate) && file.write(data) == data.size() && file.flush());
        const auto checksum = CChecksum::Find(name);
        QVERIFY(checksum);
        CChecksum::State state = checksum->Init();
        QCOMPARE(CChecksumParts::Read(*checksum, file.handle(), size, parts, state), 0);
        QCOMPARE(checksum->HexText(checksum->Final(state)), checksum->HexText(checksum->Compute(data)));
    }
};

QTEST_GUILESS_MAIN(TestChecksumParts)
#include "tst_checksumparts.moc"
