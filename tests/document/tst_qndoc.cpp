// The document file: exact layout of both versions, long and Japanese strings, and damaged files.
#include "document/cqndoc.h"
#include "platform/cp932.h"
#include "support/lockedfolder.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

const QByteArray kMarker2("\x15QN FileVersion '2.00'");
const QByteArray kMarker1("\x12QN FileVersion '1'");

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// A file of the given marker with every slot empty, `ints` integers of zero appended.
QByteArray EmptyFile(const QByteArray &marker, int ints)
{
    return marker + QByteArray(CQnDoc::kSlotCount, '\0') + QByteArray(4 * ints, '\0');
}

// A document holding something in every kind of place, to see that a failed open keeps it.
void FillSample(CQnDoc *doc)
{
    doc->SetSlotString(0, QStringLiteral("127.0.0.1"));
    doc->SetSlotString(6, QStringLiteral("ﾎﾟｰﾄ"));
    doc->SetSlotInt(0, 2);
    doc->SetModifiedFlag();
}

}  // namespace

class TestQnDoc : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void newDocumentSavesAs50022BytesOfVersion2()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("new.qn"));
        CQnDoc doc;
        QVERIFY(doc.OnNewDocument());
        QString error;
        QVERIFY2(doc.OnSaveDocument(path, &error), qPrintable(error));
        const QByteArray data = ReadAll(path);
        QCOMPARE(data.size(), 50022);
        QCOMPARE(data, EmptyFile(kMarker2, CQnDoc::kSlotCount));
        QCOMPARE(doc.GetVersion(), QByteArray(CQnDoc::kVersion2));
        QCOMPARE(doc.GetTitle(), QStringLiteral("new.qn"));
        QVERIFY(!doc.IsModified());
    }

    void slotsAreWrittenInOrderAtTheirPlaces()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("slots.qn"));
        CQnDoc doc;
        doc.SetSlotString(1, QStringLiteral("5000"));
        doc.SetSlotString(9999, QStringLiteral("z"));
        doc.SetSlotInt(0, 2);
        doc.SetSlotInt(9999, -1);
        QString error;
        QVERIFY(doc.OnSaveDocument(path, &error));
        QByteArray expected = kMarker2;
        expected += QByteArray(1, '\0') + QByteArray("\x04" "5000") + QByteArray(9997, '\0') + QByteArray("\x01z");
        expected += QByteArray("\x02\0\0\0", 4) + QByteArray(4 * 9998, '\0') + QByteArray("\xFF\xFF\xFF\xFF");
        QCOMPARE(ReadAll(path), expected);
    }

    void longSlotsUseTheLongerPrefixes_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("prefix");
        QTest::newRow("300 bytes") << 300 << QByteArray("\xFF\x2C\x01");
        QTest::newRow("65,534 bytes") << 65534 << QByteArray("\xFF\xFF\xFF\xFE\xFF\x00\x00", 7);
    }
    void longSlotsUseTheLongerPrefixes()
    {
        QFETCH(int, length);
        QFETCH(QByteArray, prefix);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.qn"));
        CQnDoc doc;
        doc.SetSlotString(0, QString(length, QLatin1Char('7')));
        QString error;
        QVERIFY(doc.OnSaveDocument(path, &error));
        const QByteArray data = ReadAll(path);
        QCOMPARE(data.size(), 50022 + length + prefix.size() - 1);
        QCOMPARE(data.mid(22, prefix.size()), prefix);
        CQnDoc reread;
        QVERIFY2(reread.OnOpenDocument(path, &error), qPrintable(error));
        QCOMPARE(reread.GetSlotString(0), QString(length, QLatin1Char('7')));
        QCOMPARE(reread.GetSlotString(1), QString());
    }

    void japaneseTextRoundTripsInTheCodePage()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("日本語.qn"));
        const QString text = QStringLiteral("ｻｰﾊﾞｰ ｱﾄﾞﾚｽ 接続先");
        CQnDoc doc;
        doc.SetSlotString(4, text);
        QString error;
        QVERIFY(doc.OnSaveDocument(path, &error));
        const QByteArray bytes = ToCp932(text);
        QCOMPARE(ReadAll(path).mid(22 + 4, 1 + bytes.size()), char(bytes.size()) + bytes);
        CQnDoc reread;
        QVERIFY(reread.OnOpenDocument(path, &error));
        QCOMPARE(reread.GetSlotString(4), text);
        QCOMPARE(reread.GetTitle(), QStringLiteral("日本語.qn"));
    }

    void version1FileOpensWithTypeUdpAndSavesAsVersion2()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("v1.qn"));
        QByteArray data = kMarker1 + QByteArray("\x0b" "192.168.0.1" "\x04" "5000");
        data += QByteArray(CQnDoc::kSlotCount - 2, '\0');
        QVERIFY(WriteAll(path, data));
        CQnDoc doc;
        doc.SetSlotInt(0, 2);
        QString error;
        QVERIFY2(doc.OnOpenDocument(path, &error), qPrintable(error));
        QCOMPARE(doc.GetSlotString(0), QStringLiteral("192.168.0.1"));
        QCOMPARE(doc.GetSlotString(1), QStringLiteral("5000"));
        QCOMPARE(doc.GetSlotInt(0), 0);
        QCOMPARE(doc.GetVersion(), QByteArray(CQnDoc::kVersion1));

        QVERIFY(doc.OnSaveDocument(path, &error));
        const QByteArray saved = ReadAll(path);
        QVERIFY(saved.startsWith(kMarker2));
        QCOMPARE(saved.size(), data.size() - kMarker1.size() + kMarker2.size() + 40000);
    }

    void anyOtherMarkerReadsAsVersion2_data()
    {
        QTest::addColumn<QByteArray>("marker");
        QTest::newRow("other number") << QByteArray("\x15QN FileVersion '3.00'");
        QTest::newRow("version 1 in other case") << QByteArray("\x12qn fileversion '1'");
        QTest::newRow("empty marker") << QByteArray(1, '\0');
    }
    void anyOtherMarkerReadsAsVersion2()
    {
        QFETCH(QByteArray, marker);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("other.qn"));
        QByteArray data = EmptyFile(marker, 0) + QByteArray("\x01\0\0\0", 4) + QByteArray(4 * 9999, '\0');
        QVERIFY(WriteAll(path, data));
        CQnDoc doc;
        QString error;
        QVERIFY2(doc.OnOpenDocument(path, &error), qPrintable(error));
        QCOMPARE(doc.GetSlotInt(0), 1);
        // Without its integers the same file is too short.
        QVERIFY(WriteAll(path, EmptyFile(marker, 0)));
        QVERIFY(!doc.OnOpenDocument(path, &error));
    }

    void damagedFilesFailWithOneTextAndKeepTheDocument_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("reason");
        const QByteArray good = EmptyFile(kMarker2, CQnDoc::kSlotCount);
        QTest::newRow("empty file") << QByteArray() << QStringLiteral("空のﾌｧｲﾙ");
        QTest::newRow("cut in the marker") << kMarker2.left(10) << QStringLiteral("文字列の長さ");
        QTest::newRow("cut in the text slots") << good.left(5000) << QStringLiteral("途中で終わって");
        QTest::newRow("cut in the integers") << good.left(good.size() - 3) << QStringLiteral("途中で終わって");
        QTest::newRow("length beyond the end") << kMarker2 + QByteArray("\xFF\xFF\xFF\x00\x00\x00\x10") + QByteArray(100, 'x')
                                               << QStringLiteral("文字列の長さ");
        QTest::newRow("16-bit string, odd byte count") << kMarker2 + QByteArray("\xFF\xFE\xFF\x03" "a\0b\0c", 9)
                                                       << QStringLiteral("文字列の長さ");
        QTest::newRow("version 1 cut") << kMarker1 + QByteArray(9999, '\0') << QStringLiteral("途中で終わって");
    }
    void damagedFilesFailWithOneTextAndKeepTheDocument()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("damaged.qn"));
        QVERIFY(WriteAll(path, data));
        CQnDoc doc;
        FillSample(&doc);
        QString error;
        QVERIFY(!doc.OnOpenDocument(path, &error));
        QVERIFY2(error.contains(QStringLiteral("damaged.qn")), qPrintable(error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QCOMPARE(doc.GetSlotString(0), QStringLiteral("127.0.0.1"));
        QCOMPARE(doc.GetSlotString(6), QStringLiteral("ﾎﾟｰﾄ"));
        QCOMPARE(doc.GetSlotInt(0), 2);
        QVERIFY(doc.IsModified());
        QCOMPARE(doc.GetPathName(), QString());
    }

    void pathsThatAreNoReadableFileFail()
    {
        QTemporaryDir dir;
        CQnDoc doc;
        FillSample(&doc);
        QString error;
        QVERIFY(!doc.OnOpenDocument(dir.path(), &error));
        QVERIFY2(error.contains(QStringLiteral("ﾌｫﾙﾀﾞ")), qPrintable(error));
        QVERIFY(!doc.OnOpenDocument(dir.filePath(QStringLiteral("missing.qn")), &error));
        QVERIFY2(error.contains(QStringLiteral("見つかりません")), qPrintable(error));
        QCOMPARE(doc.GetSlotInt(0), 2);
        QVERIFY(!doc.OnSaveDocument(dir.path(), &error));
        QVERIFY(!doc.OnSaveDocument(dir.filePath(QStringLiteral("no/such/folder.qn")), &error));
        QVERIFY(doc.IsModified());
    }

    void saveIntoAFolderThatTakesNoNewFileWritesTheFileInPlace()
    {
        LockedFolder folder(EmptyFile(kMarker1, 0));
        QVERIFY(folder.IsValid());
        CQnDoc doc;
        doc.SetSlotString(3, QStringLiteral("ｻｰﾊﾞｰ"));
        QVERIFY(folder.Run([&] {
            QString error;
            return doc.OnSaveDocument(folder.FilePath(), &error);
        }));
        CQnDoc reread;
        QString error;
        QVERIFY2(reread.OnOpenDocument(folder.FilePath(), &error), qPrintable(error));
        QCOMPARE(reread.GetVersion(), QByteArray(CQnDoc::kVersion2));
        QCOMPARE(reread.GetSlotString(3), QStringLiteral("ｻｰﾊﾞｰ"));
    }

    void unreadableFileFails()
    {
        if (::geteuid() == 0)
            QSKIP("running as root: permission bits do not stop root from reading");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("locked.qn"));
        QVERIFY(WriteAll(path, EmptyFile(kMarker2, CQnDoc::kSlotCount)));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        CQnDoc doc;
        QString error;
        QVERIFY(!doc.OnOpenDocument(path, &error));
        QVERIFY2(error.contains(QStringLiteral("ｱｸｾｽが拒否されました")), qPrintable(error));
    }

    void bytesThatAreNoCodePageTextReadAndSaveUnchanged()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bytes.qn"));
        const QByteArray odd("\x81\xFF\x82\x00\xA0\xFD", 6);
        QByteArray data = kMarker2 + char(odd.size()) + odd + QByteArray(CQnDoc::kSlotCount - 1, '\0');
        data += QByteArray(40000, '\0');
        QVERIFY(WriteAll(path, data));
        CQnDoc doc;
        QString error;
        QVERIFY2(doc.OnOpenDocument(path, &error), qPrintable(error));
        QVERIFY(!doc.GetSlotString(0).isEmpty());
        QCOMPARE(doc.GetSlotBytes(0), odd);
        QVERIFY(doc.OnSaveDocument(path, &error));
        QCOMPARE(ReadAll(path), data);
    }

    void randomlyDamagedFilesEitherOpenOrLeaveTheDocument()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("random.qn"));
        QByteArray good = EmptyFile(kMarker2, CQnDoc::kSlotCount);
        good.replace(22, 3, QByteArray("\x02" "ab"));
        QRandomGenerator random(20240601);
        int failures = 0;
        for (int round = 0; round < 300; ++round) {
            QByteArray data = good;
            // Damage the prefixes near the start, where every kind of length can be made.
            for (int n = random.bounded(1, 4); n > 0; --n) {
                const char values[] = {'\xFF', '\xFE', '\x00', char(random.bounded(256))};
                data[random.bounded(60)] = values[random.bounded(4)];
            }
            if (random.bounded(2))
                data.truncate(random.bounded(data.size()));
            QVERIFY(WriteAll(path, data));
            CQnDoc doc;
            FillSample(&doc);
            QString error;
            if (doc.OnOpenDocument(path, &error))
                continue;
            ++failures;
            QVERIFY(!error.isEmpty());
            QCOMPARE(doc.GetSlotInt(0), 2);
            QCOMPARE(doc.GetSlotString(0), QStringLiteral("127.0.0.1"));
        }
        QVERIFY(failures > 0);
    }

    void deleteContentsEmptiesEverySlot()
    {
        CQnDoc doc;
        FillSample(&doc);
        doc.SetSlotString(9999, QStringLiteral("x"));
        doc.SetSlotInt(9999, 5);
        doc.DeleteContents();
        for (int slot : {0, 6, 9999}) {
            QCOMPARE(doc.GetSlotString(slot), QString());
            QCOMPARE(doc.GetSlotInt(slot), 0);
        }
        // Slots outside the table read empty and take nothing.
        doc.SetSlotInt(10000, 3);
        doc.SetSlotString(-1, QStringLiteral("x"));
        QCOMPARE(doc.GetSlotInt(10000), 0);
        QCOMPARE(doc.GetSlotString(-1), QString());
        QCOMPARE(doc.GetTitle(), QStringLiteral("無題"));
    }
};

QTEST_GUILESS_MAIN(TestQnDoc)
#include "tst_qndoc.moc"
