// The batch window's table: the row mark and the notifications it posts to the window.
#include "batch/ui/cbatchgrid.h"
#include "gridtestutil.h"
#include "platform/ui/uifonts.h"

#include <QLineEdit>
#include <QTest>

namespace {

// A host window and a scenario table in it whose notifications go to the recorder.
struct Scenario
{
    explicit Scenario(BOOL markRow = TRUE, BOOL notify = TRUE)
    {
        host.resize(640, 420);
        grid = new CBatchGrid(&host, 0, 0, 640, 420, 5, markRow, notify);
        SetUpScenarioGrid(*grid);
        grid->m_pNotifyWnd = &recorder;
        host.show();
    }
    QWidget host;
    CBatchGrid *grid;
    CNotifyRecorder recorder;
};

}  // namespace

class TestBatchGrid : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { InstallFontSubstitutions(); }

    void creationPlacesAVisibleGridWithTheMarkOnRowOne()
    {
        QWidget host;
        auto *grid = new CBatchGrid(&host, 0, 60, 300, 200, 10, FALSE, TRUE);
        QCOMPARE(grid->geometry(), QRect(0, 60, 300, 200));
        QCOMPARE(grid->parentWidget(), &host);
        QCOMPARE(grid->m_pNotifyWnd, static_cast<QObject *>(&host));
        QCOMPARE(grid->m_nMarkRow, 1);
        QCOMPARE(grid->m_nMarkCols, 10);
        QCOMPARE(grid->m_bMarkRow, 0);
        QCOMPARE(grid->m_bNotify, 1);
    }

    void markingRowFiveAfterRowTwoLeavesOnlyRowFive()
    {
        Scenario s;
        CBatchGrid &grid = *s.grid;
        grid.MarkRow(2);
        grid.MarkRow(5);
        const COLORREF face = grid.ButtonFaceColor();
        for (int c = 0; c <= 4; ++c) {
            QCOMPARE(grid.GetCellBackColor(5, c), CBatchGrid::kMarkColor);
            QCOMPARE(grid.GetCellBackColor(2, c), c == 0 ? face : COLORREF(0xFFFFFF));
            QCOMPARE(grid.GetCellBackColor(1, c), c == 0 ? face : COLORREF(0xFFFFFF));
        }
        QVERIFY(s.recorder.WaitForSentinel());
        QCOMPARE(s.recorder.Codes(), (QList<int>{EV_GRID_ROW_MARKED, EV_GRID_ROW_MARKED}));
        QCOMPARE(s.recorder.notices[1].lParam, LPARAM(5));
    }

    void withoutMarkingNothingIsPainted()
    {
        Scenario s(FALSE, TRUE);
        s.grid->MarkRow(5);
        QCOMPARE(s.grid->GetCellBackColor(5, 1), COLORREF(0xFFFFFF));
        QCOMPARE(s.grid->m_nMarkRow, 1);
        s.grid->m_nMarkRow = 0;
        s.grid->m_bMarkRow = TRUE;
        s.grid->PaintMark(FALSE);  // row 0 means no mark
        QCOMPARE(s.grid->GetCellBackColor(0, 1), s.grid->ButtonFaceColor());
        QVERIFY(s.recorder.WaitForSentinel());
        QVERIFY(s.recorder.notices.isEmpty());
    }

    void userActionsPostThePackedCell_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QList<int>>("codes");
        QTest::addColumn<int>("markRow");
        const QList<int> marked{EV_GRID_ROW_MARKED};
        QTest::newRow("Delete") << "delete" << QList<int>{EV_GRID_DELETE_KEY} + marked << 7;
        QTest::newRow("Ctrl+C") << "copy" << QList<int>{EV_GRID_COPY_KEY} + marked + marked << 7;
        QTest::newRow("Ctrl+V") << "paste" << QList<int>{EV_GRID_PASTE_KEY} + marked + marked << 7;
        QTest::newRow("Ctrl+Shift+C is no copy") << "shift copy" << marked + marked + marked << 7;
        QTest::newRow("plain C") << "c" << marked << 7;
        QTest::newRow("left click") << "click" << QList<int>{EV_GRID_CLICK} + marked << 9;
        QTest::newRow("right click") << "menu" << QList<int>{EV_GRID_CONTEXT_MENU} + marked << 7;
    }
    void userActionsPostThePackedCell()
    {
        QFETCH(QString, action);
        QFETCH(QList<int>, codes);
        QFETCH(int, markRow);
        Scenario s;
        CBatchGrid &grid = *s.grid;
        grid.SetEditAllowed(FALSE);
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, CellCenter(grid, 7, 3));
        QVERIFY(s.recorder.WaitForSentinel());
        s.recorder.notices.clear();

        const QPoint other = CellCenter(grid, 9, 2);
        if (action == QLatin1String("delete"))
            QTest::keyClick(&grid, Qt::Key_Delete);
        else if (action == QLatin1String("copy"))
            QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier);
        else if (action == QLatin1String("paste"))
            QTest::keyClick(&grid, Qt::Key_V, Qt::ControlModifier);
        else if (action == QLatin1String("shift copy"))
            QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        else if (action == QLatin1String("c"))
            QTest::keyClick(&grid, Qt::Key_C);
        else if (action == QLatin1String("click"))
            QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, other);
        else
            QTest::mouseClick(grid.viewport(), Qt::RightButton, {}, other);
        QVERIFY(s.recorder.WaitForSentinel());

        QCOMPARE(s.recorder.Codes(), codes);
        const LPARAM first = s.recorder.notices[0].lParam;
        if (codes[0] == EV_GRID_CONTEXT_MENU) {
            const QPoint screen = grid.mapToGlobal(grid.viewport()->mapTo(&grid, other));
            QCOMPARE(first, LPARAM((std::uint32_t(screen.x()) << 16) | std::uint32_t(screen.y())));
        } else if (codes[0] == EV_GRID_CLICK) {
            QCOMPARE(first, LPARAM((2 << 16) | 9));
        } else if (codes[0] != EV_GRID_ROW_MARKED) {
            QCOMPARE(first, LPARAM((3 << 16) | 7));
        }
        QCOMPARE(s.recorder.notices.last().lParam, LPARAM(markRow));
        QCOMPARE(grid.m_nMarkRow, markRow);
        QCOMPARE(grid.GetCellBackColor(markRow, 0), CBatchGrid::kMarkColor);
    }

    void anEditedCellPostsTheNotifyCode()
    {
        Scenario s;
        CBatchGrid &grid = *s.grid;
        grid.SetCursorRow(4);
        grid.SetCursorCol(2);
        grid.edit(grid.currentIndex());
        auto *editor = qobject_cast<QLineEdit *>(grid.indexWidget(grid.currentIndex()));
        QVERIFY(editor);
        editor->setText(QStringLiteral("5000"));
        grid.CommitEdit();
        QVERIFY(s.recorder.WaitForSentinel());
        QCOMPARE(s.recorder.Codes(), QList<int>{EV_GRID_NOTIFY});
        QCOMPARE(s.recorder.notices[0].lParam, LPARAM((2 << 16) | 4));
        QCOMPARE(grid.GetCellText(4, 2), QStringLiteral("5000"));
    }

    void withoutNotifyNothingIsPosted()
    {
        Scenario s(TRUE, FALSE);
        CBatchGrid &grid = *s.grid;
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, CellCenter(grid, 3, 1));
        QTest::keyClick(&grid, Qt::Key_Delete);
        QTest::mouseClick(grid.viewport(), Qt::RightButton, {}, CellCenter(grid, 3, 1));
        grid.MarkRow(8);
        QVERIFY(s.recorder.WaitForSentinel());
        QVERIFY(s.recorder.notices.isEmpty());
        QCOMPARE(grid.GetCellBackColor(8, 1), CBatchGrid::kMarkColor);
    }

    void screenPointsSurviveThePacking_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::newRow("origin") << QPoint(0, 0);
        QTest::newRow("ordinary") << QPoint(1280, 700);
        QTest::newRow("screen left of and above the first") << QPoint(-1920, -5);
    }
    void screenPointsSurviveThePacking()
    {
        QFETCH(QPoint, point);
        QCOMPARE(CBatchGrid::ScreenPointFromParam(CBatchGrid::ScreenPointParam(point)), point);
    }
};

QTEST_MAIN(TestBatchGrid)
#include "tst_batchgrid.moc"
