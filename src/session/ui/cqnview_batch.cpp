// The view's side of a batch run: the batch send window's opening and closing, the runner it serves
// (the window's, or one attached for a run without a window), the events it is told of, and the
// telegram it has prepared.
#include "session/ui/cqnview.h"

#include "batch/ui/cbatchsenddlg.h"
#include "platform/prompts.h"

bool CQnView::IsBatchWindowOpen() const
{
    return m_pBatchDlg && m_pBatchDlg->HasWindow();
}

CBatchRunner *CQnView::BatchRunner() const
{
    if (m_pAttachedRunner)
        return m_pAttachedRunner;
    return IsBatchWindowOpen() ? &m_pBatchDlg->Runner() : nullptr;
}

bool CQnView::CanCloseFrame()
{
    if (!IsBatchWindowOpen() || !m_pBatchDlg->IsRunning())
        return true;
    // The program's end takes the run's connection with it.
    return Prompts::Instance().MessageBox(m_pBatchDlg.get(), QStringLiteral("中止しますか？"), Prompts::AppTitle(),
                                          Prompts::YesNo, Prompts::Question) == IDYES;
}

void CQnView::PostToBatchWindow(SessionEvent event)
{
    if (CBatchRunner *runner = BatchRunner())
        PostMessage(runner, WM_SESSION_EVENT, static_cast<WPARAM>(event), 0);
}

void CQnView::OpenBatchWindow()
{
    if (m_pBatchDlg->HasWindow()) {
        m_pBatchDlg->activateWindow();
        m_pBatchDlg->raise();
        return;
    }
    m_pBatchDlg->Create(this, m_pDocument, KIND_BATCH_SEND);
}

void CQnView::CloseBatchWindow()
{
    if (m_pBatchDlg->HasWindow())
        m_pBatchDlg->DestroyWindow();
}

const unsigned char *CQnView::BatchTelegram(int *length) const
{
    return reinterpret_cast<const unsigned char *>(BatchRunner()->Telegram(length));
}
