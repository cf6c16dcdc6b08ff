// What every endpoint promises the view, one row per connection type against a real peer (a loopback
// socket, a pseudo-terminal, openssl s_server over loopback): made by its type, opened with the
// texts its settings struct writes, told of what arrives (as a notice of its own socket), read and
// sent, described, closed (its notices then stale), and a failure to open told in its own domain.
#include "document/cconnectiontype.h"
#include "loopbackpeer.h"
#include "net/cendpoint.h"
#include "net/cserialsettings.h"
#include "net/ctcpclientsettings.h"
#include "net/ctcpserversettings.h"
#include "net/cudpsettings.h"
#include "platform/chexconv.h"
#include "recordingwnd.h"
#include "support/opensslpeer.h"
#include "support/ptydevice.h"

#include <QTest>

#include <memory>

namespace {

// The view: records the socket each receive notice names, as CMsgWnd hands it to the real view.
class ContractView : public RecordingWnd
{
public:
    QList<std::uint64_t> sources;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if ((message == WM_SESSION_EVENT && wParam == EV_RECEIVE) || message == WM_UDP_RECEIVE)
            sources.append(MessageSource());
        return RecordingWnd::WindowProc(message, wParam, lParam);
    }
};

// The far end of one type's connection.
class Peer
{
public:
    virtual ~Peer() = default;
    // Ready to be reached; false (with a reason) where this machine cannot play it.
    virtual bool Start(QString *why) = 0;
    virtual QStringList Settings() = 0;
    // The endpoint has opened (and connected, where it completes later): reach it.
    virtual bool Meet(CEndpoint &endpoint) = 0;
    virtual void Send(const QByteArray &bytes) = 0;
    virtual QByteArray Received() = 0;
};

class UdpPeer : public Peer
{
public:
    bool Start(QString *) override { return (m_peer = LoopbackPeer::BindUdp()).IsValid(); }
    QStringList Settings() override
    {
        CUdpSettings settings;
        settings.address = QStringLiteral("127.0.0.1");
        settings.port = QString::number(m_peer.Port());
        settings.ownPort = QStringLiteral("0");
        return settings.Texts();
    }
    bool Meet(CEndpoint &endpoint) override { return (m_ownPort = quint16(endpoint.Describe().ownPort)) != 0; }
    void Send(const QByteArray &bytes) override { m_peer.WriteTo(bytes, m_ownPort); }
    QByteArray Received() override { return m_received += m_peer.ReadNow(); }

private:
    LoopbackPeer m_peer;
    quint16 m_ownPort = 0;
    QByteArray m_received;
};

class TcpServerPeer : public Peer
{
public:
    bool Start(QString *) override { return true; }
    QStringList Settings() override
    {
        CTcpServerSettings settings;
        settings.port = QStringLiteral("0");
        return settings.Texts();
    }
    bool Meet(CEndpoint &endpoint) override
    {
        m_peer = LoopbackPeer::ConnectTcp(quint16(endpoint.Describe().ownPort));
        return m_peer.IsValid() && QTest::qWaitFor([&] { return endpoint.HasPeer(); }, 5000);
    }
    void Send(const QByteArray &bytes) override { m_peer.Write(bytes); }
    QByteArray Received() override { return m_peer.Drain(); }

private:
    LoopbackPeer m_peer;
};

class TcpClientPeer : public Peer
{
public:
    bool Start(QString *) override { return (m_listener = LoopbackPeer::ListenTcp()).IsValid(); }
    QStringList Settings() override
    {
        CTcpClientSettings settings;
        settings.address = QStringLiteral("127.0.0.1");
        settings.port = QString::number(m_listener.Port());
        settings.ownPort = QStringLiteral("0");
        return settings.Texts();
    }
    bool Meet(CEndpoint &) override { return (m_peer = m_listener.AcceptTcp()).IsValid(); }
    void Send(const QByteArray &bytes) override { m_peer.Write(bytes); }
    QByteArray Received() override { return m_peer.Drain(); }

private:
    LoopbackPeer m_listener;
    LoopbackPeer m_peer;
};

class SerialPeer : public Peer
{
public:
    bool Start(QString *why) override
    {
        *why = QStringLiteral("no pseudo-terminal");
        return m_device.IsValid();
    }
    QStringList Settings() override
    {
        CSerialSettings settings;
        settings.device = m_device.Path();
        return settings.Texts();
    }
    bool Meet(CEndpoint &) override { return QTest::qWaitFor([&] { return m_device.IsOpenedRaw(); }, 5000); }
    void Send(const QByteArray &bytes) override { m_device.Write(bytes); }
    QByteArray Received() override { return m_device.received; }

private:
    PtyDevice m_device;
};

