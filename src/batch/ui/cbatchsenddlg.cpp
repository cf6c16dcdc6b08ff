// The batch send window itself: template, tables, CSV file, closing, and its message map.
#include "batch/ui/cbatchsenddlg.h"

#include "res/appresources.h"
#include "batch/ui/cbatchgrid.h"
#include "batch/ui/cpromptsettingdlg.h"
#include "batch/ui/gridediting.h"
#include "platform/cchecksumrule.h"
#include "platform/chexconv.h"
#include "platform/cp932.h"
#include "platform/ui/dialogunits.h"
#include "platform/ui/screenfit.h"
#include "platform/ui/uifonts.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>

namespace {

// Captions of the two tables; each column is as wide as its caption, trailing blanks included.
QString ScenarioLayout()
{
    return QStringLiteral("No.|接続先ｱﾄﾞﾚｽ       |接続先ﾎﾟｰﾄ|送信ﾌｧｲﾙ名") + QString(67, QLatin1Char(' ')) +
           QStringLiteral("|結果") + QString(12, QChar(0x3000));
}

QString FileLineLayout()
{
    return QStringLiteral("No.|ﾌｧｲﾙ内容") + QString(73, QLatin1Char(' '));
}

// Font, counts, captions and fixed parts of a table, then its row numbers.
void SetUpTable(CBatchGrid *grid, int cols, int rows, const QString &layout)
{
    grid->SetFontName(QString::fromUtf8(kFaceMsGothic));
    grid->SetColCount(cols);
    grid->SetRowCount(rows);
    grid->SetHeaderLayout(layout);
    grid->SetEditAllowed(TRUE);
    grid->SetFixedColCount(1);
    grid->SetFixedRowCount(1);
    grid->SetBackColor(0xFFFFFF);
    for (int row = 1; row < rows; ++row)
        grid->SetCellText(row, 0, QString::number(row));
}

}  // namespace

CBatchSendDlg::CBatchSendDlg()
    : CMsgWnd<QDialog>(nullptr)
{
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    connect(&m_runner, &CBatchRunner::RowStarted, this, &CBatchSendDlg::OnRowStarted);
    connect(&m_runner, &CBatchRunner::SendFileLoaded, this, &CBatchSendDlg::OnSendFileLoaded);
    connect(&m_runner, &CBatchRunner::ResultChanged, this, &CBatchSendDlg::OnResultChanged);
    connect(&m_runner, &CBatchRunner::Finished, this, &CBatchSendDlg::OnRunFinished);
}

CBatchSendDlg::~CBatchSendDlg() = default;

BOOL CBatchSendDlg::Create(QObject *view, CQnDoc *document, int kind)
{
    if (m_bWindow)
        return FALSE;
    m_pView = view;
    m_nKind = kind;
    m_runner.Attach(view, document);

    m_font = DialogFont(QString::fromUtf8(kFaceMsPGothic), 9);
    setFont(m_font);
    setWindowTitle(QStringLiteral("一括送信(TCP/IPｸﾗｲｱﾝﾄ用)"));
    resize(DluToPixels(m_font, 523, 285));
    AddButton(IDC_READ_CSV, "CSVﾌｧｲﾙ読込み", 7, 7);
    AddButton(IDC_WRITE_CSV, "CSVﾌｧｲﾙ書込み", 68, 7);
    AddButton(IDC_START, "一括送信開始", 138, 7);
    AddButton(IDC_ABORT, "中止", 198, 7);
    AddButton(IDC_PROMPT_SETTINGS, "ﾌﾟﾛﾝﾌﾟﾄ判定設定", 264, 7);
    AddChecksumChoice();
    m_pSummary = new QLabel(this);
    m_pSummary->setGeometry(DluToPixels(m_font, 7, 23, 509, 9));
    m_pSummary->show();
    ShowSummary();

    // The tables exist before the dialog's own initialisation, as when the first size message creates them.
    OnSize();
    OnInitDialog();
    m_bWindow = true;
    UpdateControls();
    FitToScreen(this);
    show();
    return TRUE;
}

void CBatchSendDlg::DestroyWindow()
{
    if (!m_bWindow)
        return;
    KillTimer(TIMER_BATCH_BUTTONS);
    hide();
    qDeleteAll(findChildren<QWidget *>(Qt::FindDirectChildrenOnly));
    m_pScenarioGrid = nullptr;
    m_pFileGrid = nullptr;
    m_pSummary = nullptr;
    m_runner.Reset();
    m_report.Clear();
    m_bWindow = false;
}

