// quillnet --batch: the real executable, without a display, against prompt servers on loopback.
#include "batch/cbatchscenario.h"
#include "batch/cregkey.h"
#include "batch/promptjudge.h"
#include "batch/promptserver.h"
#include "document/cqndoc.h"
#include "session/creplyruletable.h"
#include "support/opensslpeer.h"
#include "support/tempconfighome.h"

#include <algorithm>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

const QString kDone = QStringLiteral("○:正常終了しました");
const QString kNoConnection = QStringLiteral("×:接続できません");
const QString kNoFile = QStringLiteral("×:送信ﾌｧｲﾙが見つかりません");
const QString kNoResponse = QStringLiteral("×:応答がありません");
const QString kAborted = QStringLiteral("中止しました");

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Starts the program with no display of any kind in its environment, and no key passphrase but
// `keyPass` when given.
void Start(QProcess &process, const QStringList &arguments, const QString &keyPass = {})
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QUILLNET_KEY_PASS"})
        environment.remove(QString::fromLatin1(name));
    if (!keyPass.isEmpty())
        environment.insert(QStringLiteral("QUILLNET_KEY_PASS"), keyPass);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QN_EXECUTABLE), arguments);
}

// Runs the program to its end while the servers of the test keep answering.
Run RunProgram(const QStringList &arguments, const QString &keyPass = {})
{
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    Start(process, arguments, keyPass);
    Run run;
    // An event loop of its own, without the pauses of a polling wait: the servers answer at once.
    if (finished.isEmpty() && !finished.wait(30000)) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QByteArray FileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct JUnit
{
    int tests = -1;
    int failures = -1;
    QString suite;
    QStringList failureTexts;
    QList<double> times;
};

JUnit ReadJUnit(const QString &path)
{
    JUnit junit;
    QXmlStreamReader xml(FileBytes(path));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("testsuite")) {
            junit.suite = xml.attributes().value(QLatin1String("name")).toString();
            junit.tests = xml.attributes().value(QLatin1String("tests")).toInt();
            junit.failures = xml.attributes().value(QLatin1String("failures")).toInt();
        } else if (xml.name() == QLatin1String("testcase")) {
            junit.times << xml.attributes().value(QLatin1String("time")).toDouble();
        } else if (xml.name() == QLatin1String("failure")) {
            junit.failureTexts << xml.attributes().value(QLatin1String("message")).toString();
        }
    }
    if (xml.hasError())
        junit.tests = -2;
    return junit;
}

// A server certificate for loopback, one for another name, and the first's key encrypted.
const QString kKeyPass = QStringLiteral("s3cret");
OpenSslCerts &Certs()
{
    static OpenSslCerts certs;
    static const bool made = certs.Make(QStringLiteral("dev"), {QStringLiteral("localhost"), QStringLiteral("IP:127.0.0.1")}) &&
                             certs.Make(QStringLiteral("other"), {QStringLiteral("other.example")}) &&
                             certs.Encrypt(QStringLiteral("dev"), QStringLiteral("secret"), kKeyPass);
    Q_UNUSED(made);
    return certs;
}

}  // namespace

class TestBatchCommand : public QObject
{
    Q_OBJECT
private:
    TempConfigHome m_config;
    QTemporaryDir m_dir;

    QString Path(const QString &name) const { return m_dir.filePath(name); }
    QString WriteFile(const QString &name, const QByteArray &bytes) const
    {
        QFile file(Path(name));
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
        return file.fileName();
    }
    // A scenario CSV of (address, port, file) rows.
    QString Scenario(const QList<QStringList> &rows) const
    {
        CBatchScenario scenario;
        for (int row = 1; row <= rows.size(); ++row) {
            for (int col = 1; col <= 3; ++col)
                scenario.SetCell(row, col, rows[row - 1].value(col - 1));
        }
        scenario.WriteCsv(Path(QStringLiteral("scenario.csv")));
        return Path(QStringLiteral("scenario.csv"));
    }

private Q_SLOTS:
    void aMixedScenarioFailsWithEveryReportWritten()
    {
        // The store's prompt is "> "; this run's prompt, given with an escape, is "# ".
        RegWriteString(QString::fromUtf8(kPromptKey), PromptValueName(1), QStringLiteral("> "));
        PromptServer good;
        good.greeting = good.answer = "ok\r\n# ";
        PromptServer silent;
        silent.greeting.clear();
        QTcpSocket refusing;  // bound, never listening
        refusing.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress);
        const QString lines = WriteFile(QStringLiteral("lines.txt"), "l1\r\nline2\r\n");
        const QString loopback = QStringLiteral("127.0.0.1");
        const QString scenario = Scenario({{loopback, good.PortText(), lines},
                                           {loopback, good.PortText(), Path(QStringLiteral("none.txt"))},
                                           {loopback, QString::number(refusing.localPort()), lines},
                                           {loopback, silent.PortText(), lines}});

