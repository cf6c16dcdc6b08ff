// The serial endpoint on pseudo-terminal pairs, the test playing the device: telegrams cut as set,
// the line's settings, sends that go out whole, and the failures a user meets (a device pulled out:
// tests/session/tst_serialsession.cpp).
#include "net/cserialport.h"
#include "recordingwnd.h"
#include "support/ptydevice.h"

#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The endpoint with the view it tells: each receive notice is received at once, as the view does.
struct Endpoint
{
    Endpoint()
    {
        view.onMessage = [this](const RecordingWnd::Message &message) {
            if (message.message != WM_SESSION_EVENT || message.wParam != EV_RECEIVE)
                return;
            QByteArray buffer(QN_MAX_RECEIVE, '\0');
            buffer.truncate(port.Receive(buffer.data(), QN_MAX_RECEIVE));
            telegrams.append(buffer);
        };
    }
    bool Open(const QStringList &settings)
    {
        QString logText;
        return port.Open(settings, &logText);
    }
    QByteArray Bytes() const { return telegrams.join(); }
    RecordingWnd view;
    CSerialPort port{&view, view.LogBuf()};
    QList<QByteArray> telegrams;
};

}  // namespace

class TestSerialPort : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void telegramsEndAsSet_data()
    {
        QTest::addColumn<QString>("end");
        QTest::addColumn<QByteArrayList>("writes");  // each once the telegrams of the one before are in
        QTest::addColumn<QList<int>>("after");       // telegrams in after each write
        QTest::addColumn<QByteArrayList>("telegrams");
        QTest::newRow("each read") << QString() << QByteArrayList{"abc", "de"} << QList<int>{1, 2} << QByteArrayList{"abc", "de"};
        QTest::newRow("end byte, a rest waits for its end") << QStringLiteral("byte:0D") << QByteArrayList{"ab\rcd\ref", "\r"}
                                                         << QList<int>{2, 3} << QByteArrayList{"ab\r", "cd\r", "ef\r"};
        QTest::newRow("gap joins what comes close") << QStringLiteral("gap:300") << QByteArrayList{"abcd", "ef"}
                                                    << QList<int>{1, 2} << QByteArrayList{"abcd", "ef"};
    }
    void telegramsEndAsSet()
    {
        QFETCH(QString, end);
        QFETCH(QByteArrayList, writes);
        QFETCH(QList<int>, after);
        QFETCH(QByteArrayList, telegrams);
        PtyDevice device;
        Endpoint endpoint;
        QVERIFY(endpoint.Open({device.Path(), QString(), QString(), QString(), end}));
        for (qsizetype i = 0; i < writes.size(); ++i) {
            device.Write(writes[i]);
            QTRY_COMPARE(endpoint.telegrams.size(), after[i]);
        }
        QCOMPARE(endpoint.telegrams, telegrams);
    }

    void theLineTakesTheSettings_data()
    {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<speed_t>("speed");
        QTest::addColumn<tcflag_t>("set");
        QTest::addColumn<tcflag_t>("clear");
        QTest::addColumn<QString>("line");  // as the pane shows it
        // A pseudo-terminal keeps the speed, the stop bits and the flow control it is given, but always
        // carries 8 bits without parity: the frame shows in the pane alone.
        QTest::newRow("empty slots: 9600 8N1") << QStringList{QString()} << speed_t(B9600) << tcflag_t(CREAD | CLOCAL)
                                               << tcflag_t(CSTOPB | CRTSCTS) << QStringLiteral("9600 8N1");
        QTest::newRow("7E2 RTS/CTS") << QStringList{QString(), QStringLiteral("57600"), QStringLiteral("7E2"), QStringLiteral("rtscts")}
                                     << speed_t(B57600) << tcflag_t(CSTOPB | CRTSCTS) << tcflag_t(0)
                                     << QStringLiteral("57600 7E2 RTS/CTS");
        QTest::newRow("3,000,000 baud 8O1") << QStringList{QString(), QStringLiteral("3000000"), QStringLiteral("8o1")}
                                            << speed_t(B3000000) << tcflag_t(0) << tcflag_t(CSTOPB | CRTSCTS)
                                            << QStringLiteral("3000000 8O1");
        // A baud without a constant of its own goes through the kernel's other-rate interface.
        QTest::newRow("250,000 baud") << QStringList{QString(), QStringLiteral("250000")} << speed_t(0010000) /* BOTHER */ << tcflag_t(0)
                                      << tcflag_t(CSTOPB) << QStringLiteral("250000 8N1");
    }
    void theLineTakesTheSettings()
    {
        QFETCH(QStringList, settings);
        QFETCH(speed_t, speed);
        QFETCH(tcflag_t, set);
        QFETCH(tcflag_t, clear);
        QFETCH(QString, line);
        PtyDevice device;
        Endpoint endpoint;
        settings[0] = device.Path();
        QVERIFY(endpoint.Open(settings));
        QVERIFY(device.IsOpenedRaw());
        const int handle = ::open(device.Path().toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        termios mode{};
        const bool read = handle >= 0 && ::tcgetattr(handle, &mode) == 0;
        if (handle >= 0)
            ::close(handle);
        QVERIFY(read);
        QCOMPARE(::cfgetispeed(&mode), speed);
        QCOMPARE(mode.c_cflag & set, set);
        QCOMPARE(mode.c_cflag & clear, tcflag_t(0));
        QCOMPARE(endpoint.port.Describe().text, QStringLiteral("ｼﾘｱﾙ ") + device.Path() + QLatin1Char(' ') + line);
    }

    void aLongSendGoesOutWholeAndInOrder()
    {
        PtyDevice device;
        Endpoint endpoint;
        QVERIFY(endpoint.Open({device.Path()}));
        // Far more than the line holds: the rest waits and goes out as the device reads.
        QByteArray telegram(4 * 1024 * 1024, '\0');
        for (qsizetype i = 0; i < telegram.size(); ++i)
            telegram[i] = char((i * 7 + i / 251) & 0xFF);
        QVERIFY(endpoint.port.Send(telegram.constData(), int(telegram.size())));
        QVERIFY(endpoint.port.Send("end", 3));
        QTRY_COMPARE_WITH_TIMEOUT(device.received.size(), telegram.size() + 3, 20000);
        QVERIFY(device.received == telegram + "end");
    }

    void anOpenThatFailsSaysWhyAndTheFix_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("text");
        QTest::newRow("no device set") << QString() << QString() << QStringLiteral("ﾃﾞﾊﾞｲｽが設定されていません。ｿｹｯﾄ設定でﾃﾞﾊﾞｲｽを選んでください。");
        QTest::newRow("no such device") << QStringLiteral("/dev/quillnet-no-such-tty") << QString()
                                        << QStringLiteral("ﾃﾞﾊﾞｲｽ /dev/quillnet-no-such-tty が見つかりません。ｹｰﾌﾞﾙとｱﾀﾞﾌﾟﾀの接続、ﾃﾞﾊﾞｲｽ名を確認してください。");
        QTest::newRow("not a terminal") << QStringLiteral("/dev/null") << QString()
                                        << QStringLiteral("/dev/null はｼﾘｱﾙﾃﾞﾊﾞｲｽではありません。ﾃﾞﾊﾞｲｽ名を確認してください。");
        QTest::newRow("held by another") << QStringLiteral("busy") << QString() << QStringLiteral("は他のﾌﾟﾛｸﾞﾗﾑが使用中です。そのﾌﾟﾛｸﾞﾗﾑを終了してから接続してください。");
        QTest::newRow("no frame") << QStringLiteral("pty") << QStringLiteral("9X1")
                                  << QStringLiteral("ﾌﾚｰﾑ \"9X1\" はﾃﾞｰﾀﾋﾞｯﾄ 5-8、ﾊﾟﾘﾃｨ N/O/E/M/S、ｽﾄｯﾌﾟﾋﾞｯﾄ 1/1.5/2 の形 (例 8N1) ではありません");
    }
    void anOpenThatFailsSaysWhyAndTheFix()
    {
        QFETCH(QString, device);
        QFETCH(QString, frame);
        QFETCH(QString, text);
        PtyDevice pty;
        Endpoint holder;
        if (device == QStringLiteral("busy")) {
            QVERIFY(holder.Open({pty.Path()}));
            text = QStringLiteral("ﾃﾞﾊﾞｲｽ ") + pty.Path() + QLatin1Char(' ') + text;
        }
        if (device == QStringLiteral("busy") || device == QStringLiteral("pty"))
            device = pty.Path();
        Endpoint endpoint;
        QVERIFY(!endpoint.Open({device, QString(), frame}));
        QCOMPARE(endpoint.port.LastFailure().text, text);
        QCOMPARE(endpoint.view.lines.filter(QStringLiteral("*** ")), QStringList{QStringLiteral("*** ") + text + QStringLiteral("[CSerialPort]")});
    }

    void theFixForAMissingPermissionNamesTheGroup()
    {
        // The program runs as root here, which every device admits: the words alone.
        QCOMPARE(CSerialPort::OpenFailureText(CSerialLine::STEP_OPEN, EACCES, QStringLiteral("/dev/ttyUSB0"), QStringLiteral("dialout")),
                 QStringLiteral("ﾃﾞﾊﾞｲｽ /dev/ttyUSB0 を開く権限がありません。ｸﾞﾙｰﾌﾟ dialout に加わってください (sudo usermod -aG dialout ﾕｰｻﾞｰ名 の後、ﾛｸﾞｲﾝし直す)。"));
    }
};

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
