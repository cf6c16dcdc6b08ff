// The real executable starts under the offscreen platform and quits cleanly when asked to stop,
// saving its window placement on the way out.
#include "platform/cinifile.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestStartup : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startsAndQuitsCleanlyOnSigterm()
    {
        QTemporaryDir config;
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        process.setProcessEnvironment(env);
        // Block SIGTERM in the child until the program has installed its handler: a signal sent
        // early then waits instead of killing the process.
        process.setChildProcessModifier([] {
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, SIGTERM);
            sigprocmask(SIG_BLOCK, &set, nullptr);
        });
        process.start(QStringLiteral(QN_EXECUTABLE), QStringList{});
        QVERIFY(process.waitForStarted(10000));
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY2(!process.readAllStandardError().contains("QWidget"), "no widget warnings at start");

        const CIniFile profile(config.filePath(QStringLiteral("Quillnet/Quillnet.ini")));
        const QString section = QStringLiteral("Window size");
        QCOMPARE(profile.GetString(section, QStringLiteral("Rect"), {}), QStringLiteral("   0    0  500  140 "));
        QCOMPARE(profile.GetString(section, QStringLiteral("icon"), {}), QStringLiteral("0"));
        QCOMPARE(profile.GetString(section, QStringLiteral("max"), {}), QStringLiteral("0"));
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
