// The channel parser's shared work: channels naming the same match or pattern, and patterns passed
// over where the telegram lacks their plain beginning, give the very values each channel gives
// parsed alone; and its quick path (heads by the first byte, plain beginnings found in one pass,
// patterns run directly from there, short numbers read directly) gives, bit for bit, what each
// channel read the plain way gives: its matcher, QRegularExpression over the whole telegram as
// Latin-1 and Qt's reading of the number.
#include "session/cchannelparser.h"
#include "session/cchannelvalues.h"
#include "session/cliteralfinder.h"
#include "session/cpatternrun.h"
#include "channelmaker.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <cmath>
#include <cstring>
#include <optional>

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

// A channel read the plain way, one telegram at a time, with nothing shared or passed over.
class PlainChannel
{
public:
    explicit PlainChannel(const CChannel &c) : m_channel(c), m_expression(CReplyRule::CompilePattern(c.pattern))
    {
        if (c.matchKind != CChannel::kNoMatch)
            m_matcher.SetRules({c.MatchRule()});
    }

    std::optional<double> Value(const QByteArray &telegram, char direction, int client) const
    {
        const CChannel &c = m_channel;
        const int dir = direction == 'R' ? CChannel::Received : CChannel::Sent;
        const auto *data = reinterpret_cast<const unsigned char *>(telegram.constData());
        if (!(c.direction & dir) || (c.client != 0 && c.client != client))
            return std::nullopt;
        if (c.matchKind != CChannel::kNoMatch && m_matcher.Match(data, int(telegram.size())) == 0)
            return std::nullopt;
        std::optional<double> number;
        if (c.source == CChannel::SourceBinary) {
            number = CChannel::ReadField(data, int(telegram.size()), c.offset, c.type, c.bigEndian);
        } else {
            const QRegularExpressionMatch m = m_expression.match(QString::fromLatin1(telegram));
            if (m.hasMatch() && m.capturedLength(c.group) > 0)
                number = Number(m.captured(c.group), c.base);
        }
        if (!number)
            return std::nullopt;
        return *number * c.scale + c.add;
    }

private:
    static std::optional<double> Number(QString text, int base)
    {
        text = text.trimmed();
        bool ok = false;
        if (base != 16) {
            const double d = text.toDouble(&ok);
            return ok && std::isfinite(d) ? std::optional<double>(d) : std::nullopt;
        }
        const bool negative = text.startsWith(u'-');
        if (negative || text.startsWith(u'+'))
            text.remove(0, 1);
        if (text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive))
            text.remove(0, 2);
        if (text.isEmpty() || text.startsWith(u'-') || text.startsWith(u'+'))
            return std::nullopt;
        const qulonglong n = text.toULongLong(&ok, 16);
        return ok ? std::optional<double>(negative ? -double(n) : double(n)) : std::nullopt;
    }

    CChannel m_channel;
    QRegularExpression m_expression;
    CReplyMatcher m_matcher;
};

// Telegrams put together at random from `pieces` and from bytes any telegram may carry: beyond
// ASCII, control characters, spaces.
QList<QByteArray> RandomTelegrams(quint32 seed, int count, QList<QByteArray> pieces)
{
    pieces << QByteArray(1, '\0') << "\r" << "\n" << " " << "\x80" << "\x85" << "\xa0" << "\xc9" << "\xe9" << "\xff";
    QRandomGenerator random(seed);
    QList<QByteArray> telegrams;
    for (int t = 0; t < count; ++t) {
        QByteArray telegram;
        for (int n = int(random.bounded(12)); n > 0; --n)
            telegram += pieces[random.bounded(int(pieces.size()))];
        telegrams << telegram;
    }
    return telegrams;
}

