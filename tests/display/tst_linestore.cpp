// Line store of the message windows: line splitting, compact storage, the line limit and the budget.
#include "display/clinestore.h"

#include <QTest>

namespace {

std::vector<CLineStore::Line> One(const QString &text)
{
    return CLineStore::SplitLines(text);
}

QStringList Texts(const std::vector<CLineStore::Line> &lines)
{
    QStringList texts;
    for (const CLineStore::Line &line : lines)
        texts << line.Text();
    return texts;
}

}  // namespace

class TestLineStore : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lineBreaksSplitText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("one line") << QStringLiteral("abc") << QByteArray() << QStringList{"abc"};
        QTest::newRow("empty") << QString() << QByteArray() << QStringList{""};
        QTest::newRow("CR LF is one break") << QStringLiteral("a\r\nb") << QByteArray() << QStringList{"a", "b"};
        QTest::newRow("CR and LF alone") << QStringLiteral("a\rb\nc") << QByteArray() << QStringList{"a", "b", "c"};
        QTest::newRow("LF CR is two breaks") << QStringLiteral("a\n\rb") << QByteArray() << QStringList{"a", "", "b"};
        QTest::newRow("break at the end") << QStringLiteral("abc\n") << QByteArray() << QStringList{"abc", ""};
        QTest::newRow("tail continues the last line") << QStringLiteral("x\ny ") << QByteArray("0102")
                                                       << QStringList{"x", "y 0102"};
        QTest::newRow("japanese") << QStringLiteral("送信\r\nﾛｸﾞ") << QByteArray() << QStringList{"送信", "ﾛｸﾞ"};
    }
    void lineBreaksSplitText()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, tail);
        QFETCH(QStringList, lines);
        QCOMPARE(Texts(CLineStore::SplitLines(text, tail)), lines);
    }

    void latinTextTakesOneByteACharacter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("head");
        QTest::addColumn<QByteArray>("tail");
        QTest::newRow("hex line") << QStringLiteral("12/07/06 09:05:03  R 0AFF") << QString()
                                  << QByteArray("12/07/06 09:05:03  R 0AFF");
        QTest::newRow("log line") << QStringLiteral("09:05  送信 0AFF") << QStringLiteral("09:05  送信")
                                  << QByteArray(" 0AFF");
        QTest::newRow("latin-1 letters") << QStringLiteral("\u00e9t\u00e9") << QString() << QByteArray("\xe9t\xe9");
        QTest::newRow("ends beyond latin-1") << QStringLiteral("ab送") << QStringLiteral("ab送") << QByteArray();
    }
    void latinTextTakesOneByteACharacter()
    {
        QFETCH(QString, text);
        QFETCH(QString, head);
        QFETCH(QByteArray, tail);
        const CLineStore::Line line = CLineStore::Line::FromText(text);
        QCOMPARE(line.head, head);
        QCOMPARE(line.tail, tail);
        QCOMPARE(line.Text(), text);
        QCOMPARE(line.Bytes(), head.size() * 2 + tail.size() + CLineStore::kLineOverhead);
        for (qsizetype i = 0; i < text.size(); ++i)
            QCOMPARE(line.At(i), text[i]);
    }

    void midReadsAcrossHeadAndTail_data()
    {
        QTest::addColumn<qsizetype>("from");
        QTest::addColumn<qsizetype>("count");
        QTest::addColumn<QString>("mid");
        QTest::newRow("head only") << qsizetype(0) << qsizetype(2) << QStringLiteral("送信");
        QTest::newRow("across") << qsizetype(1) << qsizetype(3) << QStringLiteral("信 A");
        QTest::newRow("tail only") << qsizetype(3) << qsizetype(5) << QStringLiteral("AB");
        QTest::newRow("past the end") << qsizetype(9) << qsizetype(2) << QString();
        QTest::newRow("negative start") << qsizetype(-3) << qsizetype(1) << QStringLiteral("送");
    }
    void midReadsAcrossHeadAndTail()
    {
        QFETCH(qsizetype, from);
        QFETCH(qsizetype, count);
        QFETCH(QString, mid);
        QCOMPARE(CLineStore::Line::FromText(u"送信 AB").Mid(from, count), mid);
    }

    void hexTailIsSharedNotCopied()
    {
        const QByteArray hex(2048000, 'A');
        const CLineStore::Line line = CLineStore::SplitLines(u"stamp R ", hex).front();
        QCOMPARE(line.head, QStringLiteral("stamp R "));
        QCOMPARE(line.tail.constData(), hex.constData());
    }

    void entryPastTheLimitRemovesTheOldest()
    {
        CLineStore store;
        for (int i = 1; i <= 1001; ++i)
            store.Append(One(QString::number(i)));
        QCOMPARE(store.Count(), 1000);
        QCOMPARE(store.At(0).Text(), QStringLiteral("2"));
        QCOMPARE(store.At(999).Text(), QStringLiteral("1001"));
    }

    void multiLineEntriesRaiseTheCountWhichThenHolds()
    {
        CLineStore store;
        for (int i = 1; i <= 1000; ++i)
            store.Append(One(QString::number(i)));
        QCOMPARE(store.Count(), 1000);
        QCOMPARE(store.Append(One(QStringLiteral("a\nb\nc"))), 1);
        QCOMPARE(store.Count(), 1002);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(store.Append(One(QStringLiteral("one"))), 1);
        QCOMPARE(store.Count(), 1002);
        QCOMPARE(store.At(1001).Text(), QStringLiteral("one"));
        store.Clear();
        QCOMPARE(store.Count(), 0);
        QCOMPARE(store.StoredBytes(), 0);
    }

    void budgetRemovesOldestLinesUntilTheNewOnesFit_data()
    {
        QTest::addColumn<int>("lineLength");
        QTest::addColumn<int>("linesPerEntry");
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("expectedCount");
        // Ten lines of 1000 characters fit the budget exactly.
        QTest::newRow("one line per entry") << 1000 << 1 << 25 << 10;
        QTest::newRow("a line needing two slots") << 2200 << 1 << 7 << 4;
        QTest::newRow("entry larger than the budget keeps its newest lines") << 1000 << 14 << 2 << 10;
        QTest::newRow("single line larger than the budget stays alone") << 20000 << 1 << 3 << 1;
        QTest::newRow("small lines stay within the line limit") << 1 << 1 << 1500 << 1000;
    }
    void budgetRemovesOldestLinesUntilTheNewOnesFit()
    {
        QFETCH(int, lineLength);
        QFETCH(int, linesPerEntry);
        QFETCH(int, entries);
        QFETCH(int, expectedCount);
        CLineStore store;
        const qsizetype budget = lineLength == 1 ? CLineStore::kDefaultBudget : 10 * (1000 + CLineStore::kLineOverhead);
        store.SetBudget(budget);
        int serial = 0;
        for (int e = 0; e < entries; ++e) {
            QStringList parts;
            for (int l = 0; l < linesPerEntry; ++l) {
                const QString number = QString::number(++serial).rightJustified(8, u'0');
                parts << number + QString(lineLength - number.size(), u'x');
            }
            store.Append(One(parts.join(u'\n')));
            QVERIFY(store.Count() == 1 || store.StoredBytes() <= budget);
        }
        QCOMPARE(store.Count(), expectedCount);
        // The newest lines are kept, in order.
        for (int i = 0; i < store.Count(); ++i)
            QVERIFY(store.At(i).Text().startsWith(QString::number(serial - store.Count() + 1 + i).rightJustified(8, u'0')));
        qsizetype sum = 0;
        for (int i = 0; i < store.Count(); ++i)
            sum += store.At(i).Bytes();
        QCOMPARE(store.StoredBytes(), sum);
    }

    // A log entry's lines read the same whether they take the one-step way or the general one.
    void stampedLinesEqualTheSplitOfBoth_data()
    {
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<QString>("text");
        QTest::newRow("ascii") << QStringLiteral("2026/12/11 10:00:00  ") << QStringLiteral(">>> Send[CTCPSoc(Term)]");
        QTest::newRow("latin-1") << QStringLiteral("10:00:00  ") << QStringLiteral("caf\u00E9 \u00FF");
        QTest::newRow("japanese") << QStringLiteral("10:00:00  ") << QStringLiteral("受信-自動応答 0102");
        QTest::newRow("japanese stamp") << QStringLiteral("10時00分  ") << QStringLiteral("abc");
        QTest::newRow("japanese last") << QStringLiteral("10:00:00  ") << QStringLiteral("abc受");
        QTest::newRow("latin-1 after japanese") << QStringLiteral("10時  ") << QStringLiteral("受\u00E9 x");
        QTest::newRow("line breaks") << QStringLiteral("10:00:00  ") << QStringLiteral("a\r\nb\rc\nd");
        QTest::newRow("empty") << QString() << QString();
    }
    void stampedLinesEqualTheSplitOfBoth()
    {
        QFETCH(QString, stamp);
        QFETCH(QString, text);
        const std::vector<CLineStore::Line> fast = CLineStore::SplitStampedLines(stamp, text);
        const std::vector<CLineStore::Line> general = CLineStore::SplitLines(stamp + text);
        QCOMPARE(Texts(fast), Texts(general));
        QCOMPARE(fast.front().body, qint32(stamp.size()));
        QCOMPARE(fast.front().head.size(), general.front().head.size());  // Latin-1 stays one byte a character
    }

    // Large copies go around the cache: every byte lands, whatever the sizes and alignments.
    void copyInKeepsEveryByte_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("toOffset");
        QTest::addColumn<int>("fromOffset");
        QTest::newRow("small") << 100 << 3 << 1;
        QTest::newRow("just under the streamed size") << 256 * 1024 - 1 << 0 << 0;
        QTest::newRow("streamed, aligned") << 256 * 1024 << 0 << 0;
        QTest::newRow("streamed, both misaligned, odd tail") << 1024000 - 13 << 7 << 5;
        QTest::newRow("streamed, destination misaligned by 15") << 300000 << 15 << 0;
    }
    void copyInKeepsEveryByte()
    {
        QFETCH(int, size);
        QFETCH(int, toOffset);
        QFETCH(int, fromOffset);
        QByteArray from(size + fromOffset, Qt::Uninitialized);
        for (int i = 0; i < from.size(); ++i)
            from[i] = char(i * 131 + (i >> 9));
        QByteArray to(size + toOffset + 16, '\xEE');
        CLineStore::CopyIn(to.data() + toOffset, reinterpret_cast<const unsigned char *>(from.constData()) + fromOffset, size);
        QCOMPARE(to.mid(toOffset, size), from.mid(fromOffset));
        QCOMPARE(to.left(toOffset), QByteArray(toOffset, '\xEE'));
        QCOMPARE(to.mid(toOffset + size), QByteArray(16, '\xEE'));
    }
};

QTEST_GUILESS_MAIN(TestLineStore)
#include "tst_linestore.moc"
