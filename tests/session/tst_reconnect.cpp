// Reconnect by itself: the delays between attempts, a serial device replaced under the same path, a
// TCP client whose server stops and comes back, 切断 while waiting, and the setting in the dialogs.
#include "platform/ui/cqndialog.h"
#include "res/commandids.h"
#include "session/creconnectschedule.h"
#include "session/ui/cserialsettingdlg.h"
#include "session/ui/csocketsettingdlg.h"
#include "sessionharness.h"
#include "support/ptydevice.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// Points `link` at `target` in one step, a new link renamed over the old, as udev replaces a by-id link.
bool PointLink(const QString &link, const QString &target)
{
    const QString fresh = link + QStringLiteral(".new");
    QFile::remove(fresh);
    return QFile::link(target, fresh) && std::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(link).constData()) == 0;
}

void ConfigureClient(SessionHarness &h, quint16 port)
{
    h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(port), QString()}, CQnDoc::SLOT_CLIENT_ADDRESS);
    h.Doc().SetSlotString(CQnDoc::SLOT_CLIENT_RECONNECT, QStringLiteral("1"));
}

// Connects the TCP client to `server` and hands back the server's end.
QTcpSocket *ConnectClient(SessionHarness &h, QTcpServer &server)
{
    h.Command(ID_SOCKET_CONNECT);
    if (!QTest::qWaitFor([&] { return server.hasPendingConnections() && h.View()->State() == ST_CONNECTED; }, 5000))
        return nullptr;
    return server.nextPendingConnection();
}

}  // namespace

