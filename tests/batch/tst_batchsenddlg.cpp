// The batch send window opened by the real view: layout, buttons, closing, CSV file and table editing.
#include "res/commandids.h"
#include "batch/ui/gridediting.h"
#include "batchsession.h"
#include "platform/ui/dialogunits.h"
#include "platform/ui/uifonts.h"
#include "promptserver.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const QString kLoopback = QStringLiteral("127.0.0.1");

QByteArray FileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void SelectBlock(CvsFlexGrid &grid, int row, int col, int endRow, int endCol)
{
    grid.SetCursorRow(row);
    grid.SetCursorCol(col);
    grid.SetSelEndRow(endRow);
    grid.SetSelEndCol(endCol);
}

// Chooses the popup menu's item `text` as soon as the menu shows; records whether it showed.
struct MenuChooser
{
    explicit MenuChooser(const QString &text)
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this, text] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            shown = true;
            for (QAction *action : menu->actions()) {
                if (action->text() == text)
                    menu->setActiveAction(action);
            }
            QTest::keyClick(menu, text.isEmpty() ? Qt::Key_Escape : Qt::Key_Return);
        });
        timer.start();
    }
    QTimer timer;
    bool shown = false;
};

void ContextMenu(BatchSession &s)
{
    PostMessage(s.dlg, WM_SESSION_EVENT, EV_GRID_CONTEXT_MENU,
                CBatchGrid::ScreenPointParam(s.Grid().mapToGlobal(QPoint(40, 40))));
    FlushPostedEvents();
}

// Starts a run whose row never gets an answer and waits until it is connected.
bool StartStuckRun(BatchSession &s, PromptServer &server)
{
    server.greeting.clear();
    s.SetRow(1, kLoopback, server.PortText(), s.SendFileOfLines("f.txt", {"x1"}));
    s.Start();
    return QTest::qWaitFor([&] { return s.view.State() == ST_CONNECTED; }, 5000);
}

// Ends a stuck run by asking twice for the abort.
void EndStuckRun(BatchSession &s)
{
    s.dlg->AbortBatch();
    s.dlg->AbortBatch();
}

}  // namespace

