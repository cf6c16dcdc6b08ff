#include "session/cqnview.h"

#include "app/commandids.h"
#include "app/cqndoc.h"
#include "platform/prompts.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

CQnView::CQnView(QWidget *parent) : CMsgWnd<QWidget>(parent)
{
    setMinimumSize(10, 10);
    setFocusPolicy(Qt::StrongFocus);
}

CQnView::~CQnView() = default;

void CQnView::OnInitialUpdate(CQnDoc *document)
{
    m_pDocument = document;
    update();
    emit CommandStateChanged();
}

bool CQnView::IsCommandEnabled(int id) const
{
    switch (id) {
    // The connection commands need the session controller, which drives the sockets.
    case ID_SOCKET_CONNECT:
    case ID_SOCKET_DISCONNECT:
    case ID_SOCKET_SETTING:
    case ID_SOCKET_TYPE:
    case ID_LOOPBACK_ON:
    case ID_LOOPBACK_OFF:
    case ID_COMMAND_SEND:
    case ID_BATCH_SEND:
    case ID_VIEW_HISTORY:
    case ID_VIEW_LOG:
    case ID_CAPTURE_START:
    case ID_CAPTURE_STOP:
        return false;
    default:
        return true;
    }
}

bool CQnView::IsCommandChecked(int id) const
{
    if (id == ID_LOOPBACK_ON || id == ID_LOOPBACK_OFF)
        return !IsCommandEnabled(id);
    return false;
}

void CQnView::OnCommand(int id)
{
    if (!IsCommandEnabled(id))
        return;
    switch (id) {
    case ID_FILE_PRINT: OnFilePrint(true); break;
    case ID_FILE_PRINT_DIRECT: OnFilePrint(false); break;
    case ID_FILE_PRINT_PREVIEW: OnFilePrintPreview(); break;
    default: break;
    }
}

LRESULT CQnView::WindowProc(UINT, WPARAM, LPARAM)
{
    return 0;
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
