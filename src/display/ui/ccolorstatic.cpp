#include "display/ui/ccolorstatic.h"

#include "display/ui/logfontheight.h"
#include "platform/ui/uifonts.h"

#include <QFontMetrics>
#include <QPainter>

CColorStatic::CColorStatic()
    : QFrame(nullptr)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
}

void CColorStatic::Create(const QFont *font, const QString &text, QnRect rect, COLORREF colour, QWidget *parent)
{
    if (m_bCreated)
        return;
    m_strText = text;
    m_crBack = colour;
    if (font)
        ScaleRectToFont(rect, LogFontHeight(*font, parent));
    setParent(parent);
    setGeometry(rect.ToQRect());
    m_font = LogFont(QString::fromUtf8(kFaceMsGothic), 11);
    show();
    m_bCreated = TRUE;
}

void CColorStatic::SetText(const QString &text)
{
    if (!m_bCreated)
        return;
    if (text == m_strText)
        return;  // the receive path sets the lamps for every telegram: repaint only a change
    m_strText = text;
    repaint();
}

void CColorStatic::SetColor(COLORREF colour)
{
    if (!m_bCreated)
        return;
    if (colour == m_crBack)
        return;
    m_crBack = colour;
    repaint();
}

void CColorStatic::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect client = contentsRect();
    painter.save();
    painter.setClipRect(client);
    painter.fillRect(client, ColorFromRef(m_crBack));
    painter.setFont(m_font);
    painter.setPen(Qt::black);
    // The text's top sits 2 pixels below the client's top; whatever passes the right edge is cut.
    painter.drawText(QPoint(client.left(), client.top() + 2 + QFontMetrics(m_font).ascent()), m_strText);
    painter.restore();
    drawFrame(&painter);
}
