// Selected bytes read as numbers and text (the dump view's inspector), and written in the forms
// code takes them (its copy menu).
#include "display/cbyteforms.h"
#include "display/cvalueinspector.h"

#include <QTest>

Q_DECLARE_METATYPE(CByteForms::Form)

class TestByteReadings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readsValues_data()
    {
        QTest::addColumn<QByteArray>("bytes");  // hex
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("little");
        QTest::addColumn<QString>("big");

        QTest::newRow("u8") << QByteArray("FF") << "u8" << "255" << "";
        QTest::newRow("i8 negative") << QByteArray("FF") << "i8" << "-1" << "";
        QTest::newRow("u16 both orders") << QByteArray("0102") << "u16" << "513" << "258";
        QTest::newRow("i16 sign from the high byte") << QByteArray("FFFE") << "i16" << "-257" << "-2";
        QTest::newRow("u16 of the first two of three") << QByteArray("010203") << "u16" << "513" << "258";
        QTest::newRow("u32") << QByteArray("78563412") << "u32" << "305419896" << "2018915346";
        QTest::newRow("i32 minimum") << QByteArray("00000080") << "i32" << "-2147483648" << "128";
        QTest::newRow("f32 one") << QByteArray("3F800000") << "f32" << "4.60060299e-41" << "1";
        QTest::newRow("f32 pi") << QByteArray("C0490FDB") << "f32" << "-4.03320107e+16" << "-3.14159274";
        QTest::newRow("f32 not a number") << QByteArray("7FC00000") << "f32" << "6.9054587e-41" << "nan";
        QTest::newRow("u64 past the signed range") << QByteArray("0100000000000080") << "u64"
                                                   << "9223372036854775809" << "72057594037928064";
        QTest::newRow("i64") << QByteArray("0100000000000080") << "i64" << "-9223372036854775807"
                             << "72057594037928064";
        QTest::newRow("f64 one, and a subnormal") << QByteArray("3FF0000000000000") << "f64"
                                                  << "3.0386519416174186e-319" << "1";
        QTest::newRow("f64 infinity") << QByteArray("7FF0000000000000") << "f64" << "3.0418139617508026e-319" << "inf";
        QTest::newRow("code page 932") << QByteArray("82A0") << "CP932" << "あ" << "";
        QTest::newRow("UTF-8") << QByteArray("E38182") << "UTF-8" << "あ" << "";
        QTest::newRow("control bytes shown") << QByteArray("0D0A") << "CP932" << "<CR><LF>" << "";
        QTest::newRow("invalid UTF-8 shown, not lost") << QByteArray("41FF42") << "UTF-8" << "A\uFFFDB" << "";
    }

    void readsValues()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, type);
        QFETCH(QString, little);
        QFETCH(QString, big);
        const std::vector<CValueInspector::Reading> readings = CValueInspector::Read(QByteArray::fromHex(bytes));
        const auto found = std::find_if(readings.begin(), readings.end(),
                                        [&](const CValueInspector::Reading &r) { return r.type == type; });
        QVERIFY2(found != readings.end(), qPrintable(type));
        QCOMPARE(found->little, little);
        QCOMPARE(found->big, big);
    }

    void readsOnlyWhatFits_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QStringList>("types");
        const QStringList text{QStringLiteral("CP932"), QStringLiteral("UTF-8")};
        QTest::newRow("none") << 0 << QStringList();
        QTest::newRow("one") << 1 << QStringList{"u8", "i8"} + text;
        QTest::newRow("three") << 3 << QStringList{"u8", "i8", "u16", "i16"} + text;
        QTest::newRow("eight") << 8 << QStringList{"u8", "i8", "u16", "i16", "u32", "i32", "f32", "u64", "i64", "f64"} + text;
        QTest::newRow("nine: too many") << 9 << QStringList();
    }

    void readsOnlyWhatFits()
    {
        QFETCH(int, size);
        QFETCH(QStringList, types);
        QStringList got;
        for (const CValueInspector::Reading &reading : CValueInspector::Read(QByteArray(size, 'a')))
            got.append(reading.type);
        QCOMPARE(got, types);
    }

    void writesForms_data()
    {
        QTest::addColumn<QList<QByteArray>>("telegrams");
        QTest::addColumn<CByteForms::Form>("form");
        QTest::addColumn<QString>("text");

        const QList<QByteArray> modbus{QByteArray::fromHex("0103")};
        const QList<QByteArray> edges{QByteArray::fromHex("00FF0A27")};
        const QList<QByteArray> empty{QByteArray()};
        const QList<QByteArray> two{QByteArray::fromHex("0103"), QByteArray("AB")};
        QTest::newRow("hex spaced") << modbus << CByteForms::HexSpaced << "01 03";
        QTest::newRow("hex compact") << edges << CByteForms::HexCompact << "00FF0A27";
        QTest::newRow("C array") << modbus << CByteForms::CArray << "{0x01, 0x03}";
        QTest::newRow("C array, every digit") << edges << CByteForms::CArray << "{0x00, 0xff, 0x0a, 0x27}";
        QTest::newRow("Python bytes") << modbus << CByteForms::PythonBytes << "b'\\x01\\x03'";
        QTest::newRow("Python bytes, quote escaped") << edges << CByteForms::PythonBytes << "b'\\x00\\xff\\x0a\\x27'";
        QTest::newRow("Base64") << modbus << CByteForms::Base64 << "AQM=";
        QTest::newRow("Base64 padding") << edges << CByteForms::Base64 << "AP8KJw==";
        QTest::newRow("empty C array") << empty << CByteForms::CArray << "{}";
        QTest::newRow("empty Python bytes") << empty << CByteForms::PythonBytes << "b''";
        QTest::newRow("telegrams one a line") << two << CByteForms::HexSpaced << "01 03\n41 42";
        QTest::newRow("telegrams one a line, C") << two << CByteForms::CArray << "{0x01, 0x03}\n{0x41, 0x42}";
    }

    void writesForms()
    {
        QFETCH(QList<QByteArray>, telegrams);
        QFETCH(CByteForms::Form, form);
        QFETCH(QString, text);
        QCOMPARE(CByteForms::Format(telegrams, form), text);
    }
};

QTEST_GUILESS_MAIN(TestByteReadings)
#include "tst_bytereadings.moc"
