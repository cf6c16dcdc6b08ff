// The batch runner: row by row over the view's TCP client connection, one send-file line per prompt.
#include "batch/cbatchsenddlg.h"

#include "app/cqndoc.h"
#include "batch/cbatchgrid.h"
#include "batch/csvfile.h"
#include "platform/cp932.h"

#include <cstring>

namespace {

// A line leaves room in the send buffer for its CR and the terminator; longer lines are cut to that.
constexpr qsizetype kMaxLineBytes = QN_BUFFER_SIZE - 2;
// The hidden line table shows the start of each line as text.
constexpr qsizetype kShownLineBytes = 1024;

const char *const kRunning = "処理中";

}  // namespace

QString CBatchSendDlg::ResultText(int code)
{
    switch (code) {
    case RESULT_DONE: return QStringLiteral("○:正常終了しました");
    case RESULT_NO_CONNECTION: return QStringLiteral("×:接続できません");
    case RESULT_NO_FILE: return QStringLiteral("×:送信ﾌｧｲﾙが見つかりません");
    case RESULT_RUNNING: return QString::fromUtf8(kRunning);
    default: return QStringLiteral("中止しました");
    }
}

void CBatchSendDlg::SetRowResult(int code)
{
    if (m_pScenarioGrid && m_nCurRow >= 1 && m_nCurRow <= kScenarioRows)
        m_pScenarioGrid->SetCellText(m_nCurRow, COL_RESULT, ResultText(code));
}

void CBatchSendDlg::Post(int event, LPARAM lParam)
{
    PostMessage(m_pView, WM_SESSION_EVENT, static_cast<WPARAM>(event), lParam);
}

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
    if (IsRunning() || !m_pScenarioGrid)
        return;
    m_pScenarioGrid->CommitEdit();
    for (int row = 1; row <= kScenarioRows; ++row)
        m_pScenarioGrid->SetCellText(row, COL_RESULT, QString());
    m_bAbort = 0;
    AdvanceRow();
    UpdateControls();
}

void CBatchSendDlg::AbortBatch()
{
    if (!IsRunning())
        return;
    if (m_bAbort == 1) {
        // The row has not ended since the abort was confirmed: its answers may never come.
        const int answer = Prompts::Instance().MessageBox(
            this, QStringLiteral("中止を待っています。応答を待たずに直ちに中止しますか？"), Prompts::AppTitle(),
            Prompts::YesNo, Prompts::Question);
        // The row may have ended while the question was open.
        if (answer == IDYES && IsRunning() && m_bAbort == 1)
            EndRowNow();
        return;
    }
    const int answer = Prompts::Instance().MessageBox(this, QStringLiteral("中止しますか？"), Prompts::AppTitle(),
                                                      Prompts::YesNo, Prompts::Question);
    // A run that finished while the question was open leaves nothing to abort: the flag would
    // otherwise end the next run before its first row.
    if (answer != IDNO && IsRunning())
        m_bAbort = 1;
    UpdateControls();
}

void CBatchSendDlg::EndRowNow()
{
    // With the abort flag set, the row end disconnects and finishes the run as aborted. A row that
    // is already ending does so by itself.
    if (m_bRowEnding)
        return;
    m_nCurLine = 0;
    // Unlike a row that ends by itself, this one may still be connecting: that connect ends too.
    AdvanceRow(DISCONNECT_ABORT);
}

void CBatchSendDlg::AdvanceRow(LPARAM disconnect)
{
    Post(EV_DISCONNECT, disconnect);
    // The ended connection may still have a close or a prompt on its way: the view may have been
    // told of it before it handles the disconnect. Everything it reports in that time is posted
    // before the second of these hops arrives, and is ignored; then the next row begins.
    m_bRowEnding = true;
    PostMessage(this, WM_ROW_END, 1, 0);
}

void CBatchSendDlg::OnRowEnd(int hop)
{
    if (!m_bRowEnding)
        return;
    if (hop == 1) {
        PostMessage(this, WM_ROW_END, 2, 0);
        return;
    }
    m_bRowEnding = false;
    NextRow();
}

void CBatchSendDlg::NextRow()
{
    for (;;) {
        if (m_bAbort == 1 || !m_pScenarioGrid) {
            SetRowResult(RESULT_ABORTED);
            m_nCurRow = 0;
            m_bAbort = 0;
            UpdateControls();
            ShowInformation(QStringLiteral("中止しました。"));
            return;
        }
        if (m_pScenarioGrid->GetCellText(m_nCurRow, COL_RESULT) == QString::fromUtf8(kRunning))
            SetRowResult(RESULT_DONE);

        ++m_nCurRow;
        const QString address =
            m_nCurRow <= kScenarioRows ? m_pScenarioGrid->GetCellText(m_nCurRow, COL_ADDRESS) : QString();
        if (address.isEmpty()) {
            m_nCurRow = 0;
            m_bAbort = 0;
            UpdateControls();
            ShowInformation(QStringLiteral("一括送信は終了しました。"));
            return;
        }
        m_pScenarioGrid->MarkRow(m_nCurRow);
        if (m_pDoc) {
            m_pDoc->SetSlotString(CQnDoc::SLOT_CLIENT_ADDRESS, address);
            m_pDoc->SetSlotString(CQnDoc::SLOT_CLIENT_PORT, m_pScenarioGrid->GetCellText(m_nCurRow, COL_PORT));
            m_pDoc->SetSlotString(CQnDoc::SLOT_CLIENT_OWN_PORT, QStringLiteral("0"));
        }
        Post(EV_SET_TYPE, TYPE_TCP_CLIENT);
        m_nCurLine = 0;
        if (!LoadSendFile(m_pScenarioGrid->GetCellText(m_nCurRow, COL_FILE))) {
            SetRowResult(RESULT_NO_FILE);
            continue;  // the next row at once, without a connection attempt
        }
        Post(EV_CONNECT, 0);
        SetRowResult(RESULT_RUNNING);
        return;
    }
}

bool CBatchSendDlg::LoadSendFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    bool opened = false;
    // Lines stay bytes: they go out exactly as the file holds them.
    QList<QByteArray> lines = ReadTextLines(path, kFileLines, &opened, kMaxLineBytes);
    if (!opened)
        return false;
    m_fileLines = std::move(lines);
    if (m_pFileGrid) {
        m_pFileGrid->ClearCells(CvsFlexGrid::kClearScrollable, CvsFlexGrid::kClearEverything);
        for (int i = 0; i < m_fileLines.size(); ++i)
            m_pFileGrid->SetCellText(i + 1, 1, FromCp932(QByteArrayView(m_fileLines[i]).first(
                                                   qMin(m_fileLines[i].size(), kShownLineBytes))));
    }
    return true;
}

void CBatchSendDlg::SendNextLine()
{
    ++m_nCurLine;
    const QByteArray line = m_nCurLine <= kFileLines && m_nCurLine <= m_fileLines.size()
                                ? m_fileLines[m_nCurLine - 1]
                                : QByteArray();
    if (line.isEmpty()) {
        m_nCurLine = 0;
        AdvanceRow();
        return;
    }
    const qsizetype length = qMin(line.size(), kMaxLineBytes);
    std::memcpy(m_pSendBuf.get(), line.constData(), static_cast<size_t>(length));
    m_pSendBuf[length] = '\r';
    m_pSendBuf[length + 1] = '\0';
    m_nSendLen = static_cast<int>(length + 1);
    Post(EV_SEND, 0);
}
