// Block copy, cut, paste and delete on the scenario table, the clipboard, and the popup menu.
#include "batch/ui/gridediting.h"
#include "gridtestutil.h"
#include "platform/ui/uifonts.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

namespace {

void SelectBlock(CvsFlexGrid &grid, int row, int col, int endRow, int endCol)
{
    grid.SetCursorRow(row);
    grid.SetCursorCol(col);
    grid.SetSelEndRow(endRow);
    grid.SetSelEndCol(endCol);
}

// Rows row..row+2 of columns col..col+1 as "a|b" per row.
QStringList Block(const CvsFlexGrid &grid, int row, int col)
{
    QStringList rows;
    for (int r = row; r < row + 3; ++r)
        rows.append(grid.GetCellText(r, col) + QLatin1Char('|') + grid.GetCellText(r, col + 1));
    return rows;
}

void FillSample(CvsFlexGrid &grid)
{
    const char *cells[3][2] = {{"10.0.0.1", "5000"}, {"10.0.0.2", "5001"}, {"10.0.0.3", ""}};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 2; ++c)
            grid.SetCellText(2 + r, 1 + c, QString::fromUtf8(cells[r][c]));
    }
}

const QStringList kSample{"10.0.0.1|5000", "10.0.0.2|5001", "10.0.0.3|"};

// The scenario table with the sample block in rows 2 to 4, columns 1 and 2.
class CSampleGrid : public CvsFlexGrid
{
public:
    CSampleGrid()
    {
        SetUpScenarioGrid(*this);
        FillSample(*this);
    }
};

}  // namespace

