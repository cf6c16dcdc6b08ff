// Printing the History: the lines as they are shown (or the dump), in the window's typeface at a
// size for paper, a line longer than the page going on in the next printed line.
#include "display/ui/cmessagewnd.h"

#include "platform/prompts.h"

#include <QAction>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

namespace {

constexpr qreal kPrintPoints = 9;

}  // namespace

void CMessageWnd::CreatePrintTools()
{
    m_pPrint = new QAction(QStringLiteral("印刷..."), this);
    m_pPrint->setShortcut(QKeySequence::Print);
    m_pPrint->setShortcutContext(Qt::WindowShortcut);
    addAction(m_pPrint);
    connect(m_pPrint, &QAction::triggered, this, &CMessageWnd::Print);
}

bool CMessageWnd::Print()
{
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (PrintTo(&printer) >= 0)
        return true;
    Prompts::Instance().MessageBox(this, QStringLiteral("印刷できません。ﾌﾟﾘﾝﾀを確認してください。"), Prompts::AppTitle(),
                                   Prompts::Ok, Prompts::Exclamation);
    return false;
}

int CMessageWnd::PrintTo(QPrinter *printer) const
{
    QPainter painter;
    if (!painter.begin(printer))
        return -1;
    QFont font = m_font;
    font.setPointSizeF(kPrintPoints);
    painter.setFont(font);
    const QFontMetricsF metrics(font, printer);
    const QRectF page = printer->pageLayout().paintRectPixels(printer->resolution());
    const qreal lineHeight = qMax<qreal>(1, metrics.lineSpacing());
    const int linesPerPage = qMax(1, int(page.height() / lineHeight));
    const qreal charWidth = qMax<qreal>(1, metrics.horizontalAdvance(QLatin1Char('0')));
    const qsizetype perLine = qMax<qsizetype>(1, qsizetype(page.width() / charWidth));
    int pages = 1;
    int onPage = 0;
    const auto print = [&](const QString &text) {
        if (onPage == linesPerPage) {
            printer->newPage();
            ++pages;
            onPage = 0;
        }
        painter.drawText(QPointF(0, onPage * lineHeight + metrics.ascent()), text);
        ++onPage;
    };
    const QByteArray shown = ShownText();
    for (qsizetype start = 0; start < shown.size();) {
        qsizetype end = shown.indexOf('\n', start);
        if (end < 0)
            end = shown.size();
        const QString text = QString::fromUtf8(shown.constData() + start, end - start);
        for (qsizetype from = 0; from == 0 || from < text.size(); from += perLine)
            print(text.mid(from, perLine));
        start = end + 1;
    }
    return painter.end() ? pages : -1;
}
