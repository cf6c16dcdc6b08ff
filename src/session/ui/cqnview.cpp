#include "session/ui/cqnview.h"

#include "res/commandids.h"
#include "document/cqndoc.h"
#include "batch/ui/cbatchsenddlg.h"
#include "display/ui/ccommandsenddlg.h"
#include "display/ui/cmessagewnd.h"
#include "session/ui/cclientlistdlg.h"
#include "session/ui/ccommandpanelwnd.h"
#include "session/ui/cplotwnd.h"
#include "session/ui/cstatswnd.h"
#include "net/cendpoint.h"
#include "platform/cp932.h"
#include "platform/prompts.h"
#include "platform/ui/uifonts.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace {

constexpr COLORREF kGrey = 0x808080;

}  // namespace

CQnView::CQnView(QWidget *parent)
    : CMsgWnd<QWidget>(parent),
      m_pRecvBuf(std::make_unique<unsigned char[]>(QN_BUFFER_SIZE)),
      m_pLogBuf(std::make_unique<char[]>(QN_BUFFER_SIZE)),
      m_pHistoryWnd(std::make_unique<CMessageWnd>()),
      m_pLogWnd(std::make_unique<CMessageWnd>()),
      m_pBatchDlg(std::make_unique<CBatchSendDlg>()),
      m_pCommandDlg(std::make_unique<CCommandSendDlg>())
{
    setMinimumSize(10, 10);
    setFocusPolicy(Qt::StrongFocus);
    // The view font: "ＭＳ Ｐゴシック", -12 at 96 pixels per inch, in proportion elsewhere.
    m_fontView = LogFont(QString::fromUtf8(kFaceMsPGothic), -12 * LogicalDpiX(this) / 96);
    m_pStatsWnd = std::make_unique<CStatsWnd>(&m_traffic, [this] { return EndpointGauges(); });
    connect(m_pCommandDlg.get(), &CCommandSendDlg::ClientListAsked, this, &CQnView::OpenClientList);
    // Command Send's line end is the document's.
    connect(m_pCommandDlg.get(), &CCommandSendDlg::LineEndChanged, this, [this](CLineEnd::Kind kind) {
        if (!m_pDocument)
            return;
        m_pDocument->SetSlotString(CQnDoc::SLOT_SEND_LINE_END, CLineEnd::Text(kind));
        m_pDocument->SetModifiedFlag();
    });
    LoadCommands();
    connect(m_pHistoryWnd.get(), &CMessageWnd::SequenceRequested, this, &CQnView::RecordHistorySequence);
}

CQnView::~CQnView()
{
    // The capture ends before anything else goes, and without a word to the frame, which may be on
    // its way out already. The members go in the reverse of their declaration order.
    const QSignalBlocker quiet(this);
    StopCapture();
}

void CQnView::OnInitialUpdate(CQnDoc *document)
{
    if (!m_bInitialised)
        OnFirstInitialUpdate();
    if (IsCommandEnabled(ID_FILE_MRU_FILE1)) {
        m_nameLookup.Cancel();  // a connect waiting for a name of the old document's
        m_pDocument = document;
        m_nSocketType = m_pDocument ? m_pDocument->SocketType() : TYPE_UDP;
        UseEndpointFor(m_nSocketType);
        ShowType(m_nSocketType);
        ShowStatus(m_nState);
    }
    // The rules are the document's own: they follow every New and Open, in any state.
    if (document && document == m_pDocument) {
        CLineEnd::Kind lineEnd = CLineEnd::None;
        CLineEnd::Parse(m_pDocument->GetSlotString(CQnDoc::SLOT_SEND_LINE_END), &lineEnd);
        m_pCommandDlg->SetLineEnd(lineEnd);
        LoadReplyRules();
        LoadCommands();
        LoadChannels();
    }
    update();
    Q_EMIT CommandStateChanged();
}