class TestReconnect : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void delaysDoubleUpToTheMostAndStartOverAfterAConnectionThatHeld_data()
    {
        QTest::addColumn<int>("firstMs");
        QTest::addColumn<int>("maxMs");
        QTest::addColumn<QString>("steps");  // n: the next delay, h/q: a connection that held / ended at once, r: stopped
        QTest::addColumn<QList<int>>("delays");
        QTest::newRow("TCP client") << 500 << 10000 << "nnnnnnn" << QList<int>{500, 1000, 2000, 4000, 8000, 10000, 10000};
        QTest::newRow("serial line: every second") << 1000 << 1000 << "nnn" << QList<int>{1000, 1000, 1000};
        QTest::newRow("a most that is no double") << 300 << 1000 << "nnnn" << QList<int>{300, 600, 1000, 1000};
        QTest::newRow("held: start over") << 500 << 10000 << "nnnhn" << QList<int>{500, 1000, 2000, 500};
        QTest::newRow("dropped at once: go on") << 500 << 10000 << "nnnqn" << QList<int>{500, 1000, 2000, 4000};
        QTest::newRow("stopped: start over") << 500 << 10000 << "nnrn" << QList<int>{500, 1000, 500};
    }
    void delaysDoubleUpToTheMostAndStartOverAfterAConnectionThatHeld()
    {
        QFETCH(int, firstMs);
        QFETCH(int, maxMs);
        QFETCH(QString, steps);
        QFETCH(QList<int>, delays);
        CReconnectSchedule schedule;
        schedule.Configure(firstMs, maxMs);
        QList<int> got;
        const CReconnectSchedule::Clock::time_point start;
        for (const QChar step : steps) {
            if (step == QLatin1Char('n'))
                got << schedule.NextDelayMs();
            if (step == QLatin1Char('h') || step == QLatin1Char('q')) {
                schedule.Connected(start);
                schedule.Ended(start + std::chrono::milliseconds(step == QLatin1Char('h') ? CReconnectSchedule::kHeldMs : 1000));
            }
            if (step == QLatin1Char('r'))
                schedule.Reset();
        }
        QCOMPARE(got, delays);
    }

    void aSerialDeviceReplacedUnderItsPathIsOpenedAgainAndEchoes()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("usb-Maker_Adapter_A1B2-if00-port0"));
        auto first = std::make_unique<PtyDevice>();
        QVERIFY(PointLink(link, first->Path()));
        SessionHarness h;
        h.Configure(TYPE_SERIAL, {link, QStringLiteral("115200")}, CQnDoc::SLOT_SERIAL_DEVICE);
        h.Doc().SetSlotString(CQnDoc::SLOT_SERIAL_RECONNECT, QStringLiteral("1"));
        h.Command(ID_LOOPBACK_ON);
        h.Command(ID_SOCKET_CONNECT);
        QCOMPARE(h.View()->State(), ST_CONNECTED_LOOPBACK);
        h.NewLogLines();

        first->PullOut();
        QTRY_VERIFY(h.View()->IsReconnectWaiting());
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
        QVERIFY(h.View()->ConnectionText().startsWith(QStringLiteral("再接続待ち  次の試行 ")));
        QVERIFY(h.View()->ConnectionText().endsWith(QStringLiteral("ﾃﾞﾊﾞｲｽ ") + link));
        QTRY_VERIFY(h.View()->ReconnectTries() >= 1);  // the device stays away for an attempt
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);

        first.reset();
        PtyDevice second;
        QVERIFY(PointLink(link, second.Path()));
        QTRY_COMPARE(h.View()->State(), ST_CONNECTED_LOOPBACK);
        second.Write("ping");
        QTRY_COMPARE(second.received, QByteArray("ping"));
        const QStringList lines = h.NewLogLines();
        QCOMPARE(lines.filter(QStringLiteral("再接続待ち開始: ﾃﾞﾊﾞｲｽ ")).size(), 1);
        QCOMPARE(lines.filter(QStringLiteral("再接続しました (試行 ")).size(), 1);
        QCOMPARE(lines.filter(QStringLiteral("見つかりません")).size(), 0);  // the attempts write nothing
        QCOMPARE(h.View()->Traffic().Reconnects(), 1);
        QVERIFY(!h.View()->IsReconnectWaiting());
    }

    void aTcpClientWhosePeerClosedComesBackWithLongerDelays()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        const quint16 port = server.serverPort();
        SessionHarness h;
        ConfigureClient(h, port);
        QTcpSocket *peer = ConnectClient(h, server);
        QVERIFY(peer);
        h.NewLogLines();

        QElapsedTimer clock;
        clock.start();
        server.close();
        peer->close();
        QTRY_VERIFY(h.View()->IsReconnectWaiting());
        QTRY_COMPARE(h.View()->ReconnectTries(), 2);
        // Attempts 0.5 s and 1 s apart: the second not before 1.5 s (timers may fire 5 % early).
        QVERIFY2(clock.elapsed() >= 1400, qPrintable(QString::number(clock.elapsed())));
        QTRY_VERIFY(h.View()->ConnectionText().contains(QStringLiteral("(試行 2 回)  接続先 127.0.0.1:%1").arg(port)));

        QVERIFY(server.listen(QHostAddress::LocalHost, port));
        QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), 10000);
        QTRY_COMPARE(h.View()->State(), ST_CONNECTED);
        QCOMPARE(h.View()->ReconnectTries(), 3);
        QTcpSocket *back = server.nextPendingConnection();
        back->write("hello");
        QTRY_COMPARE(h.HistoryLines().value(0), QStringLiteral("R 68656C6C6F"));
        const QStringList lines = h.NewLogLines();
        QCOMPARE(lines.filter(QStringLiteral("再接続待ち開始: 相手が切断しました")).size(), 1);
        QCOMPARE(lines.filter(QStringLiteral("再接続しました (試行 3 回)")).size(), 1);
        QCOMPARE(lines.filter(QStringLiteral("ﾏﾄﾘｸｽ 4 7")).size(), 0);  // attempts do not go through the matrix
        QCOMPARE(h.View()->Traffic().Reconnects(), 1);
    }

    void cutWhileWaitingEndsTheSeries_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("serial device pulled out") << QStringLiteral("serial");
        QTest::newRow("TCP client's peer closed") << QStringLiteral("closed");
        QTest::newRow("TCP client refused at the first connect") << QStringLiteral("refused");
    }
    void cutWhileWaitingEndsTheSeries()
    {
        QFETCH(QString, how);
        SessionHarness h;
        PtyDevice device;
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        if (how == QLatin1String("serial")) {
            h.Configure(TYPE_SERIAL, {device.Path()}, CQnDoc::SLOT_SERIAL_DEVICE);
            h.Doc().SetSlotString(CQnDoc::SLOT_SERIAL_RECONNECT, QStringLiteral("1"));
            h.Command(ID_SOCKET_CONNECT);
            device.PullOut();
        } else if (how == QLatin1String("closed")) {
            ConfigureClient(h, server.serverPort());
            QTcpSocket *peer = ConnectClient(h, server);
            QVERIFY(peer);
            server.close();
            peer->close();
        } else {
            const quint16 port = server.serverPort();
            server.close();
            ConfigureClient(h, port);
            h.Command(ID_SOCKET_CONNECT);
        }
        QTRY_VERIFY(h.View()->IsReconnectWaiting());
        QVERIFY(h.View()->IsCommandEnabled(ID_SOCKET_DISCONNECT));
        QVERIFY(!h.View()->IsCommandEnabled(ID_SOCKET_CONNECT));
        QVERIFY(!h.View()->IsCommandEnabled(ID_SOCKET_SETTING));
        h.NewLogLines();
        h.Command(ID_SOCKET_DISCONNECT);
        QVERIFY(!h.View()->IsReconnectWaiting());
        QCOMPARE(h.NewLogLines().filter(QStringLiteral("再接続待ち中止 (試行 ")).size(), 1);
        QVERIFY(h.View()->IsCommandEnabled(ID_SOCKET_CONNECT));
        QTRY_VERIFY(!h.View()->ConnectionText().startsWith(QStringLiteral("再接続待ち")));
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
    }

    void theSettingDialogsKeepTheChoiceInItsSlot_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("slot");
        QTest::addColumn<int>("box");  // the check box's control id
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("click");
        QTest::addColumn<QString>("expected");
        const int serial = CSerialSettingDlg::IDC_RECONNECT;
        const int client = CSocketSettingDlg::IDC_RECONNECT;
        QTest::newRow("serial: off to on") << int(TYPE_SERIAL) << int(CQnDoc::SLOT_SERIAL_RECONNECT) << serial << QString() << true << "1";
        QTest::newRow("serial: on kept") << int(TYPE_SERIAL) << int(CQnDoc::SLOT_SERIAL_RECONNECT) << serial << "1" << false << "1";
        QTest::newRow("TCP client: on to off") << int(TYPE_TCP_CLIENT) << int(CQnDoc::SLOT_CLIENT_RECONNECT) << client << "1" << true << QString();
        QTest::newRow("TCP client: off kept empty") << int(TYPE_TCP_CLIENT) << int(CQnDoc::SLOT_CLIENT_RECONNECT) << client << QString() << false
                                                    << QString();
    }
    void theSettingDialogsKeepTheChoiceInItsSlot()
    {
        QFETCH(int, type);
        QFETCH(int, slot);
        QFETCH(int, box);
        QFETCH(QString, stored);
        QFETCH(bool, click);
        QFETCH(QString, expected);
        SessionHarness h;
        h.Configure(type, {QStringLiteral("/dev/ttyS0")}, type == TYPE_SERIAL ? CQnDoc::SLOT_SERIAL_DEVICE : CQnDoc::SLOT_CLIENT_ADDRESS);
        h.Doc().SetSlotString(slot, stored);
        bool shown = false;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<CQnDialog *>(QApplication::activeModalWidget());
            auto *reconnect = dialog ? qobject_cast<QCheckBox *>(dialog->GetDlgItem(box)) : nullptr;
            if (reconnect) {
                shown = reconnect->isChecked() == (stored == QLatin1String("1"));
                if (click)
                    reconnect->click();
            }
            if (dialog)
                qobject_cast<QPushButton *>(dialog->GetDlgItem(IDOK))->click();
        });
        h.Command(ID_SOCKET_SETTING);
        QVERIFY(shown);
        QCOMPARE(h.Doc().GetSlotBytes(slot), expected.toLatin1());
    }
};

QTEST_MAIN(TestReconnect)
#include "tst_reconnect.moc"
