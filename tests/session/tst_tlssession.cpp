// TLS through the whole program: the TCP client against `openssl s_server` and the TCP server
// against `openssl s_client`, with certificates the test makes; the Log, the connection pane and the
// History show the handshake's outcome and the application bytes.
#include "res/commandids.h"
#include "net/ctlscertmaker.h"
#include "net/ctlssoc.h"
#include "net/loopbackpeer.h"
#include "sessionharness.h"
#include "support/opensslpeer.h"

#include <QFile>
#include <QTest>

namespace {

const QString kGood = QStringLiteral("good");
const QString kOther = QStringLiteral("other");
const QString kExpired = QStringLiteral("expired");
const QString kClient = QStringLiteral("client");
const QString kMade = QStringLiteral("made");  // by the program's own generator

OpenSslCerts &Certs()
{
    static OpenSslCerts certs;
    static QString error;
    static const bool made = certs.Make(kGood, {QStringLiteral("localhost"), QStringLiteral("IP:127.0.0.1")}) &&
                             certs.Make(kOther, {QStringLiteral("other.example")}) &&
                             certs.Make(kExpired, {QStringLiteral("localhost"), QStringLiteral("IP:127.0.0.1")}, true) &&
                             certs.Make(kClient, {QStringLiteral("client")}) &&
                             CTlsCertMaker::Make({QStringLiteral("localhost"), QStringLiteral("127.0.0.1")}, certs.Cert(kMade),
                                                 certs.Key(kMade), &error);
    Q_UNUSED(made);
    return certs;
}

// "%cert:<base>", "%key:<base>" in a settings text become the test's files.
QStringList WithFiles(QStringList texts)
{
    for (QString &text : texts) {
        if (text.startsWith(QStringLiteral("%cert:")))
            text = Certs().Cert(text.mid(6));
        else if (text.startsWith(QStringLiteral("%key:")))
            text = Certs().Key(text.mid(5));
    }
    return texts;
}

}  // namespace