        const Run run = RunProgram({"--batch", scenario, "--row-timeout", "1", "--prompt", "\\x23 ", "--results",
                                    Path("results.csv"), "--junit", Path("report.xml"), "--timings", Path("times.csv")});
        QCOMPARE(run.exitCode, 1);
        QCOMPARE(good.Lines(0), (QList<QByteArray>{"l1", "line2"}));
        QCOMPARE(silent.ConnectionCount(), 1);
        QCOMPARE(RegReadString(QString::fromUtf8(kPromptKey), PromptValueName(1), QString()), QStringLiteral("> "));
        // One start and one end line per row, the response times of each row and of the run, then the summary.
        QCOMPARE(run.err.count(QLatin1Char('\n')), 4 * 2 + 5 + 1);

        CBatchScenario results;
        QVERIFY(results.ReadCsv(Path("results.csv")));
        // A failed connect names its cause, as the connection pane does.
        const QString refused = kNoConnection + QStringLiteral(": 接続を試みましたが、リジェクトされました。");
        const QStringList expected{kDone, kNoFile, refused, kNoResponse, QString()};
        for (int row = 1; row <= expected.size(); ++row)
            QCOMPARE(results.Cell(row, CBatchScenario::COL_RESULT), expected[row - 1]);
        QCOMPARE(results.Cell(4, CBatchScenario::COL_PORT), silent.PortText());

        const JUnit junit = ReadJUnit(Path("report.xml"));
        QCOMPARE(junit.suite, QStringLiteral("scenario.csv"));
        QCOMPARE(junit.tests, 4);
        QCOMPARE(junit.failures, 3);
        QCOMPARE(junit.failureTexts, expected.mid(1, 3));

