// The serial endpoint on pseudo-terminal pairs, the test playing the device: telegrams cut as set,
// the line's settings, sends that go out whole, an echo held back at its bound, a line left free for
// others once closed, and the failures a user meets (a device pulled out:
// tests/session/tst_serialsession.cpp).
#include "net/cserialport.h"
#include "recordingwnd.h"
#include "support/fakeserialcontrol.h"
#include "support/ptydevice.h"
#include "support/unprivileged.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

#include <bitset>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <optional>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The endpoint with the view it tells: each receive notice is received at once, as the view does,
// and with `echo` sent back as loopback does.
struct Endpoint
{
    explicit Endpoint(qsizetype maxQueued = CSerialPort::kMaxQueued) : port(&view, view.LogBuf(), maxQueued)
    {
        view.onMessage = [this](const RecordingWnd::Message &message) {
            if (message.message != WM_SESSION_EVENT || message.wParam != EV_RECEIVE)
                return;
            const int count = port.Receive(buffer.data(), QN_MAX_RECEIVE);
            telegrams.append(buffer.first(count));
            if (echo && count > 0 && !port.Send(buffer.constData(), count))
                ++refused;
        };
    }
    bool Open(const QStringList &settings)
    {
        QString logText;
        return port.Open(settings, &logText);
    }
    QByteArray Bytes() const { return telegrams.join(); }
    RecordingWnd view;
    CSerialPort port;
    QByteArray buffer = QByteArray(QN_MAX_RECEIVE, '\0');
    QList<QByteArray> telegrams;
    bool echo = false;
    int refused = 0;
};

