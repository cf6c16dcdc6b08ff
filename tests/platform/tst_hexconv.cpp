// Hex codec and word halves: the conversions telegrams and message parameters rely on.
#include "platform/chexconv.h"
#include "support/scriptedprompts.h"

#include <QRandomGenerator>
#include <QTest>

#include <vector>

class TestHexConv : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void bytesBecomeUpperCaseHex_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QByteArray>("hex");
        QTest::newRow("empty") << QByteArray() << 1024000 << QByteArray();
        QTest::newRow("0A FF 00") << QByteArray("\x0a\xff\x00", 3) << 1024000 << QByteArray("0AFF00");
        QTest::newRow("all nibbles") << QByteArray("\x01\x23\x45\x67\x89\xab\xcd\xef", 8) << 100
                                     << QByteArray("0123456789ABCDEF");
        QTest::newRow("cut at limit") << QByteArray("\x01\x02\x03", 3) << 2 << QByteArray("0102");
        QTest::newRow("zero limit") << QByteArray("\x01", 1) << 0 << QByteArray();
    }
    void bytesBecomeUpperCaseHex()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, limit);
        QFETCH(QByteArray, hex);
        QByteArray out = "stale";
        CHexConv().Bin2HexString(reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()), out, limit);
        QCOMPARE(out, hex);
        QString text;
        CHexConv().Bin2HexString(reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()), text, limit);
        QCOMPARE(text, QString::fromLatin1(hex));
    }

    void hexTextBecomesBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("error");
        QTest::newRow("mixed case") << QStringLiteral("0a1BfF") << 100 << QByteArray("\x0a\x1b\xff", 3) << false;
        QTest::newRow("odd length pads at the end") << QStringLiteral("0a1") << 100 << QByteArray("\x0a\x10", 2) << false;
        QTest::newRow("1F3") << QStringLiteral("1F3") << 100 << QByteArray("\x1f\x30", 2) << false;
        QTest::newRow("invalid counts as 0") << QStringLiteral("zz") << 100 << QByteArray("\x00", 1) << false;
        QTest::newRow("blank is a digit 0") << QStringLiteral("A B") << 100 << QByteArray("\xa0\xb0", 2) << false;
        QTest::newRow("01 02 is not two bytes") << QStringLiteral("01 02") << 100 << QByteArray("\x01\x00\x20", 3) << false;
        QTest::newRow("kanji counts as 0") << QStringLiteral("送1") << 100 << QByteArray("\x01", 1) << false;
        QTest::newRow("empty") << QString() << 100 << QByteArray() << false;
        QTest::newRow("past the limit") << QStringLiteral("0102FF") << 2 << QByteArray("\x01\x02", 2) << true;
        QTest::newRow("exactly the limit") << QStringLiteral("0102") << 2 << QByteArray("\x01\x02", 2) << false;
    }
    void hexTextBecomesBytes()
    {
        QFETCH(QString, text);
        QFETCH(int, limit);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, error);
        ScriptedPrompts prompts;
        std::vector<unsigned char> out(size_t(limit) + 4, 0xEE);
        CHexConv().HexString2Bin(text, out.data(), limit);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(out.data()), bytes.size()), bytes);
        QCOMPARE(out[size_t(bytes.size())], (unsigned char)0xEE);  // nothing written past the bytes
        if (error) {
            QCOMPARE(prompts.calls.size(), 1);
            QCOMPARE(prompts.calls[0].text, QStringLiteral("HexString2Bin() ERR"));
            QCOMPARE(prompts.calls[0].caption, QStringLiteral("Quillnet"));
            QCOMPARE(prompts.calls[0].buttons, Prompts::Ok);
            QCOMPARE(prompts.calls[0].icon, Prompts::Exclamation);
        } else {
            QVERIFY(prompts.calls.isEmpty());
        }
        QCOMPARE(CHexConv::DecodedLength(text.size()), int((text.size() + 1) / 2));
    }

    void typedHexIsReadOrRefused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("wildcards");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("mask");
        QTest::addColumn<int>("refusedAt");  // -1: read whole
        QTest::newRow("?? without wildcards") << QStringLiteral("01 ??") << false << QByteArray() << QByteArray() << 3;
        QTest::newRow("?? with wildcards") << QStringLiteral("01 ?? 0x03") << true << QByteArray("\x01\x00\x03", 3)
                                           << QByteArray("\xff\x00\xff", 3) << -1;
        QTest::newRow("0x?? with wildcards") << QStringLiteral("0x??,0x02") << true << QByteArray("\x00\x02", 2)
                                             << QByteArray("\x00\xff", 2) << -1;
        QTest::newRow("no ?? leaves the mask empty") << QStringLiteral("0102") << true << QByteArray("\x01\x02", 2) << QByteArray() << -1;
        QTest::newRow("a lone ?") << QStringLiteral("?? ?") << true << QByteArray() << QByteArray() << 3;
        QTest::newRow("? inside a byte") << QStringLiteral("0?") << true << QByteArray() << QByteArray() << 1;
    }
    void typedHexIsReadOrRefused()
    {
        QFETCH(QString, text);
        QFETCH(bool, wildcards);
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, mask);
        QFETCH(int, refusedAt);
        QByteArray out;
        QByteArray outMask;
        QCOMPARE(int(CHexConv::DecodeSeparated(text, &out, wildcards ? &outMask : nullptr)), refusedAt);
        if (refusedAt < 0) {
            QCOMPARE(out, bytes);
            QCOMPARE(outMask, mask);
        }
    }

    void randomBytesRoundTrip()
    {
        for (int round = 0; round < 50; ++round) {
            QByteArray bytes(QRandomGenerator::global()->bounded(0, 300), Qt::Uninitialized);
            for (char &c : bytes)
                c = char(QRandomGenerator::global()->bounded(256));
            QByteArray hex;
            CHexConv().Bin2HexString(reinterpret_cast<const unsigned char *>(bytes.constData()), int(bytes.size()), hex, 1024000);
            QByteArray back(bytes.size(), '\0');
            CHexConv().HexString2Bin(hex, reinterpret_cast<unsigned char *>(back.data()), int(back.size()));
            QCOMPARE(back, bytes);
        }
    }

    void wordHalvesPackTwoValues_data()
    {
        QTest::addColumn<quint32>("start");
        QTest::addColumn<quint16>("value");
        QTest::addColumn<int>("which");
        QTest::addColumn<quint32>("expected");
        QTest::newRow("low") << 0x12345678u << quint16(0xABCD) << 0 << 0x1234ABCDu;
        QTest::newRow("high") << 0x12345678u << quint16(0xABCD) << 1 << 0xABCD5678u;
        QTest::newRow("any nonzero is high") << 0u << quint16(1) << 5 << 0x00010000u;
    }
    void wordHalvesPackTwoValues()
    {
        QFETCH(quint32, start);
        QFETCH(quint16, value);
        QFETCH(int, which);
        QFETCH(quint32, expected);
        std::uint32_t target = start;
        SetWordHalf(&target, value, which);
        QCOMPARE(quint32(target), expected);
        QCOMPARE(GetWordHalf(target, 1), quint16(expected >> 16));
        QCOMPARE(GetWordHalf(target, 0), quint16(expected & 0xFFFF));
        QCOMPARE(GetWordHalf(target, 2), quint16(expected & 0xFFFF));  // only 1 means high
    }
};

QTEST_GUILESS_MAIN(TestHexConv)
#include "tst_hexconv.moc"