class TlsClientPeer : public Peer
{
public:
    bool Start(QString *why) override
    {
        *why = QStringLiteral("the openssl command cannot make a certificate or serve");
        return m_certs.Make(QStringLiteral("server"), {QStringLiteral("localhost"), QStringLiteral("IP:127.0.0.1")}) &&
               m_server.StartServer({QStringLiteral("-cert"), m_certs.Cert(QStringLiteral("server")), QStringLiteral("-key"),
                                     m_certs.Key(QStringLiteral("server"))});
    }
    QStringList Settings() override
    {
        CTcpClientSettings settings;
        settings.address = QStringLiteral("127.0.0.1");
        settings.port = QString::number(m_server.Port());
        settings.ownPort = QStringLiteral("0");
        settings.tls.m_bUse = true;
        settings.tls.m_verify = CTlsSettings::Verify::CaFile;
        settings.tls.m_strCaFile = m_certs.Cert(QStringLiteral("server"));
        return settings.Texts();
    }
    // Sends before the handshake are refused: the peer is met once the endpoint says TLS is on.
    bool Meet(CEndpoint &endpoint) override
    {
        return QTest::qWaitFor([&] { return endpoint.Describe().text.contains(QStringLiteral("TLS1.")); }, 10000);
    }
    void Send(const QByteArray &bytes) override { m_server.Write(bytes); }
    QByteArray Received() override { return m_server.Output(); }

private:
    OpenSslCerts m_certs;
    OpenSslPeer m_server;
};

using PeerMaker = std::shared_ptr<Peer> (*)();

}  // namespace

Q_DECLARE_METATYPE(PeerMaker)

class TestEndpointContract : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void endpoint_keeps_the_contract_data();
    void endpoint_keeps_the_contract();
    void failed_open_says_why_in_its_domain_data();
    void failed_open_says_why_in_its_domain();
    void name_lookup_follows_the_row();
};

void TestEndpointContract::endpoint_keeps_the_contract_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<PeerMaker>("makePeer");
    QTest::addColumn<QString>("described");  // what Describe() says once met

    QTest::newRow("udp") << int(TYPE_UDP) << PeerMaker([] { return std::shared_ptr<Peer>(new UdpPeer); }) << "UDP 127.0.0.1:";
    QTest::newRow("tcp server") << int(TYPE_TCP_SERVER) << PeerMaker([] { return std::shared_ptr<Peer>(new TcpServerPeer); })
                                << "ｸﾗｲｱﾝﾄ 127.0.0.1:";
    QTest::newRow("tcp client") << int(TYPE_TCP_CLIENT) << PeerMaker([] { return std::shared_ptr<Peer>(new TcpClientPeer); })
                                << "接続先 127.0.0.1:";
    QTest::newRow("serial") << int(TYPE_SERIAL) << PeerMaker([] { return std::shared_ptr<Peer>(new SerialPeer); }) << "/dev/pts/";
    QTest::newRow("tls client") << int(TYPE_TCP_CLIENT) << PeerMaker([] { return std::shared_ptr<Peer>(new TlsClientPeer); })
                                << " TLS1.";
}

