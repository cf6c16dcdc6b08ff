#include "batch/ui/cflexgridheader.h"

#include <QBrush>
#include <QPainter>

CFlexGridHeader::CFlexGridHeader(Qt::Orientation orientation, QWidget *parent) : QHeaderView(orientation, parent)
{
}

void CFlexGridHeader::PaintCell(QPainter *painter, const QRect &rect, const QString &text, Qt::Alignment alignment,
                                const QColor &back, const QPalette &palette)
{
    painter->save();
    painter->fillRect(rect, back);
    painter->setPen(palette.color(QPalette::Dark));
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    painter->setPen(palette.color(QPalette::ButtonText));
    painter->drawText(rect.adjusted(kTextInset, 0, -kTextInset, 0), int(alignment) | Qt::TextSingleLine, text);
    painter->restore();
}

void CFlexGridHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    if (!rect.isValid() || !model())
        return;
    const QVariant background = model()->headerData(logicalIndex, orientation(), Qt::BackgroundRole);
    const QVariant alignment = model()->headerData(logicalIndex, orientation(), Qt::TextAlignmentRole);
    const QColor back = background.canConvert<QBrush>() && qvariant_cast<QBrush>(background).style() != Qt::NoBrush
                            ? qvariant_cast<QBrush>(background).color()
                            : palette().color(QPalette::Button);
    PaintCell(painter, rect, model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString(),
              alignment.isValid() ? Qt::Alignment(alignment.toInt()) : Qt::AlignCenter, back, palette());
}
