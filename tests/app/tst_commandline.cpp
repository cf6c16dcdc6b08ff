// The command line: what each form of it asks the program to do, and the texts it answers with.
#include "app/ccommandline.h"
#include "platform/cchecksum.h"

#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

class TestCommandLine : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    // Runs `quillnet ARGUMENTS` as a checksum command with `input` on its standard input: its exit
    // code, and what it wrote to standard output and error in `texts`.
    static int RunChecksum(const QStringList &arguments, const QByteArray &input, QString texts[2])
    {
        FILE *streams[3] = {std::tmpfile(), std::tmpfile(), std::tmpfile()};
        std::fwrite(input.constData(), 1, std::size_t(input.size()), streams[0]);
        std::rewind(streams[0]);
        CCommandLine commandLine;
        int exitCode = -1;
        if (commandLine.Parse(QStringList{"/usr/bin/quillnet"} + arguments) == CCommandLine::Checksum)
            exitCode = commandLine.RunChecksum(streams[0], streams[1], streams[2]);
        for (int i = 0; i < 2; ++i) {
            std::rewind(streams[i + 1]);
            QByteArray bytes(4096, '\0');
            bytes.truncate(qsizetype(std::fread(bytes.data(), 1, std::size_t(bytes.size()), streams[i + 1])));
            texts[i] = QString::fromUtf8(bytes);
        }
        for (FILE *stream : streams)
            std::fclose(stream);
        return exitCode;
    }

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
        QTest::newRow("--checksum") << QStringList{"--checksum", "SUM8", "--text", "a"} << int(CCommandLine::Checksum) << QString() << QString();
        QTest::newRow("an input without --checksum") << QStringList{"--hex", "00"} << fail << QString() << QStringLiteral("--hex は --checksum と使います");
        QTest::newRow("--checksum, standard input as -") << QStringList{"--checksum", "SUM8", "-"} << int(CCommandLine::Checksum)
                                                         << QString() << QString();
        QTest::newRow("--checksum-search, two files") << QStringList{"--checksum-search", "a.txt", "b.txt"} << fail << QString()
                                                      << QStringLiteral("--checksum-search の入力は FILE, -, --history FILE のどれか一つにしてください");
        QTest::newRow("--history alone") << QStringList{"--history", "h.txt"} << fail << QString() << QStringLiteral("--history は --checksum-search と使います");
        QTest::newRow("--checksum, a file name without --file") << QStringList{"--checksum", "CRC-32", "file.txt"} << fail << QString()
                                                                << QStringLiteral("--checksum の入力は --hex, --text, --file, - のどれかで指定してください: file.txt");
    }

    void checksumPrintsItsValueOrSaysWhy_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");  // on standard input
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");  // a part of it
        QTest::newRow("Modbus RTU request") << QStringList{"--checksum", "CRC-16/MODBUS", "--hex", "01 03 00 00 00 0A"} << QByteArray()
                                            << 0 << QStringLiteral("CDC5\n") << QString();
        QTest::newRow("text in code page 932") << QStringList{"--checksum", "sum16", "--text", "ｱ"} << QByteArray() << 0
                                               << QStringLiteral("00B1\n") << QString();
        QTest::newRow("standard input") << QStringList{"--checksum", "CRC-32", "-"} << QByteArray("123456789") << 0
                                        << QStringLiteral("CBF43926\n") << QString();
        QTest::newRow("a missing file") << QStringList{"--checksum", "CRC-32", "--file", "/nonexistent/in.bin"} << QByteArray() << 2
                                        << QString() << QStringLiteral("/nonexistent/in.bin: ");
        QTest::newRow("odd hex") << QStringList{"--checksum", "XOR8", "--hex", "123"} << QByteArray() << 2 << QString()
                                 << QStringLiteral("16進数が正しくありません");
        QTest::newRow("two inputs") << QStringList{"--checksum", "XOR8", "--hex", "12", "--text", "a"} << QByteArray() << 2 << QString()
                                    << QStringLiteral("どれか一つ");
        QTest::newRow("unknown name lists the names") << QStringList{"--checksum", "CRC-99"} << QByteArray() << 2 << QString()
                                                      << QStringLiteral("使えるもの: CRC-3/GSM");
        QTest::newRow("a folder") << QStringList{"--checksum", "CRC-32", "--file", "/"} << QByteArray() << 2 << QString()
                                  << QStringLiteral("/: ﾌｫﾙﾀﾞです。ﾌｧｲﾙを指定してください。\n");
        QTest::newRow("text the code page lacks") << QStringList{"--checksum", "SUM8", "--text", "ｱ€😀"} << QByteArray() << 2 << QString()
                                                  << QStringLiteral("ｺｰﾄﾞﾍﾟｰｼﾞ932にない文字があります: \"€\" (2 文字目)\n");
        // Longer than the pieces it is read in, and not a whole number of them.
        const QByteArray longer = QByteArray("0123456789abcdef").repeated(160 * 1024) + "tail";
        const QString crc = QStringLiteral("%1\n").arg(quint64(CChecksum::Find(QStringLiteral("CRC-32"))->Compute(longer)), 8, 16, QLatin1Char('0')).toUpper();
        QTest::newRow("standard input of 2.5 MB") << QStringList{"--checksum", "CRC-32"} << longer << 0 << crc << QString();
        const QString file = m_dir.filePath(QStringLiteral("in.bin"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(longer) == longer.size());
        QTest::newRow("a file of 2.5 MB") << QStringList{"--checksum", "CRC-32", "--file", file} << QByteArray() << 0 << crc << QString();
        QTest::newRow("a model") << QStringList{"--checksum", "width=16 poly=0x8005 init=0xFFFF refin=true", "--hex", "01030000000A"}
                                 << QByteArray() << 0 << QStringLiteral("CDC5\n") << QString();
        QTest::newRow("a model failing its check") << QStringList{"--checksum", "width=8 poly=0x07 check=0x00", "--text", "a"} << QByteArray() << 2
                                                   << QString() << QStringLiteral("check=0x00 が合いません (このﾓﾃﾞﾙでは 0xF4)");
        const QByteArray modbus("01 03 00 00 00 0A C5 CD\n11 03 00 6B 00 03 76 87\n01 06 00 01 00 03 98 0B\n");
        QTest::newRow("search on standard input") << QStringList{"--checksum-search"} << modbus << 0 << QStringLiteral("CRC-16/MODBUS:le\n") << QString();
        const QString samples = m_dir.filePath(QStringLiteral("samples.txt"));
        QFile sampleFile(samples);
        QVERIFY(sampleFile.open(QIODevice::WriteOnly) && sampleFile.write(modbus) == modbus.size());
        sampleFile.close();
        QTest::newRow("search in a file") << QStringList{"--checksum-search", samples} << QByteArray() << 0 << QStringLiteral("CRC-16/MODBUS:le\n") << QString();
        const QString history = m_dir.filePath(QStringLiteral("history.txt"));
        QFile historyFile(history);
        const QByteArray saved("12/07/06 09:05:03  S 01030000000A\n12/07/06 09:05:03  R 01030000000AC5CD\n"
                               "12/07/06 09:05:04  R 1103006B00037687\n12/07/06 09:05:05.120  R@127.0.0.1:502 010600010003980B\n");
        QVERIFY(historyFile.open(QIODevice::WriteOnly) && historyFile.write(saved) == saved.size());
        historyFile.close();
        QTest::newRow("search in a saved History") << QStringList{"--checksum-search", "--history", history} << QByteArray() << 0
                                                   << QStringLiteral("CRC-16/MODBUS:le\n") << QString();
        QTest::newRow("search finds nothing") << QStringList{"--checksum-search", "-"} << QByteArray("0102030405\n0A0B0C0D0E\nFFEE112233\n") << 1
                                              << QString() << QStringLiteral("3 個のｻﾝﾌﾟﾙに合うﾁｪｯｸｻﾑは見つかりませんでした");
        QTest::newRow("search in no hex") << QStringList{"--checksum-search"} << QByteArray("0102\nxyz\n") << 2 << QString()
                                          << QStringLiteral("2 行目が16進数ではありません: xyz");
        QTest::newRow("search without samples") << QStringList{"--checksum-search"} << QByteArray("\n") << 2 << QString()
                                                << QStringLiteral("ｻﾝﾌﾟﾙ電文がありません");
        QTest::newRow("search and a checksum") << QStringList{"--checksum-search", "--checksum", "SUM8"} << QByteArray() << 2 << QString()
                                               << QStringLiteral("一緒に使えません");
    }
    void checksumPrintsItsValueOrSaysWhy()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QString texts[2];
        QCOMPARE(RunChecksum(arguments, input, texts), exitCode);
        QCOMPARE(texts[0], out);
        QVERIFY2(err.isEmpty() ? texts[1].isEmpty() : texts[1].contains(err), qPrintable(texts[1]));
    }

    // A CRC of a file is read in parts side by side, everything else (and standard input) as one
    // stream: the same value either way, over a file of a few MB and odd length.
    void fileAndStandardInputAgree_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"CRC-32", "CRC-32/ISCSI", "CRC-16/MODBUS", "CRC-64/XZ", "CRC-82/DARC", "CRC-5/USB", "ADLER-32"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void fileAndStandardInputAgree()
    {
        QFETCH(QString, name);
        QByteArray data(3 * 1024 * 1024 + 12345, '\0');
        QRandomGenerator random(47);
        random.fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
        const QString path = m_dir.filePath(QStringLiteral("random.bin"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(data) == data.size());
        file.close();
        const auto checksum = CChecksum::Find(name);
        const QString expected = checksum->HexText(checksum->Compute(data)) + QLatin1Char('\n');
        QString fromFile[2], fromInput[2];
        QCOMPARE(RunChecksum({"--checksum", name, "--file", path}, QByteArray(), fromFile), 0);
        QCOMPARE(RunChecksum({"--checksum", name, "-"}, data, fromInput), 0);
        QCOMPARE(fromFile[0], expected);
        QCOMPARE(fromInput[0], expected);
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
