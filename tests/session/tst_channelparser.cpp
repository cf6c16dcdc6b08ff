// The channel parser's shared work: channels naming the same match or pattern, and patterns passed
// over where the telegram lacks their plain beginning, give the very values each channel gives
// parsed alone.
#include "session/cchannelparser.h"
#include "session/cchannelvalues.h"
#include "channelmaker.h"

#include <QRegularExpression>
#include <QTest>

namespace {

CChannel Matched(CChannel c, int kind, bool text, const QString &match)
{
    c.matchKind = kind;
    c.matchText = text;
    c.match = match;
    return c;
}

// Each telegram fed in turn; the values of every channel, in channel order, then time order.
QList<QList<double>> Parse(const CChannelParser &parser, const QList<CChannel> &channels,
                           const QList<QByteArray> &telegrams, char direction, int client)
{
    CChannelValues values;
    values.SetChannels(channels);
    for (int t = 0; t < telegrams.size(); ++t)
        parser.Feed(direction, client, reinterpret_cast<const unsigned char *>(telegrams[t].constData()),
                    int(telegrams[t].size()), t, &values);
    QList<QList<double>> read(channels.size());
    for (int i = 0; i < channels.size(); ++i) {
        for (qsizetype k = 0; k < values.Count(i); ++k)
            read[i] << values.ValueAt(i, k) << double(values.TimeAt(i, k));
    }
    return read;
}

}  // namespace

