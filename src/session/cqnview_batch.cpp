// The view's side of the batch send window: opening and closing it, the events it is told of, and
// the telegram it has prepared.
#include "session/cqnview.h"

#include "batch/cbatchsenddlg.h"
#include "platform/prompts.h"

bool CQnView::IsBatchWindowOpen() const
{
    return m_pBatchDlg && m_pBatchDlg->HasWindow();
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
    if (IsBatchWindowOpen())
        PostMessage(m_pBatchDlg.get(), WM_SESSION_EVENT, static_cast<WPARAM>(event), 0);
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
    *length = qBound(0, m_pBatchDlg->m_nSendLen, QN_BUFFER_SIZE);
    return reinterpret_cast<const unsigned char *>(m_pBatchDlg->m_pSendBuf.get());
}