        const QList<QByteArray> times = FileBytes(Path("times.csv")).trimmed().split('\n');
        QCOMPARE(times.size(), 1 + 2);  // the heading, then the two sent lines
        QVERIFY(times[1].startsWith("1,1,3,"));
        QVERIFY(times[2].startsWith("1,2,6,"));
        // The response times said at the end are those of the timings file.
        QList<QByteArray> answers{times[1].split(',')[3], times[2].split(',')[3]};
        std::sort(answers.begin(), answers.end(), [](const QByteArray &a, const QByteArray &b) { return a.toDouble() < b.toDouble(); });
        const QString row1 = QStringLiteral("応答 2 件 p50 %1 ms p95 %2 ms 最大 %2 ms").arg(QString::fromLatin1(answers[0]), QString::fromLatin1(answers[1]));
        for (const QString &line : {QStringLiteral("応答時間 行 1: ") + row1, QStringLiteral("応答時間 行 3: 応答 0 件"),
                                    QStringLiteral("応答時間 全体: ") + row1})
            QVERIFY2(run.err.contains(line + QLatin1Char('\n')), qPrintable(run.err));
        QVERIFY(FileBytes(Path("report.xml")).contains(QStringLiteral("<system-out>%1</system-out>").arg(row1).toUtf8()));
    }

    void aScenarioAndSendFileOnPipesAreReadToTheirEnd()
    {
        PromptServer good;
        good.greeting = good.answer = "ok\r\n> ";
        const QString fifoLines = Path(QStringLiteral("lines.pipe"));
        const QString fifoScenario = Path(QStringLiteral("scenario.pipe"));
        const QByteArray scenarioBytes = FileBytes(Scenario({{QStringLiteral("127.0.0.1"), good.PortText(), fifoLines}}));
        // Each pipe gets its bytes once the program opens it, then its end (a reader gone early is
        // no signal to this process).
        std::signal(SIGPIPE, SIG_IGN);
        std::vector<std::thread> writers;
        for (const auto &[fifo, bytes] : {std::pair{fifoScenario, scenarioBytes}, std::pair{fifoLines, QByteArray("p1\r\np2\r\n")}}) {
            QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
            writers.emplace_back([fifo = QFile::encodeName(fifo), bytes = bytes] {
                const int fd = ::open(fifo.constData(), O_WRONLY);
                if (fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) >= 0)
                    ::close(fd);
            });
        }
        const Run run = RunProgram({"--batch", fifoScenario, "--quiet", "--junit", Path("report.xml")});
        for (const QString &fifo : {fifoScenario, fifoLines})  // frees a writer the program never read
            ::close(::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK));
        for (std::thread &writer : writers)
            writer.join();
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(ReadJUnit(Path("report.xml")).tests, 1);
        QCOMPARE(good.Lines(0), (QList<QByteArray>{"p1", "p2"}));
    }

    void replyRulesAnswerDuringARunOnlyWhenAskedFor_data()
    {
        QTest::addColumn<bool>("asked");
        QTest::newRow("settings only") << false;
        QTest::newRow("--reply-rules") << true;
    }
    void replyRulesAnswerDuringARunOnlyWhenAskedFor()
    {
        QFETCH(bool, asked);
        PromptServer device;
        device.greeting = device.answer = "ok\r\n> ";
        CReplyRuleTable table;
        table.use = true;
        CReplyRule rule;
        rule.kind = CReplyRule::KindContains;
        rule.matchText = rule.replyText = true;
        rule.match = QStringLiteral("ok");
        rule.reply = QStringLiteral("RULE\\r\\n");
        table.rules << rule;
        CQnDoc doc;
        table.Store(doc);
        QString error;
        QVERIFY(doc.OnSaveDocument(Path("rules.qn"), &error));
        const QString scenario =
            Scenario({{QStringLiteral("127.0.0.1"), device.PortText(), WriteFile(QStringLiteral("f.txt"), "l1\r\n")}});
        QStringList arguments{"--batch", scenario, "--quiet", "--settings", Path("rules.qn")};
        if (asked)
            arguments << "--reply-rules";
        QCOMPARE(RunProgram(arguments).exitCode, 0);
        QCOMPARE(device.Received(0).contains("RULE\r\n"), asked);
        QVERIFY(device.Received(0).contains("l1\r"));
    }

    void aChecksumGoesIntoEveryLineSent_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("Modbus ASCII: LRC digits before the CR") << QStringLiteral("LRC/ASCII:before=0D") << QByteArray(":010300000001")
                                                                << QByteArray(":010300000001FB\r");
        QTest::newRow("CRC-16/MODBUS after the CR, low byte first") << QStringLiteral("crc-16/modbus:le") << QByteArray("AB")
                                                                    << QByteArray("AB\r") + QByteArray::fromHex("D0B1");
    }
    void aChecksumGoesIntoEveryLineSent()
    {
        QFETCH(QString, rule);
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, sent);
        PromptServer device;
        const QString scenario = Scenario({{QStringLiteral("127.0.0.1"), device.PortText(), WriteFile(QStringLiteral("c.txt"), line + "\r\n")}});
        QCOMPARE(RunProgram({"--batch", scenario, "--quiet", "--checksum", rule}).exitCode, 0);
        QCOMPARE(device.Received(0), sent);
        const Run wrong = RunProgram({"--batch", scenario, "--checksum", rule + QStringLiteral(",sideways")});
        QCOMPARE(wrong.exitCode, 2);
        QVERIFY2(wrong.err.contains(QStringLiteral("sideways")), qPrintable(wrong.err));
    }

    void aRowReachesAnIpv6Device()
    {
        PromptServer device(QHostAddress::LocalHostIPv6);
        if (!device.Port())
            QSKIP("::1 cannot be listened on: IPv6 is off on this machine");
        const QString lines = WriteFile(QStringLiteral("v6.txt"), "v6\r\n");
        QCOMPARE(RunProgram({"--batch", Scenario({{QStringLiteral("[::1]"), device.PortText(), lines}}), "--quiet"}).exitCode, 0);
        QCOMPARE(device.Received(0), QByteArray("v6\r"));
    }

    void aRowRunsOverTlsVerifiedAgainstACaFile_data()
    {
        // A tls:// row takes the CA of the --settings document (TLS off there); the next row is plain.
        QTest::addColumn<bool>("byRow");
        QTest::newRow("--ca: every row") << false;
        QTest::newRow("a tls:// row by itself, then a plain row") << true;
    }

    void aRowRunsOverTlsVerifiedAgainstACaFile()
    {
        QFETCH(bool, byRow);
        OpenSslCerts certs;
        QVERIFY(certs.Make(QStringLiteral("dev"), {QStringLiteral("localhost"), QStringLiteral("IP:127.0.0.1")}));
        OpenSslPeer device;
        QVERIFY(device.StartServer({QStringLiteral("-cert"), certs.Cert(QStringLiteral("dev")), QStringLiteral("-key"),
                                    certs.Key(QStringLiteral("dev"))}));
        // The device prompts once the handshake is done and again after the line.
        int prompts = 0;
        connect(&device.Process(), &QProcess::readyRead, this, [&] {
            const QByteArray output = device.Output();
            if ((prompts == 0 && output.contains("CIPHER is")) || (prompts == 1 && output.contains("tls1\r"))) {
                ++prompts;
                device.Write("ok\r\n> ");
            }
        });
        QList<QStringList> rows{{byRow ? QStringLiteral("TLS://127.0.0.1") : QStringLiteral("127.0.0.1"), QString::number(device.Port()),
                                 WriteFile(QStringLiteral("tls.txt"), "tls1\r\n")}};
        QStringList options{"--ca", certs.Cert(QStringLiteral("dev"))};
        PromptServer plain;
        if (byRow) {
            CQnDoc doc;
            doc.SetSlotString(CQnDoc::SLOT_CLIENT_TLS_FIRST + 1, QStringLiteral("file"));
            doc.SetSlotString(CQnDoc::SLOT_CLIENT_TLS_FIRST + 2, options[1]);
            QString error;
            QVERIFY2(doc.OnSaveDocument(Path("ca.qn"), &error), qPrintable(error));
            options = QStringList{"--settings", Path("ca.qn")};
            rows.append({QStringLiteral("127.0.0.1"), plain.PortText(), WriteFile(QStringLiteral("plain.txt"), "plain1\r\n")});
        }
        const Run run = RunProgram(QStringList{"--batch", Scenario(rows), "--prompt", "> ", "--row-timeout", "10", "--results",
                                               Path("tls.csv")} + options);
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QCOMPARE(prompts, 2);
        CBatchScenario results;
        QVERIFY(results.ReadCsv(Path("tls.csv")));
        QCOMPARE(results.Cell(1, CBatchScenario::COL_RESULT), kDone);
        if (byRow)
            QCOMPARE(plain.Received(0), QByteArray("plain1\r"));
    }

    void aRowThatDoesNotConnectSaysWhy_data()
    {
        QTest::addColumn<QString>("peer");         // an openssl server's certificate; "refused"; a device path
        QTest::addColumn<QStringList>("options");  // "%cert:<base>", "%keyed" (settings), "%pass" (a file) become the test's
        QTest::addColumn<QString>("keyPass");      // QUILLNET_KEY_PASS
        QTest::addColumn<QString>("result");       // in the results file, the JUnit failure and the stderr line
        QTest::addColumn<QString>("note");         // stderr also says
        const QString tls = kNoConnection + QStringLiteral(": TLS ");
        const QStringList keyed{QStringLiteral("--settings"), QStringLiteral("%keyed")};
        QTest::newRow("refused") << QStringLiteral("refused") << QStringList() << QString()
                                 << kNoConnection + QStringLiteral(": 接続を試みましたが、リジェクトされました。") << QString();
        QTest::newRow("no such device") << QStringLiteral("/dev/qn-no-such-device") << QStringList() << QString()
                                        << kNoConnection + QStringLiteral(": ") << QString();
        QTest::newRow("unknown CA") << QStringLiteral("dev") << QStringList{QStringLiteral("--tls")} << QString()
                                    << tls + QStringLiteral("証明書の発行元(CA)が不明です") << QString();
        QTest::newRow("name mismatch") << QStringLiteral("other") << QStringList{QStringLiteral("--ca"), QStringLiteral("%cert:other")}
                                       << QString() << tls + QStringLiteral("ｻｰﾊﾞｰ名が証明書の名前と一致しません") << QString();
        QTest::newRow("encrypted key, no passphrase") << QStringLiteral("dev") << keyed << QString()
                                                      << tls + QStringLiteral("秘密鍵にﾊﾟｽﾌﾚｰｽﾞが必要です") << QString();
        // With the passphrase the row connects; the server never prompts, so it ends at its time limit.
        QTest::newRow("passphrase from a file") << QStringLiteral("dev") << keyed + QStringList{QStringLiteral("--key-pass-file"), QStringLiteral("%pass")}
                                                << QString() << kNoResponse << QString();
        QTest::newRow("passphrase from the environment") << QStringLiteral("dev") << keyed << kKeyPass << kNoResponse << QString();
        QTest::newRow("--insecure") << QStringLiteral("other") << QStringList{QStringLiteral("--insecure")} << QString() << kNoResponse
                                    << QStringLiteral("TLS 未検証");
    }

    void aRowThatDoesNotConnectSaysWhy()
    {
        QFETCH(QString, peer);
        QFETCH(QStringList, options);
        QFETCH(QString, keyPass);
        QFETCH(QString, result);
        QFETCH(QString, note);
        OpenSslPeer server;
        QTcpSocket refusing;  // bound, never listening
        QString address = QStringLiteral("127.0.0.1");
        QString port;
        if (peer == QStringLiteral("refused")) {
            refusing.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress);
            port = QString::number(refusing.localPort());
        } else if (peer.startsWith(QStringLiteral("/dev/"))) {
            address = peer;
            port = QStringLiteral("9600");
        } else {
            QVERIFY(server.StartServer({QStringLiteral("-cert"), Certs().Cert(peer), QStringLiteral("-key"), Certs().Key(peer)}));
            port = QString::number(server.Port());
        }
        for (QString &option : options) {
            if (option.startsWith(QStringLiteral("%cert:"))) {
                option = Certs().Cert(option.mid(6));
            } else if (option == QStringLiteral("%pass")) {
                option = WriteFile(QStringLiteral("pass.txt"), kKeyPass.toUtf8() + "\n");
            } else if (option == QStringLiteral("%keyed")) {
                // TLS on, verified against dev's certificate, with a client certificate whose key is encrypted.
                CQnDoc doc;
                const int tls = CQnDoc::SLOT_CLIENT_TLS_FIRST;
                doc.SetSlotString(tls, QStringLiteral("1"));
                doc.SetSlotString(tls + 1, QStringLiteral("file"));
                doc.SetSlotString(tls + 2, Certs().Cert(QStringLiteral("dev")));
                doc.SetSlotString(tls + 5, Certs().Cert(QStringLiteral("secret")));
                doc.SetSlotString(tls + 6, Certs().Key(QStringLiteral("secret")));
                QString error;
                QVERIFY2(doc.OnSaveDocument(Path("keyed.qn"), &error), qPrintable(error));
                option = Path("keyed.qn");
            }
        }
        const QString scenario = Scenario({{address, port, WriteFile(QStringLiteral("why.txt"), "l1\r\n")}});
        const Run run = RunProgram(QStringList{"--batch", scenario, "--row-timeout", "2", "--results", Path("why.csv"), "--junit",
                                               Path("why.xml")} + options,
                                   keyPass);
        QCOMPARE(run.exitCode, 1);
        CBatchScenario results;
        QVERIFY(results.ReadCsv(Path("why.csv")));
        const QString cell = results.Cell(1, CBatchScenario::COL_RESULT);
        QVERIFY2(result.endsWith(QStringLiteral(": ")) ? cell.startsWith(result) && cell.size() > result.size() : cell == result,
                 qPrintable(cell));
        QCOMPARE(ReadJUnit(Path("why.xml")).failureTexts, QStringList{cell});
        QVERIFY2(run.err.contains(QStringLiteral(" ") + cell + QStringLiteral(" ")), qPrintable(run.err));
        QVERIFY2(note.isEmpty() || run.err.contains(note), qPrintable(run.err));
    }

    void aRowTimeoutNeverEndsARowEarly()
    {
        // A coarse timer may fire up to 5 % before its time; each silent row must last the whole timeout.
        PromptServer silent;
        silent.greeting.clear();
        const QString lines = WriteFile(QStringLiteral("lines.txt"), "l1\r\n");
        const QString loopback = QStringLiteral("127.0.0.1");
        QList<QStringList> rows;
        for (int i = 0; i < 6; ++i)
            rows.append({loopback, silent.PortText(), lines});
        const QString scenario = Scenario(rows);
        const Run run = RunProgram({"--batch", scenario, "--row-timeout", "0.25", "--quiet", "--junit", Path("report.xml")});
        QCOMPARE(run.exitCode, 1);
        const JUnit junit = ReadJUnit(Path("report.xml"));
        QCOMPARE(junit.times.size(), 6);
        for (double seconds : junit.times)
            QVERIFY2(seconds >= 0.25, qPrintable(QString::number(seconds)));
    }

    void aReportThatCannotBeWrittenAfterTheRowsRanHasItsOwnExitCode()
    {
        PromptServer good;
        good.greeting = good.answer = "ok\r\n> ";
        RegWriteString(QString::fromUtf8(kPromptKey), PromptValueName(1), QStringLiteral("> "));
        const QString scenario = Scenario({{QStringLiteral("127.0.0.1"), good.PortText(), WriteFile(QStringLiteral("l.txt"), "l1\r\n")}});
        const QString timings = Path(QStringLiteral("times.csv"));
        QFile::remove(timings);
        // A disk that fills up during the run: the report is refused after the row was sent.
        const Run run = RunProgram({"--batch", scenario, "--quiet", "--junit", "/dev/full", "--timings", timings});
        QCOMPARE(run.exitCode, 3);
        QCOMPARE(good.Lines(0), QList<QByteArray>{"l1"});
        QCOMPARE(run.err, QStringLiteral("quillnet: ﾌｧｲﾙに書き込めません: /dev/full: ﾃﾞｨｽｸの空き容量が不足しています。\n"));
        QVERIFY(FileBytes(timings).startsWith("row,line,bytes,response_ms,row_ms"));  // the other report is written
    }

    void usageAndFilesAreCheckedBeforeAnythingIsSent_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        QTest::newRow("--help") << QByteArray("help") << 0 << "--row-timeout";
        QTest::newRow("unknown option") << QByteArray("bogus") << 2 << "--bogus";
        QTest::newRow("broken prompt escape") << QByteArray("escape") << 2 << "--prompt";
        QTest::newRow("unreadable scenario") << QByteArray("no scenario") << 2 << "missing.csv";
        QTest::newRow("report in a missing folder") << QByteArray("no folder") << 2 << "nowhere";
        QTest::newRow("two reports, one path") << QByteArray("same path") << 2 << "same.xml";
        // A scenario with rows the run would pass over: the run must not pass.
        QTest::newRow("no row with an address") << QByteArray("empty") << 2 << "接続先ｱﾄﾞﾚｽのある行がありません";
        QTest::newRow("empty file") << QByteArray("raw:") << 0 << "scenario.csv";
        QTest::newRow("row after a blank row") << QByteArray("raw:\"a\",\"1\",\"f\",\r\n\r\n\"b\",\"1\",\"f\",\r\n") << 2 << "3行目は接続先ｱﾄﾞﾚｽのない行の後";
        QTest::newRow("stray quote") << QByteArray("raw:\"a\",\"1\",\"f,\r\n") << 2 << "1行目の \" が閉じていません";
        QTest::newRow("UTF-8 BOM") << QByteArray("raw:\xEF\xBB\xBF\"a\",\"1\",\"f\",\r\n") << 2 << "BOM";
        QTest::newRow("no code page 932") << QByteArray("raw:\"a\x81\x7F\",\"1\",\"f\",\r\n") << 2 << "1行目はｺｰﾄﾞﾍﾟｰｼﾞ932の文字ではありません";
        QTest::newRow("--ca with --insecure") << QByteArray("args:--insecure --ca /dev/null") << 2 << "--insecure";
        QTest::newRow("unreadable CA file") << QByteArray("args:--ca /nonexistent/ca.pem") << 2 << "/nonexistent/ca.pem";
        // A CA file that could only block or fail each row stops the run at the start.
        QDir().mkpath(Path("ca-folder"));
        ::mkfifo(QFile::encodeName(Path("ca.fifo")).constData(), 0600);
        QTest::newRow("CA: a folder") << "args:--ca " + QFile::encodeName(Path("ca-folder")) << 2 << "(ﾌｫﾙﾀﾞです)";
        QTest::newRow("CA: a FIFO") << "args:--ca " + QFile::encodeName(Path("ca.fifo")) << 2 << "(通常のﾌｧｲﾙではありません)";
        QTest::newRow("CA: a device") << QByteArray("args:--ca /dev/zero") << 2 << "(通常のﾌｧｲﾙではありません)";
        QTest::newRow("CA: a key") << "args:--ca " + QFile::encodeName(Certs().Key(QStringLiteral("dev"))) << 2 << "(証明書がありません)";
        QTest::newRow("unreadable passphrase file") << QByteArray("args:--key-pass-file /nonexistent/pass") << 2 << "/nonexistent/pass";
        QTest::newRow("past row 200") << "raw:" + QByteArray("\"a\",\"1\",\"f\",\r\n").repeated(201) << 2 << "200行目より後は読まれません";
    }
    void usageAndFilesAreCheckedBeforeAnythingIsSent()
    {
        QFETCH(QByteArray, kind);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        PromptServer server;
        QString scenario = Scenario({{QStringLiteral("127.0.0.1"), server.PortText(),
                                      WriteFile(QStringLiteral("f.txt"), "x\r\n")}});
        QStringList arguments{"--batch", scenario};
        if (kind == "help")
            arguments = QStringList{"--help"};
        else if (kind == "bogus")
            arguments << "--bogus";
        else if (kind == "escape")
            arguments << "--prompt" << "\\q";
        else if (kind == "no scenario")
            arguments[1] = Path("missing.csv");
        else if (kind == "no folder")
            arguments << "--junit" << Path("nowhere/report.xml");
        else if (kind == "same path")
            arguments << "--junit" << Path("same.xml") << "--timings" << Path("./same.xml");
        else if (kind == "empty")
            arguments[1] = Scenario({{QString(), server.PortText(), Path("f.txt")}});
        else if (kind.startsWith("raw:"))
            arguments[1] = WriteFile(QStringLiteral("scenario.csv"), kind.mid(4));
        else if (kind.startsWith("args:"))
            arguments << QString::fromUtf8(kind.mid(5)).split(QLatin1Char(' '));
        const Run run = RunProgram(arguments);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2((run.out + run.err).contains(says), qPrintable(run.out + run.err));
        QCOMPARE(server.ConnectionCount(), 0);
    }

    void anInterruptEndsARunBlockedInReadingItsScenario()
    {
        // A pipe whose writer never writes: the program waits in its first read.
        const QString fifo = Path(QStringLiteral("silent.pipe"));
        QFile::remove(fifo);
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const int writer = ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(writer >= 0);
        QProcess process;
        // The signal waits until the program has its handler, however early it is sent.
        process.setChildProcessModifier([] {
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, SIGINT);
            sigprocmask(SIG_BLOCK, &set, nullptr);
        });
        Start(process, {"--batch", fifo, "--quiet"});
        QVERIFY(process.waitForStarted(10000));
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(process.processId()), SIGINT);
        QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 20000);
        ::close(writer);
        QCOMPARE(process.exitCode(), 130);
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    }

    void anInterruptEndsTheRowInProgressAndWritesTheReports()
    {
        PromptServer silent;
        silent.greeting.clear();
        const QString lines = WriteFile(QStringLiteral("lines.txt"), "l1\r\n");
        const QString scenario =
            Scenario({{QStringLiteral("127.0.0.1"), silent.PortText(), lines}, {QStringLiteral("127.0.0.1"), silent.PortText(), lines}});
        QFile::remove(Path("results.csv"));
        QProcess process;
        Start(process, {"--batch", scenario, "--quiet", "--results", Path("results.csv"), "--junit", Path("report.xml")});
        QTRY_COMPARE_WITH_TIMEOUT(silent.ConnectionCount(), 1, 20000);
        ::kill(pid_t(process.processId()), SIGINT);
        QTRY_COMPARE_WITH_TIMEOUT(process.state(), QProcess::NotRunning, 20000);
        QCOMPARE(process.exitCode(), 130);
        QCOMPARE(process.readAllStandardError(), QByteArray());  // --quiet

        CBatchScenario results;
        QVERIFY(results.ReadCsv(Path("results.csv")));
        QCOMPARE(results.Cell(1, CBatchScenario::COL_RESULT), kAborted);
        QCOMPARE(results.Cell(2, CBatchScenario::COL_RESULT), QString());
        const JUnit junit = ReadJUnit(Path("report.xml"));
        QCOMPARE(junit.tests, 2);
        QCOMPARE(junit.failureTexts, QStringList{kAborted});
        QCOMPARE(silent.ConnectionCount(), 1);
    }
};

QTEST_GUILESS_MAIN(TestBatchCommand)
#include "tst_batchcommand.moc"