QPushButton *CBatchSendDlg::AddButton(int id, const char *text, int x, int y)
{
    auto *button = new QPushButton(QString::fromUtf8(text), this);
    button->setObjectName(QString::number(id));
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setGeometry(DluToPixels(m_font, x, y, 59, 14));
    button->show();
    switch (id) {
    case IDC_READ_CSV: connect(button, &QPushButton::clicked, this, &CBatchSendDlg::ReadCsv); break;
    case IDC_WRITE_CSV: connect(button, &QPushButton::clicked, this, &CBatchSendDlg::WriteCsv); break;
    case IDC_START: connect(button, &QPushButton::clicked, this, &CBatchSendDlg::StartBatch); break;
    case IDC_ABORT: connect(button, &QPushButton::clicked, this, &CBatchSendDlg::AbortBatch); break;
    case IDC_PROMPT_SETTINGS:
        connect(button, &QPushButton::clicked, this, &CBatchSendDlg::OnPromptSettings);
        break;
    default: break;
    }
    return button;
}

QPushButton *CBatchSendDlg::GetDlgItem(int id) const
{
    return findChild<QPushButton *>(QString::number(id), Qt::FindDirectChildrenOnly);
}

void CBatchSendDlg::AddChecksumChoice()
{
    auto *on = new QCheckBox(QStringLiteral("ﾁｪｯｸｻﾑ付加"), this);
    on->setObjectName(QString::number(IDC_CHECKSUM_ON));
    on->setChecked(m_bChecksumOn);
    on->setGeometry(DluToPixels(m_font, 330, 9, 55, 10));
    auto *rule = new QComboBox(this);
    rule->setObjectName(QString::number(IDC_CHECKSUM_RULE));
    rule->setEditable(true);
    rule->addItems(QStringList{QStringLiteral("CRC-16/MODBUS:le"), QStringLiteral("LRC/ASCII:from=1,before=0D0A")} +
                   CChecksum::Names());
    rule->setCurrentText(m_strChecksumRule);
    rule->setToolTip(QStringLiteral("各行 (CR を含む) に付けます。名前[:from=n,end=m,before=16進,le|be,ascii|bin]"));
    rule->setGeometry(DluToPixels(m_font, 388, 7, 128, 14));
    connect(on, &QCheckBox::toggled, this, [this](bool checked) { m_bChecksumOn = checked; });
    connect(rule, &QComboBox::currentTextChanged, this, [this](const QString &text) { m_strChecksumRule = text; });
    on->show();
    rule->show();
}

bool CBatchSendDlg::TakeChecksum()
{
    std::shared_ptr<const CChecksumRule> rule;
    if (m_bChecksumOn) {
        QString error;
        rule = CChecksumRule::Parse(m_strChecksumRule, &error);
        if (!rule) {
            Prompts::Instance().MessageBox(this, error, Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
            return false;
        }
    }
    m_runner.SetChecksum(rule);
    return true;
}

void CBatchSendDlg::OnInitDialog()
{
    setWindowIcon(AppIcon());
    SetUpTable(m_pScenarioGrid, 5, kScenarioRows + 1, ScenarioLayout());
    m_pScenarioGrid->MarkRow(1);
    m_pFileGrid->hide();
    SetUpTable(m_pFileGrid, 2, kFileLines + 1, FileLineLayout());
    SetTimer(TIMER_BATCH_BUTTONS, kTimerMilliseconds);
}

void CBatchSendDlg::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (m_bWindow)
        OnSize();
}

void CBatchSendDlg::OnSize()
{
    QRect area = rect();
    area.setTop(area.top() + kButtonStrip);
    if (!m_bWindow && !m_pScenarioGrid) {
        m_pScenarioGrid = new CBatchGrid(this, area.x(), area.y(), area.width(), area.height(), 5, TRUE, TRUE);
        m_pFileGrid = new CBatchGrid(this, area.x(), area.y(), area.width(), area.height(), 10, FALSE, TRUE);
        // Double-clicking an empty send-file cell picks the file (after the click that ends there).
        m_pScenarioGrid->SetFilePickColumn(COL_FILE);
        connect(m_pScenarioGrid, &CBatchGrid::FilePickRequested, this,
                [this](int row, int) { PickSendFile(row); }, Qt::QueuedConnection);
    }
    if (m_pScenarioGrid) {
        m_pScenarioGrid->setGeometry(area);
        m_pScenarioGrid->show();
    }
}