// The program's end of the line given to the ordinary user the test's checks run as.
bool HandToUnprivileged(PtyDevice &device)
{
    return ::geteuid() != 0 || device.SetOwner(kUnprivilegedUid, gid_t(-1), 0600);
}

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

    void anEchoPastTheSendBoundIsHeldBackAndStaysWhole()
    {
        // A small bound keeps the test short; the hold works alike at the default.
        const qsizetype bound = 4 * QN_MAX_RECEIVE;
        PtyDevice device;
        Endpoint endpoint(bound);
        endpoint.echo = true;
        QVERIFY(endpoint.Open({device.Path()}));
        QByteArray stream(3 * bound, '\0');
        for (qsizetype i = 0; i < stream.size(); ++i)
            stream[i] = char((i * 13 + i / 4093) & 0xFF);
        // The device writes without reading until the line holds it back: three rounds in a row in
        // which it can write nothing and the echo waiting does not change.
        device.SetReading(false);
        qsizetype written = 0;
        qsizetype queued = -1;
        int still = 0;
        QDeadlineTimer deadline(30000);
        while (still < 3 && written < stream.size() && !deadline.hasExpired()) {
            const qsizetype now = device.WriteSome(QByteArrayView(stream).sliced(written));
            written += now;
            QTest::qWait(20);
            const qsizetype queuedNow = endpoint.port.ReadGauges().sendQueued;
            still = now == 0 && queuedNow == queued && queuedNow > bound / 2 ? still + 1 : 0;
            queued = queuedNow;
        }
        QCOMPARE(endpoint.refused, 0);
        QVERIFY2(written < stream.size(), "the device was not held back");
        QVERIFY(queued <= bound);
        // Then it reads all back while it writes the rest.
        device.SetReading(true);
        while (device.received.size() < stream.size() && !deadline.hasExpired()) {
            written += device.WriteSome(QByteArrayView(stream).sliced(written));
            QTest::qWait(2);
        }
        QCOMPARE(endpoint.refused, 0);
        QCOMPARE(device.received.size(), stream.size());
        QVERIFY(device.received == stream);
    }

    void whatWaitsAtCloseIsDroppedWithItsCount()
    {
        PtyDevice device;
        Endpoint endpoint;
        QVERIFY(endpoint.Open({device.Path()}));
        device.SetReading(false);
        const QByteArray telegram(2 * 1024 * 1024, 'x');
        QVERIFY(endpoint.port.Send(telegram.constData(), int(telegram.size())));
        const qsizetype waiting = endpoint.port.ReadGauges().sendQueued;
        QVERIFY(waiting > 0);
        endpoint.port.Close();
        QCOMPARE(endpoint.view.lines.filter(QStringLiteral("破棄")),
                 QStringList{QStringLiteral("+++ 送信待ちの %1 ﾊﾞｲﾄを送信せずに破棄しました[CSerialPort]").arg(waiting)});
        // A refused send says so to its caller.
        QVERIFY(!endpoint.port.Send("x", 1));
    }

    void anOpenThatFailsSaysWhyAndTheFix_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<QString>("text");
        QTest::newRow("no device set") << QString() << QString() << QString() << QStringLiteral("ﾃﾞﾊﾞｲｽが設定されていません。ｿｹｯﾄ設定でﾃﾞﾊﾞｲｽを選んでください。");
        QTest::newRow("no such device") << QStringLiteral("/dev/quillnet-no-such-tty") << QString() << QString()
                                        << QStringLiteral("ﾃﾞﾊﾞｲｽ /dev/quillnet-no-such-tty が見つかりません。ｹｰﾌﾞﾙとｱﾀﾞﾌﾟﾀの接続、ﾃﾞﾊﾞｲｽ名を確認してください。");
        QTest::newRow("not a terminal") << QStringLiteral("/dev/null") << QString() << QString()
                                        << QStringLiteral("/dev/null はｼﾘｱﾙﾃﾞﾊﾞｲｽではありません。ﾃﾞﾊﾞｲｽ名を確認してください。");
        QTest::newRow("a folder: the cause in Japanese") << QStringLiteral("/") << QString() << QString()
                                                         << QStringLiteral("ﾃﾞﾊﾞｲｽ / を開けません (ｴﾗｰ 21: ﾌｫﾙﾀﾞです)。");
        QTest::newRow("held by another") << QStringLiteral("busy") << QString() << QString() << QStringLiteral("は他のﾌﾟﾛｸﾞﾗﾑが使用中です。そのﾌﾟﾛｸﾞﾗﾑを終了してから接続してください。");
        QTest::newRow("no frame") << QStringLiteral("pty") << QString() << QStringLiteral("9X1")
                                  << QStringLiteral("ﾌﾚｰﾑ \"9X1\" はﾃﾞｰﾀﾋﾞｯﾄ 5-8、ﾊﾟﾘﾃｨ N/O/E/M/S、ｽﾄｯﾌﾟﾋﾞｯﾄ 1/1.5/2 の形 (例 8N1) ではありません");
        // The line would send two stop bits: 1.5 come only after five data bits.
        QTest::newRow("1.5 stop bits after 8 data bits") << QStringLiteral("pty") << QString() << QStringLiteral("8N1.5")
                                                         << QStringLiteral("ﾌﾚｰﾑ \"8N1.5\" のｽﾄｯﾌﾟﾋﾞｯﾄ 1.5 はﾃﾞｰﾀﾋﾞｯﾄ 5 のときだけ使えます");
        QTest::newRow("baud 0") << QStringLiteral("pty") << QStringLiteral("0") << QString()
                                << QStringLiteral("ﾎﾞｰﾚｰﾄ \"0\" は正の数でなければなりません");
        QTest::newRow("baud -1") << QStringLiteral("pty") << QStringLiteral("-1") << QString()
                                 << QStringLiteral("ﾎﾞｰﾚｰﾄ \"-1\" は正の数でなければなりません");
        QTest::newRow("baud no number") << QStringLiteral("pty") << QStringLiteral("fast") << QString()
                                        << QStringLiteral("ﾎﾞｰﾚｰﾄ \"fast\" は数値ではありません");
    }
    void anOpenThatFailsSaysWhyAndTheFix()
    {
        QFETCH(QString, device);
        QFETCH(QString, baud);
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
        QVERIFY(!endpoint.Open({device, baud, frame}));
        QCOMPARE(endpoint.port.LastFailure().text, text);
        QCOMPARE(endpoint.view.lines.filter(QStringLiteral("*** ")), QStringList{QStringLiteral("*** ") + text + QStringLiteral("[CSerialPort]")});
    }

    void theFixForAMissingPermissionNamesAGroupOnlyWhereItHelps_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("text");  // %1 the device, %2 its group
        QTest::newRow("the group reads and writes: join it") << 0660
            << QStringLiteral("ﾃﾞﾊﾞｲｽ %1 を開く権限がありません。ｸﾞﾙｰﾌﾟ %2 に加わってください (sudo usermod -aG %2 ﾕｰｻﾞｰ名 の後、ﾛｸﾞｲﾝし直す)。");
        QTest::newRow("the group only writes (a terminal): the owner") << 0620
            << QStringLiteral("ﾃﾞﾊﾞｲｽ %1 を開く権限がありません。所有者は root、ｸﾞﾙｰﾌﾟ %2 には読み書きの権限がありません。管理者に権限を確かめてください。");
        QTest::newRow("the group has no access: the owner") << 0600
            << QStringLiteral("ﾃﾞﾊﾞｲｽ %1 を開く権限がありません。所有者は root、ｸﾞﾙｰﾌﾟ %2 には読み書きの権限がありません。管理者に権限を確かめてください。");
    }
    void theFixForAMissingPermissionNamesAGroupOnlyWhereItHelps()
    {
        QFETCH(int, mode);
        QFETCH(QString, text);
        if (::geteuid() != 0)
            QSKIP("giving the device to root and a group needs root");
        const group *tty = ::getgrnam("tty");
        if (!tty)
            QSKIP("no group tty");
        PtyDevice device;
        QVERIFY(device.SetOwner(0, tty->gr_gid, mode_t(mode)));
        text = text.arg(device.Path(), QString::fromLocal8Bit(tty->gr_name));
        const std::optional<bool> same = RunUnprivileged([&] {
            Endpoint endpoint;
            const bool opened = endpoint.Open({device.Path()});
            if (opened || endpoint.port.LastFailure().text != text)
                std::fprintf(stderr, "%s\n", qPrintable(endpoint.port.LastFailure().text));
            return !opened && endpoint.port.LastFailure().text == text;
        });
        if (!same)
            QSKIP("could not run as an ordinary user");
        QVERIFY(*same);
    }

    void theLineIsFreeForOthersOnceClosed_data()
    {
        QTest::addColumn<bool>("close");
        QTest::newRow("open: others are kept out") << false;
        QTest::newRow("closed: others open it") << true;
    }
    void theLineIsFreeForOthersOnceClosed()
    {
        QFETCH(bool, close);
        // As an ordinary user: root opens a barred terminal all the same.
        PtyDevice device;
        QVERIFY(HandToUnprivileged(device));
        const QByteArray path = QFile::encodeName(device.Path());
        const std::optional<bool> asExpected = RunUnprivileged([&] {
            CSerialSettings settings;
            settings.device = device.Path();
            CSerialLine line;
            if (!line.Open(settings))
                return false;
            if (close)
                line.Close();
            const int other = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            if (other >= 0)
                ::close(other);
            // And this program opens it again.
            return (other >= 0) == close && (!close || line.Open(settings));
        });
        if (!asExpected)
            QSKIP("could not run as an ordinary user");
        QVERIFY(*asExpected);
        // The line has gone with the program that held it: not barred either.
        QVERIFY(!device.IsExclusive());
    }

    // Modem lines a pseudo-terminal lacks, through a driver standing in for one: every change of
    // the device's lines reaches the endpoint's handler once, in order, whether the driver waits
    // for changes or the lines are polled.
    void modemLineChangesReachTheHandlerInOrder_data()
    {
        QTest::addColumn<int>("waitError");      // 0: the driver waits for changes; ENOTTY: polled
        QTest::addColumn<QList<int>>("inputs");  // the device's lines, one after the other
        QTest::addColumn<QStringList>("seen");   // each change as the History writes it
        const int cts = TIOCM_CTS, dsr = TIOCM_DSR, dcd = TIOCM_CAR, ri = TIOCM_RNG;
        QTest::newRow("waited: CTS, DSR, CTS off") << 0 << QList<int>{cts, cts | dsr, dsr}
                                                   << QStringList{"CTS 1", "DSR 1", "CTS 0"};
        QTest::newRow("waited: two lines at once") << 0 << QList<int>{dcd | ri, 0} << QStringList{"DCD 1", "RI 1", "DCD 0", "RI 0"};
        QTest::newRow("polled: RI rings") << int(ENOTTY) << QList<int>{ri, 0, ri} << QStringList{"RI 1", "RI 0", "RI 1"};
        QTest::newRow("polled: the same lines again say nothing") << int(EINVAL) << QList<int>{cts, cts, 0}
                                                                  << QStringList{"CTS 1", "CTS 0"};
    }
    void modemLineChangesReachTheHandlerInOrder()
    {
        QFETCH(int, waitError);
        QFETCH(QList<int>, inputs);
        QFETCH(QStringList, seen);
        FakeSerialControl driver;
        driver.waitError = waitError;
        PtyDevice device;
        Endpoint endpoint;
        QStringList changes;
        endpoint.port.SetModemLinesHandler([&](int changed, int lines, qint64 when) {
            QVERIFY(when > 0);
            for (int i = 0; i < CEndpoint::kModemLineCount; ++i) {
                if (changed & CEndpoint::ModemLineBit(i))
                    changes << CEndpoint::ModemLineName(i) + QLatin1Char(' ') + QString::number(lines & CEndpoint::ModemLineBit(i) ? 1 : 0);
            }
        });
        QVERIFY(endpoint.Open({device.Path()}));
        QCOMPARE(endpoint.port.ModemLines(), CEndpoint::LineDtr | CEndpoint::LineRts);  // set at open
        qsizetype expected = 0;
        int previous = 0;
        for (const int lines : inputs) {
            driver.SetInputs(lines);
            expected += qsizetype(std::bitset<16>(unsigned(lines ^ previous)).count());
            previous = lines;
            QTRY_VERIFY2(changes.size() == expected, qPrintable(changes.join(QLatin1Char(','))));
        }
        QCOMPARE(changes, seen);
        // The pane names the input lines on at the end.
        QString on;
        for (const auto &[bit, name] : {std::pair{TIOCM_CTS, " CTS"}, {TIOCM_DSR, " DSR"}, {TIOCM_CAR, " DCD"}, {TIOCM_RNG, " RI"}})
            on += inputs.last() & bit ? QLatin1String(name) : QLatin1String("");
        QCOMPARE(endpoint.port.Describe().text.section(QStringLiteral("8N1"), 1), on);
    }

    // DTR, RTS and the break on a driver that has them, and each refusal with its reason.
    void lineControlsTakeEffectOrSayWhyNot_data()
    {
        QTest::addColumn<QString>("flow");
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("setError");
        QTest::addColumn<int>("line");
        QTest::addColumn<bool>("on");
        QTest::addColumn<int>("lines");  // the lines after it (ModemLine bits)
        QTest::addColumn<QString>("refusal");
        const int both = CEndpoint::LineDtr | CEndpoint::LineRts;
        QTest::newRow("DTR off") << QString() << QString() << 0 << int(CEndpoint::LineDtr) << false << int(CEndpoint::LineRts) << QString();
        QTest::newRow("RTS off then its lamp") << QString() << QString() << 0 << int(CEndpoint::LineRts) << false << int(CEndpoint::LineDtr) << QString();
        QTest::newRow("RTS under RTS/CTS") << QStringLiteral("rtscts") << QString() << 0 << int(CEndpoint::LineRts) << false << int(CEndpoint::LineDtr)
                                           << QStringLiteral("RTS/CTS ﾌﾛｰ制御中は RTS を変更できません");
        QTest::newRow("RTS under RS-485") << QString() << QStringLiteral("rs485:send") << 0 << int(CEndpoint::LineRts) << false << int(CEndpoint::LineDtr)
                                          << QStringLiteral("RS-485 では RTS はﾄﾞﾗｲﾊﾞが切り替えます (RTS を変更できません)");
        QTest::newRow("the driver fails") << QString() << QString() << int(EIO) << int(CEndpoint::LineDtr) << false << both
                                          << QStringLiteral("ﾃﾞﾊﾞｲｽ %1 の DTR を変更できません (ｴﾗｰ 5: 入出力ｴﾗｰです)");
    }
    void lineControlsTakeEffectOrSayWhyNot()
    {
        QFETCH(QString, flow);
        QFETCH(QString, options);
        QFETCH(int, setError);
        QFETCH(int, line);
        QFETCH(bool, on);
        QFETCH(int, lines);
        QFETCH(QString, refusal);
        FakeSerialControl driver;
        PtyDevice device;
        Endpoint endpoint;
        int changes = 0;
        endpoint.port.SetModemLinesHandler([&](int, int, qint64) { ++changes; });
        QVERIFY(endpoint.Open({device.Path(), QString(), QString(), flow, QString(), QString(), options}));
        if (!flow.isEmpty() || !options.isEmpty())
            driver.SetLines(0, TIOCM_RTS, true);  // the driver drives RTS itself
        driver.setError = setError;
        QString why;
        QCOMPARE(endpoint.port.SetControlLine(line, on, &why), refusal.isEmpty());
        QCOMPARE(why, refusal.contains(QLatin1String("%1")) ? refusal.arg(device.Path()) : refusal);
        QCOMPARE(changes, refusal.isEmpty() ? 1 : 0);
        if (refusal.isEmpty())
            QCOMPARE(endpoint.port.ModemLines(), lines);
        else
            QVERIFY(endpoint.view.lines.contains(QStringLiteral("+++ ") + why + QStringLiteral("[CSerialPort]")));
    }

    void aBreakLastsItsLengthAndOneAtATime()
    {
        FakeSerialControl driver;
        PtyDevice device;
        Endpoint endpoint;
        QVERIFY(endpoint.Open({device.Path(), QString(), QString(), QString(), QString(), QString(), QStringLiteral("break:40")}));
        QString why;
        QVERIFY(endpoint.port.SendBreak(0, &why));  // the settings' length
        QVERIFY(!endpoint.port.SendBreak(10, &why));
        QCOMPARE(why, QStringLiteral("ﾌﾞﾚｰｸ送信中です"));
        QTRY_COMPARE(driver.breaks.size(), 2);
        QVERIFY(driver.breaks[0].first && !driver.breaks[1].first);
        QVERIFY2(driver.breaks[1].second - driver.breaks[0].second >= 39, qPrintable(QString::number(driver.breaks[1].second - driver.breaks[0].second)));
        // A close in the middle of a break ends it.
        QVERIFY(endpoint.port.SendBreak(5000, &why));
        endpoint.port.Close();
        QCOMPARE(driver.breaks.size(), 4);
        QVERIFY(!driver.breaks[3].first);
    }

    void aPseudoTerminalHasNoLinesAndSaysSo()
    {
        PtyDevice device;
        Endpoint endpoint;
        QVERIFY(endpoint.Open({device.Path()}));
        QCOMPARE(endpoint.port.ModemLines(), -1);
        QString why;
        QVERIFY(!endpoint.port.SetControlLine(CEndpoint::LineDtr, false, &why));
        QCOMPARE(why, QStringLiteral("ﾃﾞﾊﾞｲｽ %1 には制御線がありません (DTR/RTS を変更できません)").arg(device.Path()));
        QVERIFY(!endpoint.port.SendBreak(0, &why));
        QCOMPARE(why, QStringLiteral("ﾃﾞﾊﾞｲｽ %1 にはﾌﾞﾚｰｸ信号がありません (疑似端末などﾓﾃﾞﾑ制御線のないﾃﾞﾊﾞｲｽ)").arg(device.Path()));
        QCOMPARE(endpoint.view.lines.filter(QStringLiteral("+++ ")).size(), 2);
    }

    void rs485IsSetAtOpenOrTheOpenFailsNamingTheDriver_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("error");  // the driver's answer to TIOCSRS485
        QTest::addColumn<bool>("set");   // RS-485 was asked of the driver
        QTest::addColumn<bool>("after");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("afterMs");
        QTest::addColumn<QString>("failure");
        QTest::newRow("off: the driver is not asked") << QString() << 0 << false << false << 0 << 0 << QString();
        QTest::newRow("RTS on send with delays") << QStringLiteral("rs485:send before:3 after:7") << 0 << true << false << 3 << 7 << QString();
        QTest::newRow("RTS after send") << QStringLiteral("rs485:after") << 0 << true << true << 0 << 0 << QString();
        QTest::newRow("a driver without RS-485") << QStringLiteral("rs485:send") << int(ENOTTY) << true << false << 0 << 0
            << QStringLiteral("ﾃﾞﾊﾞｲｽ %1 (ﾄﾞﾗｲﾊﾞ pty) は RS-485 (TIOCSRS485) を設定できません (ｴﾗｰ 25: 端末ではありません)。"
                              "RS-485 を使わない設定にするか、RS-485 に対応したｱﾀﾞﾌﾟﾀを使ってください。");
    }
    void rs485IsSetAtOpenOrTheOpenFailsNamingTheDriver()
    {
        QFETCH(QString, options);
        QFETCH(int, error);
        QFETCH(bool, set);
        QFETCH(bool, after);
        QFETCH(int, before);
        QFETCH(int, afterMs);
        QFETCH(QString, failure);
        FakeSerialControl driver;
        driver.rs485Error = error;
        PtyDevice device;
        Endpoint endpoint;
        QCOMPARE(endpoint.Open({device.Path(), QString(), QString(), QString(), QString(), QString(), options}), failure.isEmpty());
        QCOMPARE(driver.rs485Set.size(), set ? 1 : 0);
        if (set)
            QCOMPARE(driver.rs485Set[0], (CSerialControl::Rs485{true, !after, before, afterMs}));
        QCOMPARE(endpoint.port.LastFailure().text, failure.isEmpty() ? QString() : failure.arg(device.Path()));
    }
};

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