void TestEndpointContract::endpoint_keeps_the_contract()
{
    QFETCH(int, type);
    QFETCH(PeerMaker, makePeer);
    QFETCH(QString, described);

    const std::shared_ptr<Peer> peer = makePeer();
    QString why;
    if (!peer->Start(&why))
        QSKIP(qPrintable(why));
    ContractView view;
    std::unique_ptr<CEndpoint> endpoint = CEndpoint::Make(ConnectionType(type), &view, view.LogBuf());
    QVERIFY(endpoint);
    QCOMPARE(int(endpoint->Type()), type);
    // The settings texts are as many as the type's slots.
    QVERIFY(peer->Settings().size() <= CConnectionType::Find(ConnectionType(type))->EndpointSlots().size());

    QString logText;
    QVERIFY2(endpoint->Open(peer->Settings(), &logText), qPrintable(endpoint->LastFailure().text));
    QVERIFY(!logText.isEmpty());
    if (endpoint->CompletesLater()) {
        QTRY_COMPARE(view.Events(EV_CONNECT_DONE).size(), 1);
        QCOMPARE(GetWordHalf(std::uint32_t(view.Events(EV_CONNECT_DONE).first()), 0), 0);
    }
    QVERIFY(peer->Meet(*endpoint));
    QVERIFY2(endpoint->Describe().text.contains(described), qPrintable(endpoint->Describe().text));
    QVERIFY(endpoint->HasPeer());

    // What arrives is told as a notice of the endpoint's own socket, and read whole.
    peer->Send("ping\r");
    QTRY_VERIFY(!view.sources.isEmpty());
    const std::uint64_t source = view.sources.first();
    QVERIFY(source != 0);
    QVERIFY(endpoint->IsNoticeFrom(source));
    // One read for one notice, as the view reads.
    char buffer[64];
    const int count = endpoint->Receive(buffer, int(sizeof buffer));
    QCOMPARE(QByteArray(buffer, qMax(count, 0)), QByteArray("ping\r"));

    QVERIFY(endpoint->Send("pong\r", 5) != 0);
    QTRY_VERIFY(peer->Received().contains("pong\r"));
    QVERIFY(!endpoint->LastFailure().IsSet());

    // Once closed, a notice still on its way is stale.
    endpoint->Close();
    QVERIFY(!endpoint->IsNoticeFrom(source));
}

void TestEndpointContract::failed_open_says_why_in_its_domain_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("settings");
    QTest::addColumn<int>("domain");
    QTest::addColumn<QString>("text");  // what the pane's brief text begins with

    CTcpClientSettings tls;
    tls.address = QStringLiteral("127.0.0.1");
    tls.port = QStringLiteral("1");
    tls.tls.m_bUse = true;
    tls.tls.m_verify = CTlsSettings::Verify::CaFile;
    tls.tls.m_strCaFile = QStringLiteral("/nonexistent/ca.pem");
    QTest::newRow("tls ca file missing") << int(TYPE_TCP_CLIENT) << tls.Texts() << int(FailureDomain::Tls)
                                         << "TLS CAﾌｧｲﾙを読めません: ca.pem";
    QTest::newRow("serial without a device") << int(TYPE_SERIAL) << QStringList() << int(FailureDomain::Settings)
                                             << "ﾃﾞﾊﾞｲｽが設定されていません。";
    QTest::newRow("serial bad frame") << int(TYPE_SERIAL) << QStringList{"/dev/null", "", "9X1"} << int(FailureDomain::Settings)
                                      << "ﾌﾚｰﾑ \"9X1\"";
    QTest::newRow("serial device missing") << int(TYPE_SERIAL) << QStringList{"/nonexistent/ttyX"} << int(FailureDomain::Errno)
                                           << "ﾃﾞﾊﾞｲｽ /nonexistent/ttyX";
}

void TestEndpointContract::failed_open_says_why_in_its_domain()
{
    QFETCH(int, type);
    QFETCH(QStringList, settings);
    QFETCH(int, domain);
    QFETCH(QString, text);

    ContractView view;
    std::unique_ptr<CEndpoint> endpoint = CEndpoint::Make(ConnectionType(type), &view, view.LogBuf());
    QString logText;
    QVERIFY(!endpoint->Open(settings, &logText));
    const SocketFailure failure = endpoint->LastFailure();
    QCOMPARE(int(failure.domain), domain);
    QVERIFY2(failure.text.startsWith(text), qPrintable(failure.text));
    // The Log has the failure's words, at least as many as the pane's.
    QVERIFY2(!view.lines.filter(failure.LogText()).isEmpty(), qPrintable(view.lines.join(QLatin1Char('\n'))));
}

// A type whose row says it looks names up names the host to look up; the others never ask for one.
void TestEndpointContract::name_lookup_follows_the_row()
{
    for (const CConnectionType &row : CConnectionType::All()) {
        ContractView view;
        std::unique_ptr<CEndpoint> endpoint = CEndpoint::Make(row.type, &view, view.LogBuf());
        QVERIFY(endpoint);
        QStringList settings;
        for (qsizetype i = 0; i < row.EndpointSlots().size(); ++i)
            settings.append(QStringLiteral("peer.invalid"));
        QCOMPARE(endpoint->DestinationHost(settings).isEmpty(), !row.Has(Capability::NameLookup));
    }
}

QTEST_GUILESS_MAIN(TestEndpointContract)
#include "tst_endpointcontract.moc"
