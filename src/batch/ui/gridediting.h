// Block copy, cut, paste and delete on a grid, the clipboard as text, and the grid's popup menu.
#pragma once

#include "platform/qnwin.h"

#include <QPoint>
#include <QString>

class CvsFlexGrid;
class QMenu;
class QWidget;

// Extent of the block last taken by SelectionText: end minus cursor, negative for an upward or
// leftward block. Both 0 at start.
extern int g_nCopyRowSpan;
extern int g_nCopyColSpan;

// Commands of the grid's popup menu.
constexpr int ID_GRID_COPY = 32820;    // "ｺﾋﾟｰ"
constexpr int ID_GRID_PASTE = 32821;   // "貼り付け"
constexpr int ID_GRID_CUT = 32822;     // "切り取り"
constexpr int ID_GRID_DELETE = 32823;  // "削除"
constexpr int ID_GRID_PICK_FILE = 32824;  // "送信ﾌｧｲﾙを選択...", on the send-file column only

// The selected block from the cursor cell to the selection end, records its extent, and either
// returns its cells (tab between cells, CR between rows, none after the last) or, with `clear`,
// empties them. A block whose end lies above or left of the cursor gives "" and changes nothing.
QString SelectionText(CvsFlexGrid *grid, BOOL clear);

// Pastes the clipboard's text into the selected block. A single selected cell is first stretched
// to the extent of the last block taken; nothing happens after a block with a negative extent.
void PasteBlock(CvsFlexGrid *grid);

// The clipboard as plain text, whole whatever its length; "" when it holds no text.
void SetClipboardText(const QString &text);
QString GetClipboardText();
// `text` made fit for one cell: each line break (CR LF, CR or LF) becomes one blank, so the cell
// stays on its own line of a CSV file.
QString SingleCellText(const QString &text);

// The popup menu with the four commands, each action's data its command id, and with `filePick`
// the send-file item after them. The caller owns it.
QMenu *CreateGridMenu(QWidget *parent, bool filePick = false);
// Shows the popup menu at a screen position and returns the chosen command id, 0 when none.
int TrackGridMenu(QPoint screenPosition, QWidget *owner, bool filePick = false);
// Carries out a popup menu command on the grid's selected block.
void DoGridCommand(CvsFlexGrid *grid, int id);
