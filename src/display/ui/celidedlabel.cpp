#include "display/ui/celidedlabel.h"

#include <QResizeEvent>

CElidedLabel::CElidedLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void CElidedLabel::SetFullText(const QString &text)
{
    m_strFull = text;
    setToolTip(text);
    setAccessibleDescription(text);
    Elide();
}

QSize CElidedLabel::minimumSizeHint() const
{
    // Room for a few characters; the rest is elided.
    return QSize(fontMetrics().averageCharWidth() * 8, QLabel::minimumSizeHint().height());
}

void CElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    Elide();
}

void CElidedLabel::Elide()
{
    const int room = contentsRect().width() - 2 * margin() - indent();
    setText(fontMetrics().elidedText(m_strFull, Qt::ElideRight, qMax(0, room)));
}
