// The table of connection types: each type reads the document slots it always read, in the same
// order, is labelled as before, and a batch row's address picks the type it always ran over.
#include "document/cconnectiontype.h"
#include "document/cqndoc.h"

#include <QTest>

class TestConnectionType : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rows_keep_the_slot_layout_data();
    void rows_keep_the_slot_layout();
    void batch_address_picks_the_type_data();
    void batch_address_picks_the_type();
    void unknown_type_has_no_row();
};

void TestConnectionType::rows_keep_the_slot_layout_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<int>>("settingSlots");
    QTest::addColumn<QList<int>>("tlsSlots");
    QTest::addColumn<QString>("label");
    QTest::addColumn<uint>("colour");
    QTest::addColumn<uint>("capabilities");

    const auto range = [](int first, int count) {
        QList<int> list;
        for (int i = 0; i < count; ++i)
            list.append(first + i);
        return list;
    };
    const auto can = [](std::initializer_list<Capability> list) {
        unsigned bits = 0;
        for (Capability capability : list)
            bits |= unsigned(capability);
        return bits;
    };
    QTest::newRow("udp") << int(TYPE_UDP) << QList<int>{0, 1, 2, 13} << QList<int>{} << QStringLiteral("        UDP") << 0xFFFF00u
                         << can({Capability::NameLookup});
    QTest::newRow("tcp server") << int(TYPE_TCP_SERVER) << QList<int>{3, 14} << range(23, 7) << QStringLiteral("   TCP-IP(ｻｰﾊﾞｰ)")
                                << 0x00FFFFu << can({Capability::Tls, Capability::ManyPeers, Capability::AcceptsClients});
    QTest::newRow("tcp client") << int(TYPE_TCP_CLIENT) << QList<int>{4, 5, 6} << range(15, 8) << QStringLiteral("  TCP-IP(ｸﾗｲｱﾝﾄ)")
                                << 0xFF00FFu << can({Capability::Tls, Capability::BatchDefault, Capability::NameLookup});
    QTest::newRow("serial") << int(TYPE_SERIAL) << range(7, 6) + QList<int>{30} << QList<int>{} << QStringLiteral("       ｼﾘｱﾙ")
                            << 0x80C0FFu << can({Capability::LineControls});
}

void TestConnectionType::rows_keep_the_slot_layout()
{
    QFETCH(int, type);
    QFETCH(QList<int>, settingSlots);
    QFETCH(QList<int>, tlsSlots);
    QFETCH(QString, label);
    QFETCH(uint, colour);
    QFETCH(uint, capabilities);

    const CConnectionType *row = CConnectionType::Find(ConnectionType(type));
    QVERIFY(row);
    QCOMPARE(row->SettingSlots(), settingSlots);
    QCOMPARE(row->TlsSlots(), tlsSlots);
    QCOMPARE(row->EndpointSlots(), settingSlots + tlsSlots);
    QCOMPARE(row->Label(), label);
    QCOMPARE(uint(row->colour), colour);
    QCOMPARE(row->capabilities, capabilities);
    QCOMPARE(row->Has(Capability::Tls), !tlsSlots.isEmpty());
    // The texts go to and come from exactly those slots.
    CQnDoc document;
    QStringList texts;
    for (int slot : row->EndpointSlots())
        texts.append(QString::number(slot));
    CConnectionType::SetTexts(&document, row->EndpointSlots(), texts);
    for (int slot : row->EndpointSlots())
        QCOMPARE(document.GetSlotString(slot), QString::number(slot));
    QCOMPARE(CConnectionType::Texts(document, row->EndpointSlots()), texts);
}

void TestConnectionType::batch_address_picks_the_type_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<QList<int>>("written");  // address, port, own port

    const QList<int> client{CQnDoc::SLOT_CLIENT_ADDRESS, CQnDoc::SLOT_CLIENT_PORT, CQnDoc::SLOT_CLIENT_OWN_PORT};
    const QList<int> serial{CQnDoc::SLOT_SERIAL_DEVICE, CQnDoc::SLOT_SERIAL_BAUD, -1};
    QTest::newRow("device path") << "/dev/ttyUSB0" << int(TYPE_SERIAL) << serial;
    QTest::newRow("by-id path") << "/dev/serial/by-id/usb-x" << int(TYPE_SERIAL) << serial;
    QTest::newRow("not quite a device") << "/devices" << int(TYPE_TCP_CLIENT) << client;
    QTest::newRow("device in capitals") << "/DEV/ttyS0" << int(TYPE_TCP_CLIENT) << client;
    QTest::newRow("ipv4") << "127.0.0.1" << int(TYPE_TCP_CLIENT) << client;
    QTest::newRow("tls") << "tls://[::1]" << int(TYPE_TCP_CLIENT) << client;
}

void TestConnectionType::batch_address_picks_the_type()
{
    QFETCH(QString, address);
    QFETCH(int, type);
    QFETCH(QList<int>, written);

    const CConnectionType &row = CConnectionType::ForBatchAddress(address);
    QCOMPARE(int(row.type), type);
    QCOMPARE((QList<int>{row.batch.address, row.batch.port, row.batch.ownPort}), written);
}

void TestConnectionType::unknown_type_has_no_row()
{
    QVERIFY(!CConnectionType::Find(ConnectionType(4)));
    QVERIFY(!CConnectionType::Find(ConnectionType(-1)));
    QCOMPARE(CConnectionType::All().size(), std::size_t(4));
}

QTEST_GUILESS_MAIN(TestConnectionType)
#include "tst_connectiontype.moc"
