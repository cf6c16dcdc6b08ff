// --to and --listen of a command run: the address picks the connection type and fills the very
// document slots a hand-made document of that type has.
#include "app/ui/ccommandscommand.h"
#include "document/cqndoc.h"

#include <QTest>

using SlotTexts = QList<QPair<int, QString>>;

class TestCommandsPoint : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void address_fills_the_type_slots_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("listen");
        QTest::addColumn<int>("type");  // -1: refused
        QTest::addColumn<SlotTexts>("written");

        QTest::newRow("tcp") << "127.0.0.1:7" << false << int(TYPE_TCP_CLIENT)
                             << SlotTexts{{CQnDoc::SLOT_CLIENT_ADDRESS, "127.0.0.1"}, {CQnDoc::SLOT_CLIENT_PORT, "7"},
                                          {CQnDoc::SLOT_CLIENT_OWN_PORT, "0"}, {CQnDoc::SLOT_CLIENT_TLS_FIRST, ""}};
        QTest::newRow("ipv6") << "[::1]:65535" << false << int(TYPE_TCP_CLIENT)
                              << SlotTexts{{CQnDoc::SLOT_CLIENT_ADDRESS, "::1"}, {CQnDoc::SLOT_CLIENT_PORT, "65535"}};
        QTest::newRow("tls") << "tls://localhost:443" << false << int(TYPE_TCP_CLIENT)
                             << SlotTexts{{CQnDoc::SLOT_CLIENT_ADDRESS, "localhost"}, {CQnDoc::SLOT_CLIENT_PORT, "443"},
                                          {CQnDoc::SLOT_CLIENT_TLS_FIRST, "1"}, {CQnDoc::SLOT_CLIENT_TLS_FIRST + 1, ""}};
        QTest::newRow("device and baud") << "/dev/ttyUSB0:9600" << false << int(TYPE_SERIAL)
                                         << SlotTexts{{CQnDoc::SLOT_SERIAL_DEVICE, "/dev/ttyUSB0"}, {CQnDoc::SLOT_SERIAL_BAUD, "9600"}};
        QTest::newRow("device alone") << "/dev/ttyS0" << false << int(TYPE_SERIAL)
                                      << SlotTexts{{CQnDoc::SLOT_SERIAL_DEVICE, "/dev/ttyS0"}, {CQnDoc::SLOT_SERIAL_BAUD, ""}};
        QTest::newRow("listen port") << "8080" << true << int(TYPE_TCP_SERVER)
                                     << SlotTexts{{CQnDoc::SLOT_SERVER_PORT, "8080"}, {CQnDoc::SLOT_SERVER_TLS_FIRST, ""}};
        QTest::newRow("listen any") << "0.0.0.0:0" << true << int(TYPE_TCP_SERVER) << SlotTexts{{CQnDoc::SLOT_SERVER_PORT, "0"}};
        QTest::newRow("listen one address") << "127.0.0.1:80" << true << -1 << SlotTexts{};
        QTest::newRow("no port") << "localhost" << false << -1 << SlotTexts{};
        QTest::newRow("port out of range") << "localhost:65536" << false << -1 << SlotTexts{};
    }
    void address_fills_the_type_slots()
    {
        QFETCH(QString, address);
        QFETCH(bool, listen);
        QFETCH(int, type);
        QFETCH(SlotTexts, written);

        CQnDoc document;
        document.OnNewDocument();
        QString why;
        QCOMPARE(CCommandsCommand::Point(&document, address, listen, &why), type >= 0);
        if (type < 0) {
            QVERIFY(!why.isEmpty());
            return;
        }
        QCOMPARE(int(document.SocketType()), type);
        for (const auto &[slot, text] : written)
            QCOMPARE(document.GetSlotString(slot), text);
    }
};

QTEST_MAIN(TestCommandsPoint)
#include "tst_commandspoint.moc"