void CBatchSendDlg::OnTimer(int id)
{
    if (id == TIMER_BATCH_BUTTONS)
        UpdateControls();
}

void CBatchSendDlg::UpdateControls()
{
    const bool running = IsRunning();
    for (int id : {IDC_READ_CSV, IDC_WRITE_CSV, IDC_PROMPT_SETTINGS}) {
        if (QPushButton *button = GetDlgItem(id))
            button->setEnabled(!running);
    }
    for (int id : {IDC_CHECKSUM_ON, IDC_CHECKSUM_RULE}) {
        if (auto *choice = findChild<QWidget *>(QString::number(id), Qt::FindDirectChildrenOnly))
            choice->setEnabled(!running);
    }
    bool ready = false;
    if (m_pScenarioGrid) {
        ready = !m_pScenarioGrid->GetCellText(1, COL_ADDRESS).isEmpty() &&
                !m_pScenarioGrid->GetCellText(1, COL_PORT).isEmpty() &&
                !m_pScenarioGrid->GetCellText(1, COL_FILE).isEmpty();
        const BOOL editable = running ? FALSE : TRUE;
        if (m_pScenarioGrid->GetEditAllowed() != editable)
            m_pScenarioGrid->SetEditAllowed(editable);
    }
    if (QPushButton *start = GetDlgItem(IDC_START))
        start->setEnabled(!running && ready);
    // The abort button stays available while an abort waits for its row, so that a row whose
    // answers never come can still be ended.
    if (QPushButton *abort = GetDlgItem(IDC_ABORT))
        abort->setEnabled(running);
}

LRESULT CBatchSendDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SESSION_EVENT:
        OnSessionEvent(static_cast<int>(wParam), lParam);
        return 0;
    default:
        return 0;
    }
}

void CBatchSendDlg::OnSessionEvent(int code, LPARAM lParam)
{
    const auto cell = static_cast<std::uint32_t>(lParam);
    const int row = GetWordHalf(cell, 0);
    const int col = GetWordHalf(cell, 1);
    switch (code) {
    case EV_PROMPT:
    case EV_CLOSED:
        m_runner.OnSessionEvent(code);
        break;
    case EV_GRID_CONTEXT_MENU:
        if (!IsRunning() && m_pScenarioGrid) {
            // On the send-file column the menu also offers to pick the file of the row under the pointer.
            const QPoint point = CBatchGrid::ScreenPointFromParam(lParam);
            int pickRow = 0;
            int pickCol = 0;
            const bool filePick = m_pScenarioGrid->CellAt(m_pScenarioGrid->viewport()->mapFromGlobal(point), &pickRow,
                                                          &pickCol) &&
                                  pickCol == COL_FILE;
            const int command = TrackGridMenu(point, this, filePick);
            if (command == ID_GRID_PICK_FILE)
                PickSendFile(pickRow);
            else if (m_pScenarioGrid)
                DoGridCommand(m_pScenarioGrid, command);
        }
        break;
    case EV_GRID_DELETE_KEY:
        if (m_pScenarioGrid)
            m_pScenarioGrid->SetCellText(row, col, QString());
        break;
    case EV_GRID_COPY_KEY:
        if (m_pScenarioGrid)
            SetClipboardText(m_pScenarioGrid->GetCellText(row, col));
        break;
    case EV_GRID_PASTE_KEY:
        if (m_pScenarioGrid)
            m_pScenarioGrid->SetCellText(row, col, SingleCellText(GetClipboardText()));
        break;
    default:
        break;  // row marked, click, cell notification and anything else: nothing to do
    }
}

// ---- CSV file --------------------------------------------------------------------------------

QString CBatchSendDlg::AskCsvPath(bool open)
{
    Prompts::FileRequest request;
    request.open = open;
    request.filter = QStringLiteral("ｶﾝﾏ区切りﾃｷｽﾄﾌｧｲﾙ (*.csv)|*.csv|全てのﾌｧｲﾙ (*.*)|*.*||");
    request.defaultExtension = QStringLiteral("csv");
    request.overwritePrompt = true;
    request.kind = request.defaultExtension;
    return Prompts::AskFileName(this, request);
}

