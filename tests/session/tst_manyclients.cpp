// A TCP server serving many clients through the whole program: numbered clients, echoes to the
// client that sent, Command Send to one client or to all, the limit, the Log and pane texts, a
// capture with a file per client, and reply rules counting each client's answers apart.
#include "display/ui/ccommandsenddlg.h"
#include "display/ui/celidedlabel.h"
#include "display/ui/cinputedit.h"
#include "net/loopbackpeer.h"
#include "res/commandids.h"
#include "sessionharness.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
    }
};

QTEST_MAIN(TestManyClients)
#include "tst_manyclients.moc"
