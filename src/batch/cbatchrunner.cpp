#include "batch/cbatchrunner.h"

#include "document/cconnectiontype.h"
#include "document/cqndoc.h"
#include "net/ctlssettings.h"
#include "batch/csvfile.h"

#include <cstring>
#include <utility>

namespace {

// A line leaves room in the send buffer for its CR and the terminator; longer lines are cut to that.
constexpr qsizetype kMaxLineBytes = QN_BUFFER_SIZE - 2;


double Milliseconds(const QElapsedTimer &clock)
{
    return clock.isValid() ? double(clock.nsecsElapsed()) / 1e6 : 0.0;
}

}  // namespace

CBatchRunner::CBatchRunner() : m_pSendBuf(std::make_unique<char[]>(QN_BUFFER_SIZE)) {}

CBatchRunner::~CBatchRunner() = default;

void CBatchRunner::Attach(QObject *view, CQnDoc *document)
{
    m_pView = view;
    m_pDoc = document;
}

QString CBatchRunner::ResultText(int code)
{
    switch (code) {
    case RESULT_DONE: return QStringLiteral("○:正常終了しました");
    case RESULT_NO_CONNECTION: return QStringLiteral("×:接続できません");
    case RESULT_NO_FILE: return QStringLiteral("×:送信ﾌｧｲﾙが見つかりません");
    case RESULT_RUNNING: return QStringLiteral("処理中");
    case RESULT_NO_RESPONSE: return QStringLiteral("×:応答がありません");
    default: return QStringLiteral("中止しました");
    }
}

BOOL CBatchRunner::JudgePrompt(const char *data, int length) const
{
    return m_promptOverride ? JudgePromptBlock(data, length, *m_promptOverride) : JudgePromptBlock(data, length);
}

const char *CBatchRunner::Telegram(int *length) const
{
    *length = qBound(0, m_nSendLen, QN_BUFFER_SIZE);
    return m_pSendBuf.get();
}

void CBatchRunner::SetRowResult(int code)
{
    if (m_nCurRow < 1 || m_nCurRow > CBatchScenario::kRows)
        return;
    m_nRowCode = code;
    QString text = ResultText(code);
    if (code == RESULT_NO_CONNECTION && !m_strConnectFailure.isEmpty())
        text += QStringLiteral(": ") + m_strConnectFailure;
    m_scenario.SetCell(m_nCurRow, CBatchScenario::COL_RESULT, text);
    Q_EMIT ResultChanged(m_nCurRow, text);
}

void CBatchRunner::Post(int event, LPARAM lParam)
{
    PostMessage(m_pView, WM_SESSION_EVENT, static_cast<WPARAM>(event), lParam);
}

void CBatchRunner::Start()
{
    if (IsRunning())
        return;
    m_scenario.ClearResults();
    for (int row = 1; row <= CBatchScenario::kRows; ++row)
        Q_EMIT ResultChanged(row, QString());
    m_bAbort = 0;
    m_runTls.clear();
    if (m_pDoc) {
        for (const CConnectionType &row : CConnectionType::All())
            m_runTls.append(CConnectionType::Texts(*m_pDoc, row.TlsSlots()));
    }
    m_bTlsForced = false;
    AdvanceRow();
}

void CBatchRunner::Reset()
{
    KillTimer(TIMER_ROW_TIMEOUT);
    m_fileLines.clear();
    m_nCurRow = 0;
    m_nCurLine = 0;
    m_bAbort = 0;
    m_bRowEnding = false;
    RestoreTlsChoice();
}

void CBatchRunner::RequestAbort()
{
    // A run that has finished leaves nothing to abort: the flag would otherwise end the next run
    // before its first row.
    if (IsRunning())
        m_bAbort = 1;
}

void CBatchRunner::EndRowNow()
{
    // With the abort flag set, the row end disconnects and finishes the run as aborted. A row that
    // is already ending does so by itself.
    if (m_bRowEnding)
        return;
    m_nCurLine = 0;
    // Unlike a row that ends by itself, this one may still be connecting: that connect ends too.
    AdvanceRow(DISCONNECT_ABORT);
}

void CBatchRunner::AdvanceRow(LPARAM disconnect)
{
    KillTimer(TIMER_ROW_TIMEOUT);
    Post(EV_DISCONNECT, disconnect);
    // The ended connection may still have a close or a prompt on its way: the view may have been
    // told of it before it handles the disconnect. Everything it reports in that time is posted
    // before the second of these hops arrives, and is ignored; then the next row begins.
    m_bRowEnding = true;
    PostMessage(this, WM_ROW_END, 1, 0);
}

void CBatchRunner::OnRowEnd(int hop)
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

void CBatchRunner::FinishRow(int code)
{
    if (m_nCurRow < 1 || m_nCurRow > CBatchScenario::kRows)
        return;
    if (code != m_nRowCode)
        SetRowResult(code);
    Q_EMIT RowEnded(m_nCurRow, m_nRowCode, Milliseconds(m_rowClock));
}

void CBatchRunner::EndRun(bool aborted)
{
    m_nCurRow = 0;
    m_bAbort = 0;
    RestoreTlsChoice();
    Q_EMIT Finished(aborted);
}

