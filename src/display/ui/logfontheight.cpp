#include "display/ui/logfontheight.h"

#include "platform/ui/uifonts.h"

#include <QFont>
#include <QWidget>

#include <cmath>

int LogFontHeight(const QFont &font, const QWidget *widget)
{
    if (font.pixelSize() > 0)
        return -font.pixelSize();
    const double points = font.pointSizeF();
    if (points <= 0)
        return 0;
    // MulDiv rounds to the nearest integer.
    return -static_cast<int>(std::lround(points * LogicalDpiX(widget) / 72.0));
}
