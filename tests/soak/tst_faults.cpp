// A peer that resets the connection in the middle of a telegram: every byte that arrived before the
// reset is kept, in the capture file and in the History, whichever side the program plays.
#include "res/commandids.h"
#include "document/cqndoc.h"
#include "batch/csvfile.h"
#include "display/ui/cmessagewnd.h"
#include "floodpeer.h"
#include "net/ctcpsoc.h"
#include "net/loopbackpeer.h"
#include "platform/cinifile.h"
#include "platform/wholefile.h"
#include "session/sessionharness.h"
#include "soakprobe.h"
#include "support/sessionprobe.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mount.h>

namespace {

// Bytes the peer's kernel still holds for the program (sent but not yet acknowledged).
int Unacknowledged(const LoopbackPeer &peer)
{
    int pending = 0;
    return ::ioctl(peer.Handle(), SIOCOUTQ, &pending) == 0 ? pending : -1;
}

// The peer's socket takes more data now.
bool Writable(const LoopbackPeer &peer)
{
    pollfd entry{peer.Handle(), POLLOUT, 0};
    return ::poll(&entry, 1, 0) == 1;
}

// Writes all of `data`, the event loop running while the socket takes no more, then waits until the
// program's side has acknowledged every byte.
bool WriteAllAndWait(LoopbackPeer &peer, const QByteArray &data)
{
    for (qint64 written = 0; written < data.size();) {
        const qint64 n = peer.Write(QByteArrayView(data).sliced(written));
        if (n > 0)
            written += n;
        else if (!SoakProbe::RunUntil([&] { return Writable(peer); }, 10000))
            return false;
    }
    return SoakProbe::RunUntil([&] { return Unacknowledged(peer) == 0; }, 10000);
}

// A small tmpfs mounted for the life of the object (needs the right to mount, as root has).
class SmallDisk
{
public:
    explicit SmallDisk(const QString &folder, int kilobytes) : m_folder(QFile::encodeName(folder))
    {
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
        m_mounted = ::mount("tmpfs", m_folder.constData(), "tmpfs", MS_NOSUID | MS_NODEV, options.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;
    bool IsMounted() const { return m_mounted; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

}  // namespace

class TestFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void resetMidTelegramKeepsWhatArrived_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("length");
        for (int type : {TYPE_TCP_SERVER, TYPE_TCP_CLIENT}) {
            const char *side = type == TYPE_TCP_SERVER ? "server" : "client";
            QTest::addRow("%s, 1 byte", side) << type << 1;
            QTest::addRow("%s, 3000 bytes", side) << type << 3000;
            QTest::addRow("%s, more than one read", side) << type << 1500000;
        }
    }
    void resetMidTelegramKeepsWhatArrived()
    {
        QFETCH(int, type);
        QFETCH(int, length);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("reset.bin"));
        SessionHarness h;
        LoopbackPeer listener;
        LoopbackPeer peer;
        if (type == TYPE_TCP_SERVER) {
            h.ConfigureTcpServer();
            h.Command(ID_SOCKET_CONNECT);
            peer = LoopbackPeer::ConnectTcp(h.OwnPort());
            QTRY_VERIFY(h.LogLines().contains(QStringLiteral(">>> ON ACCEPT ｸﾗｲｱﾝﾄ構築[TCPSrvr]")));
        } else {
            listener = LoopbackPeer::ListenTcp();
            h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(listener.Port()), QString()}, 4);
            h.Command(ID_SOCKET_CONNECT);
            QTRY_COMPARE(h.View()->State(), ST_CONNECTED);
            peer = listener.AcceptTcp();
        }
        QVERIFY(peer.IsValid());
        h.Prompts().fileNames.enqueue(path);
        h.Command(ID_CAPTURE_START);
        QVERIFY(h.View()->IsCapturing());

        // The first `length` bytes of a longer telegram; the event loop runs only while the socket
        // takes no more, so usually the reset finds data the program has not read yet.
        const QByteArray sent = FloodPeer::Slice(0, length);
        QVERIFY(WriteAllAndWait(peer, sent));
        peer.Reset();

