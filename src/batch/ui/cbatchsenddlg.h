// The batch send window: the scenario table with its CSV file, and the window's side of a run: the
// questions, the buttons, and the table that shows what its runner does.
#pragma once

#include "batch/cbatchreport.h"
#include "batch/cbatchrunner.h"
#include "platform/cmsgwnd.h"
#include "platform/qnwin.h"
#include "platform/prompts.h"

#include <QByteArray>
#include <QDialog>
#include <QFont>
#include <QList>
#include <QPointer>

class CBatchGrid;
class CQnDoc;
class QLabel;
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
    // "ﾁｪｯｸｻﾑ付加" and its rule: the checksum goes into every line of the next run.
    static constexpr int IDC_CHECKSUM_ON = 1101;
    static constexpr int IDC_CHECKSUM_RULE = 1102;

    static constexpr int kScenarioRows = CBatchScenario::kRows;  // rows 1 to 200 below the caption row
    static constexpr int kFileLines = CBatchRunner::kFileLines;   // rows of the hidden send-file table
    static constexpr int kButtonStrip = 60;     // pixels above the table kept for the buttons
    static constexpr int kTimerMilliseconds = 200;
    // Scenario columns.
    static constexpr int COL_ADDRESS = CBatchScenario::COL_ADDRESS;
    static constexpr int COL_PORT = CBatchScenario::COL_PORT;
    static constexpr int COL_FILE = CBatchScenario::COL_FILE;
    static constexpr int COL_RESULT = CBatchScenario::COL_RESULT;

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
    // The response times of the run in progress or the last one ("応答時間 全体: 応答 …").
    QLabel *SummaryLabel() const { return m_pSummary; }

    // Scenario file.
    void ReadCsv();
    void WriteCsv();
    // The CSV file dialog; "" when cancelled.
    QString AskCsvPath(bool open);
    // Asks for a send file and writes its path into the row's send-file cell; nothing when cancelled.
    void PickSendFile(int row);

    // The run: the window asks, then drives its runner with the table's scenario.
    void StartBatch();
    void AbortBatch();
    CBatchRunner &Runner() { return m_runner; }
    const CBatchRunner &Runner() const { return m_runner; }
    bool IsRunning() const { return m_runner.IsRunning(); }

    // Brings the buttons and the table's editing in step with the run (timer 1 does it every tick).
    void UpdateControls();

    QPointer<QObject> m_pView;           // the view; not owned
    int m_nKind = 0;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnTimer(int id) override;
    // Escape and the close box ask before the view closes the window; Enter does nothing.
    void reject() override;
    void accept() override {}
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void AddChecksumChoice();
    // The rule of the next run (null: none); false when "ﾁｪｯｸｻﾑ付加" is on and the rule is no rule.
    bool TakeChecksum();
    bool m_bChecksumOn = false;
    QString m_strChecksumRule = QStringLiteral("CRC-16/MODBUS:le");
    void OnInitDialog();
    // Creates the tables on the first call, then keeps the scenario table filling the window below the buttons.
    void OnSize();
    void OnSessionEvent(int code, LPARAM lParam);
    void OnClose();
    void OnPromptSettings();
    // The runner's reports, shown in the tables.
    void OnRowStarted(int row);
    void OnSendFileLoaded(const QList<QByteArray> &lines);
    void OnResultChanged(int row, const QString &text);
    void OnRunFinished(bool aborted);
    // Commits the edit in progress and copies the table's rows into `scenario`.
    void TableToScenario(CBatchScenario *scenario) const;
    void ShowInformation(const QString &text);
    void ShowOpenError(const QString &path);
    QPushButton *AddButton(int id, const char *text, int x, int y);

    bool m_bWindow = false;
    QFont m_font;  // the template's dialog font
    CBatchGrid *m_pScenarioGrid = nullptr;
    CBatchGrid *m_pFileGrid = nullptr;
    CBatchRunner m_runner;
    // The response times of the last run, summed up below the buttons (the rows' lines as its tip).
    CBatchReport m_report{&m_runner, QString()};
    QLabel *m_pSummary = nullptr;
    void ShowSummary();
};
