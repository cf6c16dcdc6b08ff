// Code page 932 conversion at the program's byte boundaries.
#include "platform/cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

class TestCodePage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void converterIsAvailable() { QVERIFY(Cp932Available()); }

    void roundTrips_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << QStringLiteral("Send 0102") << QByteArray("Send 0102");
        QTest::newRow("half-width katakana") << QStringLiteral("ﾚﾃﾞｨ") << QByteArray("\xDA\xC3\xDE\xA8");
        QTest::newRow("kanji") << QStringLiteral("送信") << QByteArray("\x91\x97\x90\x4D");
        QTest::newRow("ideographic space") << QStringLiteral("未構築　送信") << QByteArray("\x96\xA2\x8D\x5C\x92\x7A\x81\x40\x91\x97\x90\x4D");
        QTest::newRow("empty") << QString() << QByteArray();
    }
    void roundTrips()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ToCp932(text), bytes);
        QCOMPARE(FromCp932(bytes), text);
    }

    // Every ASCII code converts as the converter itself converts it, on the quick path for plain text
    // and through the converter for the control codes it maps differently.
    void asciiCodesMatchTheConverter()
    {
        QStringEncoder encoder("windows-31j", QStringConverter::Flag::Stateless);
        QStringDecoder decoder("windows-31j", QStringConverter::Flag::Stateless);
        for (char16_t c = 0; c < 0x80; ++c) {
            const QString text = QStringLiteral("a") + QChar(c);
            const QByteArray bytes = QByteArray("a") + char(c);
            QCOMPARE(ToCp932(text), QByteArray(encoder.encode(text)));
            const QString decoded = decoder.decode(bytes);
            if (!decoded.contains(QChar(0x1A)))  // the converter's mark of a bad sequence is shown otherwise
                QCOMPARE(FromCp932(bytes), decoded);
        }
    }

    void invalidBytesDecodeWithoutFailure()
    {
        const QString text = FromCp932(QByteArray("A\x81\xFF" "B\x82", 5));
        QVERIFY(text.startsWith(QLatin1Char('A')));
        QVERIFY(text.contains(QLatin1Char('B')));
        QVERIFY(text.contains(QChar(QChar::ReplacementCharacter)));
        QVERIFY(text.size() >= 4);  // a cut sequence at the end is not dropped silently
    }
};

QTEST_GUILESS_MAIN(TestCodePage)
#include "tst_codepage.moc"
