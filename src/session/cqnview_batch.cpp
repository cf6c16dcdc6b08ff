// The view's side of the batch send window.
#include "session/cqnview.h"

bool CQnView::IsBatchWindowOpen() const
{
    return m_pBatchDlg != nullptr;
}

void CQnView::PostToBatchWindow(int /*event*/)
{
}

void CQnView::OpenBatchWindow()
{
}

void CQnView::CloseBatchWindow()
{
}

void CQnView::DeleteBatchWindow()
{
}

const unsigned char *CQnView::BatchTelegram(int *length) const
{
    *length = 0;
    return nullptr;
}
