// A session over a serial line, the test playing the device on a pseudo-terminal pair: the labels
// and the pane, History lines, loopback echo and capture byte for byte, a reply rule, the device's
// departure, and a headless batch row over the line.
#include "batch/cbatchscenario.h"
#include "res/commandids.h"
#include "session/creplyruletable.h"
#include "sessionharness.h"
#include "support/ptydevice.h"
#include "support/sessionprobe.h"
#include "support/unprivileged.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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
