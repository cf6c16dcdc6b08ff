// Each transport's settings struct reads the texts its writers wrote and writes them back as they
// were: what the dialogs, the batch runner and older documents stored reads back unchanged, a text
// that is no setting is refused with the reason the user has always seen, and what a struct writes
// reads back the same.
#include "net/ctcpclientsettings.h"
#include "net/ctcpserversettings.h"
#include "net/cserialsettings.h"
#include "net/cudpsettings.h"

#include <QTest>

#include <optional>

namespace {

enum Kind { Udp, Server, Client, Serial };

// Parse, then Texts; nothing when Parse refuses (the reason in `error`).
std::optional<QStringList> ReadBack(int kind, const QStringList &texts, QString *error)
{
    const auto through = [&](auto settings) -> std::optional<QStringList> {
        if (!decltype(settings)::Parse(texts, &settings, error))
            return std::nullopt;
        return settings.Texts();
    };
    switch (kind) {
    case Udp: return through(CUdpSettings());
    case Server: return through(CTcpServerSettings());
    case Client: return through(CTcpClientSettings());
    default: return through(CSerialSettings());
    }
}

QStringList Blanks(int count)
{
    return QStringList(count, QString());
}

}  // namespace

class TestTransportSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void texts_read_back_as_written_data();
    void texts_read_back_as_written();
};

