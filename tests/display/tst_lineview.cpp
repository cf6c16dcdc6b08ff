// Text area of the message windows: mouse selection, copy, hit testing on long lines, trimming.
#include "display/ui/clineview.h"
#include "platform/ui/uifonts.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QFontMetricsF>
#include <QScrollBar>
#include <QTest>

#include <tuple>

using Position = CLineView::Position;
Q_DECLARE_METATYPE(Position)

namespace {

void AddLines(CLineView &view, const QStringList &lines)
{
    for (const QString &line : lines)
        view.AppendEntry(CLineStore::SplitLines(line), true);
}

// A view of 400 × 200 pixels in the message windows' font.
void Prepare(CLineView &view)
{
    view.setFont(LogFont(QString::fromUtf8(kFaceMsGothic), 12));
    view.resize(400, 200);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
}

void Drag(CLineView &view, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mousePress(view.viewport(), Qt::LeftButton, modifiers, from);
    QTest::mouseMove(view.viewport(), to);
    QTest::mouseRelease(view.viewport(), Qt::LeftButton, modifiers, to);
}

}  // namespace

class TestLineView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { InstallFontSubstitutions(); }

    void dragSelectsAndCopies_data()
    {
        QTest::addColumn<Position>("from");
        QTest::addColumn<Position>("to");
        QTest::addColumn<QString>("copied");
        QTest::newRow("part of a line") << Position{1, 5} << Position{1, 10} << QStringLiteral("gamma");
        QTest::newRow("backwards") << Position{1, 10} << Position{1, 5} << QStringLiteral("gamma");
        QTest::newRow("across lines") << Position{0, 2} << Position{2, 2} << QStringLiteral("pha\nbeta gamma\n送信");
        QTest::newRow("whole lines to the empty last line")
            << Position{2, 0} << Position{4, 0} << QStringLiteral("送信ﾃｽﾄ 0A\n\n");
        QTest::newRow("inside japanese") << Position{2, 1} << Position{2, 5} << QStringLiteral("信ﾃｽﾄ");
    }
    void dragSelectsAndCopies()
    {
        QFETCH(Position, from);
        QFETCH(Position, to);
        QFETCH(QString, copied);
        CLineView view;
        Prepare(view);
        AddLines(view, {QStringLiteral("alpha"), QStringLiteral("beta gamma"), QStringLiteral("送信ﾃｽﾄ 0A"), QString()});
        view.Flush();
        view.verticalScrollBar()->setValue(0);
        Drag(view, view.PointOf(from), view.PointOf(to));
        QCOMPARE(view.SelectedText(), copied);
        QGuiApplication::clipboard()->clear();
        view.CopyAction()->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
    }

    void hexDigitsShownInPairs_data()
    {
        QTest::addColumn<int>("digits");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("shown");
        QTest::newRow("first digit") << 8 << 0 << 0;
        QTest::newRow("second digit") << 8 << 1 << 1;
        QTest::newRow("second pair, after the blank") << 8 << 2 << 3;
        QTest::newRow("last digit") << 8 << 7 << 10;
        QTest::newRow("the end: no blank after the last pair") << 8 << 8 << 11;
        QTest::newRow("beyond the end") << 8 << 9 << 11;
        QTest::newRow("one pair") << 2 << 2 << 2;
        QTest::newRow("odd digits (a cut line)") << 5 << 5 << 7;
        QTest::newRow("none") << 0 << 0 << 0;
    }
    void hexDigitsShownInPairs()
    {
        QFETCH(int, digits);
        QFETCH(int, column);
        QFETCH(int, shown);
        QCOMPARE(CLineView::ShownColumn(digits, column), shown);
    }

    // Spaced hex changes only the look: a drag between the same characters selects the same
    // positions, the copy holds the blanks shown, a hex find takes the same digits.
    void spacedHexSelectsCopiesAndFindsTheSameBytes_data()
    {
        QTest::addColumn<Position>("from");
        QTest::addColumn<Position>("to");
        QTest::addColumn<QString>("find");  // hex; empty: a drag
        QTest::addColumn<QString>("compact");
        QTest::addColumn<QString>("spaced");
        QTest::newRow("inside a pair") << Position{0, 3} << Position{0, 4} << QString() << "1" << "1";
        QTest::newRow("across a blank") << Position{0, 3} << Position{0, 6} << QString() << "103" << "1 03";
        QTest::newRow("from the prefix to the end")
            << Position{0, 0} << Position{0, 14} << QString() << "R 0103000AC5CD" << "R 01 03 00 0A C5 CD";
        QTest::newRow("across lines") << Position{0, 10} << Position{2, 6} << QString()
                                      << "C5CD\nlog text\nS 0102" << "C5 CD\nlog text\nS 01 02";
        QTest::newRow("a find across pairs") << Position{} << Position{} << "00 0a c5" << "000AC5" << "00 0A C5";
        QTest::newRow("a find at the end of the line") << Position{} << Position{} << "c5cd" << "C5CD" << "C5 CD";
    }
    void spacedHexSelectsCopiesAndFindsTheSameBytes()
    {
        QFETCH(Position, from);
        QFETCH(Position, to);
        QFETCH(QString, find);
        QFETCH(QString, compact);
        QFETCH(QString, spaced);
        CLineView view;
        Prepare(view);
        for (const auto &[head, hex, direction] : {std::tuple{"R ", "0103000AC5CD", 'R'}, {"log text", "", char(0)},
                                                   {"S ", "01020304", 'S'}}) {
            std::vector<CLineStore::Line> lines{CLineStore::Line::FromText(QString::fromLatin1(head), QByteArray(hex))};
            lines.front().body = direction ? 2 : -1;
            lines.front().direction = direction;
            view.AppendEntry(std::move(lines), false);
        }
        view.Flush();
        QStringList copies;
        for (const bool on : {false, true}) {
            view.SetSpacedHex(on);
            if (find.isEmpty()) {
                Drag(view, view.PointOf(from), view.PointOf(to));
            } else {
                CLineSearch search;
                search.Set(find, CLineSearch::Hex);
                view.SetSearch(search);
                QVERIFY(view.GoToMatch(true));
            }
            copies << view.SelectedText();
            QCOMPARE(view.PositionAt(view.PointOf(to)), to);
        }
        QCOMPARE(copies, (QStringList{compact, spaced}));
        // The blanks widen the line by one blank a pair after the first.
        view.SetSpacedHex(false);
        const double plain = view.ColumnX(0, 14) - view.ColumnX(0, 2);
        view.SetSpacedHex(true);
        QCOMPARE(view.ColumnX(0, 14) - view.ColumnX(0, 2), plain + 5 * QFontMetricsF(view.font()).horizontalAdvance(u' '));
    }

    void shiftClickExtendsAndSelectAllTakesEverything()
    {
        CLineView view;
        Prepare(view);
        AddLines(view, {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")});
        view.Flush();
        view.verticalScrollBar()->setValue(0);
        Drag(view, view.PointOf({0, 1}), view.PointOf({0, 2}));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, view.PointOf({1, 2}));
        QCOMPARE(view.SelectedText(), QStringLiteral("ne\ntw"));
        view.SelectAllAction()->trigger();
        QCOMPARE(view.SelectedText(), QStringLiteral("one\ntwo\nthree\n"));
    }

    void doubleClickSelectsAWord()
    {
        CLineView view;
        Prepare(view);
        AddLines(view, {QStringLiteral("12/07/06 09:05:03  R 0A0B0C")});
        view.Flush();
        view.verticalScrollBar()->setValue(0);
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, view.PointOf({0, 24}));
        QCOMPARE(view.SelectedText(), QStringLiteral("0A0B0C"));
    }

    // Long lines keep a width mark every 1024 characters; hit testing must agree with them everywhere.
    void hitTestingAgreesWithLayoutOnLongLines_data()
    {
        QTest::addColumn<qsizetype>("column");
        for (qsizetype c : {0, 1, 1023, 1024, 1025, 2047, 2048, 4999, 5000})
            QTest::newRow(qPrintable(QString::number(c))) << c;
    }
    void hitTestingAgreesWithLayoutOnLongLines()
    {
        QFETCH(qsizetype, column);
        CLineView view;
        Prepare(view);
        QString mixed;
        for (int i = 0; mixed.size() < 5000; ++i)
            mixed += i % 3 == 0 ? QStringLiteral("送") : i % 3 == 1 ? QStringLiteral("ｱ") : QStringLiteral("F");
        AddLines(view, {QString(2500, u'0') + QString(2500, u'A'), mixed});
        view.Flush();
        view.verticalScrollBar()->setValue(0);
        for (int line = 0; line < 2; ++line) {
            const double x = view.ColumnX(line, column);
            view.horizontalScrollBar()->setValue(std::max(0, static_cast<int>(x) - 100));
            const QPoint point = view.PointOf({line, column});
            QVERIFY(point.x() >= 0 && point.x() < view.viewport()->width());
            QCOMPARE(view.PositionAt(point + QPoint(1, 0)), (Position{line, column}));
        }
        // The width of the mixed line: 1667 full-width, 3333 half-width characters.
        const double half = view.ColumnX(0, 1);
        QCOMPARE(view.ColumnX(1, 5000), half * (1667 * 2 + 3333));
    }

    // A line whose long tail is the one before it's (an echo's S line) takes that line's layout only
    // when its head is as wide: every column lies where a view measuring it alone puts it.
    void lineSharingATailMeasuresAsAlone_data()
    {
        QTest::addColumn<QString>("head");
        QTest::newRow("head as wide") << QStringLiteral("S ");
        QTest::newRow("head wider") << QStringLiteral("送 ");
    }
    void lineSharingATailMeasuresAsAlone()
    {
        QFETCH(QString, head);
        const QByteArray digits(3000, '7');
        CLineView view;
        Prepare(view);
        view.AppendEntry({CLineStore::Line::FromText(QStringLiteral("R "), digits)}, true);
        view.AppendEntry({CLineStore::Line::FromText(head, digits)}, true);
        CLineView alone;
        Prepare(alone);
        alone.AppendEntry({CLineStore::Line::FromText(head, digits)}, true);
        view.Flush();
        alone.Flush();
        for (qsizetype column : {0, 1, 2, 1024, 2500, 3002})
            QCOMPARE(view.ColumnX(1, column), alone.ColumnX(0, column));
    }

    void trimmedLinesTakeTheSelectionAlong()
    {
        CLineView view;
        Prepare(view);
        QStringList lines;
        for (int i = 0; i < 1000; ++i)
            lines << QStringLiteral("line %1").arg(i);
        AddLines(view, lines);
        view.SetSelection({500, 0}, {501, 4});
        AddLines(view, {QStringLiteral("newest"), QStringLiteral("newer still")});
        QCOMPARE(view.LineCount(), 1000);
        QCOMPARE(view.SelectedText(), QStringLiteral("line 500\nline"));
        // A selection whose start left with the trimmed lines keeps what remains.
        view.SetSelection({0, 3}, {1, 4});
        AddLines(view, {QStringLiteral("last")});
        QCOMPARE(view.SelectedText(), QStringLiteral("line"));
    }

    void clearEmptiesStoreAndSelection()
    {
        CLineView view;
        Prepare(view);
        AddLines(view, {QStringLiteral("a"), QStringLiteral("b")});
        view.SelectAll();
        view.Clear();
        QCOMPARE(view.LineCount(), 0);
        QCOMPARE(view.StoredBytes(), 0);
        QVERIFY(!view.HasSelection());
        view.Flush();
        QCOMPARE(view.verticalScrollBar()->maximum(), 0);
        QCOMPARE(view.horizontalScrollBar()->maximum(), 0);
    }
};

QTEST_MAIN(TestLineView)
#include "tst_lineview.moc"
