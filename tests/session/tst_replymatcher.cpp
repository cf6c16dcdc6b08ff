// Reply rules without windows: decoding, checks, matching and the document slots.
#include "document/cqndoc.h"
#include "platform/qnwin.h"
#include "session/creplymatcher.h"
#include "session/creplyruletable.h"

#include <QTest>

Q_DECLARE_METATYPE(CReplyRule)

namespace {

CReplyRule Rule(int kind, bool text, const QString &match, const QString &reply = QStringLiteral("AA"))
{
    CReplyRule r;
    r.kind = kind;
    r.matchText = text;
    r.match = match;
    r.reply = reply;
    return r;
}

int MatchOf(const CReplyMatcher &m, const QByteArray &block)
{
    return m.Match(reinterpret_cast<const unsigned char *>(block.constData()), int(block.size()));
}

}  // namespace

class TestReplyMatcher : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void kindsHoldForHexAndText_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("text");
        QTest::addColumn<QString>("match");
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<bool>("holds");
        using R = CReplyRule;
        QTest::newRow("equals hex") << int(R::KindEquals) << false << "0102 ff" << QByteArray("\x01\x02\xff") << true;
        QTest::newRow("equals hex, longer block") << int(R::KindEquals) << false << "0102" << QByteArray("\x01\x02\x03") << false;
        QTest::newRow("equals text escapes") << int(R::KindEquals) << true << "ST\\r\\n" << QByteArray("ST\r\n") << true;
        QTest::newRow("starts hex") << int(R::KindStartsWith) << false << "02" << QByteArray("\x02xyz") << true;
        QTest::newRow("starts text, elsewhere only") << int(R::KindStartsWith) << true << "yz" << QByteArray("\x02xyz") << false;
        QTest::newRow("starts, block shorter") << int(R::KindStartsWith) << true << "ABC" << QByteArray("AB") << false;
        QTest::newRow("contains text middle") << int(R::KindContains) << true << "STAT" << QByteArray("..STAT..") << true;
        QTest::newRow("contains text at end") << int(R::KindContains) << true << "STAT" << QByteArray(40, '.') + "STAT" << true;
        QTest::newRow("contains text cut at end") << int(R::KindContains) << true << "STAT" << QByteArray(40, '.') + "STA" << false;
        QTest::newRow("contains hex \\x in long block") << int(R::KindContains) << false << "0D0A" << QByteArray(100, 'x') + "\r\n" + QByteArray(100, 'y') << true;
        QTest::newRow("contains, block shorter") << int(R::KindContains) << true << "STAT" << QByteArray("STA") << false;
        QTest::newRow("contains, block as long") << int(R::KindContains) << true << "STAT" << QByteArray("STAT") << true;
        QTest::newRow("contains across 16 KB") << int(R::KindContains) << true << "STAT" << QByteArray(16382, '.') + "STAT" + QByteArray(70000, '.') << true;
        QTest::newRow("contains, absent") << int(R::KindContains) << false << "0D0A" << QByteArray(100, 'x') << false;
        QTest::newRow("contains, cp932 text") << int(R::KindContains) << true << QStringLiteral("ｱ") << QByteArray("x\xb1y") << true;
        QTest::newRow("ends hex") << int(R::KindEndsWith) << false << "03" << QByteArray("\x01\x02\x03") << true;
        QTest::newRow("ends text \\x") << int(R::KindEndsWith) << true << "\\x03" << QByteArray("\x01\x02\x03") << true;
        QTest::newRow("ends, not at end") << int(R::KindEndsWith) << false << "02" << QByteArray("\x01\x02\x03") << false;
    }
    void kindsHoldForHexAndText()
    {
        QFETCH(int, kind);
        QFETCH(bool, text);
        QFETCH(QString, match);
        QFETCH(QByteArray, block);
        QFETCH(bool, holds);
        CReplyMatcher m;
        m.SetRules({Rule(kind, text, match)});
        QCOMPARE(MatchOf(m, block), holds ? 1 : 0);
        // The same answer when the block is copied on the way, and the whole block in the copy.
        QByteArray copy(block.size(), '\0');
        const auto *data = reinterpret_cast<const unsigned char *>(block.constData());
        QCOMPARE(m.Match(data, int(block.size()), reinterpret_cast<unsigned char *>(copy.data())), holds ? 1 : 0);
        QCOMPARE(copy, block);
    }

    void firstEnabledMatchingRuleAnswers()
    {
        CReplyRule off = Rule(CReplyRule::KindContains, true, QStringLiteral("A"), QStringLiteral("01"));
        off.enabled = false;
        CReplyMatcher m;
        m.SetRules({off, Rule(CReplyRule::KindStartsWith, true, QStringLiteral("Z")),
                    Rule(CReplyRule::KindContains, true, QStringLiteral("B"), QStringLiteral("02")),
                    Rule(CReplyRule::KindContains, true, QStringLiteral("A"), QStringLiteral("03")),
                    Rule(CReplyRule::KindEquals, true, QStringLiteral("AB"), QStringLiteral("04"))});
        QCOMPARE(MatchOf(m, "AB"), 3);  // rule 1 is off; 3 comes before 4 and 5
        QCOMPARE(m.Reply(3), QByteArray("\x02"));
        QCOMPARE(MatchOf(m, "xA"), 4);
        QCOMPARE(MatchOf(m, "Zq"), 2);
        QCOMPARE(MatchOf(m, "q"), 0);
    }

    void sixtyFourContainsRulesAreFoundInOnePass()
    {
        QList<CReplyRule> rules;
        for (int i = 0; i < CReplyMatcher::kMaxRules; ++i)
            rules.append(Rule(CReplyRule::KindContains, false, QStringLiteral("%1%2").arg(i * 4, 2, 16, QLatin1Char('0')).arg(i, 2, 16, QLatin1Char('0'))));
        CReplyMatcher m;
        m.SetRules(rules);
        QByteArray block(1 << 20, 'x');
        QCOMPARE(MatchOf(m, block), 0);
        block[700000] = char(63 * 4);
        block[700001] = char(63);
        QCOMPARE(MatchOf(m, block), 64);
        block[17] = char(5 * 4);
        block[18] = char(5);
        QCOMPARE(MatchOf(m, block), 6);
    }

    // Matching is per received block: a telegram split across two reads matches as two blocks.
    void aTelegramSplitAcrossTwoReadsIsTwoBlocks()
    {
        CReplyMatcher m;
        m.SetRules({Rule(CReplyRule::KindEquals, true, QStringLiteral("STATUS?"))});
        QCOMPARE(MatchOf(m, "STATUS?"), 1);
        QCOMPARE(MatchOf(m, "STAT"), 0);
        QCOMPARE(MatchOf(m, "US?"), 0);
    }

    void checksRefuseBadRules_data()
    {
        QTest::addColumn<CReplyRule>("rule");
        QTest::addColumn<int>("field");
        const auto with = [](auto change) {
            CReplyRule r = Rule(CReplyRule::KindEquals, false, QStringLiteral("01"));
            change(r);
            return r;
        };
        QTest::newRow("good") << with([](CReplyRule &) {}) << 0;
        QTest::newRow("hex letter") << with([](CReplyRule &r) { r.match = QStringLiteral("0G"); }) << 1;
        QTest::newRow("odd hex") << with([](CReplyRule &r) { r.match = QStringLiteral("012"); }) << 1;
        QTest::newRow("empty match") << with([](CReplyRule &r) { r.match.clear(); }) << 1;
        QTest::newRow("bad escape") << with([](CReplyRule &r) { r.matchText = true; r.match = QStringLiteral("a\\q"); }) << 1;
        QTest::newRow("short \\x") << with([](CReplyRule &r) { r.matchText = true; r.match = QStringLiteral("a\\x4"); }) << 1;
        QTest::newRow("bad reply hex") << with([](CReplyRule &r) { r.reply = QStringLiteral("zz"); }) << 2;
        QTest::newRow("reply over the send buffer") << with([](CReplyRule &r) { r.reply = QString(2 * QN_BUFFER_SIZE + 2, QLatin1Char('A')); }) << 2;
        QTest::newRow("reply fills the send buffer") << with([](CReplyRule &r) { r.reply = QString(2 * QN_BUFFER_SIZE, QLatin1Char('A')); }) << 0;
        QTest::newRow("delay 60000") << with([](CReplyRule &r) { r.delay = 60000; }) << 0;
        QTest::newRow("delay 60001") << with([](CReplyRule &r) { r.delay = 60001; }) << 3;
        QTest::newRow("delay -1") << with([](CReplyRule &r) { r.delay = -1; }) << 3;
    }
    void checksRefuseBadRules()
    {
        QFETCH(CReplyRule, rule);
        QFETCH(int, field);
        int failed = -1;
        QCOMPARE(rule.Check(&failed).isEmpty(), field == 0);
        QCOMPARE(failed, field);
    }

    void storingFewerRulesEmptiesTheSlotsOfTheRest()
    {
        CReplyRuleTable table;
        CReplyRule delayed = Rule(CReplyRule::KindEndsWith, true, QStringLiteral("ｺﾏﾝﾄﾞ\\r"), QStringLiteral("0D"));
        delayed.delay = 250;
        table.rules = {Rule(CReplyRule::KindContains, false, QStringLiteral("0D0A")), delayed};
        CQnDoc doc;
        table.Store(doc);
        CReplyRuleTable loaded;
        QCOMPARE(loaded.Load(doc), 0);
        QCOMPARE(loaded, table);
        table.rules.removeLast();
        table.Store(doc);
        QCOMPARE(doc.GetSlotString(CQnDoc::SLOT_REPLY_RULE_TEXTS + 2), QString());
        QCOMPARE(doc.GetSlotInt(CQnDoc::SLOT_REPLY_RULE_INTS + 7), 0);
    }

    void damagedSlotsKeepTheWholeRules()
    {
        CReplyRuleTable table;
        table.use = true;
        table.rules = {Rule(0, false, QStringLiteral("01")), Rule(1, false, QStringLiteral("02")), Rule(2, false, QStringLiteral("03"))};
        CQnDoc doc;
        table.Store(doc);
        doc.SetSlotInt(CQnDoc::SLOT_REPLY_RULE_INTS + 4 + 1, 9);            // rule 2: kind 9
        doc.SetSlotString(CQnDoc::SLOT_REPLY_RULE_TEXTS + 4, QStringLiteral("XY"));  // rule 3: match not hex
        CReplyRuleTable loaded;
        QCOMPARE(loaded.Load(doc), 2);
        QCOMPARE(loaded.rules, QList<CReplyRule>{table.rules.first()});
        doc.SetSlotInt(CQnDoc::SLOT_REPLY_COUNT, 100000);
        QCOMPARE(loaded.Load(doc), 64);  // the count, and the 63 stored rules that are not whole
        QCOMPARE(loaded.rules.size(), 1);
        QVERIFY(loaded.use);
    }
};

QTEST_GUILESS_MAIN(TestReplyMatcher)
#include "tst_replymatcher.moc"
