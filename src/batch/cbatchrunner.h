// The batch runner: connects to each scenario row's destination in turn over the view's TCP client
// connection (a serial line for a device path) and sends the row's send file one line per prompt. The batch window and the command
// line both drive it; it knows no widget.
#pragma once

#include "batch/cbatchscenario.h"
#include "batch/promptjudge.h"
#include "platform/cchecksumrule.h"
#include "platform/cmsgwnd.h"
#include "platform/qnwin.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>
#include <optional>

class CConnectionType;
class CQnDoc;

class CBatchRunner : public CMsgWnd<QObject>
{
    Q_OBJECT
public:
    static constexpr int kFileLines = 1000;  // lines of a send file that are sent
    // Posted to itself while a row ends (wParam the hop, 1 or 2); see AdvanceRow.
    static constexpr UINT WM_ROW_END = WM_USER + 510;
    // The timer of a row's time limit (a run from the command line only).
    static constexpr int TIMER_ROW_TIMEOUT = 4;
    // Row results.
    static constexpr int RESULT_DONE = 300;
    static constexpr int RESULT_NO_CONNECTION = 301;
    static constexpr int RESULT_NO_FILE = 302;
    static constexpr int RESULT_RUNNING = 303;
    static constexpr int RESULT_ABORTED = 304;
    static constexpr int RESULT_NO_RESPONSE = 305;  // the prompt did not come within the time limit

    CBatchRunner();
    ~CBatchRunner() override;

    // The view that receives the runner's requests and the document it points at each row.
    void Attach(QObject *view, CQnDoc *document);
    CBatchScenario &Scenario() { return m_scenario; }
    const CBatchScenario &Scenario() const { return m_scenario; }
    static QString ResultText(int code);

    // Options of a run; a new runner has the window's: local port "0", no time limit, the store's prompts.
    void SetLocalPort(const QString &port) { m_strLocalPort = port; }
    void SetRowTimeout(int milliseconds) { m_nRowTimeout = milliseconds; }
    void SetPromptOverride(const std::optional<PromptSettings> &settings) { m_promptOverride = settings; }
    // A checksum put into every line sent (with its CR); null: none.
    void SetChecksum(std::shared_ptr<const CChecksumRule> rule) { m_pChecksum = std::move(rule); }
    // Judges a received block by the run's prompt settings.
    BOOL JudgePrompt(const char *data, int length) const;
    // The line prepared for the view's next send.
    const char *Telegram(int *length) const;

    // Clears the results and begins with row 1.
    void Start();
    // Forgets the run at once, without a request to the view (the window is going).
    void Reset();
    // Sets the abort flag: the run ends as aborted when the row in progress ends.
    void RequestAbort();
    // Ends the row in progress at once, without waiting for its answers; with the abort flag set the
    // run then ends as aborted.
    void EndRowNow();
    // A row is in progress, or one has ended (or the run has started) and the next is about to begin.
    bool IsRunning() const { return m_nCurRow != 0 || m_bRowEnding; }
    bool IsRowEnding() const { return m_bRowEnding; }
    // An abort has been asked for and the run has not ended since.
    bool IsAbortRequested() const { return m_bAbort == 1; }
    // EV_PROMPT and EV_CLOSED from the view; other codes are not the runner's.
    void OnSessionEvent(int code);
    // Why the connect of the row in progress failed, as the connection pane says it; the view tells
    // it before the EV_CLOSED of that failure arrives. The row's result then carries it
    // ("×:接続できません: TLS 証明書の発行元(CA)が不明です").
    void NoteConnectFailure(const QString &reason) { m_strConnectFailure = reason; }

Q_SIGNALS:
    // A row's destination is set and its send file is about to be read.
    void RowStarted(int row);
    // The send file of the row in progress has been read (lines as bytes, line ends removed).
    void SendFileLoaded(const QList<QByteArray> &lines);
    void ResultChanged(int row, const QString &text);
    // A line has been handed to the view (`bytes` with its CR).
    void LineSent(int row, int line, int bytes);
    // The prompt that answered a line came `milliseconds` after the line was handed out.
    void LineAnswered(int row, int line, double milliseconds);
    // A row's result is final; `milliseconds` since the row started.
    void RowEnded(int row, int code, double milliseconds);
    // The run is over: after a row without an address, or aborted.
    void Finished(bool aborted);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(int id) override;

private:
    // Tests reach the line in progress through it (tests/support/sessionprobe.h).
    friend class SessionProbe;

    std::unique_ptr<char[]> m_pSendBuf;  // the line the view sends on EV_SEND, QN_BUFFER_SIZE bytes
    int m_nSendLen = 0;                  // bytes in m_pSendBuf, terminator excluded
    int m_bAbort = 0;                    // 1 once an abort has been requested
    int m_nCurRow = 0;                   // 0 idle, else the scenario row in progress
    int m_nCurLine = 0;                  // send-file line last handed to the view

    // Ends the row in progress and, once the events of its connection are over, starts the next.
    // `disconnect` is the lParam of the disconnect request.
    void AdvanceRow(LPARAM disconnect = 0);
    void OnRowEnd(int hop);
    // Settles the row that ended, then starts the next row with an address and a readable send
    // file, or ends the run.
    void NextRow();
    // The run is over (after a row without an address, or aborted): no row, the document as it was.
    void EndRun(bool aborted);
    void FinishRow(int code);
    bool LoadSendFile(const QString &path);
    void SendNextLine();
    void SetRowResult(int code);
    void Post(int event, LPARAM lParam);
    void StartRowTimer();
    // Points the settings of the row's type at its destination; a "tls://" row of a type with TLS
    // turns TLS on for itself.
    void SetDestination(const CConnectionType &type, const QString &address);
    void ForceTls(const CConnectionType &type);
    // Gives the document back the TLS settings it had before the run.
    void RestoreTlsChoice();

    QPointer<QObject> m_pView;  // not owned
    CQnDoc *m_pDoc = nullptr;   // not owned
    CBatchScenario m_scenario;
    bool m_bRowEnding = false;  // a row has ended and the next has not begun
    int m_nRowCode = 0;         // the result last set on the row in progress
    // The send file's lines as bytes, exactly as the file holds them (line ends removed).
    QList<QByteArray> m_fileLines;
    QString m_strLocalPort = QStringLiteral("0");
    int m_nRowTimeout = 0;
    std::optional<PromptSettings> m_promptOverride;
    std::shared_ptr<const CChecksumRule> m_pChecksum;
    QString m_strConnectFailure;  // the reason of the row's failed connect, until the row takes it
    QList<QStringList> m_runTls;  // each type's TLS texts as the run found them
    bool m_bTlsForced = false;    // a "tls://" row has turned TLS on
    QElapsedTimer m_rowClock;
    QElapsedTimer m_lineClock;
};
