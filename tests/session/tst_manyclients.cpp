// A TCP server serving many clients through the whole program: numbered clients, echoes to the
// client that sent, Command Send to one client or to all, the limit, the Log and pane texts, a
// capture with a file per client, reply rules counting each client's answers apart, and the bound
// on what all clients leave waiting together.
#include "display/ui/ccommandsenddlg.h"
#include "session/ui/cclientlistdlg.h"
#include "display/ui/celidedlabel.h"
#include "display/ui/cinputedit.h"
#include "net/loopbackpeer.h"
#include "res/commandids.h"
#include "sessionharness.h"
#include "support/sessionprobe.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <vector>

#include <sys/socket.h>

namespace {

// Each client's own bytes, so that an echo that went to another client or lost a piece shows.
QByteArray ClientStream(int client, qsizetype size)
{
    QByteArray stream(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        stream[i] = char((client * 131 + i * 7 + (i >> 10)) & 0xFF);
    return stream;
}

// A peer whose own buffers are small: what the program sends it waits in the program, not the system.
LoopbackPeer SmallBufferedPeer(quint16 port)
{
    LoopbackPeer peer = LoopbackPeer::ConnectTcp(port);
    const int size = 64 * 1024;
    ::setsockopt(peer.Handle(), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    ::setsockopt(peer.Handle(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    return peer;
}

}  // namespace

class TestManyClients : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void clientsAreNumberedAndAnsweredEachOnItsOwn()
    {
        SessionHarness h;
        h.ConfigureTcpServer();
        h.Doc().SetSlotString(CQnDoc::SLOT_SERVER_CLIENTS, QStringLiteral("2"));
        h.View()->OnInitialUpdate(&h.Doc());
        QTemporaryDir dir;
        h.Prompts().fileNames.enqueue(dir.filePath(QStringLiteral("all.bin")));
        h.Prompts().answers.enqueue(IDYES);  // a file per client as well
        h.Command(ID_CAPTURE_START);
        h.Command(ID_SOCKET_CONNECT);
        h.Command(ID_LOOPBACK_ON);
        const quint16 port = h.OwnPort();
        LoopbackPeer one = LoopbackPeer::ConnectTcp(port);
        QTRY_VERIFY(h.LogLines().filter(QStringLiteral("ｸﾗｲｱﾝﾄ#1 接続 127.0.0.1:")).size() == 1);
        LoopbackPeer two = LoopbackPeer::ConnectTcp(port);
        QTRY_VERIFY(h.LogLines().filter(QStringLiteral("ｸﾗｲｱﾝﾄ#2 接続 127.0.0.1:")).size() == 1);
        // Over the limit: taken and closed at once.
        LoopbackPeer three = LoopbackPeer::ConnectTcp(port);
        QVERIFY(three.WaitEndOfStream());
        QTRY_COMPARE(h.Frame()->GetConnectionPane()->FullText(), QStringLiteral("待受中 ﾎﾟｰﾄ %1  ｸﾗｲｱﾝﾄ 2 台").arg(port));

        two.Write("to two");
        one.Write("to one");
        QTRY_COMPARE(one.Drain(), QByteArray("to one"));
        QTRY_COMPARE(two.Drain(), QByteArray("to two"));
        QVERIFY(h.HistoryLines().contains(QStringLiteral("R#1 746F206F6E65")));
        QVERIFY(h.HistoryLines().contains(QStringLiteral("S#2 746F2074776F")));
        h.Command(ID_CAPTURE_STOP);
        const auto read = [&](const char *name) {
            QFile file(dir.filePath(QString::fromLatin1(name)));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing");
        };
        QCOMPARE(read("all.bin").size(), 12);
        QCOMPARE(read("all#1.bin"), QByteArray("to one"));
        QCOMPARE(read("all#2.bin"), QByteArray("to two"));

        // Command Send: to #2 alone, then to every client.
        h.Command(ID_LOOPBACK_OFF);
        h.Command(ID_COMMAND_SEND);
        CCommandSendDlg *dlg = h.View()->CommandWindow();
        auto *target = qobject_cast<QComboBox *>(dlg->GetDlgItem(CCommandSendDlg::IDC_PEER));
        QVERIFY(target->isVisibleTo(dlg));
        QCOMPARE(target->count(), 3);  // 全ｸﾗｲｱﾝﾄ, #1, #2
        target->setCurrentIndex(2);
        emit target->activated(2);
        dlg->Input()->setPlainText(QStringLiteral("02"));
        auto *send = qobject_cast<QAbstractButton *>(dlg->GetDlgItem(CCommandSendDlg::IDC_SEND));
        send->click();
        QTRY_COMPARE(two.Drain(), QByteArray("to two\x02"));
        QCOMPARE(h.HistoryLines().last(), QStringLiteral("S#2 02"));
        target->setCurrentIndex(0);
        emit target->activated(0);
        send->click();
        QTRY_COMPARE(one.Drain(), QByteArray("to one\x02"));
        QTRY_COMPARE(two.Drain(), QByteArray("to two\x02\x02"));
        QCOMPARE(h.HistoryLines().last(), QStringLiteral("S 02"));

        // The list of clients: each one's address and bytes each way, found by a search.
        auto *listButton = qobject_cast<QAbstractButton *>(dlg->GetDlgItem(CCommandSendDlg::IDC_PEER_LIST));
        QVERIFY(listButton->isVisibleTo(dlg));
        listButton->click();
        CClientListDlg *list = h.View()->ClientList();
        QVERIFY(list && list->isVisible());
        QCOMPARE(list->ShownRows(), 2);
        QCOMPARE((QStringList{list->TextAt(1, 0), list->TextAt(1, 2), list->TextAt(1, 3), list->TextAt(1, 4)}),
                 (QStringList{QStringLiteral("#2"), QStringLiteral("6"), QStringLiteral("8"), QStringLiteral("0")}));
        QCOMPARE(list->TextAt(0, 1), QStringLiteral("127.0.0.1:%1").arg(one.Port()));
        list->Search()->setText(QString::number(two.Port()));
        QCOMPARE(list->ShownRows(), 1);
        QCOMPARE(list->NumberAt(0), 2);
        list->Search()->clear();

        // A rule's count is each client's own.
        CReplyRule counted;
        counted.matchText = counted.replyText = counted.replyPlaceholders = true;
        counted.match = QStringLiteral("Q");
        counted.reply = QStringLiteral("A${seq}");
        CReplyRuleTable rules;
        rules.use = true;
        rules.rules = {counted};
        h.View()->SetReplyRules(rules);
        two.Write("Q");
        QTRY_VERIFY(two.Drain().endsWith("A1"));
        one.Write("Q");
        QTRY_VERIFY(one.Drain().endsWith("A1"));
        two.Write("Q");
        QTRY_VERIFY(two.Drain().endsWith("A1A2"));

        one = LoopbackPeer();
        QTRY_VERIFY(h.LogLines().contains(QStringLiteral("--- ｸﾗｲｱﾝﾄ#1 切断 (1 台)[TCPSrvr]")));
        QTRY_COMPARE(target->count(), 2);
        // The chosen client stays in the list when it leaves; the others come and go in order.
        target->setCurrentIndex(1);
        emit target->activated(1);
        two = LoopbackPeer();
        QTRY_VERIFY(h.LogLines().contains(QStringLiteral("--- ｸﾗｲｱﾝﾄ#2 切断 (0 台)[TCPSrvr]")));
        LoopbackPeer four = LoopbackPeer::ConnectTcp(port);
        QTRY_VERIFY(h.LogLines().filter(QStringLiteral("ｸﾗｲｱﾝﾄ#3 接続 127.0.0.1:")).size() == 1);
        h.Settle();
        QStringList shown;
        for (int i = 0; i < target->count(); ++i)
            shown << target->itemText(i);
        QCOMPARE(shown, (QStringList{QStringLiteral("全ｸﾗｲｱﾝﾄ"), QStringLiteral("#2"), QStringLiteral("#3")}));
        QCOMPARE(target->currentText(), QStringLiteral("#2"));

        // 切断 in the list closes the chosen client's connection.
        list->Refresh();
        QCOMPARE(list->ShownRows(), 1);
        list->Table()->selectRow(0);
        list->DropButton()->click();
        QVERIFY(four.WaitEndOfStream());
        QVERIFY(h.LogLines().contains(QStringLiteral("--- ｸﾗｲｱﾝﾄ#3 切断 (0 台)[TCPSrvr]")));
        QCOMPARE(list->ShownRows(), 0);
    }

    void nonReadingClientsAreHeldBackTogetherAndEchoedWhole()
    {
        constexpr int kClients = 3;
        constexpr qsizetype kEach = 16 * 1024 * 1024;
        constexpr qsizetype kBound = 512 * 1024;
        SessionHarness h;
        h.ConfigureTcpServer();
        h.Doc().SetSlotString(CQnDoc::SLOT_SERVER_CLIENTS, QString::number(kClients));
        h.View()->OnInitialUpdate(&h.Doc());
        h.Command(ID_SOCKET_CONNECT);
        h.Command(ID_LOOPBACK_ON);
        const quint16 port = h.OwnPort();
        const CTCPSrvr *server = SessionProbe::TcpServer(h.View());
        CSendBudget &budget = EndpointProbe::Budget(*server);
        QCOMPARE(budget.Limit(), CSendBudget::kDefaultLimit);
        budget.SetLimit(kBound);
        std::vector<LoopbackPeer> peers;
        std::vector<QByteArray> streams;
        std::vector<qsizetype> written(kClients, 0);
        for (int c = 0; c < kClients; ++c) {
            peers.push_back(SmallBufferedPeer(port));
            streams.push_back(ClientStream(c, kEach));
        }
        QTRY_COMPARE(server->Peers().size(), kClients);

        // The clients write and do not read: their echoes wait, and once they wait past the bound
        // the program reads from none of them, so their writing stops.
        qint64 most = 0;
        const auto write = [&] {
            bool wrote = false;
            for (int c = 0; c < kClients; ++c) {
                const qsizetype rest = kEach - written[size_t(c)];
                const qint64 n = rest > 0 ? peers[size_t(c)].Write(QByteArrayView(streams[size_t(c)]).sliced(written[size_t(c)], qMin<qsizetype>(rest, 1 << 20)), MSG_DONTWAIT) : 0;
                written[size_t(c)] += qMax<qint64>(n, 0);
                wrote = wrote || n > 0;
            }
            most = qMax(most, server->ReadGauges().sendQueued);
            return wrote;
        };
        const auto allHeld = [&] {
            const std::vector<const CTCPSoc *> clients = EndpointProbe::NumberedClients(*server);
            return std::all_of(clients.begin(), clients.end(), [](const CTCPSoc *client) { return client->IsReadingHeld(); });
        };
        QTRY_VERIFY_WITH_TIMEOUT(!write() && allHeld(), 60000);
        QVERIFY2(most > kBound && most <= kBound + kClients * QN_MAX_RECEIVE, qPrintable(QString::number(most)));
        QVERIFY(std::all_of(written.begin(), written.end(), [](qsizetype n) { return n < kEach; }));

        // They read: the echo resumes, each client's whole and its own.
        for (LoopbackPeer &peer : peers)
            peer.CollectWhileRunning(1 << 20);
        QTRY_VERIFY_WITH_TIMEOUT((write(), std::all_of(peers.begin(), peers.end(), [&](const LoopbackPeer &peer) { return peer.received.size() >= kEach; })), 120000);
        for (int c = 0; c < kClients; ++c)
            QVERIFY2(peers[size_t(c)].received == streams[size_t(c)], qPrintable(QStringLiteral("client %1").arg(c + 1)));
        QVERIFY(most <= kBound + kClients * QN_MAX_RECEIVE);
        QVERIFY(h.LogLines().filter(QStringLiteral("Send()")).isEmpty());
    }

    void aClientThatLeavesWithEchoesWaitingIsFreedOnceTheyAreSent()
    {
        constexpr qsizetype kSize = 12 * 1024 * 1024;
        SessionHarness h;
        h.ConfigureTcpServer();
        h.Doc().SetSlotString(CQnDoc::SLOT_SERVER_CLIENTS, QStringLiteral("2"));
        h.View()->OnInitialUpdate(&h.Doc());
        h.Command(ID_SOCKET_CONNECT);
        h.Command(ID_LOOPBACK_ON);
        const quint16 port = h.OwnPort();
        const CTCPSrvr *server = SessionProbe::TcpServer(h.View());
        LoopbackPeer peer = SmallBufferedPeer(port);
        const QByteArray stream = ClientStream(0, kSize);
        qsizetype written = 0;
        QTRY_VERIFY_WITH_TIMEOUT((written += qMax<qint64>(0, peer.Write(QByteArrayView(stream).sliced(written, qMin<qsizetype>(kSize - written, 1 << 20)), MSG_DONTWAIT))) == kSize, 60000);
        ::shutdown(peer.Handle(), SHUT_WR);
        // It has closed its side while its echoes still wait: they still go out to it, and then
        // the program lets go of the socket without another client having to leave.
        QTRY_VERIFY_WITH_TIMEOUT(h.LogLines().contains(QStringLiteral("--- ｸﾗｲｱﾝﾄ#1 切断 (0 台)[TCPSrvr]")), 60000);
        QCOMPARE(EndpointProbe::ClosingClients(*server), size_t(1));
        peer.CollectWhileRunning(1 << 20);
        QTRY_COMPARE_WITH_TIMEOUT(peer.received.size(), kSize, 60000);
        QCOMPARE(peer.received, stream);
        QTRY_COMPARE(EndpointProbe::ClosingClients(*server), size_t(0));
    }
};

QTEST_MAIN(TestManyClients)
#include "tst_manyclients.moc"
