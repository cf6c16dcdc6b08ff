// quillnet --batch --commands: the real executable, without a display, running sequences against a
// loopback peer, a client that comes to --listen, and a device on a pseudo-terminal.
#include "net/loopbackpeer.h"
#include "support/ptydevice.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray kFile =
    "name,key,action,form,data,checksum,ms,note\n"
    "hello,F1,send,text,PING\\r,,,\n"
    "hello,,expect,text,PONG,,2000,\n"
    "never,,send,text,X\\r,,,\n"
    "never,,expect,text,NEVER,,150,\n";

// Answers each CR with "PONG\r\n" on `handle` while the event loop runs.
void Answer(LoopbackPeer *peer, QSocketNotifier *notifier)
{
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [peer, notifier] {
        const QByteArray part = peer->ReadNow();
        if (part.isEmpty())
            notifier->setEnabled(false);
        peer->received += part;
        for (qsizetype i = 0; i < part.count('\r'); ++i)
            peer->Write("PONG\r\n");
    });
}

}  // namespace

class TestCommandsCommand : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sequencesRunHeadless_data()
    {
        QTest::addColumn<QString>("peer");  // tcp, refused, listen, pty, none
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QStringList>("junit");  // texts the report holds
        QTest::newRow("tcp: all held") << "tcp" << QStringList{"--run", "hello"} << 0 << QByteArray("PING\r")
                                       << QStringList{"tests=\"1\" failures=\"0\"", "name=\"hello\""};
        QTest::newRow("tcp: one fails, named by step and arrival")
            << "tcp" << QStringList{"--run", "hello,never"} << 1 << QByteArray("PING\rX\r")
            << QStringList{"tests=\"2\" failures=\"1\"", "「never」ｽﾃｯﾌﾟ2 expect text NEVER (150ms): 150ﾐﾘ秒以内に一致しませんでした。受信 6 ﾊﾞｲﾄ: 504F4E470D0A"};
        QTest::newRow("tcp: a checksum for every send") << "tcp" << QStringList{"--run", "hello", "--checksum", "SUM8"} << 0
                                                        << QByteArray("PING\r;") << QStringList{"failures=\"0\""};
        QTest::newRow("refused: every sequence fails") << "refused" << QStringList{"--run", "hello", "--run", "never"} << 1 << QByteArray()
                                                       << QStringList{"tests=\"2\" failures=\"2\"", "接続できません"};
        QTest::newRow("listen: the client that comes") << "listen" << QStringList{"--run", "hello"} << 0 << QByteArray("PING\r")
                                                       << QStringList{"failures=\"0\""};
        QTest::newRow("pty") << "pty" << QStringList{"--run", "hello"} << 0 << QByteArray("PING\r") << QStringList{"failures=\"0\""};
        QTest::newRow("unknown sequence: nothing sent") << "tcp" << QStringList{"--run", "hello,nope"} << 2 << QByteArray() << QStringList{};
        QTest::newRow("no address") << "none" << QStringList{"--run", "hello"} << 2 << QByteArray() << QStringList{};
        QTest::newRow("both --to and --listen") << "tcp" << QStringList{"--run", "hello", "--listen", "0"} << 2 << QByteArray() << QStringList{};
        QTest::newRow("not for sequences") << "tcp" << QStringList{"--run", "hello", "--prompt", "OK"} << 2 << QByteArray() << QStringList{};
    }
    void sequencesRunHeadless()
    {
        QFETCH(QString, peer);
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, sent);
        QFETCH(QStringList, junit);
        QTemporaryDir dir;
        const QString commands = dir.filePath(QStringLiteral("c.csv"));
        const QString report = dir.filePath(QStringLiteral("j.xml"));
        QFile file(commands);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kFile);
        file.close();

        LoopbackPeer listener;
        LoopbackPeer accepted;
        PtyDevice device;
        QStringList all{"--batch", "--commands", commands, "--junit", report, "--quiet"};
        if (peer == "tcp") {
            listener = LoopbackPeer::ListenTcp();
            all << "--to" << QStringLiteral("127.0.0.1:%1").arg(listener.Port());
        } else if (peer == "refused") {
            listener = LoopbackPeer::BindTcp();
            all << "--to" << QStringLiteral("127.0.0.1:%1").arg(listener.Port());
        } else if (peer == "listen") {
            all << "--listen" << "0";
        } else if (peer == "pty") {
            device.answer = "PONG\r\n";
            all << "--to" << device.Path() + ":115200";
        }
        all << arguments;

        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(environment);
        QSignalSpy finished(&process, &QProcess::finished);
        process.start(QStringLiteral(QN_EXECUTABLE), all);
        QString err;
        if (peer == "listen") {
            // The port the program got is on stderr, even with --quiet.
            const QRegularExpression port(QStringLiteral("ﾎﾟｰﾄ (\\d+)"));
            QTRY_VERIFY_WITH_TIMEOUT((err += QString::fromUtf8(process.readAllStandardError())).contains(port), 20000);
            accepted = LoopbackPeer::ConnectTcp(quint16(port.match(err).captured(1).toUInt()));
        } else if (peer == "tcp" && exitCode != 2) {
            accepted = listener.AcceptTcp(20000);
        }
        std::unique_ptr<QSocketNotifier> watch;
        if (accepted.IsValid()) {
            watch = std::make_unique<QSocketNotifier>(accepted.Handle(), QSocketNotifier::Read);
            Answer(&accepted, watch.get());
        }
        QVERIFY(finished.size() == 1 || finished.wait(30000));
        err += QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), exitCode);
        QCOMPARE(peer == "pty" ? device.received : accepted.received, sent);
        if (exitCode == 2) {
            QVERIFY2(err.startsWith(QStringLiteral("quillnet: ")), qPrintable(err));
            QVERIFY(!QFile::exists(report));
            return;
        }
        QFile xml(report);
        QVERIFY(xml.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(xml.readAll());
        for (const QString &expected : junit)
            QVERIFY2(text.contains(expected), qPrintable(text));
    }
};

QTEST_GUILESS_MAIN(TestCommandsCommand)
#include "tst_commandscommand.moc"