void CBatchRunner::NextRow()
{
    for (;;) {
        if (m_bAbort == 1) {
            FinishRow(RESULT_ABORTED);
            EndRun(true);
            return;
        }
        // A row still running when it ends has sent its whole file.
        FinishRow(m_nRowCode == RESULT_RUNNING ? RESULT_DONE : m_nRowCode);

        ++m_nCurRow;
        const QString address = m_scenario.Cell(m_nCurRow, CBatchScenario::COL_ADDRESS);
        if (address.isEmpty()) {
            EndRun(false);
            return;
        }
        m_rowClock.start();
        m_nRowCode = 0;
        m_strConnectFailure.clear();
        Q_EMIT RowStarted(m_nCurRow);
        // The row's address says its type (a device path: a serial line, its port cell the baud);
        // the document's other settings of that type hold for it.
        const CConnectionType &type = CConnectionType::ForBatchAddress(address);
        if (m_pDoc)
            SetDestination(type, address);
        Post(EV_SET_TYPE, type.type);
        m_nCurLine = 0;
        if (!LoadSendFile(m_scenario.Cell(m_nCurRow, CBatchScenario::COL_FILE))) {
            SetRowResult(RESULT_NO_FILE);
            continue;  // the next row at once, without a connection attempt
        }
        Post(EV_CONNECT, 0);
        SetRowResult(RESULT_RUNNING);
        StartRowTimer();
        return;
    }
}

void CBatchRunner::SetDestination(const CConnectionType &type, const QString &address)
{
    QString host = address;
    if (type.Has(Capability::Tls)) {
        // The run's other TLS settings (verification, CA file, client certificate) hold for the row.
        if (CBatchScenario::SplitTlsAddress(address, &host))
            ForceTls(type);
        else
            RestoreTlsChoice();
    }
    m_pDoc->SetSlotString(type.batch.address, host);
    m_pDoc->SetSlotString(type.batch.port, m_scenario.Cell(m_nCurRow, CBatchScenario::COL_PORT));
    if (type.batch.ownPort >= 0)
        m_pDoc->SetSlotString(type.batch.ownPort, m_strLocalPort);
}

void CBatchRunner::ForceTls(const CConnectionType &type)
{
    const QList<int> tlsSlots = type.TlsSlots();
    CTlsSettings tls;
    QString error;
    const QStringList texts = CConnectionType::Texts(*m_pDoc, tlsSlots);
    if (type.Has(Capability::AcceptsClients))
        CTlsSettings::ParseServer(texts, &tls, &error);
    else
        CTlsSettings::ParseClient(texts, &tls, &error);
    tls.m_bUse = true;
    CConnectionType::SetTexts(m_pDoc, tlsSlots, tls.Texts());
    m_bTlsForced = true;
}

void CBatchRunner::RestoreTlsChoice()
{
    if (!m_pDoc || !std::exchange(m_bTlsForced, false))
        return;
    const auto rows = CConnectionType::All();
    for (std::size_t i = 0; i < rows.size() && qsizetype(i) < m_runTls.size(); ++i)
        CConnectionType::SetTexts(m_pDoc, rows[i].TlsSlots(), m_runTls[qsizetype(i)]);
}

bool CBatchRunner::LoadSendFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    bool opened = false;
    // Lines stay bytes: they go out exactly as the file holds them.
    QList<QByteArray> lines = ReadTextLines(path, kFileLines, &opened, kMaxLineBytes);
    if (!opened)
        return false;
    m_fileLines = std::move(lines);
    Q_EMIT SendFileLoaded(m_fileLines);
    return true;
}

void CBatchRunner::SendNextLine()
{
    if (m_nCurLine >= 1)
        Q_EMIT LineAnswered(m_nCurRow, m_nCurLine, Milliseconds(m_lineClock));
    ++m_nCurLine;
    const QByteArray line = m_nCurLine <= kFileLines && m_nCurLine <= m_fileLines.size()
                                ? m_fileLines[m_nCurLine - 1]
                                : QByteArray();
    if (line.isEmpty()) {
        m_nCurLine = 0;
        AdvanceRow();
        return;
    }
    // The line and its CR, then the checksum where the rule puts it; a line too long for the buffer
    // is cut to make room for both.
    const qsizetype room = kMaxLineBytes - (m_pChecksum ? m_pChecksum->ValueBytes() : 0);
    QByteArray telegram = line.left(room) + '\r';
    if (m_pChecksum)
        telegram = m_pChecksum->Apply(telegram);
    std::memcpy(m_pSendBuf.get(), telegram.constData(), static_cast<size_t>(telegram.size()));
    m_pSendBuf[telegram.size()] = '\0';
    m_nSendLen = static_cast<int>(telegram.size());
    Post(EV_SEND, 0);
    Q_EMIT LineSent(m_nCurRow, m_nCurLine, m_nSendLen);
    m_lineClock.start();
    StartRowTimer();
}

void CBatchRunner::StartRowTimer()
{
    if (m_nRowTimeout > 0)
        SetTimer(TIMER_ROW_TIMEOUT, m_nRowTimeout, Qt::PreciseTimer);
}

void CBatchRunner::OnTimer(int id)
{
    if (id != TIMER_ROW_TIMEOUT)
        return;
    KillTimer(TIMER_ROW_TIMEOUT);
    if (m_nCurRow == 0 || m_bRowEnding)
        return;
    SetRowResult(RESULT_NO_RESPONSE);
    EndRowNow();
}

void CBatchRunner::OnSessionEvent(int code)
{
    // The view reports prompts and closes whenever a runner is attached; only a row in progress
    // acts on them. Those that arrive while a row ends belong to the connection it had.
    if (!IsRunning() || m_bRowEnding)
        return;
    switch (code) {
    case EV_PROMPT:
        SendNextLine();
        break;
    case EV_CLOSED:
        SetRowResult(RESULT_NO_CONNECTION);
        m_strConnectFailure.clear();
        AdvanceRow();
        break;
    default:
        break;
    }
}

LRESULT CBatchRunner::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    Q_UNUSED(lParam);
    switch (message) {
    case WM_SESSION_EVENT:
        OnSessionEvent(static_cast<int>(wParam));
        return 0;
    case WM_ROW_END:
        OnRowEnd(static_cast<int>(wParam));
        return 0;
    default:
        return 0;
    }
}
