// Archive strings: every length-prefix form written and read, the 16-bit form, and damaged input.
#include "platform/carchive.h"
#include "platform/cp932.h"

#include <QBuffer>
#include <QTest>

namespace {

QByteArray Write(const QByteArray &text)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    CArchive archive(&buffer, CArchive::Store);
    archive.WriteString(text);
    return buffer.data();
}

// Reads one string; returns the status and the string read.
CArchive::Status Read(const QByteArray &data, QByteArray *text)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    CArchive archive(&buffer, CArchive::Load);
    archive.ReadString(text);
    return archive.GetStatus();
}

QByteArray Utf16Le(const QString &text)
{
    QByteArray out;
    for (QChar c : text) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    return out;
}

}  // namespace

class TestArchive : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void writesTheShortestPrefixForEachLength_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("prefix");
        QTest::newRow("empty") << 0 << QByteArray("\x00", 1);
        QTest::newRow("254, one byte") << 254 << QByteArray("\xFE");
        QTest::newRow("255, two bytes") << 255 << QByteArray("\xFF\xFF\x00", 3);
        QTest::newRow("300") << 300 << QByteArray("\xFF\x2C\x01");
        QTest::newRow("65,533, last two-byte") << 65533 << QByteArray("\xFF\xFD\xFF");
        QTest::newRow("65,534, four bytes") << 65534 << QByteArray("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7);
        QTest::newRow("65,535") << 65535 << QByteArray("\xFF\xFF\xFF\xFF\xFF\x00\x00", 7);
        QTest::newRow("70,000") << 70000 << QByteArray("\xFF\xFF\xFF\x70\x11\x01\x00", 7);
    }
    void writesTheShortestPrefixForEachLength()
    {
        QFETCH(int, length);
        QFETCH(QByteArray, prefix);
        const QByteArray text(length, 'a');
        const QByteArray written = Write(text);
        QCOMPARE(written.left(prefix.size()), prefix);
        QCOMPARE(written.size(), prefix.size() + length);
        QByteArray read;
        QCOMPARE(Read(written, &read), CArchive::Ok);
        QCOMPARE(read, text);
    }

    void readsTheLongFormsEvenWhereShorterOnesWouldDo()
    {
        QByteArray read;
        QCOMPARE(Read(QByteArray("\xFF\x03\x00xyz", 6), &read), CArchive::Ok);
        QCOMPARE(read, QByteArray("xyz"));
        QCOMPARE(Read(QByteArray("\xFF\xFF\xFF\x02\x00\x00\x00" "ab", 9), &read), CArchive::Ok);
        QCOMPARE(read, QByteArray("ab"));
    }

    void readsSixteenBitStringsIntoTheCodePage_data()
    {
        QTest::addColumn<QByteArray>("prefix");
        QTest::addColumn<QString>("text");
        const QString japanese = QStringLiteral("接続先ｱﾄﾞﾚｽ");
        QTest::newRow("one-byte count") << QByteArray("\xFF\xFE\xFF\x08") << japanese;
        QTest::newRow("two-byte count") << QByteArray("\xFF\xFE\xFF\xFF\x08\x00", 6) << japanese;
        QTest::newRow("four-byte count") << QByteArray("\xFF\xFE\xFF\xFF\xFF\xFF\x08\x00\x00\x00", 10) << japanese;
        QTest::newRow("empty") << QByteArray("\xFF\xFE\xFF\x00", 4) << QString();
    }
    void readsSixteenBitStringsIntoTheCodePage()
    {
        QFETCH(QByteArray, prefix);
        QFETCH(QString, text);
        QByteArray read;
        QCOMPARE(Read(prefix + Utf16Le(text), &read), CArchive::Ok);
        QCOMPARE(read, ToCp932(text));
        QCOMPARE(FromCp932(read), text);
    }

    void damagedInputFailsCleanly_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("status");
        QTest::newRow("nothing") << QByteArray() << int(CArchive::EndOfFile);
        QTest::newRow("one-byte length beyond the end") << QByteArray("\x05" "abc") << int(CArchive::BadLength);
        QTest::newRow("two-byte prefix cut") << QByteArray("\xFF\x01") << int(CArchive::EndOfFile);
        QTest::newRow("two-byte length beyond the end") << QByteArray("\xFF\x00\x01" "abc", 6) << int(CArchive::BadLength);
        QTest::newRow("four-byte prefix cut") << QByteArray("\xFF\xFF\xFF\x01\x00", 5) << int(CArchive::EndOfFile);
        QTest::newRow("four gigabytes announced") << QByteArray("\xFF\xFF\xFF\xFF\xFF\xFF\xFF" "abc") << int(CArchive::BadLength);
        QTest::newRow("16-bit, odd byte count") << QByteArray("\xFF\xFE\xFF\x02" "a\x00" "b", 7) << int(CArchive::BadLength);
        QTest::newRow("16-bit, count cut") << QByteArray("\xFF\xFE\xFF", 3) << int(CArchive::EndOfFile);
        QTest::newRow("16-bit, huge count") << QByteArray("\xFF\xFE\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF") << int(CArchive::BadLength);
    }
    void damagedInputFailsCleanly()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, status);
        QByteArray read("unchanged");
        QCOMPARE(int(Read(data, &read)), status);
        QCOMPARE(read, QByteArray("unchanged"));
    }

    void aFailureStopsEveryFurtherRead()
    {
        QBuffer buffer;
        buffer.setData(QByteArray("\x09" "ab" "\x01" "c"));
        buffer.open(QIODevice::ReadOnly);
        CArchive archive(&buffer, CArchive::Load);
        QByteArray text;
        QVERIFY(!archive.ReadString(&text));
        qint32 n = 0;
        QVERIFY(!archive.ReadInt32(&n));
        QCOMPARE(archive.GetStatus(), CArchive::BadLength);
    }

    void integersAreLittleEndian()
    {
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        CArchive out(&buffer, CArchive::Store);
        QVERIFY(out.WriteInt32(-2));
        QVERIFY(out.WriteInt32(0x01020304));
        QCOMPARE(buffer.data(), QByteArray("\xFE\xFF\xFF\xFF\x04\x03\x02\x01"));
        buffer.seek(0);
        CArchive in(&buffer, CArchive::Load);
        qint32 a = 0, b = 0, c = 0;
        QVERIFY(in.ReadInt32(&a) && in.ReadInt32(&b));
        QCOMPARE(a, -2);
        QCOMPARE(b, 0x01020304);
        QVERIFY(!in.ReadInt32(&c));
        QCOMPARE(in.GetStatus(), CArchive::EndOfFile);
    }
};

QTEST_GUILESS_MAIN(TestArchive)
#include "tst_archive.moc"
