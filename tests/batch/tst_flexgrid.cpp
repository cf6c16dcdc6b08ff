// The grid control: captions, fixed parts, cells, blocks, colours, user selection, keys and edits.
#include "batch/ui/cflexgridheader.h"
#include "batch/ui/cvsflexgrid.h"
#include "gridtestutil.h"
#include "platform/ui/uifonts.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

namespace {

// The grid's cells of rows 2 to 4, columns 1 to 3, as "a|b|c" per row.
QStringList Snippet(const CvsFlexGrid &grid)
{
    QStringList rows;
    for (int r = 2; r <= 4; ++r) {
        QStringList cells;
        for (int c = 1; c <= 3; ++c)
            cells.append(grid.GetCellText(r, c));
        rows.append(cells.join(QLatin1Char('|')));
    }
    return rows;
}

bool Near(QRgb pixel, COLORREF colour, int tolerance = 2)
{
    return qAbs(qRed(pixel) - int(colour & 0xFF)) <= tolerance && qAbs(qGreen(pixel) - int((colour >> 8) & 0xFF)) <= tolerance &&
           qAbs(qBlue(pixel) - int((colour >> 16) & 0xFF)) <= tolerance;
}

// The scenario table, shown at a size where rows 1 to 14 are in view.
bool ShowScenario(CvsFlexGrid &grid)
{
    SetUpScenarioGrid(grid);
    grid.resize(600, 400);
    grid.show();
    return QTest::qWaitForWindowExposed(&grid);
}

}  // namespace

