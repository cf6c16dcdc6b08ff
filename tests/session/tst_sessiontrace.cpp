// The History's packet traces through the whole program: for each connection type the telegrams of a
// session, saved (all, or the selection) and recorded as they arrive, read back by tshark with the
// real addresses and ports, every byte and the History's time stamps.
#include "res/commandids.h"
#include "display/ctracerecorder.h"
#include "display/ui/ccommandsenddlg.h"
#include "display/ui/cinputedit.h"
#include "display/ui/clineview.h"
#include "display/ui/cmessagewnd.h"
#include "net/loopbackpeer.h"
#include "sessionharness.h"
#include "support/ptydevice.h"
#include "support/tsharkreader.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDateTime>
#include <QPushButton>
#include <QTest>

namespace {

void SendTyped(SessionHarness &h, const QString &hex)
{
    h.Command(ID_COMMAND_SEND);
    CCommandSendDlg *dlg = h.View()->CommandWindow();
    dlg->Input()->setPlainText(hex);
    auto *send = qobject_cast<QPushButton *>(dlg->GetDlgItem(CCommandSendDlg::IDC_SEND));
    QVERIFY(send && send->isEnabled());
    send->click();
    h.Settle();
}

// The History's stamp of line `index` ("12/10/26 18:30:01.123") and its direction and hex digits.
struct HistoryLine
{
    QString stamp;
    char direction;
    QByteArray bytes;
};

QList<HistoryLine> History(SessionHarness &h)
{
    QList<HistoryLine> lines;
    for (const QString &line : h.View()->HistoryWindow()->Lines()) {
        // "MM/DD/YY HH:MM:SS.mmm  R 0102"
        const qsizetype gap = line.indexOf(QStringLiteral("  "));
        const QString rest = line.mid(gap + 2);
        const qsizetype space = rest.indexOf(QLatin1Char(' '));
        lines.append({line.left(gap), rest.at(0).toLatin1(), QByteArray::fromHex(rest.mid(space + 1).toLatin1())});
    }
    return lines;
}

// What tshark reads of a trace's telegrams: time, bytes, ports, stream.
QList<QStringList> Telegrams(const QString &path, const QString &filter, const QString &payload)
{
    QList<QStringList> rows;
    QString error;
    const bool read = TsharkReader::Fields(path, filter,
                                           {"frame.time_epoch", payload, "tcp.srcport", "tcp.dstport", "udp.srcport",
                                            "udp.dstport", "tcp.stream", "exported_pdu.p2p_dir"},
                                           &rows, &error);
    if (!read)
        qWarning() << error;
    return rows;
}

}  // namespace

