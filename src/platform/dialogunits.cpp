#include "platform/dialogunits.h"

#include <QFont>
#include <QFontMetrics>

QSize DialogBaseUnits(const QFont &font)
{
    const QFontMetrics metrics(font);
    // The Windows rule: the width of the 52 Latin letters, averaged and rounded.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize(qMax(1, (letters / 26 + 1) / 2), qMax(1, metrics.height()));
}

QRect DluToPixels(const QFont &font, int x, int y, int width, int height)
{
    const QSize base = DialogBaseUnits(font);
    const int left = x * base.width() / 4;
    const int top = y * base.height() / 8;
    const int right = (x + width) * base.width() / 4;
    const int bottom = (y + height) * base.height() / 8;
    return QRect(left, top, right - left, bottom - top);
}

QSize DluToPixels(const QFont &font, int width, int height)
{
    const QSize base = DialogBaseUnits(font);
    return QSize(width * base.width() / 4, height * base.height() / 8);
}