        const QString closeLine = type == TYPE_TCP_SERVER ? QStringLiteral(">>> ON CLOSE  ｸﾗｲｱﾝﾄ破棄[TCPSrvr]")
                                                          : QStringLiteral(">>> OnClose[CTCPSoc(Term)]");
        QVERIFY(SoakProbe::RunUntil([&] { return h.LogLines().contains(closeLine); }, 20000));
        h.Settle();
        h.Command(ID_CAPTURE_STOP);

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), sent);
        QByteArray shown;
        for (const QString &line : h.HistoryLines()) {
            QVERIFY(line.startsWith(QStringLiteral("R ")));
            shown += QByteArray::fromHex(line.mid(2).toLatin1());
        }
        QCOMPARE(shown, sent);
    }

    void aFileWrittenWholeOnAFullDiskLeavesTheOldOne_data()
    {
        // Each writer replaces a file that holds "old" with far more than the disk has room for.
        using Writer = std::function<bool(const QString &path, const QByteArray &bytes)>;
        QTest::addColumn<Writer>("write");
        QTest::newRow("document") << Writer([](const QString &path, const QByteArray &bytes) {
            CQnDoc doc;
            for (int slot = 0; slot * 1000 < bytes.size(); ++slot)
                doc.SetSlotString(slot, QString::fromLatin1(bytes.left(1000)));
            QString error;
            return doc.OnSaveDocument(path, &error);
        });
        QTest::newRow("profile") << Writer([](const QString &path, const QByteArray &bytes) {
            CIniFile ini(path);
            return ini.WriteString(QStringLiteral("s"), QStringLiteral("k"), QString::fromLatin1(bytes));
        });
        QTest::newRow("csv, report, History") << Writer([](const QString &path, const QByteArray &bytes) {
            return WriteCsvFile(path, {bytes, bytes});
        });
    }

    void aFileWrittenWholeOnAFullDiskLeavesTheOldOne()
    {
        QFETCH(std::function<bool(const QString &, const QByteArray &)>, write);
        QTemporaryDir dir;
        SmallDisk disk(dir.path(), 128);
        if (!disk.IsMounted())
            QSKIP("mounting a small tmpfs needs root");
        const QString path = dir.filePath(QStringLiteral("kept"));
        QVERIFY(WriteWholeFile(path, "old"));
        QVERIFY(!write(path, QByteArray(200 * 1024, 'n')));
        QFile kept(path);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("old"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("kept")});
        // What fits still arrives whole.
        QVERIFY(write(path, QByteArray(1000, 'n')));
    }

    void captureOnAFullDiskEndsWithTheMessageAndKeepsWhatWasWritten()
    {
        constexpr int kDiskKb = 256;
        constexpr qint64 kLength = 1024 * 1024;  // four times what the disk holds
        QTemporaryDir dir;
        SmallDisk disk(dir.path(), kDiskKb);
        if (!disk.IsMounted())
            QSKIP("mounting a small tmpfs needs root");
        const QString path = dir.filePath(QStringLiteral("capture.bin"));
        SessionHarness h;
        h.ConfigureTcpServer();
        h.Command(ID_SOCKET_CONNECT);
        LoopbackPeer peer = LoopbackPeer::ConnectTcp(h.OwnPort());
        QVERIFY(peer.IsValid());
        QTRY_VERIFY(h.LogLines().contains(QStringLiteral(">>> ON ACCEPT ｸﾗｲｱﾝﾄ構築[TCPSrvr]")));
        h.Prompts().fileNames.enqueue(path);
        h.Command(ID_CAPTURE_START);
        QVERIFY(h.View()->IsCapturing());

        const QByteArray sent = FloodPeer::Slice(0, kLength);
        QVERIFY(WriteAllAndWait(peer, sent));
        h.Settle();

        // Capture ended once, with the message; the file holds a whole prefix of the stream.
        QVERIFY(!h.View()->IsCapturing());
        const QStringList messages = h.Prompts().MessageTexts();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().startsWith(path + QStringLiteral(" Write err\n")), qPrintable(messages.first()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray kept = file.readAll();
        qInfo("full disk: %lld of %lld bytes kept", qint64(kept.size()), kLength);
        QVERIFY(kept.size() > 0 && kept.size() <= kDiskKb * 1024);
        QCOMPARE(kept, sent.left(kept.size()));

        // Reception itself goes on: every byte is still in the History.
        QByteArray shown;
        for (const QString &line : h.HistoryLines())
            shown += QByteArray::fromHex(line.mid(2).toLatin1());
        QCOMPARE(shown, sent);
    }

    void historyRecordingOnAFullDiskStopsOnceAndKeepsWhatWasWritten()
    {
        constexpr int kDiskKb = 256;
        QTemporaryDir dir;
        SmallDisk disk(dir.path(), kDiskKb);
        if (!disk.IsMounted())
            QSKIP("mounting a small tmpfs needs root");
        const QString path = dir.filePath(QStringLiteral("history.log"));
        SessionHarness h;
        h.ConfigureTcpServer();
        h.Command(ID_SOCKET_CONNECT);
        LoopbackPeer peer = LoopbackPeer::ConnectTcp(h.OwnPort());
        QVERIFY(peer.IsValid());
        CMessageWnd *history = h.View()->HistoryWindow();
        QVERIFY(history->StartRecordingTo(path));
        QVERIFY(WriteAllAndWait(peer, FloodPeer::Slice(0, 1024 * 1024)));
        QTRY_VERIFY(!history->IsRecording());
        h.Settle();
        const QStringList messages = h.Prompts().MessageTexts();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages.first().startsWith(path + QStringLiteral(" に記録できません。")), qPrintable(messages.first()));
        // The file holds the start of the History's text, as far as the disk took it.
        QByteArray shown;
        for (const QString &line : history->Lines())
            shown += line.toUtf8() + '\n';
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray kept = file.readAll();
        QVERIFY(kept.size() > 0 && kept.size() <= kDiskKb * 1024);
        QCOMPARE(kept, shown.left(kept.size()));
    }

    void echoIntoAPeerThatNeverReadsHoldsItBackAndEndsWithTheReset()
    {
        LoopbackPeer listener = LoopbackPeer::ListenTcp();
        SessionHarness h;
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(listener.Port()), QString()}, 4);
        h.Command(ID_SOCKET_CONNECT);
        QTRY_COMPARE(h.View()->State(), ST_CONNECTED);
        LoopbackPeer peer = listener.AcceptTcp();
        QVERIFY(peer.IsValid());
        h.Command(ID_LOOPBACK_ON);

        // The peer sends and never reads: the echo fills the program's send queue, then the program
        // stops reading and TCP holds the peer back; no echo is refused.
        const CTCPSoc *client = SessionProbe::TcpClient(h.View());
        qint64 written = 0;
        QVERIFY(SoakProbe::RunUntil([&] {
            const qint64 n = peer.Write(FloodPeer::Slice(written, 256 * 1024));
            written += qMax<qint64>(0, n);
            return n <= 0 && client->QueuedBytes() > CTCPSoc::kHoldReadingAt;
        }, 60000));
        qInfo("held back after %lld bytes, %lld queued", written, qint64(client->QueuedBytes()));
        QVERIFY(client->QueuedBytes() <= CTCPSoc::kMaxQueued);
        QVERIFY(h.LogLines().filter(QStringLiteral("Send()")).isEmpty());

        // The reset ends the waiting: the queue is given back and the failure is in the Log.
        peer.Reset();
        QVERIFY(SoakProbe::RunUntil([&] { return h.LogLines().contains(QStringLiteral(">>> OnClose[CTCPSoc(Term)]")); }, 20000));
        QVERIFY(SoakProbe::RunUntil([&] { return client->QueuedBytes() == 0; }, 10000));
        h.Command(ID_SOCKET_DISCONNECT);
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
