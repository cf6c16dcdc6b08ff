// The window's side of a run: the start and abort questions, and the tables that follow the runner.
#include "batch/ui/cbatchsenddlg.h"

#include "batch/ui/cbatchgrid.h"
#include "platform/cp932.h"

#include <QLabel>

namespace {

// The hidden line table shows the start of each line as text.
constexpr qsizetype kShownLineBytes = 1024;

}  // namespace

void CBatchSendDlg::ShowInformation(const QString &text)
{
    Prompts::Instance().MessageBox(this, text, Prompts::AppTitle(), Prompts::Ok, Prompts::Information);
}

void CBatchSendDlg::StartBatch()
{
    if (IsRunning() || !m_pScenarioGrid)
        return;
    if (Prompts::Instance().MessageBox(this, QStringLiteral("一括送信を開始しますか？"), Prompts::AppTitle(),
                                       Prompts::YesNo, Prompts::Question) == IDNO)
        return;
    if (IsRunning() || !m_pScenarioGrid || !TakeChecksum())
        return;
    // The table is the window's copy of the scenario: the runner works on the one it is given now.
    TableToScenario(&m_runner.Scenario());
    m_report.Clear();
    ShowSummary();
    m_runner.Start();
    UpdateControls();
}

void CBatchSendDlg::AbortBatch()
{
    if (!IsRunning())
        return;
    if (m_runner.IsAbortRequested()) {
        // The row has not ended since the abort was confirmed: its answers may never come.
        const int answer = Prompts::Instance().MessageBox(
            this, QStringLiteral("中止を待っています。応答を待たずに直ちに中止しますか？"), Prompts::AppTitle(),
            Prompts::YesNo, Prompts::Question);
        // The row may have ended while the question was open.
        if (answer == IDYES && IsRunning() && m_runner.IsAbortRequested())
            m_runner.EndRowNow();
        return;
    }
    const int answer = Prompts::Instance().MessageBox(this, QStringLiteral("中止しますか？"), Prompts::AppTitle(),
                                                      Prompts::YesNo, Prompts::Question);
    if (answer != IDNO)
        m_runner.RequestAbort();
    UpdateControls();
}

void CBatchSendDlg::OnRowStarted(int row)
{
    if (m_pScenarioGrid)
        m_pScenarioGrid->MarkRow(row);
}

void CBatchSendDlg::OnSendFileLoaded(const QList<QByteArray> &lines)
{
    if (!m_pFileGrid)
        return;
    m_pFileGrid->ClearCells(CvsFlexGrid::kClearScrollable, CvsFlexGrid::kClearEverything);
    for (int i = 0; i < lines.size(); ++i)
        m_pFileGrid->SetCellText(i + 1, 1, FromCp932(QByteArrayView(lines[i]).first(qMin(lines[i].size(), kShownLineBytes))));
}

void CBatchSendDlg::OnResultChanged(int row, const QString &text)
{
    if (m_pScenarioGrid)
        m_pScenarioGrid->SetCellText(row, COL_RESULT, text);
}

void CBatchSendDlg::ShowSummary()
{
    if (!m_pSummary)
        return;
    const QStringList lines = m_report.SummaryLines();
    m_pSummary->setText(QStringLiteral("応答時間 ") + lines.last());
    m_pSummary->setToolTip(lines.join(QLatin1Char('\n')));
}

void CBatchSendDlg::OnRunFinished(bool aborted)
{
    ShowSummary();
    UpdateControls();
    ShowInformation(aborted ? QStringLiteral("中止しました。") : QStringLiteral("一括送信は終了しました。"));
}
