// The batch send window: the scenario table with its CSV file, and the runner that connects to each
// row's destination in turn and sends the row's send file one line per prompt.
#pragma once

#include "platform/cmsgwnd.h"
#include "platform/qnwin.h"
#include "platform/prompts.h"

#include <QByteArray>
#include <QDialog>
#include <QFont>
#include <QList>
#include <QPointer>

#include <memory>

class CBatchGrid;
class CQnDoc;
class QPushButton;

class CBatchSendDlg : public CMsgWnd<QDialog>
{
    Q_OBJECT
public:
    static constexpr int IDD = 151;
    static constexpr int IDC_START = 1019;
    static constexpr int IDC_READ_CSV = 1020;
    static constexpr int IDC_WRITE_CSV = 1021;
    static constexpr int IDC_ABORT = 1022;
    static constexpr int IDC_PROMPT_SETTINGS = 1023;

    static constexpr int kScenarioRows = 200;   // rows 1 to 200 below the caption row
    static constexpr int kFileLines = 1000;     // lines of a send file that are sent
    static constexpr int kButtonStrip = 60;     // pixels above the table kept for the buttons
    static constexpr int kTimerMilliseconds = 200;
    // Posted to itself while a row ends (wParam the hop, 1 or 2); see AdvanceRow.
    static constexpr UINT WM_ROW_END = WM_USER + 510;
    // Scenario columns.
    static constexpr int COL_ADDRESS = 1;
    static constexpr int COL_PORT = 2;
    static constexpr int COL_FILE = 3;
    static constexpr int COL_RESULT = 4;
    // Results written into COL_RESULT.
    static constexpr int RESULT_DONE = 300;
    static constexpr int RESULT_NO_CONNECTION = 301;
    static constexpr int RESULT_NO_FILE = 302;
    static constexpr int RESULT_RUNNING = 303;
    static constexpr int RESULT_ABORTED = 304;

    CBatchSendDlg();
    ~CBatchSendDlg() override;

    // Builds and shows the window for `view` (receiver of its events) and `document` (whose client
    // settings the runner points at each row); FALSE when the window exists already.
    BOOL Create(QObject *view, CQnDoc *document, int kind);
    // Hides the window and destroys its controls and tables; the object waits for the next Create.
    void DestroyWindow();
    bool HasWindow() const { return m_bWindow; }

    QPushButton *GetDlgItem(int id) const;
    CBatchGrid *ScenarioGrid() const { return m_pScenarioGrid; }
    CBatchGrid *FileLineGrid() const { return m_pFileGrid; }

    // Scenario file.
    void ReadCsv();
    void WriteCsv();
    // The CSV file dialog; "" when cancelled.
    QString AskCsvPath(bool open);
    // Asks for a send file and writes its path into the row's send-file cell; nothing when cancelled.
    void PickSendFile(int row);

    // The runner.
    void StartBatch();
    void AbortBatch();
    // Ends the row in progress and, once the events of its connection are over, starts the next.
    // `disconnect` is the lParam of the disconnect request (DISCONNECT_ABORT on a forced abort).
    void AdvanceRow(LPARAM disconnect = 0);
    bool LoadSendFile(const QString &path);
    void SendNextLine();
    void SetRowResult(int code);
    static QString ResultText(int code);
    // A row is in progress, or one has ended (or the run has started) and the next is about to begin.
    bool IsRunning() const { return m_nCurRow != 0 || m_bRowEnding; }

    // Brings the buttons and the table's editing in step with the run (timer 1 does it every tick).
    void UpdateControls();

    std::unique_ptr<char[]> m_pSendBuf;  // the line the view sends on EV_SEND, QN_BUFFER_SIZE bytes
    int m_nSendLen = 0;                  // bytes in m_pSendBuf, terminator excluded
    QPointer<QObject> m_pView;           // the view; not owned
    int m_nKind = 0;
    CQnDoc *m_pDoc = nullptr;            // not owned
    int m_bAbort = 0;                    // 1 once the user has confirmed an abort
    int m_nCurRow = 0;                   // 0 idle, else the scenario row in progress
    int m_nCurLine = 0;                  // send-file line last handed to the view

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(int id) override;
    // Escape and the close box ask before the view closes the window; Enter does nothing.
    void reject() override;
    void accept() override {}
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void OnInitDialog();
    // Creates the tables on the first call, then keeps the scenario table filling the window below the buttons.
    void OnSize();
    void OnSessionEvent(int code, LPARAM lParam);
    void OnClose();
    void OnPromptSettings();
    // Ends the row in progress at once, as an abort, without waiting for its answers.
    void EndRowNow();
    void OnRowEnd(int hop);
    // The next row with an address and a readable send file, or the end of the run.
    void NextRow();
    void Post(int event, LPARAM lParam);
    void ShowInformation(const QString &text);
    void ShowOpenError(const QString &path);
    QPushButton *AddButton(int id, const char *text, int x, int y);

    bool m_bWindow = false;
    bool m_bRowEnding = false;  // a row has ended and the next has not begun
    QFont m_font;  // the template's dialog font
    CBatchGrid *m_pScenarioGrid = nullptr;
    CBatchGrid *m_pFileGrid = nullptr;
    // The send file's lines as bytes, exactly as the file holds them (line ends removed).
    QList<QByteArray> m_fileLines;
};
