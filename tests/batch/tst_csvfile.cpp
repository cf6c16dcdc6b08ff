// The scenario CSV format: field splitting, the written line form, reading and writing files.
#include "batch/csvfile.h"
#include "platform/cp932.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestCsvFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fieldsAreSplitAtUnquotedCommas_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("n");
        QTest::addColumn<QByteArray>("field");
        const QByteArray written = "\"127.0.0.1\",\"5000\",\"a.txt\",\"\",";
        QTest::newRow("written line, field 1") << written << 1 << QByteArray("127.0.0.1");
        QTest::newRow("written line, field 3") << written << 3 << QByteArray("a.txt");
        QTest::newRow("written line, empty field 4") << written << 4 << QByteArray();
        QTest::newRow("written line, field 5 after the last comma") << written << 5 << QByteArray();
        QTest::newRow("quoted comma survives") << QByteArray("\"a,b\",c") << 1 << QByteArray("a,b");
        QTest::newRow("field after a quoted comma") << QByteArray("\"a,b\",c") << 2 << QByteArray("c");
        QTest::newRow("quotes are lost") << QByteArray("\"say \"hi\"\",x") << 1 << QByteArray("say hi");
        QTest::newRow("two adjacent quotes yield nothing") << QByteArray("\"a\"\"b\"") << 1 << QByteArray("ab");
        QTest::newRow("only two quotes") << QByteArray("\"\"\"\",x") << 1 << QByteArray();
        QTest::newRow("unquoted fields") << QByteArray("10.0.0.1,80") << 2 << QByteArray("80");
        QTest::newRow("address and port only, field 3") << QByteArray("\"10.0.0.1\",\"80\"") << 3 << QByteArray();
        QTest::newRow("unclosed quote swallows the rest") << QByteArray("\"a,b") << 1 << QByteArray();
        QTest::newRow("empty line") << QByteArray() << 1 << QByteArray();
        QTest::newRow("field 0") << QByteArray("a,b") << 0 << QByteArray();
        QTest::newRow("code page 932 bytes") << ToCp932(u"\"送信ﾌｧｲﾙ\",\"結果\",") << 2 << ToCp932(u"結果");
    }
    void fieldsAreSplitAtUnquotedCommas()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, n);
        QFETCH(QByteArray, field);
        QCOMPARE(CsvField(line, n), field);
    }

    void linesAreWrittenQuotedWithATrailingComma_data()
    {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("empty row") << QStringList(4, QString()) << QByteArray("\"\",\"\",\"\",\"\",\r\n");
        QTest::newRow("filled row") << QStringList{QStringLiteral("127.0.0.1"), QStringLiteral("5000"),
                                                   QStringLiteral("c:\\a.txt"), QStringLiteral("○:正常終了しました")}
                                    << QByteArray("\"127.0.0.1\",\"5000\",\"c:\\a.txt\",\"") + ToCp932(u"○:正常終了しました") + "\",\r\n";
        QTest::newRow("nothing escaped") << QStringList{QStringLiteral("a\"b,c")} << QByteArray("\"a\"b,c\",\r\n");
    }
    void linesAreWrittenQuotedWithATrailingComma()
    {
        QFETCH(QStringList, cells);
        QFETCH(QByteArray, line);
        QCOMPARE(CsvLine(cells), line);
    }

    void writingReplacesALongerFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("s.csv"));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(QByteArray(20000, 'x'));
        }
        QList<QByteArray> lines(200, CsvLine(QStringList(4, QString())));
        lines[0] = CsvLine({QStringLiteral("h"), QStringLiteral("1"), QStringLiteral("f"), QStringLiteral("r")});
        QVERIFY(WriteCsvFile(path, lines));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        QCOMPARE(content.size(), qsizetype(199 * 14 + lines[0].size()));
        QCOMPARE(content.count("\r\n"), qsizetype(200));

        bool opened = false;
        const QList<QByteArray> read = ReadTextLines(path, 200, &opened);
        QVERIFY(opened);
        QCOMPARE(read.size(), 200);
        QCOMPARE(CsvField(read[0], 1), QByteArray("h"));
        QCOMPARE(CsvField(read[0], 4), QByteArray("r"));
        QCOMPARE(read[199], QByteArray("\"\",\"\",\"\",\"\","));
    }

    void writingFailsWhereNoFileCanBe()
    {
        QTemporaryDir dir;
        QVERIFY(!WriteCsvFile(dir.filePath(QStringLiteral("missing/s.csv")), {QByteArray("x\r\n")}));
        QVERIFY(!WriteCsvFile(dir.path(), {QByteArray("x\r\n")}));
    }

    void linesAreReadWithoutTheirEnds_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("maxLines");
        QTest::addColumn<qsizetype>("maxLineBytes");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::newRow("CR LF and LF") << QByteArray("a\r\nb\nc\r\n") << 200 << kMaxTextLine
                                      << QList<QByteArray>{"a", "b", "c"};
        QTest::newRow("last line without end") << QByteArray("a\nb") << 200 << kMaxTextLine << QList<QByteArray>{"a", "b"};
        QTest::newRow("empty lines stay") << QByteArray("a\n\n\nb\n") << 200 << kMaxTextLine
                                          << QList<QByteArray>{"a", "", "", "b"};
        QTest::newRow("lone CR is text") << QByteArray("a\rb\n") << 200 << kMaxTextLine << QList<QByteArray>{"a\rb"};
        QTest::newRow("empty file") << QByteArray() << 200 << kMaxTextLine << QList<QByteArray>{};
        QTest::newRow("line limit") << QByteArray("1\n2\n3\n") << 2 << kMaxTextLine << QList<QByteArray>{"1", "2"};
        QTest::newRow("overlong line is cut, next starts fresh")
            << QByteArray("0123456789abc\r\nnext\n") << 200 << qsizetype(10) << QList<QByteArray>{"0123456789", "next"};
        QTest::newRow("CR inside an overlong line is text")
            << QByteArray("\rd\r\nab\rcd\n") << 200 << qsizetype(1) << QList<QByteArray>{"\r", "a"};
        QTest::newRow("CR LF just past the limit is the line end")
            << QByteArray("abc\r\nabcd\r\n") << 200 << qsizetype(3) << QList<QByteArray>{"abc", "abc"};
    }
    void linesAreReadWithoutTheirEnds()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, maxLines);
        QFETCH(qsizetype, maxLineBytes);
        QFETCH(QList<QByteArray>, lines);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("t.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        QCOMPARE(ReadTextLines(path, maxLines, nullptr, maxLineBytes), lines);
    }

    void manyAndLongLines()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.csv"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray longCell(5000, 'p');
        file.write("\"h\",\"1\",\"" + longCell + "\",\"\",\r\n");
        for (int i = 2; i <= 250; ++i)
            file.write("\"h" + QByteArray::number(i) + "\",\"1\",\"f\",\"\",\r\n");
        file.close();
        const QList<QByteArray> lines = ReadTextLines(path, 200);
        QCOMPARE(lines.size(), 200);
        QCOMPARE(CsvField(lines[0], 3), longCell);
        QCOMPARE(CsvField(lines[1], 1), QByteArray("h2"));
        QCOMPARE(CsvField(lines[199], 1), QByteArray("h200"));
    }

    void missingFileReadsAsNoLines()
    {
        QTemporaryDir dir;
        bool opened = true;
        QVERIFY(ReadTextLines(dir.filePath(QStringLiteral("none.csv")), 200, &opened).isEmpty());
        QVERIFY(!opened);
    }
};

QTEST_GUILESS_MAIN(TestCsvFile)
#include "tst_csvfile.moc"