class TestTlsSession : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QVERIFY(Certs().IsValid() && QFile::exists(Certs().Cert(kClient)) && QFile::exists(Certs().Cert(kMade))); }

    void clientAgainstServer_data()
    {
        QTest::addColumn<QString>("cert");
        QTest::addColumn<QStringList>("serverArgs");
        QTest::addColumn<QStringList>("tls");  // client slots: on, verify, CA, name, ALPN, cert, key, version
        QTest::addColumn<QString>("outcome");   // the Log's words, and on failure the pane's
        const QStringList caFile = {QStringLiteral("1"), QStringLiteral("file"), QStringLiteral("%cert:good")};
        QTest::newRow("verified") << kGood << QStringList() << caFile << QStringLiteral("TLS1.3 TLS_AES_256_GCM_SHA384");
        QTest::newRow("verified by name, ALPN, TLS 1.2")
            << kGood << QStringList{QStringLiteral("-tls1_2"), QStringLiteral("-alpn"), QStringLiteral("qn")}
            << QStringList{QStringLiteral("1"), QStringLiteral("file"), QStringLiteral("%cert:good"), QStringLiteral("localhost"),
                           QStringLiteral("x,qn")}
            << QStringLiteral("TLS1.2 ECDHE-ECDSA-AES256-GCM-SHA384 ALPN:qn");
        QTest::newRow("unverified") << kOther << QStringList() << QStringList{QStringLiteral("1"), QStringLiteral("none")}
                                    << QStringLiteral("証明書 SHA-256:");
        QTest::newRow("mutual") << kGood << QStringList{QStringLiteral("-Verify"), QStringLiteral("1"), QStringLiteral("-CAfile"), QStringLiteral("%cert:client")}
                                << caFile + QStringList{QString(), QString(), QStringLiteral("%cert:client"), QStringLiteral("%key:client")}
                                << QStringLiteral("TLS1.3 TLS_AES_256_GCM_SHA384");
        QTest::newRow("expired") << kExpired << QStringList() << QStringList{QStringLiteral("1"), QStringLiteral("file"), QStringLiteral("%cert:expired")}
                                 << QStringLiteral("証明書の有効期限が切れています");
        QTest::newRow("wrong name") << kOther << QStringList() << QStringList{QStringLiteral("1"), QStringLiteral("file"), QStringLiteral("%cert:other")}
                                    << QStringLiteral("ｻｰﾊﾞｰ名が証明書の名前と一致しません");
        QTest::newRow("unknown CA") << kGood << QStringList() << QStringList{QStringLiteral("1")}
                                    << QStringLiteral("証明書の発行元(CA)が不明です");
        QTest::newRow("no shared version") << kGood << QStringList{QStringLiteral("-tls1_2")}
                                           << caFile + QStringList{QString(), QString(), QString(), QString(), QStringLiteral("1.3")}
                                           << QStringLiteral("共通のTLSﾊﾞｰｼﾞｮﾝがありません");
        QTest::newRow("plain peer") << QString() << QStringList() << caFile << QStringLiteral("相手がTLSではなく平文を送りました");
        QTest::newRow("silent peer") << QStringLiteral("-") << QStringList() << caFile << QStringLiteral("相手が応答しません(0.2秒)");
    }

    void clientAgainstServer()
    {
        QFETCH(QString, cert);
        QFETCH(QStringList, serverArgs);
        QFETCH(QStringList, tls);
        QFETCH(QString, outcome);
        OpenSslPeer server;
        LoopbackPeer plain;
        quint16 port = 0;
        const bool silent = cert == QStringLiteral("-");
        CTlsSoc::SetHandshakeTimeout(silent ? 200 : 0);
        if (cert.isEmpty() || silent) {
            plain = LoopbackPeer::ListenTcp();
            port = plain.Port();
        } else {
            QVERIFY(server.StartServer(WithFiles(QStringList{QStringLiteral("-cert"), QStringLiteral("%cert:") + cert,
                                                             QStringLiteral("-key"), QStringLiteral("%key:") + cert} + serverArgs)));
            port = server.Port();
        }
        SessionHarness h;
        h.Configure(TYPE_TCP_CLIENT, WithFiles(tls), CQnDoc::SLOT_CLIENT_TLS_FIRST);
        h.Configure(TYPE_TCP_CLIENT, {QStringLiteral("127.0.0.1"), QString::number(port), QStringLiteral("0")}, CQnDoc::SLOT_CLIENT_ADDRESS);
        h.Command(ID_LOOPBACK_ON);
        h.Command(ID_SOCKET_CONNECT);
        LoopbackPeer answering;
        if (cert.isEmpty()) {
            answering = plain.AcceptTcp();
            answering.Write("220 ready\r\n");
        }
        const bool connects = outcome.startsWith(QStringLiteral("TLS")) || outcome.startsWith(QStringLiteral("証明書 SHA"));
        QTRY_VERIFY_WITH_TIMEOUT(h.View()->State() != ST_WAIT_CONNECT, 10000);
        QVERIFY2(!h.LogLines().filter(outcome).isEmpty(), qPrintable(h.LogLines().join(QLatin1Char('\n'))));
        const QString pane = h.View()->ConnectionText();
        if (!connects) {
            QCOMPARE(h.View()->State(), ST_DISCONNECTED);
            QTRY_COMPARE(h.View()->ConnectionText(), QStringLiteral("接続できません: TLS ") + outcome);
            return;
        }
        QCOMPARE(h.View()->State(), ST_CONNECTED_LOOPBACK);
        const bool unverified = tls.value(1) == QStringLiteral("none");
        QTRY_VERIFY(h.View()->ConnectionText().endsWith(unverified ? QStringLiteral(" 未検証") : outcome));
        QCOMPARE(h.View()->ConnectionWarning(), unverified);
        // Application bytes both ways, decrypted in the History: the server's, echoed back by loopback.
        server.Write("pong\n");
        QTRY_VERIFY_WITH_TIMEOUT(server.Output().endsWith("pong\n"), 10000);
        QCOMPARE(h.HistoryLines().mid(h.HistoryLines().size() - 2),
                 (QStringList{QStringLiteral("R 706F6E670A"), QStringLiteral("S 706F6E670A")}));
        h.Command(ID_SOCKET_DISCONNECT);
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
    }

    void serverAgainstClient_data()
    {
        QTest::addColumn<QStringList>("tls");  // server slots: on, cert, key, client cert, CA, ALPN, version
        QTest::addColumn<QStringList>("clientArgs");  // empty: a plain TCP client
        QTest::addColumn<QString>("outcome");  // the server's Log
        const QStringList serving = {QStringLiteral("1"), QStringLiteral("%cert:good"), QStringLiteral("%key:good")};
        const QStringList trusting = {QStringLiteral("-CAfile"), QStringLiteral("%cert:good"), QStringLiteral("-verify_return_error"),
                                      QStringLiteral("-verify_hostname"), QStringLiteral("localhost")};
        const QStringList mutual = serving + QStringList{QStringLiteral("require"), QStringLiteral("%cert:client")};
        QTest::newRow("verified by the client") << serving << trusting << QStringLiteral("TLS1.3 TLS_AES_256_GCM_SHA384");
        QTest::newRow("the program's own certificate")
            << QStringList{QStringLiteral("1"), QStringLiteral("%cert:made"), QStringLiteral("%key:made")}
            << QStringList{QStringLiteral("-CAfile"), QStringLiteral("%cert:made"), QStringLiteral("-verify_return_error"),
                           QStringLiteral("-verify_ip"), QStringLiteral("127.0.0.1")}
            << QStringLiteral("TLS1.3 TLS_AES_256_GCM_SHA384");
        QTest::newRow("mutual") << mutual
                                << trusting + QStringList{QStringLiteral("-cert"), QStringLiteral("%cert:client"), QStringLiteral("-key"), QStringLiteral("%key:client")}
                                << QStringLiteral("ｸﾗｲｱﾝﾄ証明書 証明書 ｻﾌﾞｼﾞｪｸﾄ:CN = client");
        QTest::newRow("mutual without a certificate") << mutual << trusting << QStringLiteral("ｸﾗｲｱﾝﾄ証明書がありません");
        QTest::newRow("client distrusts the certificate")
            << serving << QStringList{QStringLiteral("-CAfile"), QStringLiteral("%cert:other"), QStringLiteral("-verify_return_error")}
            << QStringLiteral("相手が証明書の発行元(CA)を信頼していません");
        QTest::newRow("no shared version") << serving + QStringList{QString(), QString(), QString(), QStringLiteral("1.3")}
                                           << trusting + QStringList{QStringLiteral("-tls1_2")}
                                           << QStringLiteral("共通のTLSﾊﾞｰｼﾞｮﾝがありません");
        QTest::newRow("plain client") << serving << QStringList() << QStringLiteral("相手がTLSではなく平文を送りました");
        QTest::newRow("silent client, then the next") << serving << QStringList{QStringLiteral("-")} << QStringLiteral("相手が応答しません(0.2秒)");
    }

    void serverAgainstClient()
    {
        QFETCH(QStringList, tls);
        QFETCH(QStringList, clientArgs);
        QFETCH(QString, outcome);
        SessionHarness h;
        h.Configure(TYPE_TCP_SERVER, WithFiles(tls), CQnDoc::SLOT_SERVER_TLS_FIRST);
        const quint16 port = h.ConfigureTcpServer();
        h.Command(ID_LOOPBACK_ON);
        CReplyRule rule;
        rule.kind = CReplyRule::KindContains;
        rule.matchText = rule.replyText = true;
        rule.match = QStringLiteral("STAT");
        rule.reply = QStringLiteral("ACK\\r\\n");
        CReplyRuleTable rules;
        rules.use = true;
        rules.rules = {rule};
        h.View()->SetReplyRules(rules);
        h.Command(ID_SOCKET_CONNECT);
        QCOMPARE(h.View()->State(), ST_CONNECTED_LOOPBACK);
        OpenSslPeer client;
        LoopbackPeer plain;
        const bool silent = clientArgs == QStringList{QStringLiteral("-")};
        CTlsSoc::SetHandshakeTimeout(silent ? 200 : 0);  // the time of the connections accepted from now on
        if (silent) {
            plain = LoopbackPeer::ConnectTcp(port);
        } else if (clientArgs.isEmpty()) {
            plain = LoopbackPeer::ConnectTcp(port);
            plain.Write("GET / HTTP/1.0\r\n\r\n");
        } else {
            QVERIFY(client.StartClient(port, WithFiles(clientArgs + QStringList{QStringLiteral("-quiet")})));
        }
        QTRY_VERIFY2_WITH_TIMEOUT(!h.LogLines().filter(outcome).isEmpty(), qPrintable(h.LogLines().join(QLatin1Char('\n'))), 10000);
        if (!outcome.startsWith(QStringLiteral("TLS1")) && !outcome.startsWith(QStringLiteral("ｸﾗｲｱﾝﾄ証明書 証明書"))) {
            QTRY_VERIFY(!h.LogLines().filter(QStringLiteral("ON CLOSE  ｸﾗｲｱﾝﾄ破棄")).isEmpty());
            QCOMPARE(h.View()->State(), ST_CONNECTED_LOOPBACK);  // still listening for the next
            if (!silent)
                return;
            CTlsSoc::SetHandshakeTimeout(0);
            QVERIFY(client.StartClient(port, {QStringLiteral("-quiet")}));
        }
        QTRY_VERIFY(h.View()->ConnectionText().endsWith(QStringLiteral("TLS1.3 TLS_AES_256_GCM_SHA384")));
        // A reply rule answers, loopback echoes the rest: exactly, over TLS.
        client.Write("STAT?");
        QTRY_VERIFY_WITH_TIMEOUT(client.Output().contains("ACK\r\n"), 10000);
        client.Write("hello");
        QTRY_VERIFY_WITH_TIMEOUT(client.Output().contains("ACK\r\nhello"), 10000);
        const QStringList history = h.HistoryLines();
        QCOMPARE(history.mid(history.size() - 4), (QStringList{QStringLiteral("R 535441543F"), QStringLiteral("S 41434B0D0A"),
                                                              QStringLiteral("R 68656C6C6F"), QStringLiteral("S 68656C6C6F")}));
    }

    void filesThatCannotBeUsedAreNamedInThePane_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("tls");  // the type's slots, as above
        QTest::addColumn<QString>("log");      // the Log's words (the whole path and the library's)
        QTest::addColumn<QString>("pane");
        const QString on = QStringLiteral("1"), none = QStringLiteral("none"), missing = QStringLiteral("/nonexistent/x.pem");
        const QString good = QStringLiteral("%cert:good"), mismatch = QStringLiteral("秘密鍵が証明書と一致しません");
        const QString unreadable = QStringLiteral("を読めません: x.pem"), keyLog = QStringLiteral("秘密鍵ﾌｧｲﾙを読めません (");
        QTest::newRow("client CA") << int(TYPE_TCP_CLIENT) << QStringList{on, QStringLiteral("file"), missing}
                                   << QStringLiteral("CAﾌｧｲﾙを読めません (") + missing << QStringLiteral("CAﾌｧｲﾙ") + unreadable;
        QTest::newRow("client key of another certificate") << int(TYPE_TCP_CLIENT) << QStringList{on, none, {}, {}, {}, good, QStringLiteral("%key:client")}
                                                           << keyLog << mismatch;
        QTest::newRow("server certificate") << int(TYPE_TCP_SERVER) << QStringList{on, missing, QStringLiteral("%key:good")}
                                            << QStringLiteral("証明書ﾌｧｲﾙを読めません (") + missing << QStringLiteral("証明書ﾌｧｲﾙ") + unreadable;
        QTest::newRow("server key") << int(TYPE_TCP_SERVER) << QStringList{on, good, missing} << keyLog + missing << QStringLiteral("秘密鍵ﾌｧｲﾙ") + unreadable;
        QTest::newRow("server key of another certificate") << int(TYPE_TCP_SERVER) << QStringList{on, good, QStringLiteral("%key:other")} << keyLog << mismatch;
    }

    void filesThatCannotBeUsedAreNamedInThePane()
    {
        QFETCH(int, type);
        QFETCH(QStringList, tls);
        QFETCH(QString, log);
        QFETCH(QString, pane);
        SessionHarness h;
        h.Configure(type, WithFiles(tls), type == TYPE_TCP_SERVER ? CQnDoc::SLOT_SERVER_TLS_FIRST : CQnDoc::SLOT_CLIENT_TLS_FIRST);
        h.Command(ID_SOCKET_CONNECT);
        QVERIFY2(!h.LogLines().filter(QStringLiteral("TLS ") + log).isEmpty(), qPrintable(h.LogLines().join(QLatin1Char('\n'))));
        QTRY_COMPARE(h.View()->ConnectionText(), QStringLiteral("接続できません: TLS ") + pane);
    }
};

QTEST_MAIN(TestTlsSession)
#include "tst_tlssession.moc"