QString Hex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
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

    void quickPathGivesThePlainReadingsValues_data()
    {
        QTest::addColumn<QList<CChannel>>("channels");
        QTest::addColumn<QList<QByteArray>>("telegrams");
        QTest::addColumn<char>("direction");
        QTest::addColumn<int>("client");

        QList<CChannel> byHead;
        QList<CChannel> every;
        for (int c = 0; c < 64; ++c) {
            byHead << Matched(Text(QStringLiteral("V%1=([-0-9.]+);").arg(c)), CReplyRule::KindStartsWith, true,
                              QStringLiteral("V%1=").arg(c % 8));
            every << Text(QStringLiteral("V%1=([-+0-9.e]*)").arg(c));
        }
        QTest::newRow("64 channels by 8 heads") << byHead << RandomTelegrams(1, 400, {"V0=12;", "V3=-3.5;", "V8=7.;", "V11=;", "V12=0.25;", "V40=5;", "V63=-;", "V0=", "V3=", "1", ";"}) << 'R' << 0;
        QTest::newRow("64 patterns over every telegram") << every << RandomTelegrams(2, 400, {"V0=", "V3=", "V8=", "V11=", "V12=", "V40=", "V63=", "V", "12", "-3.5", "e5", "+", "."}) << 'R' << 0;

        // Beginnings inside one another and repeated, and the same text where a match cannot start.
        const QList<CChannel> nested{Text(QStringLiteral("V1=(\\d+)")), Text(QStringLiteral("V12=(\\d+)")),
                                     Text(QStringLiteral("V1(\\d)")), Text(QStringLiteral("V(\\d+)=")),
                                     Text(QStringLiteral("=(\\d+);")), Text(QStringLiteral("==(\\d*)"), 1, 16),
                                     Text(QStringLiteral("12(\\d)"), 1), Text(QStringLiteral("2=(\\d)")),
                                     Text(QStringLiteral("V1=(\\d+)"), 0, 10)};
        QTest::newRow("beginnings within beginnings")
            << nested << QList<QByteArray>{"V12=7;V1=3", "V1V12=5", "xV1=V1=9;", "V121=4", "==ff", "=12;2=8"} + RandomTelegrams(3, 300, {"V", "V1", "V12", "=", "==", ";", "7", "12", "ff", "2="})
            << 'R' << 0;

        // Bytes beyond ASCII against caseless matching, classes and escapes: the results of the
        // options the pattern is compiled with.
        const QList<CChannel> beyond{Text(QStringLiteral("(?i)\\xe9=(\\d+)")), Text(QStringLiteral("\\w=(\\d+)")),
                                     Text(QStringLiteral("\\W=(\\d+)")), Text(QStringLiteral("[[:alpha:]]=(\\d+)")),
                                     Text(QStringLiteral("\\s(\\d+)")), Text(QStringLiteral("\\h(\\d+)")),
                                     Text(QStringLiteral("\\v(\\d+)")), Text(QStringLiteral("(*UCP)\\w=(\\d+)")),
                                     Text(QStringLiteral("\\x{c9}.(\\d+)")), Text(QStringLiteral("[^\\x00-\\x7f]+=(\\d)")),
                                     Text(QStringLiteral("\\p{Lu}=(\\d)")), Text(QStringLiteral("(?i)AB(\\d)")),
                                     Text(QStringLiteral("\\R(\\d)"))};
        QTest::newRow("bytes beyond ASCII")
            << beyond << QList<QByteArray>{"\xc9=5", "\xe9=6", "a\xa0" "7", "\x85" "8", "\xff=1", "ab3", "\r\n4"} + RandomTelegrams(4, 300, {"=", "=", "5", "17", "a", "AB", "ab", "_", "\t", "\xe9="})
            << 'R' << 0;

        // Where the search starts matters to anchors, lookbehinds and \G: a match is found only as
        // a search from the first byte finds it.
        const QList<CChannel> places{Text(QStringLiteral("^V1=(\\d)")), Text(QStringLiteral("V1=(?<=;V1=)(\\d)")),
                                     Text(QStringLiteral("T=(?<=\\GT=)(\\d)")), Text(QStringLiteral("H=(\\d+)$")),
                                     Text(QStringLiteral("H=(\\d+)\\z")), Text(QStringLiteral("\\bab(\\d)")),
                                     Text(QStringLiteral("ab(\\d)\\b")), Text(QStringLiteral("V1=(\\d)(?!;)"))};
        QTest::newRow("anchors, lookbehinds and the search's start")
            << places << QList<QByteArray>{"V1=5;V1=7", "x;V1=8", "xT=1", "T=2", "H=3\n", "H=4\r", "_ab5", "ab6_"}
                             + RandomTelegrams(5, 300, {"V1=", "V1=", "T=", "H=", "ab", "x", ";", "_", "5", "7"})
            << 'R' << 0;

        // Empty and unset groups, and the first of several matches.
        const QList<CChannel> groups{Text(QStringLiteral("T=(\\d*),")), Text(QStringLiteral("(?:T=(\\d+)|H=(\\d+))"), 1),
                                     Text(QStringLiteral("(?:T=(\\d+)|H=(\\d+))"), 2), Text(QStringLiteral("(\\d+)"), 1),
                                     Text(QStringLiteral("(\\d)(\\d)?"), 2), Text(QStringLiteral("(x)?=(\\d)"), 1),
                                     Text(QStringLiteral("(ab|AB)\\1?(\\d)"), 2)};
        QTest::newRow("empty and unset groups, several matches")
            << groups << QList<QByteArray>{"T=,H=5", "H=5,T=6", "12 34", "x=1 =2", "abab3", "ABab4"} + RandomTelegrams(6, 300, {"T=", "H=", ",", "=", "x", "ab", "AB", "5", "42", ""})
            << 'R' << 0;

        // The plain shape read without an engine: a last text that the class also holds (the run is
        // given back to it), an empty run, ranges and a class's own specials.
        const QList<CChannel> plainShape{Text(QStringLiteral("=(\\d+)5;")), Text(QStringLiteral("=([0-9]*)7")),
                                         Text(QStringLiteral("x([a-f0-9]+)f"), 1, 16), Text(QStringLiteral("([-0-9]+)-")),
                                         Text(QStringLiteral("T=([0-9]*)")), Text(QStringLiteral("<([+--.0-9]+)>")),
                                         Text(QStringLiteral("=(\\d+)5;"), 0), Text(QStringLiteral("([5-]*)"), 1),
                                         Text(QStringLiteral("V([0-9a-]+);"), 1, 16)};
        QTest::newRow("plain shape, the run given back")
            << plainShape << QList<QByteArray>{"=1255;", "=55;", "=5;", "=777", "x1fff", "-12--", "T=", "<-1.5>", "V0a-;"}
                                 + RandomTelegrams(9, 400, {"=", "5", "55", "7", ";", "x", "f", "a", "-", "T=", "<", ">", "+", ".", "12", "V"})
            << 'R' << 0;

        // Every shape of number, in both bases.
        const QList<CChannel> numbers{Text(QStringLiteral("=([^;]*);")), Text(QStringLiteral("=([^;]*);"), 1, 16),
                                      Text(QStringLiteral("N([-+0-9.e x]+)")), Text(QStringLiteral("N([-+0-9a-fA-Fx]+)"), 1, 16)};
        QList<QByteArray> shapes;
        for (const char *n : {"007", "-0", "0", "1.", ".5", "+5", "-.5", "5.5.5", "1e5", "-1e-3", "123456789012345",
                              "1234567890123456", "9007199254740993", "0.1", "-0.000000000000001", "99999999999999.9",
                              "1e309", "nan", "inf", " 12 ", "0x1F", "-ff", "+A", "0x", "ffffffffffffffff",
                              "10000000000000000", "0x0x5", "--1", "-", "1 2", "0.30000000000000004"})
            shapes << QByteArray("=") + n + ";" << QByteArray("N") + n;
        QTest::newRow("numbers of every shape") << numbers << shapes + RandomTelegrams(7, 300, {"=", "N", ";", "-", "+", ".", "0", "7", "12", "e", "x", "0x", "ff", "A"}) << 'R' << 0;

        // Binary and text channels behind one head and behind other matches, by direction and client.
        QList<CChannel> mixed;
        for (int direction : {int(CChannel::Received), int(CChannel::Sent), int(CChannel::Both)}) {
            CChannel field = Matched(Binary(1, CChannel::U16, true), CReplyRule::KindStartsWith, true, QStringLiteral("V"));
            field.direction = direction;
            field.client = direction == CChannel::Both ? 2 : 0;
            CChannel text = Matched(Text(QStringLiteral("=(\\d+)")), CReplyRule::KindEquals, true, QStringLiteral("V1=7"));
            text.direction = direction;
            mixed << field << text;
        }
        mixed << Matched(Text(QStringLiteral("(\\d+)")), CReplyRule::KindContains, true, QStringLiteral("=="))
              << Matched(Text(QStringLiteral("(\\d+)")), CReplyRule::KindEndsWith, true, QStringLiteral(";"))
              << Matched(Text(QStringLiteral("(\\d+)")), CReplyRule::KindStartsWith, false, QStringLiteral("56 ?? 31"))
              << Matched(Text(QStringLiteral("(\\d+)")), CReplyRule::KindRegex, true, QStringLiteral("^V\\d"));
        const QList<QByteArray> some = QList<QByteArray>{"V1=7", "V1=7;", "V"} + RandomTelegrams(8, 300, {"V", "V1=7", "=", "==", "7", "12", ";", "\x56\x00\x31"});
        QTest::newRow("mixed matches, received, client 2") << mixed << some << 'R' << 2;
        QTest::newRow("mixed matches, sent, client 0") << mixed << some << 'S' << 0;
    }
    void quickPathGivesThePlainReadingsValues()
    {
        QFETCH(QList<CChannel>, channels);
        QFETCH(QList<QByteArray>, telegrams);
        QFETCH(char, direction);
        QFETCH(int, client);
        CChannelTable table;
        table.channels = channels;
        CChannelParser parser;
        parser.SetTable(table);
        CChannelValues values;
        values.SetChannels(channels);
        QList<PlainChannel> plain;
        for (const CChannel &c : channels) {
            QVERIFY2(c.Check().isEmpty(), qPrintable(c.pattern + QLatin1Char(' ') + c.Check()));
            // Else the comparison would be of QRegularExpression with itself.
            QVERIFY2(c.source == CChannel::SourceBinary || CPatternRun(c.pattern).IsDirect(), qPrintable(c.pattern));
            plain.append(PlainChannel(c));
        }
        int expected = 0;
        for (int t = 0; t < telegrams.size(); ++t) {
            const QByteArray &telegram = telegrams[t];
            parser.Feed(direction, client, reinterpret_cast<const unsigned char *>(telegram.constData()),
                        int(telegram.size()), t, &values);
            for (int i = 0; i < channels.size(); ++i) {
                const std::optional<double> want = plain[i].Value(telegram, direction, client);
                const qsizetype n = values.Count(i);
                const bool got = n > 0 && values.TimeAt(i, n - 1) == t;
                const double value = got ? values.ValueAt(i, n - 1) : 0.0;
                // Bit for bit: -0 and 0 differ, and so do two NaNs of other bits.
                if (got != want.has_value() || (got && std::memcmp(&value, &*want, sizeof value) != 0))
                    QFAIL(qPrintable(QStringLiteral("channel %1 (%2) telegram %3: %4 read, %5 expected")
                                         .arg(i)
                                         .arg(channels[i].pattern, Hex(telegram))
                                         .arg(got ? QString::number(value, 'g', 17) : QStringLiteral("none"),
                                              want ? QString::number(*want, 'g', 17) : QStringLiteral("none"))));
                expected += want.has_value();
            }
        }
        // The table reads values at all, or the comparison above proves little.
        QVERIFY2(expected >= telegrams.size() / 10, qPrintable(QString::number(expected)));
    }

    void literalsFoundWhereTheyFirstBegin_data()
    {
        QTest::addColumn<QList<QByteArray>>("literals");
        QTest::addColumn<QList<QByteArray>>("telegrams");
        // One first byte (searched for as memchr does), several, and strings inside one another.
        QList<QByteArray> heads;
        for (int k = 0; k < 64; ++k)
            heads << "V" + QByteArray::number(k) + '=';
        QList<QByteArray> many;
        for (int k = 0; k < 300; ++k)
            many << QByteArray::number(k * 7919 % 100003, 36);
        const QList<QByteArray> texts = RandomTelegrams(10, 200, {"V1", "V12=", "=", "3", "ab", "abc", "b", "c", "0", "z"});
        QTest::newRow("one first byte") << heads << texts;
        QTest::newRow("nested and repeated") << QList<QByteArray>{"ab", "abc", "b", "bc", "c", "abc", "\xe9", "\xe9\xe9", QByteArray(1, '\0')}
                                             << texts + QList<QByteArray>{"abcabc", QByteArray("x\0\xe9\xe9", 4), "cba"};
        QTest::newRow("hundreds of strings") << many << texts + many;
    }
    void literalsFoundWhereTheyFirstBegin()
    {
        QFETCH(QList<QByteArray>, literals);
        QFETCH(QList<QByteArray>, telegrams);
        CLiteralFinder finder;
        QList<int> numbers;
        for (const QByteArray &literal : literals)
            numbers << finder.Add(literal);
        std::vector<int> at;
        std::vector<int> found;
        for (const QByteArray &telegram : telegrams) {
            finder.Find(reinterpret_cast<const unsigned char *>(telegram.constData()), int(telegram.size()), &at, &found);
            QCOMPARE(int(at.size()), finder.Count());
            for (int k = 0; k < literals.size(); ++k) {
                const int where = int(QByteArrayView(telegram).indexOf(literals[k]));
                if (at[size_t(numbers[k])] != where)
                    QFAIL(qPrintable(QStringLiteral("%1 in %2: %3, not %4")
                                         .arg(Hex(literals[k]), Hex(telegram))
                                         .arg(at[size_t(numbers[k])])
                                         .arg(where)));
                QCOMPARE(std::count(found.begin(), found.end(), numbers[k]), where >= 0 ? 1 : 0);
            }
        }
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
