// TLS through the whole program: the TCP client against `openssl s_server` and the TCP server
// against `openssl s_client`, with certificates the test makes; the Log, the connection pane and the
// History show the handshake's outcome and the application bytes.
#include "res/commandids.h"
#include "net/ctlscertmaker.h"
#include "net/ctlssoc.h"
#include "net/loopbackpeer.h"
#include "sessionharness.h"
#include "support/opensslpeer.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <openssl/ssl.h>

#include <net/if.h>
#include <sys/stat.h>

namespace {

const QString kGood = QStringLiteral("good");
const QString kOther = QStringLiteral("other");
const QString kExpired = QStringLiteral("expired");
const QString kClient = QStringLiteral("client");
const QString kMade = QStringLiteral("made");  // by the program's own generator
const QString kV6 = QStringLiteral("v6");
const QString kSecret = QStringLiteral("secret");  // good's key, encrypted with kPassphrase
const QString kPassphrase = QStringLiteral("s3cret");

OpenSslCerts &Certs()
{
    static OpenSslCerts certs;
    static QString error;
    static const bool made = certs.Make(kGood, {QStringLiteral("localhost"), QStringLiteral("IP:127.0.0.1")}) &&
                             certs.Make(kOther, {QStringLiteral("other.example")}) &&
                             certs.Make(kExpired, {QStringLiteral("localhost"), QStringLiteral("IP:127.0.0.1")}, true) &&
                             certs.Make(kClient, {QStringLiteral("client")}) &&
                             CTlsCertMaker::Make({QStringLiteral("localhost"), QStringLiteral("127.0.0.1")}, certs.Cert(kMade),
                                                 certs.Key(kMade), &error) &&
                             certs.Make(kV6, {QStringLiteral("IP:::1")}) && certs.Encrypt(kGood, kSecret, kPassphrase) &&
                             // Paths no certificate may be read from: a FIFO, a folder, a file past 1 MB.
                             ::mkfifo(QFile::encodeName(certs.Path(QStringLiteral("ca.fifo"))).constData(), 0600) == 0 &&
                             QDir().mkdir(certs.Path(QStringLiteral("folder.pem"))) &&
                             QFile(certs.Path(QStringLiteral("big.pem"))).open(QIODevice::WriteOnly) &&
                             QFile::resize(certs.Path(QStringLiteral("big.pem")), 1024 * 1024 + 1);
    Q_UNUSED(made);
    return certs;
}

// A TLS client inside the test, for what the openssl command does not do: wait for the close_notify
// that answers its own, or leave without one.
class EndingClient
{
public:
    ~EndingClient()
    {
        SSL_free(m_ssl);
        SSL_CTX_free(m_ctx);
    }
    bool Connect(quint16 port)
    {
        m_tcp = LoopbackPeer::ConnectTcp(port);
        m_ctx = SSL_CTX_new(TLS_client_method());
        m_ssl = SSL_new(m_ctx);
        SSL_set_fd(m_ssl, m_tcp.Handle());
        return Drive([this] { return SSL_connect(m_ssl); }) == 1;
    }
    // Sends close_notify and waits for the peer's (the read that sees it returns 0).
    bool EndOrderly()
    {
        if (SSL_shutdown(m_ssl) < 0)
            return false;
        char byte;
        return Drive([this, &byte] { return SSL_read(m_ssl, &byte, 1); }) == 0 &&
               SSL_get_error(m_ssl, 0) == SSL_ERROR_ZERO_RETURN;
    }
    void Cut() { m_tcp = LoopbackPeer(); }

private:
    // Runs `step` until it no longer wants the socket, while the event loop runs; its last result.
    template <class Step>
    int Drive(Step step)
    {
        int result = -1;
        const bool done = QTest::qWaitFor([&] {
            result = step();
            const int error = SSL_get_error(m_ssl, result);
            return result >= 0 || (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE);
        }, 10000);
        return done ? result : -1;
    }
    LoopbackPeer m_tcp;
    SSL_CTX *m_ctx = nullptr;
    SSL *m_ssl = nullptr;
};

// "%cert:<base>", "%key:<base>", "%path:<name>" in a settings text become the test's files.
QStringList WithFiles(QStringList texts)
{
    for (QString &text : texts) {
        if (text.startsWith(QStringLiteral("%cert:")))
            text = Certs().Cert(text.mid(6));
        else if (text.startsWith(QStringLiteral("%key:")))
            text = Certs().Key(text.mid(5));
        else if (text.startsWith(QStringLiteral("%path:")))
            text = Certs().Path(text.mid(6));
    }
    return texts;
}

}  // namespace