class TestGridEditing : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { InstallFontSubstitutions(); }
    void init()
    {
        g_nCopyRowSpan = 0;
        g_nCopyColSpan = 0;
        SetClipboardText(QString());
    }

    void copiedBlockPastesOntoOneCellAsAWholeBlock()
    {
        CSampleGrid grid;
        SelectBlock(grid, 2, 1, 4, 2);
        QCOMPARE(SelectionText(&grid, FALSE), QStringLiteral("10.0.0.1\t5000\r10.0.0.2\t5001\r10.0.0.3\t"));
        QCOMPARE(g_nCopyRowSpan, 2);
        QCOMPARE(g_nCopyColSpan, 1);

        DoGridCommand(&grid, ID_GRID_COPY);
        QCOMPARE(GetClipboardText(), QStringLiteral("10.0.0.1\t5000\r10.0.0.2\t5001\r10.0.0.3\t"));
        grid.SetCellText(12, 2, QStringLiteral("old"));
        SelectBlock(grid, 10, 2, 10, 2);
        DoGridCommand(&grid, ID_GRID_PASTE);
        QCOMPARE(Block(grid, 10, 2), kSample);
        QCOMPARE(QPoint(grid.GetSelEndCol(), grid.GetSelEndRow()), QPoint(3, 12));
        QCOMPARE(grid.GetCellText(13, 2), QString());
        QCOMPARE(Block(grid, 2, 1), kSample);
    }

    void cutCopiesThenEmpties()
    {
        CSampleGrid grid;
        SelectBlock(grid, 2, 1, 4, 2);
        DoGridCommand(&grid, ID_GRID_CUT);
        QCOMPARE(Block(grid, 2, 1), (QStringList{"|", "|", "|"}));
        SelectBlock(grid, 20, 3, 20, 3);
        DoGridCommand(&grid, ID_GRID_PASTE);
        QCOMPARE(Block(grid, 20, 3), kSample);
    }

    void deleteRecordsTheBlockForALaterPaste()
    {
        CSampleGrid grid;
        SelectBlock(grid, 2, 1, 3, 3);
        DoGridCommand(&grid, ID_GRID_DELETE);
        QCOMPARE(grid.GetCellText(3, 3), QString());
        QCOMPARE(grid.GetCellText(4, 1), QStringLiteral("10.0.0.3"));
        QCOMPARE(g_nCopyRowSpan, 1);
        QCOMPARE(g_nCopyColSpan, 2);
        SetClipboardText(QStringLiteral("x"));
        SelectBlock(grid, 30, 1, 30, 1);
        DoGridCommand(&grid, ID_GRID_PASTE);
        QCOMPARE(QPoint(grid.GetSelEndCol(), grid.GetSelEndRow()), QPoint(3, 31));
        QCOMPARE(grid.GetCellText(30, 1), QStringLiteral("x"));
    }

    void anUpwardBlockCopiesNothingAndStopsPasting()
    {
        CSampleGrid grid;
        SelectBlock(grid, 4, 1, 2, 2);
        QCOMPARE(SelectionText(&grid, FALSE), QString());
        QCOMPARE(g_nCopyRowSpan, -2);
        DoGridCommand(&grid, ID_GRID_CUT);
        QCOMPARE(Block(grid, 2, 1), kSample);

        SetClipboardText(QStringLiteral("pasted"));
        SelectBlock(grid, 2, 1, 2, 1);
        DoGridCommand(&grid, ID_GRID_PASTE);
        QCOMPARE(grid.GetCellText(2, 1), QStringLiteral("10.0.0.1"));

        // A block copied downward makes pasting work again.
        SelectBlock(grid, 2, 1, 2, 1);
        DoGridCommand(&grid, ID_GRID_COPY);
        SelectBlock(grid, 9, 1, 9, 1);
        DoGridCommand(&grid, ID_GRID_PASTE);
        QCOMPARE(grid.GetCellText(9, 1), QStringLiteral("10.0.0.1"));
    }

    void aBlockPastedNearTheEndIsCutAtTheLastRow()
    {
        CSampleGrid grid;
        SelectBlock(grid, 2, 1, 4, 2);
        DoGridCommand(&grid, ID_GRID_COPY);
        SelectBlock(grid, 199, 4, 199, 4);
        DoGridCommand(&grid, ID_GRID_PASTE);
        QCOMPARE(grid.GetCellText(199, 4), QStringLiteral("10.0.0.1"));
        QCOMPARE(grid.GetCellText(200, 4), QStringLiteral("10.0.0.2"));
        QCOMPARE(QPoint(grid.GetSelEndCol(), grid.GetSelEndRow()), QPoint(4, 200));
    }

    void longTextsGoThroughTheClipboardWhole()
    {
        CvsFlexGrid grid;
        SetUpScenarioGrid(grid);
        const QString path = QStringLiteral("/data/") + QString(3000, QChar(0x9001));  // 6,000 bytes in code page 932
        grid.SetCellText(5, 3, path);
        SelectBlock(grid, 5, 3, 5, 3);
        DoGridCommand(&grid, ID_GRID_COPY);
        QCOMPARE(GetClipboardText(), path);
        SelectBlock(grid, 6, 3, 6, 3);
        DoGridCommand(&grid, ID_GRID_PASTE);
        QCOMPARE(grid.GetCellText(6, 3), path);
    }

    void thePopupMenuReturnsTheChosenCommand_data()
    {
        QTest::addColumn<int>("downs");
        QTest::addColumn<int>("id");
        QTest::newRow("first item") << 1 << ID_GRID_COPY;
        QTest::newRow("fourth item") << 4 << ID_GRID_DELETE;
        QTest::newRow("dismissed") << 0 << 0;
    }
    void thePopupMenuReturnsTheChosenCommand()
    {
        QFETCH(int, downs);
        QFETCH(int, id);
        QWidget owner;
        owner.show();
        QStringList texts;
        QTimer::singleShot(0, this, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            for (QAction *action : menu->actions())
                texts.append(action->text());
            for (int i = 0; i < downs; ++i)
                QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, downs ? Qt::Key_Return : Qt::Key_Escape);
        });
        QCOMPARE(TrackGridMenu(owner.mapToGlobal(QPoint(10, 10)), &owner), id);
        QCOMPARE(texts, (QStringList{"ｺﾋﾟｰ", "貼り付け", "切り取り", "削除"}));
    }
};

QTEST_MAIN(TestGridEditing)
#include "tst_gridediting.moc"