class TestBatchSendDlg : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { InstallFontSubstitutions(); }
    void init() { SetClipboardText(QString()); }

    void windowFollowsItsTemplate()
    {
        BatchSession s;
        CBatchSendDlg &dlg = *s.dlg;
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.windowTitle(), QStringLiteral("一括送信(TCP/IPｸﾗｲｱﾝﾄ用)"));
        const QFont font = DialogFont(QString::fromUtf8(kFaceMsPGothic), 9);
        QCOMPARE(dlg.size(), DluToPixels(font, 523, 285));
        const struct
        {
            int id;
            const char *text;
            int x;
        } buttons[] = {{1020, "CSVﾌｧｲﾙ読込み", 7}, {1021, "CSVﾌｧｲﾙ書込み", 68}, {1019, "一括送信開始", 138},
                       {1022, "中止", 198}, {1023, "ﾌﾟﾛﾝﾌﾟﾄ判定設定", 264}};
        for (const auto &b : buttons) {
            QPushButton *button = dlg.GetDlgItem(b.id);
            QVERIFY(button);
            QCOMPARE(button->text(), QString::fromUtf8(b.text));
            QCOMPARE(button->geometry(), DluToPixels(font, b.x, 7, 59, 14));
        }

        CBatchGrid &grid = s.Grid();
        QCOMPARE(grid.GetRowCount(), 201);
        QCOMPARE(grid.GetColCount(), 5);
        QCOMPARE(grid.GetCellText(200, 0), QStringLiteral("200"));
        QCOMPARE(grid.GetCellText(0, 4), QStringLiteral("結果") + QString(12, QChar(0x3000)));
        QCOMPARE(grid.GetCellBackColor(1, 0), CBatchGrid::kMarkColor);
        QVERIFY(grid.GetEditAllowed());
        CBatchGrid *lines = dlg.FileLineGrid();
        QVERIFY(!lines->isVisible());
        QCOMPARE(lines->GetRowCount(), 1001);
        QCOMPARE(lines->GetColCount(), 2);
        QCOMPARE(lines->GetCellText(1000, 0), QStringLiteral("1000"));

        // The table fills the window below a 60-pixel strip, whatever its size.
        QCOMPARE(grid.geometry(), QRect(0, 60, dlg.width(), dlg.height() - 60));
        dlg.resize(900, 500);
        QTRY_COMPARE(grid.geometry(), QRect(0, 60, 900, 440));
        QVERIFY(dlg.IsTimerRunning(TIMER_BATCH_BUTTONS));
    }

    void buttonsAndEditingFollowTheRun()
    {
        BatchSession s;
        PromptServer server;
        CBatchSendDlg &dlg = *s.dlg;
        const auto enabled = [&](int id) { return dlg.GetDlgItem(id)->isEnabled(); };
        QVERIFY(!enabled(CBatchSendDlg::IDC_START));  // row 1 incomplete
        QVERIFY(!enabled(CBatchSendDlg::IDC_ABORT));
        s.Grid().SetCellText(1, 1, kLoopback);
        s.Grid().SetCellText(1, 2, server.PortText());
        dlg.UpdateControls();
        QVERIFY(!enabled(CBatchSendDlg::IDC_START));
        s.Grid().SetCellText(1, 3, QStringLiteral("f.txt"));
        QTRY_VERIFY(enabled(CBatchSendDlg::IDC_START));  // the timer brings it in step

        QVERIFY(StartStuckRun(s, server));
        for (int id : {1019, 1020, 1021, 1023})
            QVERIFY2(!enabled(id), qPrintable(QString::number(id)));
        QVERIFY(enabled(CBatchSendDlg::IDC_ABORT));
        QVERIFY(!s.Grid().GetEditAllowed());

        EndStuckRun(s);
        QTRY_VERIFY(!dlg.IsRunning());
        for (int id : {1019, 1020, 1021, 1023})
            QTRY_VERIFY2(enabled(id), qPrintable(QString::number(id)));
        QVERIFY(!enabled(CBatchSendDlg::IDC_ABORT));
        QVERIFY(s.Grid().GetEditAllowed());
    }

    void closingAsksAndTheViewDestroysTheWindow_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closed");
        QTest::newRow("No keeps the window") << IDNO << false;
        QTest::newRow("Yes closes it") << IDYES << true;
    }
    void closingAsksAndTheViewDestroysTheWindow()
    {
        QFETCH(int, answer);
        QFETCH(bool, closed);
        BatchSession s;
        s.Grid().SetCellText(3, 1, QStringLiteral("typed"));
        QVERIFY(!s.view.IsCommandEnabled(ID_SOCKET_CONNECT));
        s.prompts.answers.enqueue(answer);
        QTest::keyClick(s.dlg, Qt::Key_Escape);
        QCOMPARE(s.prompts.MessageTexts(),
                 QStringList{"画面を閉じますがよろしいですか？\n\n「CSVﾌｧｲﾙ書込み」を行っていない場合は作成した内容は破棄されます。"});
        QCOMPARE(s.prompts.calls[0].buttons, Prompts::YesNo);
        QCOMPARE(s.prompts.calls[0].icon, Prompts::Question);
        QCOMPARE(s.dlg->ScenarioGrid() == nullptr, closed);
        FlushPostedEvents();
        QCOMPARE(s.view.IsBatchWindowOpen(), !closed);
        QCOMPARE(s.dlg->isVisible(), !closed);
        QCOMPARE(s.view.IsCommandEnabled(ID_SOCKET_CONNECT), closed);
        if (!closed)
            return;
        // The same object opens again with an empty table.
        s.view.OnCommand(ID_BATCH_SEND);
        QCOMPARE(s.view.BatchWindow(), s.dlg);
        QVERIFY(s.view.IsBatchWindowOpen());
        QCOMPARE(s.Grid().GetCellText(3, 1), QString());
        QCOMPARE(s.Grid().GetCellText(3, 0), QStringLiteral("3"));
    }

    void anEmptyTableWritesTwoHundredLines()
    {
        BatchSession s;
        const QString path = s.dir.filePath(QStringLiteral("empty.csv"));
        s.prompts.fileNames.enqueue(path);
        s.dlg->WriteCsv();
        QCOMPARE(FileBytes(path), QByteArray("\"\",\"\",\"\",\"\",\r\n").repeated(200));
        const ScriptedPrompts::Call &ask = s.prompts.calls[0];
        QVERIFY(ask.fileRequest);
        QVERIFY(!ask.request.open);
        QCOMPARE(ask.request.defaultExtension, QStringLiteral("csv"));
        QCOMPARE(ask.request.filter, QStringLiteral("ｶﾝﾏ区切りﾃｷｽﾄﾌｧｲﾙ (*.csv)|*.csv|全てのﾌｧｲﾙ (*.*)|*.*||"));
    }

    void readingFillsAtMostTwoHundredRows()
    {
        BatchSession s;
        QByteArray csv = "\"10.0.0.1\",\"5000\",\"C:\\a,b.txt\",\"x\"\"y\",\r\n"  // quoted comma, doubled quote
                         "\"10.0.0.2\",\"6000\"\r\n";                               // address and port only
        for (int n = 3; n <= 250; ++n)
            csv += "\"h" + QByteArray::number(n) + "\",\"" + QByteArray::number(n) + "\",\"f\",\"\",\r\n";
        const QString path = s.SendFile(QStringLiteral("in.csv"), csv);
        s.Grid().SetCellText(2, 4, QStringLiteral("old result"));
        s.Grid().MarkRow(7);
        s.prompts.fileNames.enqueue(path);
        s.dlg->ReadCsv();

        CBatchGrid &grid = s.Grid();
        QCOMPARE(grid.GetCellText(1, 3), QStringLiteral("C:\\a,b.txt"));
        QCOMPARE(grid.GetCellText(1, 4), QStringLiteral("xy"));
        QCOMPARE(grid.GetCellText(2, 2), QStringLiteral("6000"));
        QCOMPARE(grid.GetCellText(2, 3), QString());
        QCOMPARE(grid.GetCellText(2, 4), QString());
        QCOMPARE(grid.GetCellText(200, 1), QStringLiteral("h200"));
        QCOMPARE(grid.GetCellText(200, 0), QStringLiteral("200"));
        QCOMPARE(grid.GetCellBackColor(1, 1), CBatchGrid::kMarkColor);
        QCOMPARE(grid.GetCellBackColor(7, 1), COLORREF(0xFFFFFF));
    }

    void theTableRoundTripsThroughItsCsvFile()
    {
        BatchSession s;
        const QStringList row1{"192.168.0.10", "7000", "送信データ.txt", "○:正常終了しました"};
        const QStringList row5{"host", "", "", "×:接続できません"};
        for (int c = 0; c < 4; ++c) {
            s.Grid().SetCellText(1, c + 1, row1[c]);
            s.Grid().SetCellText(5, c + 1, row5[c]);
        }
        const QString path = s.dir.filePath(QStringLiteral("table.csv"));
        s.SendFile(QStringLiteral("table.csv"), QByteArray(100000, 'z'));  // a longer old file is replaced
        s.prompts.fileNames.enqueue(path);
        s.dlg->WriteCsv();
        QCOMPARE(FileBytes(path).count("\r\n"), 200);

        s.Grid().ClearCells(CvsFlexGrid::kClearScrollable, CvsFlexGrid::kClearText);
        s.prompts.fileNames.enqueue(path);
        s.dlg->ReadCsv();
        for (int c = 0; c < 4; ++c) {
            QCOMPARE(s.Grid().GetCellText(1, c + 1), row1[c]);
            QCOMPARE(s.Grid().GetCellText(5, c + 1), row5[c]);
        }
    }

    void linesPastedIntoOneCellStayOnTheirRowOfTheCsvFile()
    {
        BatchSession s;
        CBatchGrid &grid = s.Grid();
        grid.SetCellText(2, 3, QStringLiteral("next"));
        SetClipboardText(QStringLiteral("a\r\nb\rc\nd\r\n"));
        grid.setFocus();
        SelectBlock(grid, 1, 3, 1, 3);
        QTest::keyClick(&grid, Qt::Key_V, Qt::ControlModifier);
        FlushPostedEvents();
        QCOMPARE(grid.GetCellText(1, 3), QStringLiteral("a b c d "));

        const QString path = s.dir.filePath(QStringLiteral("pasted.csv"));
        s.prompts.fileNames.enqueue(path);
        s.dlg->WriteCsv();
        QCOMPARE(FileBytes(path).count("\r\n"), 200);
        grid.ClearCells(CvsFlexGrid::kClearScrollable, CvsFlexGrid::kClearText);
        s.prompts.fileNames.enqueue(path);
        s.dlg->ReadCsv();
        QCOMPARE(grid.GetCellText(1, 3), QStringLiteral("a b c d "));
        QCOMPARE(grid.GetCellText(2, 3), QStringLiteral("next"));
    }

    void cancelledOrFailedFilesKeepTheTable_data()
    {
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("name");  // "" cancels; a name inside a missing folder cannot be opened
        QTest::newRow("read cancelled") << true << QString();
        QTest::newRow("write cancelled") << false << QString();
        QTest::newRow("read fails") << true << QStringLiteral("missing/in.csv");
        QTest::newRow("write fails") << false << QStringLiteral("missing/out.csv");
    }
    void cancelledOrFailedFilesKeepTheTable()
    {
        QFETCH(bool, read);
        QFETCH(QString, name);
        BatchSession s;
        s.Grid().SetCellText(4, 3, QStringLiteral("kept"));
        const QString path = name.isEmpty() ? QString() : s.dir.filePath(name);
        s.prompts.fileNames.enqueue(path);
        if (read)
            s.dlg->ReadCsv();
        else
            s.dlg->WriteCsv();
        QCOMPARE(s.Grid().GetCellText(4, 3), QStringLiteral("kept"));
        QCOMPARE(s.prompts.MessageTexts(), path.isEmpty() ? QStringList() : QStringList{path + " Open err"});
        if (!path.isEmpty())
            QCOMPARE(s.prompts.calls.last().icon, Prompts::Exclamation);
    }

    void popupMenuCopiesABlockAndPastesItOntoOneCell()
    {
        BatchSession s;
        CBatchGrid &grid = s.Grid();
        for (int r = 2; r <= 4; ++r) {
            grid.SetCellText(r, 1, QStringLiteral("a%1").arg(r));
            grid.SetCellText(r, 2, QStringLiteral("b%1").arg(r));
        }
        SelectBlock(grid, 2, 1, 4, 2);
        {
            MenuChooser chooser(QStringLiteral("ｺﾋﾟｰ"));
            ContextMenu(s);
            QVERIFY(chooser.shown);
        }
        QCOMPARE(GetClipboardText(), QStringLiteral("a2\tb2\ra3\tb3\ra4\tb4"));
        SelectBlock(grid, 10, 2, 10, 2);
        {
            MenuChooser chooser(QStringLiteral("貼り付け"));
            ContextMenu(s);
        }
        QCOMPARE(grid.GetCellText(10, 2), QStringLiteral("a2"));
        QCOMPARE(grid.GetCellText(12, 3), QStringLiteral("b4"));
        QCOMPARE(grid.GetCellText(13, 2), QString());
    }

    void sendFileIsPickedFromTheMenuOrByDoubleClickingAnEmptyCell()
    {
        BatchSession s;
        CBatchGrid &grid = s.Grid();
        const auto cellCentre = [&grid](int row, int col) {
            return grid.visualRect(grid.model()->index(row - 1, col - 1)).center();
        };
        const QString first = s.dir.filePath(QStringLiteral("first.txt"));
        const QString second = s.dir.filePath(QStringLiteral("second.txt"));
        s.prompts.fileNames << first << second;
        {
            MenuChooser chooser(QStringLiteral("送信ﾌｧｲﾙを選択..."));
            PostMessage(s.dlg, WM_SESSION_EVENT, EV_GRID_CONTEXT_MENU,
                        CBatchGrid::ScreenPointParam(grid.viewport()->mapToGlobal(cellCentre(3, CBatchSendDlg::COL_FILE))));
            FlushPostedEvents();
            QVERIFY(chooser.shown);
        }
        QCOMPARE(grid.GetCellText(3, CBatchSendDlg::COL_FILE), first);
        QCOMPARE(s.prompts.calls.size(), 1);
        QVERIFY(s.prompts.calls[0].fileRequest && s.prompts.calls[0].request.open);
        QCOMPARE(s.prompts.calls[0].request.kind, QStringLiteral("send"));

        // A double-click on an empty send-file cell asks; on a filled one it edits as before.
        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, cellCentre(5, CBatchSendDlg::COL_FILE));
        FlushPostedEvents();
        QCOMPARE(grid.GetCellText(5, CBatchSendDlg::COL_FILE), second);
        // The second dialog starts where the first file was chosen.
        QCOMPARE(s.prompts.calls[1].request.initialFolder, s.dir.path());
        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, cellCentre(5, CBatchSendDlg::COL_FILE));
        QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, cellCentre(6, CBatchSendDlg::COL_ADDRESS));
        FlushPostedEvents();
        QCOMPARE(s.prompts.calls.size(), 2);
        QCOMPARE(grid.GetCellText(5, CBatchSendDlg::COL_FILE), second);
    }

    void keysEditCellsInEveryStateButTheMenuWaitsForIdle()
    {
        BatchSession s;
        PromptServer server;
        QVERIFY(StartStuckRun(s, server));
        CBatchGrid &grid = s.Grid();
        {
            MenuChooser chooser{QString()};
            ContextMenu(s);
            QVERIFY(!chooser.shown);
        }
        // A cell longer than any fixed block goes through the clipboard whole.
        const QString longText = QString(3000, QChar(0x9001));
        grid.SetCellText(5, 3, longText);
        grid.SetCellText(6, 3, QStringLiteral("old"));
        grid.setFocus();
        SelectBlock(grid, 5, 3, 5, 3);
        QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier);
        FlushPostedEvents();
        QCOMPARE(GetClipboardText(), longText);
        SelectBlock(grid, 6, 3, 6, 3);
        QTest::keyClick(&grid, Qt::Key_V, Qt::ControlModifier);
        FlushPostedEvents();
        QCOMPARE(grid.GetCellText(6, 3), longText);
        QTest::keyClick(&grid, Qt::Key_Delete);
        FlushPostedEvents();
        QCOMPARE(grid.GetCellText(6, 3), QString());
        EndStuckRun(s);
    }

    void aChecksumGoesIntoEveryLineOfTheRun_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<QByteArray>("sent");  // empty: the run does not start
        QTest::newRow("Modbus ASCII") << QStringLiteral("LRC/ASCII:from=1,before=0D") << QByteArray(":010300000001FB\r");
        QTest::newRow("no such checksum") << QStringLiteral("CRC-99") << QByteArray();
    }
    void aChecksumGoesIntoEveryLineOfTheRun()
    {
        QFETCH(QString, rule);
        QFETCH(QByteArray, sent);
        BatchSession s;
        PromptServer server;
        s.SetRow(1, kLoopback, server.PortText(), s.SendFileOfLines("m.txt", {":010300000001"}));
        qobject_cast<QComboBox *>(s.dlg->findChild<QWidget *>(QString::number(CBatchSendDlg::IDC_CHECKSUM_RULE)))
            ->setCurrentText(rule);
        qobject_cast<QCheckBox *>(s.dlg->findChild<QWidget *>(QString::number(CBatchSendDlg::IDC_CHECKSUM_ON)))
            ->setChecked(true);
        s.Start();
        QCOMPARE(s.dlg->IsRunning(), !sent.isEmpty());
        if (!sent.isEmpty())
            QTRY_COMPARE(server.Received(0), sent);
    }

    void aRunLooksRight()
    {
        BatchSession s;
        PromptServer server;
        s.SetRow(2, kLoopback, server.PortText(), s.SendFileOfLines("g.txt", {"y1"}));
        QVERIFY(StartStuckRun(s, server));
        const QImage image = s.dlg->grab().toImage();
        const QString shot = qEnvironmentVariable("QN_BATCH_SHOT");
        if (!shot.isEmpty())
            image.save(shot);
        // The row in progress carries the mark and shows its result.
        QCOMPARE(s.Result(1), QStringLiteral("処理中"));
        const QRect resultCell = s.Grid().visualRect(s.Grid().model()->index(0, 3));
        const QPoint blank = s.Grid().viewport()->mapTo(s.dlg, QPoint(resultCell.right() - 5, resultCell.center().y()));
        QCOMPARE(image.pixelColor(blank), ColorFromRef(CBatchGrid::kMarkColor));
        EndStuckRun(s);
    }
};

QTEST_MAIN(TestBatchSendDlg)
#include "tst_batchsenddlg.moc"