class TestFlexGrid : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { InstallFontSubstitutions(); }

    void trailingBlanksWidenColumns()
    {
        CvsFlexGrid narrow, wide;
        for (CvsFlexGrid *g : {&narrow, &wide}) {
            g->SetColCount(3);
            g->SetRowCount(3);
        }
        narrow.SetHeaderLayout(QStringLiteral("No.|接続先ｱﾄﾞﾚｽ|ﾎﾟｰﾄ"));
        wide.SetHeaderLayout(QStringLiteral("No.|接続先ｱﾄﾞﾚｽ       |ﾎﾟｰﾄ"));
        const QFontMetrics metrics(wide.font());
        const int blanks = metrics.horizontalAdvance(QStringLiteral("接続先ｱﾄﾞﾚｽ       ")) -
                           metrics.horizontalAdvance(QStringLiteral("接続先ｱﾄﾞﾚｽ"));
        QVERIFY(blanks > 0);
        QCOMPARE(wide.columnWidth(0) - narrow.columnWidth(0), blanks);
        QCOMPARE(wide.columnWidth(1), narrow.columnWidth(1));
        QVERIFY(wide.columnWidth(0) > QFontMetrics(wide.font()).horizontalAdvance(QStringLiteral("接続先ｱﾄﾞﾚｽ       ")));
        // A caption without trailing blanks keeps clear of its column's line.
        QVERIFY(wide.columnWidth(1) > metrics.horizontalAdvance(QStringLiteral("ﾎﾟｰﾄ")) + 2 * CFlexGridHeader::kTextInset + 1);
        QVERIFY(wide.verticalHeader()->minimumWidth() > QFontMetrics(wide.font()).horizontalAdvance(QStringLiteral("No.")));
    }

    void fixedPartsCountAsRowAndColumnZero()
    {
        CvsFlexGrid grid;
        SetUpScenarioGrid(grid);
        QCOMPARE(grid.model()->rowCount(), 200);
        QCOMPARE(grid.model()->columnCount(), 4);
        QCOMPARE(grid.GetCellText(0, 0), QStringLiteral("No."));
        QCOMPARE(grid.GetCellText(0, 1), QStringLiteral("接続先ｱﾄﾞﾚｽ       "));
        QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(), grid.GetCellText(0, 1));
        QCOMPARE(grid.model()->headerData(6, Qt::Vertical).toString(), QStringLiteral("7"));
        QCOMPARE(grid.GetCellText(7, 2), QString());
        grid.SetCellText(7, 2, QStringLiteral("5000"));
        QCOMPARE(grid.model()->index(6, 1).data().toString(), QStringLiteral("5000"));
        // Outside the grid: reads "", writes are dropped.
        grid.SetCellText(201, 1, QStringLiteral("x"));
        grid.SetCellText(-1, 1, QStringLiteral("x"));
        QCOMPARE(grid.GetCellText(201, 1), QString());
        QCOMPARE(grid.GetCellText(1, 5), QString());
    }

    void noFixedColumnTurnsTheCornerIntoAColumnCaption()
    {
        CvsFlexGrid grid;
        grid.SetColCount(1);
        grid.SetRowCount(11);
        grid.SetHeaderLayout(QStringLiteral("ﾌﾟﾛﾝﾌﾟﾄ判定文字列"));
        grid.SetFixedColCount(0);
        grid.SetFixedRowCount(1);
        QCOMPARE(grid.model()->columnCount(), 1);
        QCOMPARE(grid.model()->rowCount(), 10);
        QCOMPARE(grid.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("ﾌﾟﾛﾝﾌﾟﾄ判定文字列"));
        QVERIFY(grid.columnWidth(0) > QFontMetrics(grid.font()).horizontalAdvance(QStringLiteral("ﾌﾟﾛﾝﾌﾟﾄ判定文字列")));
        QVERIFY(grid.verticalHeader()->isHidden());
        QCOMPARE(grid.GetCursorRow(), 1);
        QCOMPARE(grid.GetCursorCol(), 0);
        grid.SetCellText(3, 0, QStringLiteral("> "));
        QCOMPARE(grid.model()->index(2, 0).data().toString(), QStringLiteral("> "));
    }

    void clearCellsKeepsCaptionsAndNumbers()
    {
        CvsFlexGrid grid;
        SetUpScenarioGrid(grid);
        grid.SetCellText(1, 1, QStringLiteral("127.0.0.1"));
        grid.SetCellText(200, 4, QStringLiteral("done"));
        grid.SetRangeCellProperty(CvsFlexGrid::kCellBackColor, 3, 0, 3, 4, 0x123456);
        grid.ClearCells(CvsFlexGrid::kClearScrollable, CvsFlexGrid::kClearEverything);
        QCOMPARE(grid.GetCellText(1, 1), QString());
        QCOMPARE(grid.GetCellText(200, 4), QString());
        QCOMPARE(grid.GetCellBackColor(3, 2), COLORREF(0xFFFFFF));
        QCOMPARE(grid.GetCellText(0, 3), QStringLiteral("送信ﾌｧｲﾙ名") + QString(67, QLatin1Char(' ')));
        QCOMPARE(grid.GetCellText(0, 0), QStringLiteral("No."));
        QCOMPARE(grid.GetCellText(200, 0), QStringLiteral("200"));
        QCOMPARE(grid.GetCellBackColor(3, 0), COLORREF(0x123456));
    }

    void selectionTextFillsTheBlock_data()
    {
        QTest::addColumn<QPoint>("cursor");  // (col, row)
        QTest::addColumn<QPoint>("end");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("cells");
        const QPoint r2c1(1, 2), r3c2(2, 3), r2c2(2, 2), r4c3(3, 4), r4c1(1, 4), r3c1(1, 3);
        QTest::newRow("two by two") << r2c1 << r3c2 << QStringLiteral("a\tb\rc\td")
                                    << QStringList{"a|b|o", "c|d|o", "o|o|o"};
        QTest::newRow("block selected upward") << r3c2 << r2c1 << QStringLiteral("a\tb\rc\td")
                                               << QStringList{"a|b|o", "c|d|o", "o|o|o"};
        QTest::newRow("text larger than the block is cut") << r2c1 << r2c2 << QStringLiteral("a\tb\tc\rd")
                                                           << QStringList{"a|b|o", "o|o|o", "o|o|o"};
        QTest::newRow("text smaller than the block") << r2c1 << r4c3 << QStringLiteral("a\rb")
                                                     << QStringList{"a|o|o", "b|o|o", "o|o|o"};
        QTest::newRow("LF and CR LF rows") << r2c1 << r4c1 << QStringLiteral("a\r\nb\nc\n")
                                           << QStringList{"a|o|o", "b|o|o", "c|o|o"};
        QTest::newRow("final CR gives an empty row") << r2c1 << r4c1 << QStringLiteral("a\rb\r")
                                                     << QStringList{"a|o|o", "b|o|o", "|o|o"};
        QTest::newRow("empty text empties the first cell") << r2c1 << r3c1 << QString()
                                                           << QStringList{"|o|o", "o|o|o", "o|o|o"};
    }
    void selectionTextFillsTheBlock()
    {
        QFETCH(QPoint, cursor);
        QFETCH(QPoint, end);
        QFETCH(QString, text);
        QFETCH(QStringList, cells);
        CvsFlexGrid grid;
        SetUpScenarioGrid(grid);
        for (int r = 2; r <= 4; ++r) {
            for (int c = 1; c <= 3; ++c)
                grid.SetCellText(r, c, QStringLiteral("o"));
        }
        grid.SetCursorRow(cursor.y());
        grid.SetCursorCol(cursor.x());
        grid.SetSelEndRow(end.y());
        grid.SetSelEndCol(end.x());
        grid.SetSelectionText(text);
        QCOMPARE(Snippet(grid), cells);
    }

    void cursorMovesTheSelectionEndAndStaysInTheGrid()
    {
        CvsFlexGrid grid;
        SetUpScenarioGrid(grid);
        grid.SetCursorRow(2);
        grid.SetSelEndRow(5);
        grid.SetSelEndCol(3);
        QCOMPARE(grid.selectionModel()->selectedIndexes().size(), 4 * 3);
        grid.SetCursorRow(4);
        QCOMPARE(grid.GetSelEndRow(), 4);
        QCOMPARE(grid.GetSelEndCol(), 1);
        grid.SetSelEndRow(500);
        grid.SetSelEndCol(9);
        QCOMPARE(grid.GetSelEndRow(), 200);
        QCOMPARE(grid.GetSelEndCol(), 4);
    }

    void rangeBackgroundReachesTheNumberCell()
    {
        CvsFlexGrid grid;
        SetUpScenarioGrid(grid);
        grid.resize(500, 300);
        grid.SetCursorRow(8);
        grid.SetRangeCellProperty(CvsFlexGrid::kCellBackColor, 3, 0, 3, 4, 0xEBCE87);
        for (int c = 0; c <= 4; ++c)
            QCOMPARE(grid.GetCellBackColor(3, c), COLORREF(0xEBCE87));
        QCOMPARE(grid.GetCellBackColor(2, 0), grid.ButtonFaceColor());
        QCOMPARE(grid.GetCellBackColor(2, 1), COLORREF(0xFFFFFF));

        // And that is what the screen shows, in the number column as in the cells.
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        const QImage image = grid.grab().toImage();
        const QPoint cell = grid.viewport()->mapTo(&grid, CellCenter(grid, 3, 2));
        const QPoint number(3, cell.y());  // left of the digit
        const QPoint plain = grid.viewport()->mapTo(&grid, CellCenter(grid, 2, 2));
        QVERIFY(Near(image.pixel(cell), 0xEBCE87));
        QVERIFY(Near(image.pixel(number), 0xEBCE87));
        QVERIFY(Near(image.pixel(plain), 0xFFFFFF));
    }

    void theUserSelectsBlocks()
    {
        CvsFlexGrid grid;
        QVERIFY(ShowScenario(grid));
        QWidget *view = grid.viewport();

        QTest::mouseClick(view, Qt::LeftButton, {}, CellCenter(grid, 2, 1));
        QTest::mouseClick(view, Qt::LeftButton, Qt::ShiftModifier, CellCenter(grid, 4, 3));
        QCOMPARE(QPoint(grid.GetCursorCol(), grid.GetCursorRow()), QPoint(1, 2));
        QCOMPARE(QPoint(grid.GetSelEndCol(), grid.GetSelEndRow()), QPoint(3, 4));
        QCOMPARE(grid.selectionModel()->selectedIndexes().size(), 9);

        // A right button press inside the block keeps it for a menu.
        QTest::mousePress(view, Qt::RightButton, {}, CellCenter(grid, 3, 2));
        QTest::mouseRelease(view, Qt::RightButton, {}, CellCenter(grid, 3, 2));
        QCOMPARE(QPoint(grid.GetSelEndCol(), grid.GetSelEndRow()), QPoint(3, 4));

        // Dragging upward leaves the end above the cursor.
        QTest::mousePress(view, Qt::LeftButton, {}, CellCenter(grid, 5, 2));
        QTest::mouseMove(view, CellCenter(grid, 4, 2));
        QTest::mouseMove(view, CellCenter(grid, 3, 2));
        QTest::mouseRelease(view, Qt::LeftButton, {}, CellCenter(grid, 3, 2));
        QCOMPARE(QPoint(grid.GetCursorCol(), grid.GetCursorRow()), QPoint(2, 5));
        QCOMPARE(QPoint(grid.GetSelEndCol(), grid.GetSelEndRow()), QPoint(2, 3));

        // Keys: Shift extends the end, a plain arrow moves the cursor and collapses the block.
        QTest::keyClick(&grid, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(grid.GetSelEndRow(), 4);
        QTest::keyClick(&grid, Qt::Key_Right);
        QCOMPARE(QPoint(grid.GetCursorCol(), grid.GetCursorRow()), QPoint(3, 5));
        QCOMPARE(QPoint(grid.GetSelEndCol(), grid.GetSelEndRow()), QPoint(3, 5));
        QTest::keyClick(&grid, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(QPoint(grid.GetCursorCol(), grid.GetCursorRow()), QPoint(1, 1));
        QTest::keyClick(&grid, Qt::Key_Up);
        QTest::keyClick(&grid, Qt::Key_Left);
        QCOMPARE(QPoint(grid.GetCursorCol(), grid.GetCursorRow()), QPoint(1, 1));

        // Pressing a row number selects the row.
        const int section = 5;
        const QPoint numberCell(grid.verticalHeader()->width() / 2,
                                grid.verticalHeader()->sectionViewportPosition(section) + grid.verticalHeader()->sectionSize(section) / 2);
        QTest::mouseClick(grid.verticalHeader()->viewport(), Qt::LeftButton, {}, numberCell);
        QCOMPARE(QPoint(grid.GetCursorCol(), grid.GetCursorRow()), QPoint(1, 6));
        QCOMPARE(QPoint(grid.GetSelEndCol(), grid.GetSelEndRow()), QPoint(4, 6));
    }

    void editingFollowsEditAllowed()
    {
        CvsFlexGrid grid;
        QVERIFY(ShowScenario(grid));
        QSignalSpy changed(&grid, &CvsFlexGrid::CellChanged);
        grid.SetCursorRow(2);
        grid.SetCursorCol(1);

        QTest::keyClick(&grid, Qt::Key_A);
        auto *editor = qobject_cast<QLineEdit *>(grid.indexWidget(grid.currentIndex()));
        QVERIFY(editor);
        QTest::keyClicks(editor, QStringLiteral("bc"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(grid.GetCellText(2, 1), QStringLiteral("abc"));
        QCOMPARE(changed.size(), 1);
        QCOMPARE(changed[0], (QList<QVariant>{2, 1}));

        // An edit in progress is kept when editing is switched off, and typing then does nothing.
        QTest::keyClick(&grid, Qt::Key_Z);
        QVERIFY(grid.indexWidget(grid.currentIndex()));
        grid.SetEditAllowed(FALSE);
        QCOMPARE(grid.GetCellText(2, 1), QStringLiteral("z"));
        QTRY_VERIFY(!grid.indexWidget(grid.currentIndex()));
        QTest::keyClick(&grid, Qt::Key_Y);
        QVERIFY(!grid.indexWidget(grid.currentIndex()));
        QCOMPARE(grid.GetCellText(2, 1), QStringLiteral("z"));
    }

    void keysCarryWindowsCodes_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("shift");
        QTest::newRow("Delete") << int(Qt::Key_Delete) << Qt::KeyboardModifiers() << 0x2E << 0;
        QTest::newRow("Ctrl+C") << int(Qt::Key_C) << Qt::KeyboardModifiers(Qt::ControlModifier) << 0x43 << 2;
        QTest::newRow("Ctrl+Shift+V") << int(Qt::Key_V) << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier) << 0x56 << 3;
        QTest::newRow("Alt+Down") << int(Qt::Key_Down) << Qt::KeyboardModifiers(Qt::AltModifier) << 0x28 << 4;
        QTest::newRow("F2") << int(Qt::Key_F2) << Qt::KeyboardModifiers() << 0x71 << 0;
        QTest::newRow("digit") << int(Qt::Key_7) << Qt::KeyboardModifiers() << 0x37 << 0;
    }
    void keysCarryWindowsCodes()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, code);
        QFETCH(int, shift);
        CvsFlexGrid grid;
        SetUpScenarioGrid(grid);
        grid.SetEditAllowed(FALSE);
        QList<QPoint> downs, ups;
        // The modifier keys go down and up as keys of their own.
        const auto record = [](QList<QPoint> &list) {
            return [&list](short *k, short s) {
                if (*k < 0x10 || *k > 0x12)
                    list.append(QPoint(*k, s));
            };
        };
        connect(&grid, &CvsFlexGrid::KeyDown, this, record(downs));
        connect(&grid, &CvsFlexGrid::KeyUp, this, record(ups));
        QTest::keyClick(&grid, Qt::Key(key), modifiers);
        QCOMPARE(downs, QList<QPoint>{QPoint(code, shift)});
        QCOMPARE(ups, QList<QPoint>{QPoint(code, shift)});
    }

    void aZeroedKeyCodeKeepsTheKeyFromTheGrid()
    {
        CvsFlexGrid grid;
        SetUpScenarioGrid(grid);
        connect(&grid, &CvsFlexGrid::KeyDown, this, [](short *k, short) {
            if (*k == 0x28)
                *k = 0;
        });
        QTest::keyClick(&grid, Qt::Key_Down);
        QCOMPARE(grid.GetCursorRow(), 1);
        QTest::keyClick(&grid, Qt::Key_Right);
        QCOMPARE(grid.GetCursorCol(), 2);
    }
};

QTEST_MAIN(TestFlexGrid)
#include "tst_flexgrid.moc"