class TestChannelParser : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sharedWorkGivesEachChannelsOwnValues_data()
    {
        QTest::addColumn<QList<CChannel>>("channels");
        QTest::addColumn<QList<QByteArray>>("telegrams");
        QTest::addColumn<char>("direction");
        QTest::addColumn<int>("client");
        QTest::addColumn<int>("matchers");
        QTest::addColumn<int>("patterns");
        QTest::addColumn<int>("values");

        QList<QByteArray> fields;
        for (int k = 0; k < 5; ++k) {
            QByteArray line;
            for (int c = 0; c < 8; ++c)
                line += 'V' + QByteArray::number(c) + '=' + QByteArray::number(k * 10 + c) + ';';
            fields << line + '\r';
        }
        fields << "no fields\r" << QByteArray() << "V12=3;V1=;V3=x;V5=-2.5;\r";
        QList<CChannel> every;
        QList<CChannel> byHead;
        for (int c = 0; c < 64; ++c) {
            every << Text(QStringLiteral("V%1=([-0-9.]+);").arg(c));
            byHead << Matched(Text(QStringLiteral("V%1=([-0-9.]+);").arg(c)), CReplyRule::KindStartsWith, true,
                              QStringLiteral("V%1=").arg(c % 8));
        }
        QTest::newRow("64 patterns over every telegram") << every << fields << 'R' << 0 << 0 << 64 << 42;
        QTest::newRow("64 channels by 8 heads") << byHead << fields << 'R' << 0 << 8 << 64 << 5;

        const QList<QByteArray> pairs{"T=12,H=40\n", "T=-3,H=\n", "H=5,T=7\n", "t=1,h=2\n"};
        const QList<CChannel> groups{Text(QStringLiteral("T=(-?\\d+),H=(\\d+)"), 1),
                                     Text(QStringLiteral("T=(-?\\d+),H=(\\d+)"), 2),
                                     Text(QStringLiteral("-?\\d+"), 0),
                                     Text(QStringLiteral("T=(-?\\d+)"), 1)};
        QTest::newRow("one pattern, several groups") << groups << pairs << 'R' << 0 << 0 << 3 << 9;

        // Patterns whose plain beginning is cut short by a repeat, an anchor or an alternative.
        const QList<QByteArray> words{"ac=1", "abbc=2", "xy=3", "y=4", "b=5", "A=6", "abcc=7"};
        const QList<CChannel> shapes{Text(QStringLiteral("ab*c=(\\d)")), Text(QStringLiteral("^x?y=(\\d)")),
                                     Text(QStringLiteral("ab?c=(\\d)")), Text(QStringLiteral("b{0}y=(\\d)")),
                                     Text(QStringLiteral("a=(\\d)|b=(\\d)"), 2), Text(QStringLiteral("(?i)a=(\\d)")),
                                     Text(QStringLiteral("abc{1,2}=(\\d)")), Text(QStringLiteral(".=(\\d)"))};
        QTest::newRow("repeats, anchors, alternatives") << shapes << words << 'R' << 0 << 0 << 8 << 17;

        // One match shared by binary and text channels that differ in direction and client.
        const QList<QByteArray> frames{QByteArray::fromHex("aa55010203043d31"), QByteArray::fromHex("aa56010203043d31"),
                                       QByteArray::fromHex("aa5501")};
        QList<CChannel> mixed;
        for (int direction : {int(CChannel::Received), int(CChannel::Sent), int(CChannel::Both)}) {
            for (int client : {0, 2}) {
                CChannel c = Matched(Binary(2, CChannel::U16, direction == CChannel::Sent), CReplyRule::KindStartsWith,
                                     false, QStringLiteral("AA 55"));
                c.direction = direction;
                c.client = client;
                mixed << c;
                CChannel t = Matched(Text(QStringLiteral("=(\\d)")), CReplyRule::KindStartsWith, false,
                                     QStringLiteral("AA 55"));
                t.direction = direction;
                t.client = client;
                mixed << t;
            }
        }
        mixed << Matched(Binary(0, CChannel::U8, false), CReplyRule::KindStartsWith, false, QStringLiteral("AA ??"));
        QTest::newRow("one match, received, client 2") << mixed << frames << 'R' << 2 << 2 << 1 << 11;
        QTest::newRow("one match, sent, client 3") << mixed << frames << 'S' << 3 << 2 << 1 << 4;
    }
    void sharedWorkGivesEachChannelsOwnValues()
    {
        QFETCH(QList<CChannel>, channels);
        QFETCH(QList<QByteArray>, telegrams);
        QFETCH(char, direction);
        QFETCH(int, client);
        QFETCH(int, matchers);
        QFETCH(int, patterns);
        QFETCH(int, values);
        CChannelTable table;
        table.channels = channels;
        CChannelParser shared;
        shared.SetTable(table);
        QCOMPARE(shared.MatcherCount(), matchers);
        QCOMPARE(shared.PatternCount(), patterns);
        const QList<QList<double>> read = Parse(shared, channels, telegrams, direction, client);
        int count = 0;
        for (int i = 0; i < channels.size(); ++i) {
            // The channel alone: nothing to share with.
            CChannelTable one;
            one.channels = {channels[i]};
            CChannelParser alone;
            alone.SetTable(one);
            const QList<double> own = Parse(alone, one.channels, telegrams, direction, client).first();
            if (read[i] != own)
                QFAIL(qPrintable(QStringLiteral("channel %1 (%2)").arg(i).arg(channels[i].pattern)));
            count += int(own.size() / 2);
        }
        QCOMPARE(count, values);
    }

    void literalPrefixEveryMatchBeginsWith_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QByteArray>("prefix");
        QTest::newRow("plain, then a group") << QStringLiteral("V12=([0-9]+);") << QByteArray("V12=");
        QTest::newRow("anchored") << QStringLiteral("^$GPGGA") << QByteArray();
        QTest::newRow("anchored head") << QStringLiteral("^GGA,(\\d+)") << QByteArray("GGA,");
        QTest::newRow("zero or more of the last") << QStringLiteral("ab*c") << QByteArray("a");
        QTest::newRow("maybe the last") << QStringLiteral("ab?") << QByteArray("a");
        QTest::newRow("counted repeat of the last") << QStringLiteral("abc{0,2}d") << QByteArray("ab");
        QTest::newRow("one or more of the last") << QStringLiteral("ab+c") << QByteArray("ab");
        QTest::newRow("an alternative anywhere") << QStringLiteral("abc=(\\d)|x") << QByteArray();
        QTest::newRow("an option first") << QStringLiteral("(?i)abc") << QByteArray();
        QTest::newRow("an escape") << QStringLiteral("a\\x41b") << QByteArray("a");
        QTest::newRow("beyond ASCII") << QStringLiteral("T温度=(\\d+)") << QByteArray("T");
        QTest::newRow("a class") << QStringLiteral("[AB]=1") << QByteArray();
        QTest::newRow("any byte") << QStringLiteral("a.c") << QByteArray("a");
    }
    void literalPrefixEveryMatchBeginsWith()
    {
        QFETCH(QString, pattern);
        QFETCH(QByteArray, prefix);
        QCOMPARE(CChannelParser::LiteralPrefix(pattern), prefix);
        // Where the pattern finds a match, the match begins with the prefix.
        const QRegularExpression expression = CReplyRule::CompilePattern(pattern);
        QVERIFY(expression.isValid());
        for (const QString &subject : {QStringLiteral("xxV12=345;"), QStringLiteral("$GPGGA,1"), QStringLiteral("GGA,77"),
                                      QStringLiteral("-ac-abbbc"), QStringLiteral("za"), QStringLiteral("abccd abd"),
                                      QStringLiteral("abbc"), QStringLiteral("x"), QStringLiteral("ABC"), QStringLiteral("aAb"),
                                      QStringLiteral("B=1"), QStringLiteral("a-c")}) {
            const QRegularExpressionMatch m = expression.match(subject);
            if (m.hasMatch())
                QVERIFY2(m.captured(0).toLatin1().startsWith(prefix), qPrintable(subject));
        }
    }
};

QTEST_GUILESS_MAIN(TestChannelParser)
#include "tst_channelparser.moc"
