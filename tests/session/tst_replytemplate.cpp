// Replies that depend on the request, without windows: patterns and `??` matches with the bytes they
// give, and placeholders filled into one or more timed parts.
#include "session/creplymatcher.h"
#include "session/creplytemplate.h"

#include <QTest>

Q_DECLARE_METATYPE(CReplyRule)

namespace {

CReplyRule Rule(int kind, bool text, const QString &match)
{
    CReplyRule r;
    r.kind = kind;
    r.matchText = text;
    r.match = match;
    r.reply = QStringLiteral("00");
    return r;
}

// "ms:hex" for each part, or the reason it could not be built.
QStringList Filled(bool text, const QString &reply, const QList<QByteArray> &groups, QByteArrayView block)
{
    CReplyTemplate t;
    QString error;
    if (!CReplyTemplate::Parse(text, reply, &t, &error))
        return {error};
    CReplyTemplate::Context context;
    context.block = block;
    context.groups = groups;
    context.seq = 258;
    QList<CReplyTemplate::Part> parts;
    if (!t.Fill(context, &parts, &error))
        return {error};
    QStringList out;
    for (const CReplyTemplate::Part &part : parts)
        out << QStringLiteral("%1:%2").arg(part.waitMs).arg(QString::fromLatin1(part.bytes.toHex().toUpper()));
    return out;
}

}  // namespace

