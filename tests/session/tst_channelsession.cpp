// Value channels in the running program: telegrams a peer sends over loopback UDP and over a
// pseudo-terminal give the values the test's own encoding of them says.
#include "channelmaker.h"
#include "res/commandids.h"
#include "net/loopbackpeer.h"
#include "sessionharness.h"
#include "support/ptydevice.h"

#include <QDataStream>
#include <QTest>

#include <cmath>

namespace {

// The telegram carrying `raw`, built with Qt's stream encoder (independent of the channel code).
QByteArray Encode(const CChannel &c, double raw)
{
    if (c.source == CChannel::SourcePattern)
        return (c.base == 16 ? QStringLiteral("ADC=%1;\r").arg(qlonglong(raw), 0, 16).toUpper()
                             : QStringLiteral("T=%1;\r").arg(raw, 0, 'g', 12))
            .toLatin1();
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(c.bigEndian ? QDataStream::BigEndian : QDataStream::LittleEndian);
    out << quint8(0xA5);  // the telegram's head; the field follows it
    switch (c.type) {
    case CChannel::U8: out << quint8(raw); break;
    case CChannel::I8: out << qint8(raw); break;
    case CChannel::U16: out << quint16(raw); break;
    case CChannel::I16: out << qint16(raw); break;
    case CChannel::U32: out << quint32(raw); break;
    case CChannel::I32: out << qint32(raw); break;
    case CChannel::U64: out << quint64(raw); break;
    case CChannel::I64: out << qint64(raw); break;
    case CChannel::F32: out.setFloatingPointPrecision(QDataStream::SinglePrecision); out << float(raw); break;
    case CChannel::F64: out.setFloatingPointPrecision(QDataStream::DoublePrecision); out << raw; break;
    }
    out << quint8(0x5A);
    return bytes;
}

CChannel Field(int type, bool bigEndian, double scale, double add)
{
    CChannel c = Binary(1, type, bigEndian, scale, add);
    c.matchKind = CReplyRule::KindStartsWith;
    c.match = QStringLiteral("A5");
    return c;
}

CChannel Number(int base, double scale = 1, double add = 0)
{
    CChannel c = Text(base == 16 ? QStringLiteral("ADC=([0-9A-F]+);") : QStringLiteral("T=([-+.0-9e]+);"), 1, base);
    c.scale = scale;
    c.add = add;
    return c;
}

}  // namespace

Q_DECLARE_METATYPE(CChannel)

class TestChannelSession : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void valuesFromLoopbackTrafficEqualTheirEncoding_data()
    {
        QTest::addColumn<QString>("transport");
        QTest::addColumn<CChannel>("channel");
        QTest::addColumn<QList<double>>("raw");
        const QString udp = QStringLiteral("udp");
        const QString pty = QStringLiteral("pty");
        QTest::newRow("udp decimal text") << udp << Number(10) << QList<double>{21.5, -3.25, 0, 1500};
        QTest::newRow("udp hex text, scaled") << udp << Number(16, 0.5, 1) << QList<double>{0x1F4, 0, 0xFFFF};
        QTest::newRow("udp u16 le") << udp << Field(CChannel::U16, false, 1, 0) << QList<double>{0, 0x1234, 65535};
        QTest::newRow("udp u16 be, scale and offset") << udp << Field(CChannel::U16, true, 0.1, -40) << QList<double>{250, 0x1234, 65535};
        QTest::newRow("udp i16 be") << udp << Field(CChannel::I16, true, 1, 0) << QList<double>{-32768, -2, 300};
        QTest::newRow("udp i32 le") << udp << Field(CChannel::I32, false, 1, 0) << QList<double>{-100000, 7};
        QTest::newRow("udp u32 be") << udp << Field(CChannel::U32, true, 1, 0) << QList<double>{4294967295.0, 1};
        QTest::newRow("udp i64 le") << udp << Field(CChannel::I64, false, 1, 0) << QList<double>{-1e12, 42};
        QTest::newRow("udp i8") << udp << Field(CChannel::I8, false, 2, 0) << QList<double>{-128, 127};
        QTest::newRow("udp f32 le") << udp << Field(CChannel::F32, false, 1, 0) << QList<double>{1.5, -0.25, 1e6};
        QTest::newRow("udp f64 be, scaled") << udp << Field(CChannel::F64, true, 1000, 0.5) << QList<double>{3.25, -1e-3};
        QTest::newRow("pty decimal text") << pty << Number(10, 2, 0) << QList<double>{12.5, -7};
        QTest::newRow("pty u32 be") << pty << Field(CChannel::U32, true, 1, 0) << QList<double>{0x01020304, 99};
        QTest::newRow("pty f32 le, scale and offset") << pty << Field(CChannel::F32, false, 0.5, 10) << QList<double>{2.5, -8};
    }
    void valuesFromLoopbackTrafficEqualTheirEncoding()
    {
        QFETCH(QString, transport);
        QFETCH(CChannel, channel);
        QFETCH(QList<double>, raw);
        SessionHarness h;
        LoopbackPeer peer;
        PtyDevice device;
        if (transport == QStringLiteral("udp")) {
            peer = LoopbackPeer::BindUdp();
            h.ConfigureUdp(peer.Port());
        } else {
            QVERIFY(device.IsValid());
            // Telegrams end after a pause: a binary field may hold any byte.
            h.Configure(TYPE_SERIAL, {device.Path(), QStringLiteral("115200"), QString(), QString(), QStringLiteral("gap:20")},
                        CQnDoc::SLOT_SERIAL_DEVICE);
        }
        CChannelTable table;
        table.channels = {channel};
        h.View()->SetChannels(table);
        h.Command(ID_SOCKET_CONNECT);
        QCOMPARE(h.View()->State(), ST_CONNECTED);
        if (transport == QStringLiteral("pty"))
            QTRY_VERIFY(device.IsOpenedRaw());
        const CChannelValues &values = h.View()->ChannelValues();
        for (int i = 0; i < raw.size(); ++i) {
            const QByteArray telegram = Encode(channel, raw[i]);
            if (transport == QStringLiteral("udp"))
                QCOMPARE(peer.WriteTo(telegram, h.OwnPort()), qint64(telegram.size()));
            else
                device.Write(telegram);
            QTRY_COMPARE(values.Count(0), qsizetype(i + 1));
            const double expected = raw[i] * channel.scale + channel.add;
            QVERIFY2(std::fabs(values.ValueAt(0, i) - expected) <= 1e-9 * std::max(1.0, std::fabs(expected)),
                     qPrintable(QStringLiteral("%1 != %2").arg(values.ValueAt(0, i)).arg(expected)));
        }
        // Telegrams of another head give nothing; the values carry the History's clock.
        if (channel.source == CChannel::SourceBinary && transport == QStringLiteral("udp")) {
            peer.WriteTo(QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a", 10), h.OwnPort());
            QTRY_COMPARE(h.HistoryLines().size(), raw.size() + 1);
            QCOMPARE(values.Count(0), qsizetype(raw.size()));
        }
        const qint64 now = (QDateTime::currentMSecsSinceEpoch() + 1) * 1000;
        QVERIFY(values.TimeAt(0, 0) <= now && values.TimeAt(0, 0) > now - 60000000);
    }
};

QTEST_MAIN(TestChannelSession)
#include "tst_channelsession.moc"
