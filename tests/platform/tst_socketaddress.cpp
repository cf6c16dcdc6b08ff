// Socket addresses as users type and read them: IPv4, IPv6 with brackets and scopes, mapped IPv4.
#include "platform/csocketaddress.h"

#include <QTest>

#include <sys/socket.h>

class TestSocketAddress : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void typedAddressesReadBackAsUsersWriteThem_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("family");  // 0: not an address in numbers
        QTest::addColumn<QString>("text");
        QTest::newRow("IPv4") << "192.0.2.1" << AF_INET << "192.0.2.1:502";
        QTest::newRow("IPv6") << "::1" << AF_INET6 << "[::1]:502";
        QTest::newRow("IPv6 in brackets") << " [2001:db8::7] " << AF_INET6 << "[2001:db8::7]:502";
        QTest::newRow("scope by name") << "fe80::1%lo" << AF_INET6 << "[fe80::1%lo]:502";
        QTest::newRow("scope by number") << "fe80::1%1" << AF_INET6 << "[fe80::1%lo]:502";
        QTest::newRow("mapped IPv4 reads as IPv4") << "::ffff:192.0.2.1" << AF_INET6 << "192.0.2.1:502";
        QTest::newRow("unknown interface") << "fe80::1%no-such-if" << 0 << "";
        QTest::newRow("a host name") << "localhost" << 0 << "";
        QTest::newRow("one bracket") << "[::1" << 0 << "";
    }
    void typedAddressesReadBackAsUsersWriteThem()
    {
        QFETCH(QString, typed);
        QFETCH(int, family);
        QFETCH(QString, text);
        CSocketAddress address;
        QCOMPARE(CSocketAddress::FromNumbers(typed, 502, &address), family != 0);
        if (family == 0)
            return;
        QCOMPARE(address.Family(), family);
        QCOMPARE(address.Port(), 502u);
        QCOMPARE(address.Text(), text);
        // The same address for an IPv6 socket reads the same; an IPv6 one has none on IPv4.
        CSocketAddress forV6;
        QVERIFY(address.ForFamily(AF_INET6, &forV6));
        QCOMPARE(forV6.Text(), text);
        CSocketAddress forV4;
        QCOMPARE(address.ForFamily(AF_INET, &forV4), family == AF_INET);
        // What the system hands back reads the same as what was typed.
        QCOMPARE(CSocketAddress::FromSockaddr(forV6.Data(), forV6.Length()).Text(), text);
    }
};

QTEST_GUILESS_MAIN(TestSocketAddress)
#include "tst_socketaddress.moc"