class TestSessionTrace : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (TsharkReader::Program().isEmpty())
            QSKIP("tshark is not installed (scripts/install-packages.sh tshark)");
    }

    void historyTracesReadAsTheWire_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("family");
        QTest::newRow("TCP server") << int(TYPE_TCP_SERVER) << int(AF_INET);
        QTest::newRow("TCP server, IPv6 client") << int(TYPE_TCP_SERVER) << int(AF_INET6);
        QTest::newRow("TCP client") << int(TYPE_TCP_CLIENT) << int(AF_INET);
        QTest::newRow("UDP") << int(TYPE_UDP) << int(AF_INET);
        QTest::newRow("serial") << int(TYPE_SERIAL) << 0;
    }

    void historyTracesReadAsTheWire()
    {
        QFETCH(int, type);
        QFETCH(int, family);
        if (family == AF_INET6 && !LoopbackPeer::HasIpv6Loopback())
            QSKIP("no IPv6 loopback here");
        SessionHarness h;
        CMessageWnd *history = h.View()->HistoryWindow();
        history->SetMilliseconds(true);
        const QString recorded = SessionHarness::TempPath(QStringLiteral("recorded-%1.pcapng").arg(QTest::currentDataTag()));
        QString error;
        QVERIFY2(history->StartTraceRecordingTo(recorded, &error), qPrintable(error));

        // The peer of each type, and its way of sending to the program and reading what it sent.
        LoopbackPeer server, peer;
        PtyDevice device;
        std::function<void(const QByteArray &)> peerSends;
        std::function<QByteArray()> peerGot;
        quint16 peerPort = 0;
        if (type == TYPE_TCP_SERVER) {
            h.ConfigureTcpServer();
            h.Command(ID_SOCKET_CONNECT);
            peer = LoopbackPeer::ConnectTcp(h.OwnPort(), family);
            QVERIFY(peer.IsValid());
            QTRY_VERIFY(h.View()->Traffic().SinceConnect().telegramsIn >= 0 && !h.LogLines().filter(QStringLiteral("ON ACCEPT")).isEmpty());
        } else if (type == TYPE_TCP_CLIENT) {
            server = LoopbackPeer::ListenTcp();
            h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(server.Port()), QString()}, 4);
            h.Command(ID_SOCKET_CONNECT);
            peer = server.AcceptTcp();
            QTRY_COMPARE(h.View()->State(), ST_CONNECTED);
        } else if (type == TYPE_UDP) {
            peer = LoopbackPeer::BindUdp();
            h.ConfigureUdp(peer.Port());
            h.Command(ID_SOCKET_CONNECT);
        } else {
            h.Configure(TYPE_SERIAL, {device.Path(), QStringLiteral("115200"), QString(), QString(), QString()},
                        CQnDoc::SLOT_SERIAL_DEVICE);
            h.Command(ID_SOCKET_CONNECT);
            QTRY_VERIFY(device.IsOpenedRaw());
        }
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        if (type == TYPE_SERIAL) {
            peerSends = [&device](const QByteArray &bytes) { device.Write(bytes); };
            peerGot = [&device] { return device.received; };
        } else if (type == TYPE_UDP) {
            const quint16 own = h.OwnPort();
            peerSends = [&peer, own](const QByteArray &bytes) { peer.WriteTo(bytes, own); };
            peerGot = [&peer] { return peer.Drain(); };
        } else {
            peerSends = [&peer](const QByteArray &bytes) { peer.Write(bytes); };
            peerGot = [&peer] { return peer.Drain(); };
        }
        peerPort = type == TYPE_SERIAL ? 0 : peer.Port();

        // Received, sent, received again: three History lines, one after the other.
        peerSends(QByteArray::fromHex("0103000000"));
        QTRY_COMPARE(History(h).size(), 1);
        SendTyped(h, QStringLiteral("AABBCC"));
        QTRY_COMPARE(peerGot(), QByteArray::fromHex("AABBCC"));
        peerSends(QByteArray("\x00\xff\r\n", 4));
        QTRY_COMPARE(History(h).size(), 3);
        const QList<HistoryLine> lines = History(h);
        const quint16 own = type == TYPE_SERIAL ? 0 : h.OwnPort();
        history->StopTraceRecording(std::chrono::milliseconds(-1));

        const QString saved = SessionHarness::TempPath(QStringLiteral("saved-%1.pcapng").arg(QTest::currentDataTag()));
        QVERIFY2(history->SaveTraceTo(saved, false, &error), qPrintable(error));

        const bool tcp = type == TYPE_TCP_SERVER || type == TYPE_TCP_CLIENT;
        const QString filter = tcp ? QStringLiteral("tcp.len > 0") : type == TYPE_UDP ? QStringLiteral("udp") : QStringLiteral("exported_pdu");
        const QString payload = tcp ? QStringLiteral("tcp.payload")
                                : type == TYPE_UDP ? QStringLiteral("udp.payload") : QStringLiteral("exported_pdu.exported_pdu");
        for (const QString &path : {saved, recorded}) {
            const QList<QStringList> rows = Telegrams(path, filter, payload);
            QCOMPARE(rows.size(), lines.size());
            QSet<QString> streams;
            for (int i = 0; i < rows.size(); ++i) {
                const QStringList &row = rows.at(i);
                const HistoryLine &line = lines.at(i);
                QCOMPARE(TsharkReader::Bytes(row.at(1)), line.bytes);
                // The trace's time is the History's, shown there to the millisecond.
                const qint64 micros = TsharkReader::Microseconds(row.at(0));
                const QString stamp = QDateTime::fromMSecsSinceEpoch(micros / 1000).toString(QStringLiteral("MM/dd/yy HH:mm:ss.zzz"));
                QCOMPARE(stamp, line.stamp);
                const bool sent = line.direction == 'S';
                if (type == TYPE_SERIAL) {
                    QCOMPARE(row.at(7), QString::number(sent ? 0 : 1));
                    continue;
                }
                const int at = tcp ? 2 : 4;
                QCOMPARE(row.at(at).toUShort(), sent ? own : peerPort);
                QCOMPARE(row.at(at + 1).toUShort(), sent ? peerPort : own);
                streams.insert(row.at(6));
            }
            if (tcp)
                QCOMPARE(streams.size(), 1);
        }
        if (tcp) {
            // The recording's close of the connection is there: the handshake and the close.
            QList<QStringList> rows;
            QVERIFY(TsharkReader::Fields(recorded, QStringLiteral("tcp.flags.syn == 1 || tcp.flags.fin == 1"), {"frame.number"}, &rows, &error));
            QCOMPARE(rows.size(), 4);
        }
    }

    // A saved trace holds each telegram's bytes however the History kept them: the bytes while it
    // is hidden, read back from the hex digits while it shows them, a copy beside the text.
    void aSavedTraceHoldsTheBytesHoweverTheHistoryKeptThem_data()
    {
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("asText");
        QTest::newRow("hidden") << false << false;
        QTest::newRow("shown as hex digits") << true << false;
        QTest::newRow("shown as text") << true << true;
    }
    void aSavedTraceHoldsTheBytesHoweverTheHistoryKeptThem()
    {
        QFETCH(bool, shown);
        QFETCH(bool, asText);
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        CMessageWnd *history = h.View()->HistoryWindow();
        if (shown)
            h.Command(ID_VIEW_HISTORY);
        QTRY_COMPARE(history->isVisible(), shown);
        for (QCheckBox *box : history->findChildren<QCheckBox *>()) {
            if (box->text() == QStringLiteral("ﾃｷｽﾄで表示"))
                box->setChecked(asText);
        }
        h.ConfigureUdp(peer.Port());
        h.Command(ID_SOCKET_CONNECT);
        const QList<QByteArray> sent{QByteArray("\x00\xff\x10", 3), QByteArray(3000, 'A') + "\r\nB", QByteArray("x")};
        for (const QByteArray &bytes : sent) {
            peer.WriteTo(bytes, h.OwnPort());
            QTRY_COMPARE(history->Traces().Count(), int(&bytes - sent.data()) + 1);
        }
        const QString path = SessionHarness::TempPath(QStringLiteral("kept-%1.pcapng").arg(QTest::currentDataTag()));
        QString error;
        QVERIFY2(history->SaveTraceTo(path, false, &error), qPrintable(error));
        const QList<QStringList> rows = Telegrams(path, QStringLiteral("udp"), QStringLiteral("udp.payload"));
        QCOMPARE(rows.size(), sent.size());
        for (int i = 0; i < rows.size(); ++i)
            QCOMPARE(TsharkReader::Bytes(rows.at(i).at(1)), sent.at(i));
    }

    void savesTheSelectedTelegramsOnly()
    {
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.ConfigureUdp(peer.Port());
        h.Command(ID_SOCKET_CONNECT);
        for (int i = 1; i <= 4; ++i)
            peer.WriteTo(QByteArray(1, char(i)), h.OwnPort());
        QTRY_COMPARE(h.HistoryLines().size(), 4);
        CLineView *view = h.View()->HistoryWindow()->TextArea();
        // From the middle of the second line to the start of the fourth: the second and the third.
        view->SetSelection({1, 3}, {3, 0});
        const QString path = SessionHarness::TempPath(QStringLiteral("selection.pcapng"));
        QString error;
        QVERIFY2(h.View()->HistoryWindow()->SaveTraceTo(path, true, &error), qPrintable(error));
        const QList<QStringList> rows = Telegrams(path, QStringLiteral("udp"), QStringLiteral("udp.payload"));
        QCOMPARE(rows.size(), 2);
        QCOMPARE(TsharkReader::Bytes(rows.at(0).at(1)), QByteArray("\x02"));
        QCOMPARE(TsharkReader::Bytes(rows.at(1).at(1)), QByteArray("\x03"));
        // The History cleared: nothing left to save.
        h.View()->HistoryWindow()->TextArea()->Clear();
        QVERIFY(h.View()->HistoryWindow()->SaveTraceTo(path, false, &error));
        QCOMPARE(Telegrams(path, QStringLiteral("udp"), QStringLiteral("udp.payload")).size(), 0);
    }
};

QTEST_MAIN(TestSessionTrace)
#include "tst_sessiontrace.moc"