void CBatchSendDlg::PickSendFile(int row)
{
    if (IsRunning() || !m_pScenarioGrid || row < 1 || row > kScenarioRows)
        return;
    Prompts::FileRequest request;
    request.open = true;
    request.filter = QStringLiteral("全てのﾌｧｲﾙ (*.*)|*.*|ﾃｷｽﾄﾌｧｲﾙ (*.txt)|*.txt||");
    request.initialName = m_pScenarioGrid->GetCellText(row, COL_FILE);
    request.kind = QStringLiteral("send");
    const QString path = Prompts::AskFileName(this, request);
    if (path.isEmpty() || !m_pScenarioGrid || IsRunning())
        return;
    m_pScenarioGrid->CommitEdit();
    m_pScenarioGrid->SetCellText(row, COL_FILE, path);
}

void CBatchSendDlg::ShowOpenError(const QString &path)
{
    Prompts::Instance().MessageBox(this, path + QStringLiteral(" Open err"), Prompts::AppTitle(), Prompts::Ok,
                                   Prompts::Exclamation);
}

void CBatchSendDlg::ReadCsv()
{
    if (IsRunning() || !m_pScenarioGrid)
        return;
    const QString path = AskCsvPath(true);
    if (path.isEmpty())
        return;
    CBatchScenario scenario;
    // The table is replaced only by a file that could be opened: a failed open keeps what was typed.
    if (!scenario.ReadCsv(path)) {
        ShowOpenError(path);
        return;
    }
    m_pScenarioGrid->CommitEdit();
    m_pScenarioGrid->ClearCells(CvsFlexGrid::kClearScrollable, CvsFlexGrid::kClearEverything);
    m_pFileGrid->ClearCells(CvsFlexGrid::kClearScrollable, CvsFlexGrid::kClearEverything);
    for (int row = 1; row <= kScenarioRows; ++row) {
        for (int col = COL_ADDRESS; col <= COL_RESULT; ++col)
            m_pScenarioGrid->SetCellText(row, col, scenario.Cell(row, col));
    }
    m_pScenarioGrid->MarkRow(1);
}

void CBatchSendDlg::WriteCsv()
{
    if (IsRunning() || !m_pScenarioGrid)
        return;
    const QString path = AskCsvPath(false);
    if (path.isEmpty())
        return;
    CBatchScenario scenario;
    TableToScenario(&scenario);
    if (!scenario.WriteCsv(path))
        ShowOpenError(path);
}

void CBatchSendDlg::TableToScenario(CBatchScenario *scenario) const
{
    m_pScenarioGrid->CommitEdit();
    for (int row = 1; row <= kScenarioRows; ++row) {
        for (int col = COL_ADDRESS; col <= COL_RESULT; ++col)
            scenario->SetCell(row, col, m_pScenarioGrid->GetCellText(row, col));
    }
}

// ---- closing ---------------------------------------------------------------------------------

void CBatchSendDlg::reject()
{
    OnClose();
}

void CBatchSendDlg::closeEvent(QCloseEvent *event)
{
    // The user's close box comes from the window system. A close the program starts itself (the
    // application quitting) is let through, or the window would hold the application open.
    if (!event->spontaneous()) {
        event->accept();
        return;
    }
    event->ignore();
    OnClose();
}

void CBatchSendDlg::OnClose()
{
    if (!m_bWindow)
        return;
    if (IsRunning()) {
        AbortBatch();
        return;
    }
    const int answer = Prompts::Instance().MessageBox(
        this,
        QStringLiteral("画面を閉じますがよろしいですか？\n\n「CSVﾌｧｲﾙ書込み」を行っていない場合は作成した内容は破棄されます。"),
        Prompts::AppTitle(), Prompts::YesNo, Prompts::Question);
    if (answer != IDYES || IsRunning())
        return;
    // The tables go at once; the view then destroys the window. A close can arrive from a key
    // the table passed on, so the tables are deleted once that event is over.
    for (CBatchGrid *grid : {m_pScenarioGrid, m_pFileGrid}) {
        if (grid) {
            grid->hide();
            grid->deleteLater();
        }
    }
    m_pScenarioGrid = nullptr;
    m_pFileGrid = nullptr;
    if (m_pView)
        PostMessage(m_pView, WM_CHILD_CLOSE, static_cast<WPARAM>(m_nKind), 0);
    else
        DestroyWindow();
}

void CBatchSendDlg::OnPromptSettings()
{
    if (IsRunning())
        return;
    CPromptSettingDlg dialog(this);
    dialog.exec();
}
