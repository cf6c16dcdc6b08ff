// Shared set-up for the grid tests: the scenario table as the batch window builds it, cell
// positions on screen, and a window that records the notifications posted to it.
#pragma once

#include "batch/ui/cvsflexgrid.h"
#include "platform/cmsgwnd.h"

#include <QList>
#include <QObject>
#include <QPoint>

// Fonts, counts, captions, fixed parts and row numbers 1 to 200 of the scenario table.
void SetUpScenarioGrid(CvsFlexGrid &grid);
// Centre of a body cell in the grid's viewport, in control coordinates.
QPoint CellCenter(CvsFlexGrid &grid, int row, int col);

// Records WM_SESSION_EVENT notifications; WaitForSentinel posts a marker after what is queued and
// waits until it arrives, so that every earlier post has been recorded.
class CNotifyRecorder : public CMsgWnd<QObject>
{
public:
    struct Notice
    {
        int code;
        LPARAM lParam;
    };
    QList<Notice> notices;

    bool WaitForSentinel();
    QList<int> Codes() const;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    bool m_bSentinel = false;
};