void TestTransportSettings::texts_read_back_as_written_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("written");  // empty: refused
    QTest::addColumn<QString>("error");

    const QStringList clientTls = Blanks(CTlsSettings::kClientTexts);
    const QStringList serverTls = Blanks(CTlsSettings::kServerTexts);
    const QString none;

    QTest::newRow("udp defaults") << int(Udp) << QStringList{"127.0.0.1", "5000", "6000", ""}
                                  << QStringList{"127.0.0.1", "5000", "6000", ""} << none;
    QTest::newRow("udp every option") << int(Udp) << QStringList{"ff02::1%lo", " 5000", "0", "if:lo ttl:4 loop:0 from:1"}
                                      << QStringList{"ff02::1%lo", " 5000", "0", "if:lo ttl:4 loop:0 from:1"} << none;
    QTest::newRow("udp options in any order") << int(Udp) << QStringList{"a", "1", "2", "from:1  ttl:7"}
                                              << QStringList{"a", "1", "2", "ttl:7 from:1"} << none;
    QTest::newRow("udp defaults spelt out") << int(Udp) << QStringList{"a", "1", "2", "ttl:1 loop:01"}
                                            << QStringList{"a", "1", "2", ""} << none;
    QTest::newRow("udp ttl out of range") << int(Udp) << QStringList{"a", "1", "2", "ttl:256"} << QStringList()
                                          << QStringLiteral("UDPの指定 \"ttl:256\" が分かりません (if:名前, ttl:0～255, loop:0|1, from:0|1)");
    QTest::newRow("udp keys are lower case") << int(Udp) << QStringList{"a", "1", "2", "TTL:4"} << QStringList()
                                             << QStringLiteral("UDPの指定 \"TTL:4\" が分かりません (if:名前, ttl:0～255, loop:0|1, from:0|1)");
    QTest::newRow("udp empty interface") << int(Udp) << QStringList{"a", "1", "2", "loop:2 if:"} << QStringList()
                                         << QStringLiteral("UDPの指定 \"loop:2\" が分かりません (if:名前, ttl:0～255, loop:0|1, from:0|1)");

    QTest::newRow("server one client") << int(Server) << QStringList{"5000", ""} + serverTls
                                       << QStringList{"5000", ""} + serverTls << none;
    QTest::newRow("server many clients") << int(Server) << QStringList{"5000", "64"} + serverTls
                                         << QStringList{"5000", "64"} + serverTls << none;
    QTest::newRow("server limit kept in range") << int(Server) << QStringList{"0", "99999"} + serverTls
                                                << QStringList{"0", "10000"} + serverTls << none;
    QTest::newRow("server limit no number") << int(Server) << QStringList{"0", " x"} << QStringList{"0", "1"} + serverTls << none;
    QTest::newRow("server tls") << int(Server)
                                << QStringList{"443", "", "1", "s.pem", "s.key", "require", "ca.pem", "h2,http/1.1", "1.3"}
                                << QStringList{"443", "", "1", "s.pem", "s.key", "require", "ca.pem", "h2,http/1.1", "1.3"} << none;
    QTest::newRow("server tls unknown choices") << int(Server)
                                                << QStringList{"443", "", " 1 ", "s.pem", "s.key", "maybe", "", " h2 , ,x", "1.1"}
                                                << QStringList{"443", "", "1", "s.pem", "s.key", "", "", "h2,x", ""} << none;

    QTest::newRow("client plain") << int(Client) << QStringList{"localhost", "5020", "0"} + clientTls
                                  << QStringList{"localhost", "5020", "0"} + clientTls << none;
    QTest::newRow("client tls") << int(Client)
                                << QStringList{"::1", "443", "0", "1", "file", "/ca.pem", "name", "h2", "c.pem", "c.key", "1.2"}
                                << QStringList{"::1", "443", "0", "1", "file", "/ca.pem", "name", "h2", "c.pem", "c.key", "1.2"} << none;
    QTest::newRow("client tls by --tls --insecure") << int(Client) << QStringList{"h", "1", "0", "1", "none", ""}
                                                    << QStringList{"h", "1", "0", "1", "none", "", "", "", "", "", ""} << none;
    QTest::newRow("client only its own texts") << int(Client) << QStringList{"h"} << QStringList{"h", "", ""} + clientTls << none;

    QTest::newRow("serial as the dialog writes") << int(Serial) << QStringList{"/dev/ttyUSB0", "115200", "8N1", "none", "", ""}
                                                 << QStringList{"/dev/ttyUSB0", "115200", "8N1", "none", "", "", ""} << none;
    QTest::newRow("serial gap and lines") << int(Serial) << QStringList{"/dev/x", "9600", "7E2", "rtscts", "gap:5", "dtr:0 rts:1"}
                                          << QStringList{"/dev/x", "9600", "7E2", "rtscts", "gap:5", "dtr:0 rts:1", ""} << none;
    QTest::newRow("serial end byte, any case") << int(Serial) << QStringList{"/dev/x", "", "5n1.5", "XONXOFF", "BYTE:0d", "DTR:1 rts:1"}
                                               << QStringList{"/dev/x", "9600", "5N1.5", "xonxoff", "byte:0D", "", ""} << none;
    QTest::newRow("serial gap 0 is each read") << int(Serial) << QStringList{"/dev/x", "", "", "", "gap:0"}
                                               << QStringList{"/dev/x", "9600", "8N1", "none", "", "", ""} << none;
    const QStringList plain{"/dev/x", "9600", "8N1", "none", "", ""};
    QTest::newRow("serial rs485 after send, delays, break") << int(Serial) << plain + QStringList{"RS485:After after:3 before:2 break:500"}
                                                            << plain + QStringList{"rs485:after before:2 after:3 break:500"} << none;
    QTest::newRow("serial rs485 on send, default break") << int(Serial) << plain + QStringList{"rs485:send"}
                                                         << plain + QStringList{"rs485:send before:0 after:0"} << none;
    QTest::newRow("serial break 250 is the default") << int(Serial) << plain + QStringList{"break:250"} << plain + QStringList{""} << none;
    QTest::newRow("serial rs485 mode unknown") << int(Serial) << plain + QStringList{"rs485:both"} << QStringList()
                                               << QStringLiteral("ｼﾘｱﾙのｵﾌﾟｼｮﾝ \"rs485:both\" は rs485:send/after before:0-100 after:0-100 break:1-10000 の形ではありません");
    QTest::newRow("serial rs485 delay too long") << int(Serial) << plain + QStringList{"rs485:send after:101"} << QStringList()
                                                 << QStringLiteral("ｼﾘｱﾙのｵﾌﾟｼｮﾝ \"after:101\" は rs485:send/after before:0-100 after:0-100 break:1-10000 の形ではありません");
    QTest::newRow("serial break of 0 ms") << int(Serial) << plain + QStringList{"break:0"} << QStringList()
                                          << QStringLiteral("ｼﾘｱﾙのｵﾌﾟｼｮﾝ \"break:0\" は rs485:send/after before:0-100 after:0-100 break:1-10000 の形ではありません");
    QTest::newRow("serial gap too long") << int(Serial) << QStringList{"/dev/x", "", "", "", "gap:60001"} << QStringList()
                                         << QStringLiteral("電文の区切り \"gap:60001\" は gap:ﾐﾘ秒 (0-60000) でも byte:16進2桁 でもありません");
    QTest::newRow("serial gap with a sign") << int(Serial) << QStringList{"/dev/x", "", "", "", "gap:+5"} << QStringList()
                                            << QStringLiteral("電文の区切り \"gap:+5\" は gap:ﾐﾘ秒 (0-60000) でも byte:16進2桁 でもありません");
    QTest::newRow("serial two ends") << int(Serial) << QStringList{"/dev/x", "", "", "", "gap:5 byte:0D"} << QStringList()
                                     << QStringLiteral("電文の区切り \"gap:5 byte:0D\" は gap:ﾐﾘ秒 (0-60000) でも byte:16進2桁 でもありません");
    QTest::newRow("serial end byte not hex") << int(Serial) << QStringList{"/dev/x", "", "", "", "byte:0G"} << QStringList()
                                             << QStringLiteral("電文の区切り \"byte:0G\" は gap:ﾐﾘ秒 (0-60000) でも byte:16進2桁 でもありません");
    QTest::newRow("serial line state 2") << int(Serial) << QStringList{"/dev/x", "", "", "", "", "dtr:2"} << QStringList()
                                         << QStringLiteral("制御線 \"dtr:2\" は dtr:0/1 rts:0/1 の形ではありません");
}

void TestTransportSettings::texts_read_back_as_written()
{
    QFETCH(int, kind);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, written);
    QFETCH(QString, error);

    QString reason;
    const std::optional<QStringList> read = ReadBack(kind, texts, &reason);
    if (written.isEmpty()) {
        QVERIFY(!read);
        QCOMPARE(reason, error);
        return;
    }
    QVERIFY2(read, qPrintable(reason));
    QCOMPARE(*read, written);
    // What a struct writes reads back the same.
    QCOMPARE(ReadBack(kind, written, &reason).value_or(QStringList{"refused"}), written);
}

QTEST_GUILESS_MAIN(TestTransportSettings)
#include "tst_transportsettings.moc"
