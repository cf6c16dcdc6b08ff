// A session over a serial line, the test playing the device on a pseudo-terminal pair: the labels
// and the pane, History lines, loopback echo and capture byte for byte, a reply rule, the device's
// departure, and a headless batch row over the line.
#include "batch/cbatchscenario.h"
#include "res/commandids.h"
#include "session/ccommandsfile.h"
#include "session/creplyruletable.h"
#include "session/csequencerunner.h"
#include "sessionharness.h"
#include "support/fakeserialcontrol.h"
#include "support/ptydevice.h"
#include "support/sessionprobe.h"
#include "support/unprivileged.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

void ConfigureSerial(SessionHarness &h, const PtyDevice &device, const QString &end = QString())
{
    h.Configure(TYPE_SERIAL, {device.Path(), QStringLiteral("115200"), QString(), QString(), end}, CQnDoc::SLOT_SERIAL_DEVICE);
}

}  // namespace

class TestSerialSession : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void aDevicesTelegramsReachTheHistoryAndTheEchoAndCaptureAreExact()
    {
        PtyDevice device;
        SessionHarness h;
        ConfigureSerial(h, device, QStringLiteral("byte:0D"));
        QCOMPARE(SessionProbe::TypeLabel(h.View()).Text(), QStringLiteral("       ｼﾘｱﾙ"));
        const QString capture = SessionHarness::TempPath(QStringLiteral("serial-capture.bin"));
        h.Prompts().fileNames.enqueue(capture);
        h.Command(ID_CAPTURE_START);
        h.Command(ID_SOCKET_CONNECT);
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        QTRY_COMPARE(h.View()->ConnectionText(), QStringLiteral("ｼﾘｱﾙ %1 115200 8N1").arg(device.Path()));
        QVERIFY(h.LogLines().contains(QStringLiteral("ｿｹｯﾄ接続  ﾃﾞﾊﾞｲｽ:%1 115200 8N1 [CQnView]").arg(device.Path())));

        device.Write("OK\r");
        QTRY_COMPARE(h.HistoryLines(), QStringList{QStringLiteral("R 4F4B0D")});

        // Every byte value, many times over, echoed and captured exactly.
        h.Command(ID_LOOPBACK_ON);
        QByteArray stream;
        for (int i = 0; i < 64 * 1024; ++i)
            stream.append(char(i * 31 % 256 == 13 ? 14 : i * 31 % 256));
        stream.append('\r');
        device.Write(stream);
        QTRY_COMPARE_WITH_TIMEOUT(device.received.size(), stream.size(), 20000);
        QVERIFY(device.received == stream);
        h.Command(ID_CAPTURE_STOP);
        QFile file(capture);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() == "OK\r" + stream);
    }

    void aReplyRuleAnswersTheDevice()
    {
        PtyDevice device;
        SessionHarness h;
        ConfigureSerial(h, device, QStringLiteral("byte:0D"));
        CReplyRule rule;
        rule.kind = CReplyRule::KindEquals;
        rule.matchText = rule.replyText = true;
        rule.match = QStringLiteral("STAT?\\r");
        rule.reply = QStringLiteral("READY\\r");
        CReplyRuleTable table;
        table.use = true;
        table.rules = {rule};
        h.View()->SetReplyRules(table);
        h.Command(ID_SOCKET_CONNECT);
        device.Write("STAT?\r");
        QTRY_COMPARE(device.received, QByteArray("READY\r"));
    }

    void aDevicePulledOutDisconnectsWithOneLineAndKeepsWhatCame()
    {
        PtyDevice device;
        SessionHarness h;
        ConfigureSerial(h, device);
        h.Command(ID_SOCKET_CONNECT);
        device.Write("last");
        QTRY_COMPARE(h.HistoryLines(), QStringList{QStringLiteral("R 6C617374")});
        h.NewLogLines();
        device.PullOut();
        QTRY_COMPARE(h.View()->State(), ST_DISCONNECTED);
        const QStringList lines = h.NewLogLines();
        QCOMPARE(lines.filter(QStringLiteral("との接続が切れました")).size(), 1);
        QCOMPARE(lines.filter(QStringLiteral("ｿｹｯﾄ切断")).size(), 1);
        QCOMPARE(h.HistoryLines(), QStringList{QStringLiteral("R 6C617374")});
        // The pane says what happened rather than going blank.
        QTRY_COMPARE(h.View()->ConnectionText(),
                     QStringLiteral("ﾃﾞﾊﾞｲｽ %1 との接続が切れました (ｴﾗｰ 5)。ｹｰﾌﾞﾙとｱﾀﾞﾌﾟﾀを確認してください。").arg(device.Path()));
        // The next connect finds the device gone and says so.
        h.Command(ID_SOCKET_CONNECT);
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
        QTRY_VERIFY(h.View()->ConnectionText().startsWith(QStringLiteral("接続できません: ")));
    }

    // The menu's DTR, RTS and ﾌﾞﾚｰｸ送信 over a driver with modem lines; every change of a line, the
    // device's and this side's, is an M line of the History between the telegrams, and lights its lamp.
    void lineControlsAndModemLinesOverADriverThatHasThem()
    {
        FakeSerialControl driver;
        PtyDevice device;
        SessionHarness h;
        ConfigureSerial(h, device);
        for (int id : {ID_LINE_DTR, ID_LINE_RTS, ID_LINE_BREAK})
            QVERIFY(!h.View()->IsCommandEnabled(id));  // only while a serial line is connected
        for (int i = 0; i < CEndpoint::kModemLineCount; ++i)
            QVERIFY(h.View()->LineLamp(i).isVisibleTo(h.View()));
        h.Command(ID_SOCKET_CONNECT);
        QVERIFY(h.View()->IsCommandEnabled(ID_LINE_BREAK));
        QVERIFY(h.View()->IsCommandChecked(ID_LINE_DTR) && h.View()->IsCommandChecked(ID_LINE_RTS));
        device.Write("A");
        QTRY_COMPARE(h.HistoryLines().size(), 1);
        driver.SetInputs(TIOCM_CTS);
        QTRY_COMPARE(h.HistoryLines().size(), 2);
        h.Command(ID_LINE_DTR);
        QVERIFY(!h.View()->IsCommandChecked(ID_LINE_DTR));
        QCOMPARE(driver.Lines() & TIOCM_DTR, 0);
        device.Write("B");
        QTRY_COMPARE(h.HistoryLines(), (QStringList{"R 41", "M CTS 1", "M DTR 0", "R 42"}));
        QCOMPARE(h.View()->LineLamp(2).Color(), COLORREF(0x00FF00));  // CTS
        QCOMPARE(h.View()->LineLamp(0).Color(), COLORREF(0x808080));  // DTR
        h.Command(ID_LINE_BREAK);
        QTRY_COMPARE(driver.breaks.size(), 2);
        QVERIFY(h.LogLines().contains(QStringLiteral("DTR ｵﾌ [CQnView]")));
        QVERIFY(h.LogLines().contains(QStringLiteral("ﾌﾞﾚｰｸ送信 250ms [CQnView]")));
        // A sequence of the commands file drives the same lines.
        CSequenceRunner runner;
        runner.SetLineControl([&h](CCommandStep::Action action, int value, int *lastsMs, QString *why) {
            return h.View()->ControlLine(action, value, lastsMs, why);
        });
        CCommandsFile commands;
        QString error;
        QVERIFY2(commands.Parse("name,key,action,form,data,checksum,ms,note\nreset,,dtr,,1\nreset,,break,,,,30,\nreset,,rts,,0\n", &error), qPrintable(error));
        QSignalSpy finished(&runner, &CSequenceRunner::Finished);
        QVERIFY(runner.Start(commands.Sequences()[0], 1));
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(finished[0][0].toInt(), int(CSequenceRunner::Passed));
        QCOMPARE(h.HistoryLines().mid(4), (QStringList{"M DTR 1", "M RTS 0"}));
        QCOMPARE(driver.breaks.size(), 4);
        // The whole break had passed before the next step.
        h.Command(ID_SOCKET_DISCONNECT);
        QCOMPARE(h.View()->LineLamp(2).Color(), COLORREF(0x808080));
    }

    void aPseudoTerminalRefusesLineControlsWithAMessage()
    {
        PtyDevice device;
        SessionHarness h;
        ConfigureSerial(h, device);
        h.Command(ID_SOCKET_CONNECT);
        h.Command(ID_LINE_DTR);
        h.Command(ID_LINE_BREAK);
        QCOMPARE(h.Prompts().MessageTexts(),
                 (QStringList{QStringLiteral("ﾃﾞﾊﾞｲｽ %1 には制御線がありません (DTR/RTS を変更できません)。").arg(device.Path()),
                              QStringLiteral("ﾃﾞﾊﾞｲｽ %1 にはﾌﾞﾚｰｸ信号がありません (疑似端末などﾓﾃﾞﾑ制御線のないﾃﾞﾊﾞｲｽ)。").arg(device.Path())}));
        QVERIFY(h.HistoryLines().isEmpty());
    }

    void headlessBatchRowsRunOneAfterAnotherOverTheSerialLine()
    {
        // As an ordinary user, whom a line left barred by the row before would refuse.
        PtyDevice device;
        if (::geteuid() == 0)
            QVERIFY(device.SetOwner(kUnprivilegedUid, gid_t(-1), 0600));
        device.greeting = "> ";
        device.greetEachOpen = true;
        device.answer = "ok\r\n> ";
        // The program, its files and its settings in a folder the ordinary user can reach, wherever
        // this build lies.
        QTemporaryDir place;
        QVERIFY(place.isValid());
        QVERIFY(QFile::setPermissions(place.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                                        | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        const QString program = place.filePath(QStringLiteral("quillnet"));
        QVERIFY(QFile::copy(QStringLiteral(QN_EXECUTABLE), program));
        const QString config = place.filePath(QStringLiteral("config"));
        QVERIFY(QDir().mkdir(config));
        if (::geteuid() == 0)
            QCOMPARE(::chown(QFile::encodeName(config).constData(), kUnprivilegedUid, gid_t(-1)), 0);
        const QString lines = place.filePath(QStringLiteral("serial-lines.txt"));
        QFile file(lines);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("*IDN?\r\nMEAS?\r\n");
        file.close();
        CBatchScenario rows;
        for (const int row : {1, 2}) {
            rows.SetCell(row, CBatchScenario::COL_ADDRESS, device.Path());
            rows.SetCell(row, CBatchScenario::COL_PORT, QStringLiteral("115200"));
            rows.SetCell(row, CBatchScenario::COL_FILE, lines);
        }
        const QString scenario = place.filePath(QStringLiteral("serial-scenario.csv"));
        QVERIFY(rows.WriteCsv(scenario));
        QProcess process;
        QSignalSpy finished(&process, &QProcess::finished);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        process.setProcessEnvironment(environment);
        process.setChildProcessModifier([] {
            if (!DropToUnprivileged())
                ::_exit(77);
        });
        process.start(program, {QStringLiteral("--batch"), scenario, QStringLiteral("--row-timeout"), QStringLiteral("10")});
        QVERIFY(finished.wait(30000));
        if (process.exitCode() == 77)
            QSKIP("could not run as an ordinary user");
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(device.Lines(), (QList<QByteArray>{"*IDN?", "MEAS?", "*IDN?", "MEAS?"}));
        QVERIFY(!device.IsExclusive());  // nor is it barred after the program's end
    }
};

QTEST_MAIN(TestSerialSession)
#include "tst_serialsession.moc"
