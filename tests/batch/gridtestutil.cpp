#include "gridtestutil.h"

#include "platform/ui/uifonts.h"

#include <QTest>

namespace {

constexpr int kSentinel = 9999;

}  // namespace

void SetUpScenarioGrid(CvsFlexGrid &grid)
{
    grid.SetFontName(QString::fromUtf8(kFaceMsGothic));
    grid.SetColCount(5);
    grid.SetRowCount(201);
    grid.SetHeaderLayout(QStringLiteral("No.|接続先ｱﾄﾞﾚｽ       |接続先ﾎﾟｰﾄ|送信ﾌｧｲﾙ名") + QString(67, QLatin1Char(' ')) +
                         QStringLiteral("|結果") + QString(12, QChar(0x3000)));
    grid.SetEditAllowed(TRUE);
    grid.SetFixedColCount(1);
    grid.SetFixedRowCount(1);
    grid.SetBackColor(0xFFFFFF);
    for (int row = 1; row <= 200; ++row)
        grid.SetCellText(row, 0, QString::number(row));
}

QPoint CellCenter(CvsFlexGrid &grid, int row, int col)
{
    const QModelIndex index = grid.model()->index(row - grid.GetFixedRowCount(), col - grid.GetFixedColCount());
    grid.scrollTo(index);
    return grid.visualRect(index).center();
}

bool CNotifyRecorder::WaitForSentinel()
{
    m_bSentinel = false;
    PostMessage(this, WM_SESSION_EVENT, kSentinel, 0);
    return QTest::qWaitFor([this] { return m_bSentinel; }, 5000);
}

QList<int> CNotifyRecorder::Codes() const
{
    QList<int> codes;
    for (const Notice &n : notices)
        codes.append(n.code);
    return codes;
}

LRESULT CNotifyRecorder::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_SESSION_EVENT)
        return 0;
    if (int(wParam) == kSentinel)
        m_bSentinel = true;
    else
        notices.append({int(wParam), lParam});
    return 0;
}
