// Socket addresses as users type and read them: IPv4, IPv6 with brackets and scopes, mapped IPv4;
// text that is no address and no name is refused without a look-up.
#include "platform/casyncsocket.h"
#include "platform/csocketaddress.h"

#include <QScopeGuard>
#include <QTest>

#include <netdb.h>
#include <sys/socket.h>

namespace {

int g_nLookups = 0;
// A resolver that counts its calls and knows no name.
int CountingLookup(const char *, const char *, const addrinfo *, addrinfo **)
{
    ++g_nLookups;
    return EAI_NONAME;
}

}  // namespace

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

    void malformedTextIsRefusedWithoutALookUp_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("error");  // 0: resolves
        QTest::addColumn<int>("lookups");
        QTest::newRow("dotted quad") << "192.0.2.1" << 0 << 0;
        QTest::newRow("a name") << "device.invalid" << WSAEINVAL << 1;
        QTest::newRow("a name of digits and letters") << "7seg.example" << WSAEINVAL << 1;
        QTest::newRow("three numbers") << "1.2.3" << QN_EMALFORMEDADDRESS << 0;
        QTest::newRow("a number past 255") << "999.1.1.1" << QN_EMALFORMEDADDRESS << 0;
        QTest::newRow("one number") << "2130706433" << QN_EMALFORMEDADDRESS << 0;
        QTest::newRow("hexadecimal") << "0x7f.1" << QN_EMALFORMEDADDRESS << 0;
        QTest::newRow("one bracket") << "[::1" << QN_EMALFORMEDADDRESS << 0;
        QTest::newRow("unknown scope") << "fe80::1%nonexistent" << QN_EMALFORMEDADDRESS << 0;
        QTest::newRow("300 letters") << QString(300, u'a') << QN_EMALFORMEDADDRESS << 0;
        QTest::newRow("empty part") << "a..example" << QN_EMALFORMEDADDRESS << 0;
    }
    void malformedTextIsRefusedWithoutALookUp()
    {
        QFETCH(QString, typed);
        QFETCH(int, error);
        QFETCH(int, lookups);
        g_nLookups = 0;
        const auto systemLookup = CAsyncSocket::SetNameLookup(CountingLookup);
        const auto restore = qScopeGuard([&] { CAsyncSocket::SetNameLookup(systemLookup); });
        CAsyncSocket::SetLastError(0);
        CSocketAddress address;
        QCOMPARE(bool(CAsyncSocket::ResolveAddress(typed, 502, SOCK_STREAM, address)), error == 0);
        QCOMPARE(CAsyncSocket::GetLastError(), error);
        QCOMPARE(g_nLookups, lookups);
        QCOMPARE(CSocketAddress::IsMalformed(typed), error == QN_EMALFORMEDADDRESS);
    }
};

QTEST_GUILESS_MAIN(TestSocketAddress)
#include "tst_socketaddress.moc"
