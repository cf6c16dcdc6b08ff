// The command line: what each form of it asks the program to do, and the texts it answers with.
#include "app/ccommandline.h"

#include <QRegularExpression>
#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void actionAndDocument_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("error");
        const int run = CCommandLine::Run;
        QTest::newRow("nothing: a new document") << QStringList{} << run << QString() << QString();
        QTest::newRow("a document") << QStringList{"a.qn"} << run << QStringLiteral("a.qn") << QString();
        QTest::newRow("later paths ignored") << QStringList{"a.qn", "b.qn"} << run << QStringLiteral("a.qn") << QString();
        QTest::newRow("-- ends the options") << QStringList{"--", "-a.qn"} << run << QStringLiteral("-a.qn") << QString();
        QTest::newRow("window-system option with its value")
            << QStringList{"-style", "fusion", "a.qn"} << run << QStringLiteral("a.qn") << QString();
        QTest::newRow("window-system flag") << QStringList{"-reverse", "a.qn"} << run << QStringLiteral("a.qn") << QString();
        QTest::newRow("--help") << QStringList{"a.qn", "--help"} << int(CCommandLine::ShowHelp) << QString() << QString();
        QTest::newRow("-h") << QStringList{"-h"} << int(CCommandLine::ShowHelp) << QString() << QString();
        QTest::newRow("--version") << QStringList{"--version"} << int(CCommandLine::ShowVersion) << QString() << QString();
        QTest::newRow("-v") << QStringList{"-v"} << int(CCommandLine::ShowVersion) << QString() << QString();
        const int fail = CCommandLine::Fail;
        QTest::newRow("unknown long option") << QStringList{"--no-such-option=1"} << fail << QString() << QStringLiteral("--no-such-option");
        QTest::newRow("unknown short option") << QStringList{"a.qn", "-x"} << fail << QString() << QStringLiteral("-x");
        QTest::newRow("option without its value") << QStringList{"-platform"} << fail << QString() << QStringLiteral("platform");
    }

    void actionAndDocument()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, document);
        QFETCH(QString, error);
        CCommandLine commandLine;
        QCOMPARE(int(commandLine.Parse(QStringList{"/usr/bin/quillnet"} + arguments)), action);
        QCOMPARE(commandLine.DocumentPath(), document);
        QCOMPARE(commandLine.ErrorText().isEmpty(), error.isEmpty());
        QVERIFY2(commandLine.ErrorText().contains(error), qPrintable(commandLine.ErrorText()));
    }

    void helpListsTheProgramsOwnOptionsOnly()
    {
        CCommandLine commandLine;
        commandLine.Parse({"/usr/bin/quillnet", "--help"});
        const QString help = commandLine.HelpText();
        QVERIFY(help.startsWith(QStringLiteral("使い方: quillnet [ｵﾌﾟｼｮﾝ] [ﾌｧｲﾙ]\n")));
        QVERIFY(help.contains(QStringLiteral("  -h, --help     ")));
        QVERIFY(help.contains(QStringLiteral("  -v, --version  ")));
        QVERIFY(!help.contains(QStringLiteral("platform")));
        QVERIFY(QRegularExpression(QStringLiteral("^Quillnet \\d+\\.\\d+$")).match(CCommandLine::VersionText()).hasMatch());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