class TestReplyTemplate : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rulesHoldAndGiveTheirBytes_data()
    {
        QTest::addColumn<CReplyRule>("rule");
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<bool>("holds");
        QTest::addColumn<QList<QByteArray>>("groups");
        using R = CReplyRule;
        const auto regex = [](const char *pattern) { return Rule(R::KindRegex, true, QString::fromUtf8(pattern)); };
        QTest::newRow("pattern with groups") << regex("^GET (\\w+) (\\d+)\\r$") << QByteArray("GET temp 3\r") << true
                                             << QList<QByteArray>{"temp", "3"};
        QTest::newRow("pattern not found") << regex("^GET") << QByteArray("SET") << false << QList<QByteArray>{};
        QTest::newRow("a group that took no part") << regex("A(x)?B") << QByteArray("AB") << true << QList<QByteArray>{QByteArray()};
        QTest::newRow(". and \\xHH take any byte") << regex("\\x01.\\xFF") << QByteArray("\x01\x00\xFF", 3) << true
                                                   << QList<QByteArray>{};
        QTest::newRow("text beyond ASCII as its cp932 bytes") << regex("表(.)") << QByteArray("\x95\x5C!") << true
                                                              << QList<QByteArray>{"!"};
        QTest::newRow("?? equals") << Rule(R::KindEquals, false, QStringLiteral("01 ?? 03")) << QByteArray("\x01\x7F\x03")
                                   << true << QList<QByteArray>{"\x7F"};
        QTest::newRow("?? equals, longer block") << Rule(R::KindEquals, false, QStringLiteral("01??03"))
                                                 << QByteArray("\x01\x7F\x03\x04") << false << QList<QByteArray>{};
        QTest::newRow("?? contains, found late") << Rule(R::KindContains, false, QStringLiteral("AA ?? ?? 55"))
                                                 << QByteArray("\xAA\x01\xAA\x02\x03\x55") << true
                                                 << QList<QByteArray>{"\x02", "\x03"};
        QTest::newRow("?? ends with") << Rule(R::KindEndsWith, false, QStringLiteral("??0D")) << QByteArray("xy\r") << true
                                      << QList<QByteArray>{"y"};
        QTest::newRow("?? starts, block shorter") << Rule(R::KindStartsWith, false, QStringLiteral("01????"))
                                                  << QByteArray("\x01\x02") << false << QList<QByteArray>{};
        CReplyRule modbus = Rule(R::KindRegex, true, QStringLiteral("^\\x01\\x03(..)"));
        modbus.checksum = QStringLiteral("CRC-16/MODBUS:le");
        modbus.matchWithoutChecksum = true;
        QTest::newRow("pattern without the received checksum") << modbus << QByteArray("\x01\x03\x00\x0A\xFF\xFF", 6) << true
                                                               << QList<QByteArray>{QByteArray("\x00\x0A", 2)};
    }
    void rulesHoldAndGiveTheirBytes()
    {
        QFETCH(CReplyRule, rule);
        QFETCH(QByteArray, block);
        QFETCH(bool, holds);
        QFETCH(QList<QByteArray>, groups);
        QVERIFY2(rule.Check().isEmpty(), qPrintable(rule.Check()));
        CReplyMatcher m;
        m.SetRules({rule});
        QList<QByteArray> given;
        QCOMPARE(m.Match(reinterpret_cast<const unsigned char *>(block.constData()), int(block.size()), nullptr, &given),
                 holds ? 1 : 0);
        QCOMPARE(given, groups);
    }

    void badPatternsAreRefusedWithTheirPlace()
    {
        QVERIFY(Rule(CReplyRule::KindRegex, true, QStringLiteral("表(a")).Check().startsWith(QStringLiteral("正規表現が正しくありません (4 文字目): ")));
        QVERIFY(!Rule(CReplyRule::KindEquals, false, QStringLiteral("01 ?")).Check().isEmpty());
    }

    void placeholdersAreFilled_data()
    {
        QTest::addColumn<bool>("text");
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QStringList>("parts");
        QTest::newRow("groups and the block") << true << "<$1|$0>" << QStringList{"0:3C41427C5131323E"};
        QTest::newRow("$$ in text and hex") << true << "$$1" << QStringList{"0:2431"};
        QTest::newRow("$$ in hex") << false << "01 $$" << QStringList{"0:0124"};
        QTest::newRow("seq in decimal and binary") << false << "${seq}${seq:u8}${seq:u16be}${seq:u32le}"
                                                   << QStringList{"0:32353802010202010000"};
        QTest::newRow("len") << true << "${len}${len:u16le}" << QStringList{"0:330300"};
        QTest::newRow("timed parts") << true << "ACK${wait:200}DATA${wait:0}${wait:50}END"
                                     << QStringList{"0:41434B", "200:44415441", "50:454E44"};
        QTest::newRow("a wait first") << false << "${wait:20}06" << QStringList{"20:06"};
        QTest::newRow("a group not there") << true << "$3" << QStringList{"$3 に当たる部分がありません"};
        QTest::newRow("a group that took no part") << true << "$2" << QStringList{"$2 に当たる部分がありません"};
        QTest::newRow("unknown placeholder") << true << "${when}"
                                             << QStringList{"応答ﾃﾞｰﾀの ${when} が分かりません ($0～$9, ${seq}, ${len}, "
                                                            "${time}, ${wait:ﾐﾘ秒}, $$)。"};
        QTest::newRow("wait out of range") << true << "${wait:60001}" << QStringList{"応答ﾃﾞｰﾀの ${wait:60001} が分かりません "
                                                                                     "($0～$9, ${seq}, ${len}, ${time}, ${wait:ﾐﾘ秒}, $$)。"};
        // The waits of one reply add up to a day at most (summed wide: 35,792 waits of a minute wrapped an int).
        QTest::newRow("a day of waits") << false << QStringLiteral("${wait:60000}").repeated(1440) + QStringLiteral("06")
                                        << QStringList{"86400000:06"};
        QTest::newRow("waits past a day") << false << QStringLiteral("06${wait:60000}").repeated(1441)
                                          << QStringList{"応答ﾃﾞｰﾀの ${wait} の合計が 24 時間を超えます。"};
        QTest::newRow("hex split by a placeholder") << false << "0$11" << QStringList{"応答ﾃﾞｰﾀが正しい16進数ではありません (2桁ずつ 0-9 A-F)。"};
    }
    void placeholdersAreFilled()
    {
        QFETCH(bool, text);
        QFETCH(QString, reply);
        QFETCH(QStringList, parts);
        QCOMPARE(Filled(text, reply, {"AB", QByteArray()}, "Q12"), parts);
    }

    void timeIsTheClocks()
    {
        const QStringList parts = Filled(true, QStringLiteral("${time}"), {}, "");
        QCOMPARE(parts.size(), 1);
        const QTime shown = QTime::fromString(QString::fromLatin1(QByteArray::fromHex(parts[0].mid(2).toLatin1())),
                                              QStringLiteral("HH:mm:ss"));
        QVERIFY(shown.isValid());
        QVERIFY(qAbs(shown.secsTo(QTime::currentTime())) <= 2 || qAbs(shown.secsTo(QTime::currentTime())) >= 86398);
    }
};

QTEST_MAIN(TestReplyTemplate)
#include "tst_replytemplate.moc"
