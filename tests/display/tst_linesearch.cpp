// Finding text and bytes in stored lines, and decoding telegram bytes for the text display.
#include "display/clinesearch.h"
#include "display/ctextdecoding.h"

#include <QTest>

namespace {

using Line = CLineStore::Line;

// A line from its parts: head, tail, where the telegram starts, its direction.
Line MakeLine(const QString &head, const QByteArray &tail, int body = -1, char direction = 0)
{
    Line line;
    line.head = head;
    line.tail = tail;
    line.body = body;
    line.direction = direction;
    return line;
}

QString Spans(const std::vector<CLineSearch::Span> &spans)
{
    QStringList parts;
    for (const CLineSearch::Span &span : spans)
        parts << QStringLiteral("%1+%2").arg(span.start).arg(span.length);
    return parts.join(u' ');
}

}  // namespace

class TestLineSearch : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void findsTextAndBytes_data()
    {
        QTest::addColumn<QString>("head");
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<int>("body");
        QTest::addColumn<char>("direction");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("spans");
        const QString stamp = QStringLiteral("12/07/06 09:05:03  ");
        // A Log line of a long telegram: 64 digits, then the mark; the 33rd byte (AB) is not shown.
        QByteArray digits;
        for (int i = 0; i < 32; ++i)
            digits += QByteArray::number(0x40 + i, 16).toUpper();
        const QString logLead = stamp + QStringLiteral("受信 ");
        const QString logHead = logLead + QString::fromLatin1(digits) + QStringLiteral(" +α");
        const QByteArray logTail;
        const int cut = logLead.size() + 64;

        QTest::newRow("text in the head") << stamp + QStringLiteral("ﾛｸﾞ開始") << QByteArray() << 19 << '\0' << false
                                          << QStringLiteral("開始") << QStringLiteral("22+2");
        QTest::newRow("text across head and tail") << QStringLiteral("ab") << QByteArray("cd") << -1 << '\0' << false
                                                   << QStringLiteral("bc") << QStringLiteral("1+2");
        QTest::newRow("wide text across head and tail") << QStringLiteral("x受") << QByteArray("Ab") << -1 << '\0'
                                                        << false << QStringLiteral("受A") << QStringLiteral("1+2");
        QTest::newRow("overlapping text") << QString() << QByteArray("aaaa") << -1 << '\0' << false
                                          << QStringLiteral("aa") << QStringLiteral("0+2 1+2 2+2");
        QTest::newRow("text is case sensitive") << QString() << QByteArray("0d0A") << -1 << '\0' << false
                                                << QStringLiteral("0D0A") << QString();
        QTest::newRow("hex on bytes only") << QStringLiteral("R ") << QByteArray("0D0A10D0A0") << 2 << 'R' << true
                                           << QStringLiteral("0D0A") << QStringLiteral("2+4");
        QTest::newRow("hex lower case with blanks") << QStringLiteral("R ") << QByteArray("0D0A10D0A0") << 2 << 'R'
                                                    << true << QStringLiteral(" 0d 0a ") << QStringLiteral("2+4");
        QTest::newRow("hex not valid") << QStringLiteral("R ") << QByteArray("0D0A") << 2 << 'R' << true
                                       << QStringLiteral("0G") << QString();
        QTest::newRow("hex odd digit count") << QStringLiteral("R ") << QByteArray("0D0A") << 2 << 'R' << true
                                             << QStringLiteral("0D0") << QString();
        QTest::newRow("hex not in the stamp") << stamp + QStringLiteral("R ") << QByteArray("0712") << 21 << 'R'
                                              << true << QStringLiteral("12") << QStringLiteral("23+2");
        QTest::newRow("hex in a log line up to the cut")
            << logHead << logTail << 19 << '\0' << true << QStringLiteral("5E5F") << QStringLiteral("%1+4").arg(cut - 4);
        QTest::newRow("hex across the log cut finds nothing")
            << logHead << logTail << 19 << '\0' << true << QStringLiteral("5F60") << QString();
        QTest::newRow("hex in a log line, not on a byte")
            << logHead << logTail << 19 << '\0' << true << QStringLiteral("0414") << QString();
    }

    void findsTextAndBytes()
    {
        QFETCH(QString, head);
        QFETCH(QByteArray, tail);
        QFETCH(int, body);
        QFETCH(char, direction);
        QFETCH(bool, hex);
        QFETCH(QString, pattern);
        QFETCH(QString, spans);
        const Line line = MakeLine(head, tail, body, direction);
        CLineSearch search;
        search.Set(pattern, hex ? CLineSearch::Hex : CLineSearch::Text);
        QCOMPARE(Spans(search.Find(line, 0, line.Length())), spans);
        QCOMPARE(search.Count(line), spans.isEmpty() ? 0 : int(spans.count(u'+')));
        // A window onto the line finds the matches that overlap it.
        if (!spans.isEmpty()) {
            const CLineSearch::Span first = search.Nth(line, 0);
            QCOMPARE(Spans(search.Find(line, first.start + first.length - 1, first.start + first.length)).section(u' ', 0, 0),
                     spans.section(u' ', 0, 0));
            QCOMPARE(search.Find(line, 0, first.start).size(), size_t(0));
        }
    }

    void findsInTwoMegabyteLinesAndTwoMegabytePatterns()
    {
        QByteArray hex(2'048'000, '0');
        hex.replace(2'047'996, 4, "0D0A");
        const Line line = MakeLine(QStringLiteral("R "), hex, 2, 'R');
        CLineSearch search;
        search.Set(QStringLiteral("0D0A"), CLineSearch::Hex);
        QCOMPARE(Spans(search.Find(line, 0, line.Length())), QStringLiteral("2047998+4"));
        // Only what is in view is looked at when a window onto the line is given.
        QCOMPARE(search.Find(line, 1000, 2000).size(), size_t(0));
        search.Set(QString::fromLatin1(hex), CLineSearch::Hex);
        QCOMPARE(search.Count(line), 1);
        search.Set(QString::fromLatin1(hex), CLineSearch::Text);
        QCOMPARE(search.Count(line), 1);
    }

    void findsBytesOfLinesShownAsText_data()
    {
        // The lines of one telegram shown as text, "|" between them; each line's bytes run to the
        // next line's first byte. The spans are those marked on each line, "|" between lines.
        QTest::addColumn<QString>("texts");
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QList<int>>("lineStarts");  // the first byte of each line
        QTest::addColumn<int>("decoding");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("spans");
        QTest::addColumn<int>("count");
        const int marks = CLineStore::Line::kControlMarks;
        QTest::newRow("shift-jis character") << QStringLiteral("R Aあ") << QByteArray("A\x82\xa0\r\n") << QList<int>{0}
                                             << 0 << QStringLiteral("82A0") << QStringLiteral("3+1") << 1;
        QTest::newRow("its trail byte") << QStringLiteral("R Aあ") << QByteArray("A\x82\xa0\r\n") << QList<int>{0} << 0
                                        << QStringLiteral("A0") << QStringLiteral("3+1") << 1;
        QTest::newRow("control marks") << QStringLiteral("R A<CR><LF>") << QByteArray("A\r\n") << QList<int>{0} << marks
                                       << QStringLiteral("0D0A") << QStringLiteral("3+8") << 1;
        QTest::newRow("a character beyond the plane") << QStringLiteral("R ") + QString::fromUtf8("\xf0\x9f\x98\x80") + QStringLiteral("A")
                                                      << QByteArray("\xf0\x9f\x98\x80" "A") << QList<int>{0} << 1
                                                      << QStringLiteral("9F988041") << QStringLiteral("2+3") << 1;
        QTest::newRow("across a line break") << QStringLiteral("R Hello|World") << QByteArray("Hello\r\nWorld")
                                             << QList<int>{0, 7} << 0 << QStringLiteral("0A576F")
                                             << QStringLiteral("7+0|0+2") << 1;
    }
    void findsBytesOfLinesShownAsText()
    {
        QFETCH(QString, texts);
        QFETCH(QByteArray, raw);
        QFETCH(QList<int>, lineStarts);
        QFETCH(int, decoding);
        QFETCH(QString, pattern);
        QFETCH(QString, spans);
        QFETCH(int, count);
        CLineSearch search;
        search.Set(pattern, CLineSearch::Hex);
        QStringList found;
        int total = 0;
        const QStringList lineTexts = texts.split(u'|');
        for (int i = 0; i < lineTexts.size(); ++i) {
            Line line = MakeLine(lineTexts[i], QByteArray(), i == 0 ? 2 : 0, 'R');
            line.raw = raw;
            line.rawBegin = lineStarts[i];
            line.rawEnd = i + 1 < lineStarts.size() ? lineStarts[i + 1] : -1;
            line.decoding = quint8(decoding);
            found << Spans(search.Find(line, 0, line.Length()));
            total += search.Count(line);
        }
        QCOMPARE(found.join(u'|'), spans);
        QCOMPARE(total, count);
    }

    void decodesWithVisibleReplacements_data()
    {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<bool>("controls");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        const QString bad(QChar(0xFFFD));
        QTest::newRow("shift-jis") << 0 << false << QByteArray("\x83\x65\x83\x58\x83\x67\xb1") << QStringLiteral("テストｱ");
        QTest::newRow("shift-jis lead byte at the end") << 0 << false << QByteArray("A\x82") << QStringLiteral("A") + bad;
        QTest::newRow("shift-jis bad trail byte is kept") << 0 << false << QByteArray("\x82 B")
                                                          << bad + QStringLiteral(" B");
        QTest::newRow("utf-8") << 1 << false << QByteArray("caf\xc3\xa9 \xe2\x82\xac") << QStringLiteral("café €");
        QTest::newRow("utf-8 cut sequence") << 1 << false << QByteArray("\xc3(") << bad + QStringLiteral("(");
        QTest::newRow("utf-8 overlong") << 1 << false << QByteArray("\xc0\xafx") << bad + bad + QStringLiteral("x");
        QTest::newRow("utf-8 beyond the plane") << 1 << false << QByteArray("\xf0\x9f\x98\x80")
                                                << QString::fromUtf8("\xf0\x9f\x98\x80");
        QTest::newRow("latin-1") << 2 << false << QByteArray("\xe9\xff") << QStringLiteral("éÿ");
        QTest::newRow("control marks") << 0 << true << QByteArray("A\r\n\t\0\x7f", 6)
                                       << QStringLiteral("A<CR><LF><HT><NUL><DEL>");
    }

    void decodesWithVisibleReplacements()
    {
        QFETCH(int, encoding);
        QFETCH(bool, controls);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        std::vector<qint32> offsets;
        QCOMPARE(CTextDecoding::Decode(bytes, CTextDecoding::Encoding(encoding), controls, &offsets), text);
        QCOMPARE(offsets.size(), size_t(text.size() + 1));
        QCOMPARE(offsets.back(), qint32(bytes.size()));
    }
};

QTEST_GUILESS_MAIN(TestLineSearch)
#include "tst_linesearch.moc"
