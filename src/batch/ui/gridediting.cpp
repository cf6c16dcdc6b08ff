#include "batch/ui/gridediting.h"

#include "batch/ui/cvsflexgrid.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>

#include <memory>

int g_nCopyRowSpan = 0;
int g_nCopyColSpan = 0;

QString SelectionText(CvsFlexGrid *grid, BOOL clear)
{
    const int row = grid->GetCursorRow();
    const int col = grid->GetCursorCol();
    const int endRow = grid->GetSelEndRow();
    const int endCol = grid->GetSelEndCol();
    g_nCopyRowSpan = endRow - row;
    g_nCopyColSpan = endCol - col;

    QString result;
    for (int r = row; r <= endRow; ++r) {
        QString line;
        for (int c = col; c <= endCol; ++c) {
            if (c != col)
                line += QLatin1Char('\t');
            if (clear)
                grid->SetCellText(r, c, QString());
            else
                line += grid->GetCellText(r, c);
        }
        result += line;
        if (r != endRow)
            result += QLatin1Char('\r');
    }
    return result;
}

void PasteBlock(CvsFlexGrid *grid)
{
    if (g_nCopyRowSpan < 0 || g_nCopyColSpan < 0)
        return;
    const int row = grid->GetCursorRow();
    const int col = grid->GetCursorCol();
    if (grid->GetSelEndRow() == row && grid->GetSelEndCol() == col) {
        grid->SetCursorCol(col);
        grid->SetCursorRow(row);
        grid->SetSelEndCol(col + g_nCopyColSpan);
        grid->SetSelEndRow(row + g_nCopyRowSpan);
    }
    grid->SetSelectionText(GetClipboardText());
}

void SetClipboardText(const QString &text)
{
    if (QClipboard *clipboard = QGuiApplication::clipboard())
        clipboard->setText(text);
}

QString GetClipboardText()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    return clipboard ? clipboard->text() : QString();
}

QString SingleCellText(const QString &text)
{
    QString cell = text;
    cell.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    cell.replace(QLatin1Char('\r'), QLatin1Char(' '));
    cell.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return cell;
}

QMenu *CreateGridMenu(QWidget *parent, bool filePick)
{
    auto *menu = new QMenu(parent);
    const struct
    {
        int id;
        const char *text;
    } items[] = {{ID_GRID_COPY, "ｺﾋﾟｰ"}, {ID_GRID_PASTE, "貼り付け"}, {ID_GRID_CUT, "切り取り"}, {ID_GRID_DELETE, "削除"}};
    for (const auto &item : items)
        menu->addAction(QString::fromUtf8(item.text))->setData(item.id);
    if (filePick) {
        menu->addSeparator();
        menu->addAction(QStringLiteral("送信ﾌｧｲﾙを選択..."))->setData(ID_GRID_PICK_FILE);
    }
    return menu;
}

int TrackGridMenu(QPoint screenPosition, QWidget *owner, bool filePick)
{
    const std::unique_ptr<QMenu> menu(CreateGridMenu(owner, filePick));
    const QAction *chosen = menu->exec(screenPosition);
    return chosen ? chosen->data().toInt() : 0;
}

void DoGridCommand(CvsFlexGrid *grid, int id)
{
    switch (id) {
    case ID_GRID_COPY:
        SetClipboardText(SelectionText(grid, FALSE));
        break;
    case ID_GRID_PASTE:
        PasteBlock(grid);
        break;
    case ID_GRID_CUT:
        SetClipboardText(SelectionText(grid, FALSE));
        SelectionText(grid, TRUE);
        break;
    case ID_GRID_DELETE:
        SelectionText(grid, TRUE);
        break;
    default:
        break;
    }
}