void CQnView::OnFirstInitialUpdate()
{
    m_stRecvLamp.Create(nullptr, QStringLiteral("R"), QnRect{240, 2, 248, 20}, kGrey, this);
    m_stSendLamp.Create(nullptr, QStringLiteral("S"), QnRect{250, 2, 258, 20}, kGrey, this);
    m_stStatus.Create(&m_fontView, QString(), QnRect{2, 2, 110, 20}, kGrey, this);
    m_stType.Create(&m_fontView, QString(), QnRect{120, 2, 230, 20}, kGrey, this);
    CreateLineLamps();

    UseEndpointFor(m_nSocketType);
    m_pLogWnd->Create(this, KIND_LOG);
    m_pLogWnd->setEnabled(true);
    m_pLogWnd->setWindowTitle(QStringLiteral("ﾛｸﾞ"));
    m_pHistoryWnd->Create(this, KIND_HISTORY);
    m_pHistoryWnd->setEnabled(true);
    m_pHistoryWnd->setWindowTitle(QStringLiteral("送受信履歴"));
    ConnectTrace();
    m_bInitialised = true;
}

LRESULT CQnView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SESSION_EVENT:
        return OnSessionEvent(wParam, lParam);
    case WM_SOCKET_LOG:
        // The socket wrote one zero-terminated line into the shared buffer just before sending this.
        m_pLogBuf[QN_BUFFER_SIZE - 1] = '\0';
        {
            const QString line = FromCp932(QByteArrayView(m_pLogBuf.get()));
            if (!m_bReconnectAttempt)  // an attempt of a reconnect series writes no line of its own
                m_pLogWnd->AddLine(line);
        }
        return 0;
    case WM_UDP_RECEIVE:
        PostMessage(this, WM_SESSION_EVENT, EV_RECEIVE, static_cast<LPARAM>(wParam), MessageSource());
        return 0;
    case WM_CHILD_CLOSE:
        OnChildClose(static_cast<ToolWindowKind>(wParam));
        return 0;
    default:
        return 0;
    }
}

bool CQnView::IsStaleNotice(std::uint64_t serial) const
{
    // The socket was closed since (a disconnect, a reconnect, another client).
    return !(m_pEndpoint && m_pEndpoint->IsNoticeFrom(serial));
}

void CQnView::OnChildClose(ToolWindowKind kind)
{
    switch (kind) {
    case KIND_COMMAND_SEND:
        if (m_pCommandDlg->HasWindow())
            m_pCommandDlg->DestroyWindow();
        break;
    case KIND_LOG:
        if (m_pLogWnd->isVisible())
            m_pLogWnd->hide();
        break;
    case KIND_HISTORY:
        if (m_pHistoryWnd->isVisible())
            m_pHistoryWnd->hide();
        break;
    case KIND_BATCH_SEND:
        CloseBatchWindow();
        break;
    }
    Q_EMIT CommandStateChanged();
}

void CQnView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    OnDraw(&painter, event->rect());
}

void CQnView::OnDraw(QPainter *painter, const QRect &area) const
{
    painter->fillRect(area, palette().color(QPalette::Button));
}

bool CQnView::PrintOn(QPrinter *printer) const
{
    QPainter painter;
    if (!painter.begin(printer))
        return false;
    // Screen pixels to printer pixels, so that the drawing keeps the size it has on the screen.
    const qreal scale = printer->logicalDpiX() / qreal(qMax(1, logicalDpiX()));
    painter.scale(scale, scale);
    OnDraw(&painter, rect());
    return painter.end();
}

QPrinter *CQnView::Printer()
{
    if (!m_pPrinter)
        m_pPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return m_pPrinter.get();
}

void CQnView::OnFilePrint(bool withDialog)
{
    QPrinter *printer = Printer();
    if (withDialog) {
        QPrintDialog dialog(printer, this);
        if (dialog.exec() != QDialog::Accepted)
            return;
    }
    if (!PrintOn(printer))
        Prompts::Instance().MessageBox(this, QStringLiteral("印刷できません。ﾌﾟﾘﾝﾀを確認してください。"),
                                       Prompts::AppTitle(), Prompts::Ok, Prompts::Exclamation);
}

void CQnView::OnFilePrintPreview()
{
    QPrintPreviewDialog dialog(Printer(), this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter *printer) { PrintOn(printer); });
    dialog.exec();
}
