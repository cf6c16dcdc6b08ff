// The profile and store file: sections, exact values, defaults, damaged content.
#include "platform/cinifile.h"
#include "support/lockedfolder.h"

#include <QTemporaryDir>
#include <QTest>

class TestIniFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void valuesKeepTheirBlanksAcrossAFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sub/q.ini"));
        {
            CIniFile ini(path);
            QVERIFY(ini.WriteString(QStringLiteral("Window size"), QStringLiteral("Rect"), QStringLiteral("  10   20  510  160 ")));
            QVERIFY(ini.WriteString(QStringLiteral("SOFTWARE\\Corvexa\\qn"), QStringLiteral("REGI_PRO_01"), QStringLiteral("> ")));
            QVERIFY(ini.WriteString(QStringLiteral("x"), QStringLiteral("lines"), QStringLiteral("a\\b\nc\r")));
            QVERIFY(ini.WriteInt(QStringLiteral("Window size"), QStringLiteral("max"), 1));
        }
        CIniFile ini(path);
        QCOMPARE(ini.GetString(QStringLiteral("Window size"), QStringLiteral("Rect"), {}), QStringLiteral("  10   20  510  160 "));
        QCOMPARE(ini.GetString(QStringLiteral("window SIZE"), QStringLiteral("rect"), {}), QStringLiteral("  10   20  510  160 "));
        QCOMPARE(ini.GetString(QStringLiteral("SOFTWARE\\Corvexa\\qn"), QStringLiteral("REGI_PRO_01"), {}), QStringLiteral("> "));
        QCOMPARE(ini.GetString(QStringLiteral("x"), QStringLiteral("lines"), {}), QStringLiteral("a\\b\nc\r"));
        QCOMPARE(ini.GetInt(QStringLiteral("Window size"), QStringLiteral("max"), 0), 1);
    }

    void missingFileAndKeysGiveDefaults()
    {
        QTemporaryDir dir;
        CIniFile ini(dir.filePath(QStringLiteral("none.ini")));
        QCOMPARE(ini.GetString(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("def")), QStringLiteral("def"));
        QCOMPARE(ini.GetInt(QStringLiteral("a"), QStringLiteral("b"), 7), 7);
        QVERIFY(!ini.HasKey(QStringLiteral("a"), QStringLiteral("b")));
    }

    void integersReadLikeAtoi_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("plain") << QByteArray("42") << 42;
        QTest::newRow("blanks and sign") << QByteArray("  -17x") << -17;
        QTest::newRow("no digits") << QByteArray("abc") << 0;
        QTest::newRow("huge") << QByteArray("99999999999999999999") << 0x7FFFFFFF;
    }
    void integersReadLikeAtoi()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        CIniFile ini(QString{});
        ini.Parse("[s]\nk=" + value + "\n");
        QCOMPARE(ini.GetInt(QStringLiteral("s"), QStringLiteral("k"), -1), expected);
    }

    void damagedTextIsReadWithoutFailure()
    {
        CIniFile ini(QString{});
        ini.Parse(QByteArray("no section=1\n[\n]]\n[s\n=x\n[s]\r\nk=v\r\n\xff\xfe=\x01\n[S]\nk=w\n", 48));
        QCOMPARE(ini.GetString(QStringLiteral("s"), QStringLiteral("k"), {}), QStringLiteral("w"));
        QVERIFY(!ini.HasKey(QStringLiteral("s"), QStringLiteral("no section")));
    }

    void writtenTextReadsBackTheSame_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("blank key is no key") << QByteArray("[s]\n  =x\nk=1\n") << QByteArray("[s]\nk=1\n\n");
        QTest::newRow("escapes and blanks") << QByteArray("[s]\r\n k = a\\nb \r\n") << QByteArray("[s]\nk= a\\nb \n\n");
        QTest::newRow("sections merge by name") << QByteArray("[A]\nk=1\n[a]\nK=2\n") << QByteArray("[A]\nk=2\n\n");
    }
    void writtenTextReadsBackTheSame()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, written);
        CIniFile ini(QString{});
        ini.Parse(text);
        QCOMPARE(ini.Serialize(), written);
        CIniFile again(QString{});
        again.Parse(written);
        QCOMPARE(again.Serialize(), written);
    }

    void aFileInAFolderThatTakesNoNewFileIsWrittenInPlace()
    {
        LockedFolder folder("[Window size]\nRect=  10   20  510  160 \n");
        QVERIFY(folder.IsValid());
        QVERIFY(folder.Run([&] { return CIniFile(folder.FilePath()).WriteInt(QStringLiteral("Window size"), QStringLiteral("max"), 1); }));
        const CIniFile ini(folder.FilePath());
        QCOMPARE(ini.GetString(QStringLiteral("Window size"), QStringLiteral("Rect"), {}), QStringLiteral("  10   20  510  160 "));
        QCOMPARE(ini.GetInt(QStringLiteral("Window size"), QStringLiteral("max"), 0), 1);
    }

    void pathsFollowXdgConfigHome()
    {
        const QByteArray old = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", "/tmp/qn-cfg");
        QCOMPARE(CIniFile::ProfilePath(), QStringLiteral("/tmp/qn-cfg/Quillnet/Quillnet.ini"));
        QCOMPARE(CIniFile::StorePath(), QStringLiteral("/tmp/qn-cfg/Corvexa/qn.ini"));
        qputenv("XDG_CONFIG_HOME", old);
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
