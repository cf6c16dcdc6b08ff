// The whole program under floods from a peer: a 100 MB TCP stream with capture on, and a burst of
// UDP datagrams holding more than the socket's buffer, checked against what was sent.
#include "res/commandids.h"
#include "display/ui/cmessagewnd.h"
#include "net/cudpsoc.h"
#include "net/ctcpsoc.h"
#include "net/ctcpsrvr.h"
#include "net/cudpwnd.h"
#include "floodpeer.h"
#include "net/loopbackpeer.h"
#include "session/sessionharness.h"
#include "soakprobe.h"
#include "stallmeter.h"
#include "support/sessionprobe.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <QtEndian>

#include <atomic>
#include <cerrno>
#include <sys/socket.h>
#include <thread>

namespace {

constexpr int kStampLength = 19;
constexpr qint64 kFloodBytes = 100 * 1000 * 1000;

QByteArray FileSha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result();
}

// The telegram of a History line ("stamp" + "R " + hex) as bytes.
QByteArray TelegramOf(const QString &line)
{
    return QByteArray::fromHex(QStringView(line).mid(kStampLength + 2).toLatin1());
}

}  // namespace

class TestFlood : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Shown, the History keeps each read as hex digits; hidden, it keeps the bytes themselves and
    // writes the digits when it is first shown.
    void tcpFloodIsCapturedWholeAndTheWindowsKeepTheNewestInOrder_data()
    {
        QTest::addColumn<bool>("shown");
        QTest::newRow("History shown") << true;
        QTest::newRow("History hidden") << false;
    }
    void tcpFloodIsCapturedWholeAndTheWindowsKeepTheNewestInOrder()
    {
        QFETCH(bool, shown);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("flood.bin"));
        SessionHarness h;
        h.ConfigureTcpServer();
        h.Prompts().fileNames.enqueue(path);
        h.Command(ID_CAPTURE_START);
        QVERIFY(h.View()->IsCapturing());
        h.Command(ID_SOCKET_CONNECT);
        const quint16 port = h.OwnPort();
        if (shown) {
            h.Command(ID_VIEW_HISTORY);  // the flood is painted as a user would see it
            h.Command(ID_VIEW_LOG);
        }

        FloodPeer peer(port, kFloodBytes);
        QVERIFY(peer.IsConnected());
        StallMeter meter;
        QElapsedTimer clock;
        meter.Start();
        clock.start();
        peer.Start();
        const bool complete = SoakProbe::RunUntil(
            [&] { return peer.IsFinished() && QFileInfo(path).size() >= kFloodBytes; }, 120000);
        const qint64 elapsed = clock.elapsed();
        meter.Stop();
        QVERIFY2(complete, qPrintable(QStringLiteral("sent %1, captured %2").arg(peer.Sent()).arg(QFileInfo(path).size())));
        QCOMPARE(peer.Error(), 0);
        qInfo("flood: %lld bytes in %lld ms = %.1f MB/s; longest UI stall %lld ms (%d heartbeats)", kFloodBytes, elapsed,
              kFloodBytes / 1e3 / qMax<qint64>(1, elapsed), meter.LongestGapMs(), meter.Ticks());
        QVERIFY2(meter.LongestGapMs() < 2000, qPrintable(QString::number(meter.LongestGapMs())));

        h.Command(ID_CAPTURE_STOP);
        QCOMPARE(QFileInfo(path).size(), kFloodBytes);
        QCOMPARE(FileSha256(path), peer.Sha256());

        // The History keeps the newest reads: together they are the stream's tail, in order.
        CMessageWnd *history = h.View()->HistoryWindow();
        if (!shown)
            h.Command(ID_VIEW_HISTORY);
        QVERIFY(history->LineCount() > 0);
        QByteArray tail;
        QList<QByteArray> heads;  // the first 32 bytes of each read, as the Log shows them
        for (int i = 0; i < history->LineCount(); ++i) {
            const QString line = history->LineText(i);
            QVERIFY2(QStringView(line).mid(kStampLength).startsWith(u"R "), qPrintable(line.left(40)));
            const QByteArray telegram = TelegramOf(line);
            QVERIFY(!telegram.isEmpty() && telegram.size() <= QN_MAX_RECEIVE);
            heads << telegram.left(32);
            tail += telegram;
        }
        qInfo("History keeps the last %d reads, %lld bytes of the stream", history->LineCount(), qint64(tail.size()));
        QVERIFY(history->StoredBytes() <= CLineStore::kDefaultBudget);
        QVERIFY(tail == FloodPeer::Slice(kFloodBytes - tail.size(), tail.size()));

        // The Log's receive lines end with the same reads, in the same order.
        QList<QByteArray> logged;
        for (const QString &line : h.LogLines()) {
            if (line.startsWith(QStringLiteral("受信 ")))
                logged << QByteArray::fromHex(line.mid(3, 64).toLatin1());
        }
        const qsizetype common = qMin(logged.size(), heads.size());
        QVERIFY(common > 0);
        QCOMPARE(logged.mid(logged.size() - common), heads.mid(heads.size() - common));
        QVERIFY(h.LogLines().size() <= CLineStore::kDefaultLineLimit);
    }

    // A peer that sends before it reads gets the whole echo, in order: while the program's send
    // queue is full it stops reading (TCP holds the peer back), and a peer's half-close lets what
    // is queued still go out before the program closes.
    void theEchoReachesAPeerThatSendsBeforeItReads_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<qint64>("total");
        QTest::newRow("server, echo queued at the half-close") << int(TYPE_TCP_SERVER) << qint64(24) * 1024 * 1024;
        QTest::newRow("client, echo queued at the half-close") << int(TYPE_TCP_CLIENT) << qint64(24) * 1024 * 1024;
        QTest::newRow("server, past the send queue's bound") << int(TYPE_TCP_SERVER) << qint64(100) * 1024 * 1024;
        QTest::newRow("client, past the send queue's bound") << int(TYPE_TCP_CLIENT) << qint64(100) * 1024 * 1024;
    }

    void theEchoReachesAPeerThatSendsBeforeItReads()
    {
        QFETCH(int, type);
        QFETCH(qint64, total);
        SessionHarness h;
        LoopbackPeer listener;
        LoopbackPeer peer;
        if (type == TYPE_TCP_SERVER) {
            h.ConfigureTcpServer();
            h.Command(ID_LOOPBACK_ON);
            h.Command(ID_SOCKET_CONNECT);
            peer = LoopbackPeer::ConnectTcp(h.OwnPort());
            QTRY_VERIFY(SessionProbe::ServerClient(h.View()));
        } else {
            listener = LoopbackPeer::ListenTcp();
            h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(listener.Port()), QString()}, 4);
            h.Command(ID_LOOPBACK_ON);
            h.Command(ID_SOCKET_CONNECT);
            peer = listener.AcceptTcp();
        }
        QTRY_COMPARE(h.View()->State(), ST_CONNECTED_LOOPBACK);
        const CTCPSoc *soc = type == TYPE_TCP_SERVER ? SessionProbe::ServerClient(h.View()) : SessionProbe::TcpClient(h.View());
        const QByteArray data = FloodPeer::Slice(0, total);
        qint64 sent = 0;
        const auto sendMore = [&] {
            const qint64 n = peer.Write(QByteArrayView(data).sliced(sent));
            sent += qMax<qint64>(0, n);
            return sent == total;
        };
        // Sends without reading for as long as the program takes it.
        QTRY_VERIFY_WITH_TIMEOUT(sendMore() || soc->QueuedBytes() > CTCPSoc::kHoldReadingAt, 60000);
        QVERIFY(soc->QueuedBytes() <= CTCPSoc::kMaxQueued);
        peer.CollectWhileRunning(1 << 20);
        QTRY_VERIFY_WITH_TIMEOUT(sendMore(), 60000);
        QCOMPARE(::shutdown(peer.Handle(), SHUT_WR), 0);
        QTRY_COMPARE_WITH_TIMEOUT(peer.received.size(), total, 60000);
        QVERIFY(peer.received == data);
        QVERIFY(h.LogLines().filter(QStringLiteral("Send()")).isEmpty());
    }

    void udpBurstLargerThanTheSocketBufferArrivesWholeAndInOrder()
    {
        constexpr int kDatagrams = 10000;
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("burst.bin"));
        LoopbackPeer peer = LoopbackPeer::BindUdp();
        SessionHarness h;
        h.ConfigureUdp(peer.Port());
        h.Prompts().fileNames.enqueue(path);
        h.Command(ID_CAPTURE_START);
        h.Command(ID_SOCKET_CONNECT);
        const quint16 own = h.OwnPort();
        h.Command(ID_VIEW_HISTORY);  // shown: painting competes with the burst as it would for a user
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        const SoakProbe::UdpCounters before = SoakProbe::UdpSocket(own);
        QVERIFY(before.found);

        // Whatever receive buffer the system granted, the burst's bytes alone are more than it holds.
        int granted = 0;
        socklen_t length = sizeof granted;
        QCOMPARE(::getsockopt(SessionProbe::UdpSocket(h.View())->m_hSocket, SOL_SOCKET, SO_RCVBUF, &granted, &length), 0);
        const int size = qMax(100, granted / kDatagrams + 1);
        const auto datagram = [size](int k) {
            QByteArray bytes = FloodPeer::Slice(k, size);
            qToBigEndian<quint32>(quint32(k), bytes.data());
            return bytes;
        };

        // Sent back to back from a thread of the peer's own.
        std::atomic<int> sent{0};
        std::thread sender([&] {
            for (int k = 0; k < kDatagrams; ++k) {
                while (peer.WriteTo(datagram(k), own) != size && errno == EAGAIN) {
                }
                sent.fetch_add(1, std::memory_order_release);
            }
        });
        // Done when the capture holds every datagram the kernel did not drop (it is written unbuffered).
        const auto delivered = [&] { return kDatagrams - (SoakProbe::UdpSocket(own).drops - before.drops); };
        const bool settled = SoakProbe::RunUntil(
            [&] {
                return sent.load(std::memory_order_acquire) == kDatagrams
                    && QFileInfo(path).size() == delivered() * size;
            },
            60000);
        sender.join();
        h.Settle();
        const int expected = int(delivered());
        const bool realTime = SessionProbe::UdpSocket(h.View())->ReaderIsRealTime();
        qInfo("udp burst: %d datagrams of %d bytes against a %d-byte buffer, %d dropped by the kernel (reader %s)",
              kDatagrams, size, granted, kDatagrams - expected, realTime ? "real-time" : "at the ordinary priority");
        QVERIFY(settled);
        // A reader that other work (a sanitizer, a loaded machine) keeps from every processor can lose
        // datagrams to the kernel even at a real-time priority: the count is reported here and
        // measured in the UDP burst benchmark; what did arrive must be whole and in order.
        QCOMPARE(SessionProbe::UdpSocket(h.View())->DroppedDatagrams(), 0u);

        // What arrived is the capture, in order and whole; the History keeps the newest of it in order.
        h.Command(ID_CAPTURE_STOP);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray captured = file.readAll();
        QCOMPARE(captured.size(), qsizetype(expected) * size);
        QList<int> numbers;
        for (int i = 0; i < expected; ++i) {
            const QByteArray piece = captured.mid(qsizetype(i) * size, size);
            numbers.append(int(qFromBigEndian<quint32>(piece.constData())));
            QVERIFY2(numbers.last() < kDatagrams && (i == 0 || numbers.last() > numbers[i - 1]), qPrintable(QString::number(i)));
            QVERIFY2(piece == datagram(numbers.last()), qPrintable(QString::number(i)));
        }
        const QStringList lines = h.HistoryLines();
        QCOMPARE(lines.size(), qMin(expected, CLineStore::kDefaultLineLimit));
        for (int i = 0; i < lines.size(); ++i) {
            const int k = numbers[expected - int(lines.size()) + i];
            QCOMPARE(lines[i], QStringLiteral("R ") + QString::fromLatin1(datagram(k).toHex().toUpper()));
        }
    }
};

QTEST_MAIN(TestFlood)
#include "tst_flood.moc"
