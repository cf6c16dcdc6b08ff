// Reply rules without windows: decoding, checks, matching (also without a received checksum), the
// document slots and the CSV forms.
#include "document/cqndoc.h"
#include "platform/cp932.h"
#include "platform/qnwin.h"
#include "session/creplymatcher.h"
#include "session/creplyruletable.h"

#include <QFile>
#include <QTemporaryDir>
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

CReplyRule WithChecksum(CReplyRule r, const QString &checksum, bool without = true)
{
    r.checksum = checksum;
    r.matchWithoutChecksum = without;
    return r;
}

int MatchOf(const CReplyMatcher &m, const QByteArray &block)
{
    return m.Match(reinterpret_cast<const unsigned char *>(block.constData()), int(block.size()));
}

QByteArray SavedBytes(CQnDoc &doc)
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("doc.qn")));
    QString error;
    return doc.OnSaveDocument(file.fileName(), &error) && file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

    void matchWithoutTheReceivedChecksum_data()
    {
        QTest::addColumn<CReplyRule>("rule");
        QTest::addColumn<QByteArray>("block");
        QTest::addColumn<bool>("holds");
        using R = CReplyRule;
        const QString modbus = QStringLiteral("CRC-16/MODBUS:le");
        const QString lrc = QStringLiteral("LRC/ASCII:from=1,before=0D0A");
        const CReplyRule request = Rule(R::KindEquals, false, QStringLiteral("01 03 00 00 00 0A"));
        const QByteArray rtu("\x01\x03\x00\x00\x00\x0A\xC5\xCD", 8);
        QTest::newRow("the CRC is not verified") << WithChecksum(request, modbus) << rtu.chopped(2) + QByteArray(2, '\0') << true;
        QTest::newRow("flag off: the CRC is matched") << WithChecksum(request, modbus, false) << rtu << false;
        QTest::newRow("block shorter than the CRC") << WithChecksum(Rule(R::KindStartsWith, false, QStringLiteral("01")), modbus)
                                                    << QByteArray("\x01") << false;
        QTest::newRow("LRC at the end without CR LF") << WithChecksum(Rule(R::KindEndsWith, true, QStringLiteral("0001")), lrc)
                                                      << QByteArray(":010300000001FB") << true;
        QTest::newRow("contains across the left-out CRC")
            << WithChecksum(Rule(R::KindContains, false, QStringLiteral("0A0D")), QStringLiteral("CRC-16/MODBUS:le,before=0D"))
            << QByteArray("\x01\x0A\xC5\xCD\x0D") << true;
    }
    void matchWithoutTheReceivedChecksum()
    {
        QFETCH(CReplyRule, rule);
        QFETCH(QByteArray, block);
        QFETCH(bool, holds);
        CReplyMatcher m;
        // A plain contains rule behind it: the fast path still finds it when the first does not hold.
        m.SetRules({rule, Rule(CReplyRule::KindContains, false, QStringLiteral("01"))});
        QCOMPARE(MatchOf(m, block), holds ? 1 : block.contains('\x01') ? 2 : 0);
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
        QTest::newRow("unknown checksum") << with([](CReplyRule &r) { r.checksum = QStringLiteral("CRC-99"); }) << 4;
        // A reply of 2 bytes less than the send buffer, with a CRC of 2 (or 4) bytes.
        const QString longest(2 * QN_BUFFER_SIZE - 4, QLatin1Char('A'));
        QTest::newRow("reply and CRC fill the send buffer")
            << with([&](CReplyRule &r) { r.reply = longest; r.checksum = QStringLiteral("CRC-16/MODBUS"); }) << 0;
        QTest::newRow("reply and CRC over the send buffer")
            << with([&](CReplyRule &r) { r.reply = longest; r.checksum = QStringLiteral("CRC-32"); }) << 2;
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
        const QByteArray plain = SavedBytes(doc);
        table.rules[1] = WithChecksum(delayed, QStringLiteral("LRC/ASCII:from=1,before=0D0A"));
        table.rules[1].kind = CReplyRule::KindRegex;
        table.rules[1].replyPlaceholders = true;
        table.rules[1].state = QStringLiteral("ﾛｸﾞｲﾝ後");
        table.rules[1].nextState = QStringLiteral("READY");
        table.Store(doc);
        CReplyRuleTable loaded;
        QCOMPARE(loaded.Load(doc), 0);
        QCOMPARE(loaded, table);
        table.rules.removeLast();
        table.Store(doc);
        QCOMPARE(doc.GetSlotString(CQnDoc::SLOT_REPLY_RULE_TEXTS + 2), QString());
        QCOMPARE(doc.GetSlotInt(CQnDoc::SLOT_REPLY_RULE_INTS + 7), 0);
        QCOMPARE(doc.GetSlotString(CQnDoc::SLOT_REPLY_RULE_CHECKSUMS + 1), QString());
        QCOMPARE(doc.GetSlotInt(CQnDoc::SLOT_REPLY_RULE_FLAGS + 1), 0);
        QCOMPARE(doc.GetSlotString(CQnDoc::SLOT_REPLY_RULE_NEXT_STATES + 1), QString());
        // Without checksums and states the file is byte for byte what it was before rules had them.
        table.rules.append(delayed);
        table.Store(doc);
        QVERIFY(!plain.isEmpty());
        QCOMPARE(SavedBytes(doc), plain);
    }

    void damagedSlotsKeepTheWholeRules()
    {
        CReplyRuleTable table;
        table.use = true;
        table.rules = {Rule(0, false, QStringLiteral("01")), Rule(1, false, QStringLiteral("02")), Rule(2, false, QStringLiteral("03")),
                       Rule(3, false, QStringLiteral("04")), Rule(3, false, QStringLiteral("05"))};
        CQnDoc doc;
        table.Store(doc);
        doc.SetSlotInt(CQnDoc::SLOT_REPLY_RULE_INTS + 4 + 1, 9);            // rule 2: kind 9
        doc.SetSlotString(CQnDoc::SLOT_REPLY_RULE_TEXTS + 4, QStringLiteral("XY"));  // rule 3: match not hex
        doc.SetSlotString(CQnDoc::SLOT_REPLY_RULE_CHECKSUMS + 3, QStringLiteral("CRC-99"));  // rule 4: no such checksum
        doc.SetSlotInt(CQnDoc::SLOT_REPLY_RULE_FLAGS + 4, 2);              // rule 5: unknown flag
        CReplyRuleTable loaded;
        QCOMPARE(loaded.Load(doc), 4);
        QCOMPARE(loaded.rules, QList<CReplyRule>{table.rules.first()});
        doc.SetSlotInt(CQnDoc::SLOT_REPLY_COUNT, 100000);
        QCOMPARE(loaded.Load(doc), 64);  // the count, and the 63 stored rules that are not whole
        QCOMPARE(loaded.rules.size(), 1);
        QVERIFY(loaded.use);
    }

    void csvHasTheChecksumColumnsOnlyWhenUsed_data()
    {
        QTest::addColumn<QList<CReplyRule>>("rules");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<QByteArray>("line");  // of the first rule
        const QByteArray header = ToCp932(QStringLiteral("\"使用\",\"照合形式\",\"照合方法\",\"照合ﾃﾞｰﾀ\",\"応答形式\",\"応答ﾃﾞｰﾀ\",\"遅延(ms)\","));
        const QByteArray line = ToCp932(QStringLiteral("\"1\",\"HEX\",\"一致\",\"01\",\"HEX\",\"AA\",\"0\","));
        const CReplyRule plain = Rule(CReplyRule::KindEquals, false, QStringLiteral("01"));
        QTest::newRow("no checksum: as before") << QList<CReplyRule>{plain, plain} << header + "\r\n" << line + "\r\n";
        QTest::newRow("one checksum: nine columns")
            << QList<CReplyRule>{plain, WithChecksum(plain, QStringLiteral("LRC/ASCII:from=1,before=0D0A"))}
            << header + ToCp932(QStringLiteral("\"ﾁｪｯｸｻﾑ\",\"ﾁｪｯｸｻﾑ除外照合\",\r\n")) << line + "\"\",\"0\",\r\n";
    }
    void csvHasTheChecksumColumnsOnlyWhenUsed()
    {
        QFETCH(QList<CReplyRule>, rules);
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, line);
        CReplyRuleTable table;
        table.rules = rules;
        const QList<QByteArray> lines = table.ToCsv();
        QCOMPARE(lines.first(), header);
        QCOMPARE(lines[1], line);
        QList<CReplyRule> read;
        QString error;
        QVERIFY2(CReplyRuleTable::FromCsv(lines, &read, &error), qPrintable(error));
        QCOMPARE(read, rules);
    }
};

QTEST_GUILESS_MAIN(TestReplyMatcher)
#include "tst_replymatcher.moc"