class TestTlsSession : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(Certs().IsValid() && QFile::exists(Certs().Cert(kClient)) && QFile::exists(Certs().Cert(kMade)) &&
                QFile::exists(Certs().Key(kSecret)) && QFileInfo(Certs().Path(QStringLiteral("big.pem"))).size() > 1024 * 1024);
    }

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
        // Not verifying, the server's certificate is no cause: the missing client certificate is.
        QTest::newRow("unverified, the server wants a client certificate")
            << kOther << QStringList{QStringLiteral("-Verify"), QStringLiteral("1"), QStringLiteral("-tls1_2")}
            << QStringList{QStringLiteral("1"), QStringLiteral("none")} << QStringLiteral("ｸﾗｲｱﾝﾄ証明書がありません");
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
        h.ConfigureTcpServer();
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
        const quint16 port = h.OwnPort();
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
        // No regular file, or past 1 MB: refused before a byte is read, never waited on.
        const QString caLog = QStringLiteral("CAﾌｧｲﾙを読めません (");
        QTest::newRow("client CA: a FIFO") << int(TYPE_TCP_CLIENT) << QStringList{on, QStringLiteral("file"), QStringLiteral("%path:ca.fifo")}
                                           << caLog << QStringLiteral("CAﾌｧｲﾙを読めません: ca.fifo (通常のﾌｧｲﾙではありません)");
        QTest::newRow("client CA: a device") << int(TYPE_TCP_CLIENT) << QStringList{on, QStringLiteral("file"), QStringLiteral("/dev/zero")}
                                             << caLog << QStringLiteral("CAﾌｧｲﾙを読めません: zero (通常のﾌｧｲﾙではありません)");
        QTest::newRow("client CA: a folder") << int(TYPE_TCP_CLIENT) << QStringList{on, QStringLiteral("file"), QStringLiteral("%path:folder.pem")}
                                             << caLog << QStringLiteral("CAﾌｧｲﾙを読めません: folder.pem (ﾌｫﾙﾀﾞです)");
        QTest::newRow("client CA: a key") << int(TYPE_TCP_CLIENT) << QStringList{on, QStringLiteral("file"), QStringLiteral("%key:good")}
                                          << caLog << QStringLiteral("CAﾌｧｲﾙを読めません: good.key (証明書がありません)");
        QTest::newRow("server certificate past 1 MB") << int(TYPE_TCP_SERVER) << QStringList{on, QStringLiteral("%path:big.pem"), QStringLiteral("%key:good")}
                                                      << QStringLiteral("証明書ﾌｧｲﾙを読めません (")
                                                      << QStringLiteral("証明書ﾌｧｲﾙを読めません: big.pem (ﾌｧｲﾙが大きすぎます (1 MB まで))");
        QTest::newRow("server CA: a FIFO") << int(TYPE_TCP_SERVER) << QStringList{on, good, QStringLiteral("%key:good"), QStringLiteral("require"), QStringLiteral("%path:ca.fifo")}
                                           << caLog << QStringLiteral("CAﾌｧｲﾙを読めません: ca.fifo (通常のﾌｧｲﾙではありません)");
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

    void scopedAddressesAreCheckedWithoutTheirScope_data()
    {
        QTest::addColumn<QString>("cert");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("outcome");
        const QString mismatch = QStringLiteral("ｻｰﾊﾞｰ名が証明書の名前と一致しません");
        QTest::newRow("::1%lo, a certificate for another name") << kOther << QStringLiteral("::1%lo") << mismatch;
        QTest::newRow("[::1%lo], a certificate for another name") << kOther << QStringLiteral("[::1%lo]") << mismatch;
        QTest::newRow("::1%lo, a certificate for ::1") << kV6 << QStringLiteral("::1%lo") << QStringLiteral("TLS ﾊﾝﾄﾞｼｪｲｸ完了");
    }

    void scopedAddressesAreCheckedWithoutTheirScope()
    {
        QFETCH(QString, cert);
        QFETCH(QString, host);
        QFETCH(QString, outcome);
        if (!LoopbackPeer::HasIpv6Loopback() || ::if_nametoindex("lo") == 0)
            QSKIP("no ::1 on an interface named lo on this machine");
        OpenSslPeer server;
        QVERIFY(server.StartServer(WithFiles({QStringLiteral("-cert"), QStringLiteral("%cert:") + cert, QStringLiteral("-key"),
                                              QStringLiteral("%key:") + cert}),
                                   QStringLiteral("[::1]")));
        SessionHarness h;
        h.Configure(TYPE_TCP_CLIENT, WithFiles({QStringLiteral("1"), QStringLiteral("file"), QStringLiteral("%cert:") + cert}),
                    CQnDoc::SLOT_CLIENT_TLS_FIRST);
        h.Configure(TYPE_TCP_CLIENT, {host, QString::number(server.Port()), QStringLiteral("0")}, CQnDoc::SLOT_CLIENT_ADDRESS);
        h.Command(ID_SOCKET_CONNECT);
        QTRY_VERIFY_WITH_TIMEOUT(h.View()->State() != ST_WAIT_CONNECT, 10000);
        QVERIFY2(!h.LogLines().filter(outcome).isEmpty(), qPrintable(h.LogLines().join(QLatin1Char('\n'))));
        QCOMPARE(h.View()->State(), outcome.startsWith(QStringLiteral("TLS ")) ? ST_CONNECTED : ST_DISCONNECTED);
    }

    void anEncryptedKeyAsksForItsPassphraseInADialog_data()
    {
        QTest::addColumn<QStringList>("answers");  // the dialog's, in turn; none left: cancelled
        QTest::addColumn<QString>("pane");         // empty: listening
        QTest::newRow("cancelled") << QStringList() << QStringLiteral("接続できません: TLS 秘密鍵にﾊﾟｽﾌﾚｰｽﾞが必要です");
        QTest::newRow("wrong") << QStringList{QStringLiteral("nope")} << QStringLiteral("接続できません: TLS 秘密鍵のﾊﾟｽﾌﾚｰｽﾞが違います");
        QTest::newRow("right") << QStringList{kPassphrase} << QString();
    }

    void anEncryptedKeyAsksForItsPassphraseInADialog()
    {
        QFETCH(QStringList, answers);
        QFETCH(QString, pane);
        SessionHarness h;
        for (const QString &answer : answers)
            h.Prompts().secrets.enqueue(answer);
        h.Configure(TYPE_TCP_SERVER, WithFiles({QStringLiteral("1"), QStringLiteral("%cert:") + kSecret, QStringLiteral("%key:") + kSecret}),
                    CQnDoc::SLOT_SERVER_TLS_FIRST);
        h.ConfigureTcpServer();
        h.Command(ID_SOCKET_CONNECT);
        QCOMPARE(h.Prompts().MessageTexts(), QStringList{QStringLiteral("秘密鍵 secret.key のﾊﾟｽﾌﾚｰｽﾞを入力してください。")});
        if (pane.isEmpty()) {
            QCOMPARE(h.View()->State(), ST_CONNECTED);
            return;
        }
        QCOMPARE(h.View()->State(), ST_DISCONNECTED);
        QTRY_COMPARE(h.View()->ConnectionText(), pane);
    }

    void aClientsEndIsAnsweredAndLoggedAsOrderlyOrCut_data()
    {
        QTest::addColumn<bool>("orderly");
        QTest::newRow("close_notify, answered") << true;
        QTest::newRow("cut without close_notify") << false;
    }

    void aClientsEndIsAnsweredAndLoggedAsOrderlyOrCut()
    {
        QFETCH(bool, orderly);
        SessionHarness h;
        h.Configure(TYPE_TCP_SERVER, WithFiles({QStringLiteral("1"), QStringLiteral("%cert:good"), QStringLiteral("%key:good")}),
                    CQnDoc::SLOT_SERVER_TLS_FIRST);
        h.ConfigureTcpServer();
        h.Command(ID_SOCKET_CONNECT);
        const QString established = QStringLiteral("TLS1.3 TLS_AES_256_GCM_SHA384");
        {
            EndingClient client;
            QVERIFY(client.Connect(h.OwnPort()));
            QTRY_VERIFY(h.View()->ConnectionText().endsWith(established));
            if (orderly)
                QVERIFY(client.EndOrderly());  // the server's close_notify came back
            else
                client.Cut();
            // The one-client server lets it go, and says how it went.
            QTRY_VERIFY(!h.LogLines().filter(QStringLiteral("ON CLOSE  ｸﾗｲｱﾝﾄ破棄")).isEmpty());
        }
        const QString said = orderly ? QStringLiteral("TLS 相手が正常に終了しました") : QStringLiteral("TLS 終了通知なしに切断されました");
        const QString other = orderly ? QStringLiteral("TLS 終了通知なしに切断されました") : QStringLiteral("TLS 相手が正常に終了しました");
        QCOMPARE(h.LogLines().filter(said).size(), 1);
        QVERIFY(h.LogLines().filter(other).isEmpty());
        EndingClient next;
        QVERIFY(next.Connect(h.OwnPort()));
        QTRY_VERIFY(h.View()->ConnectionText().endsWith(established));
    }
};

QTEST_MAIN(TestTlsSession)
#include "tst_tlssession.moc"
