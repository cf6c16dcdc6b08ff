// Converts a dialog template's dialog units to pixels with the metrics of the dialog's font.
#pragma once

#include <QRect>
#include <QSize>

class QFont;

// Dialog base units of a font: average character width and height in pixels.
QSize DialogBaseUnits(const QFont &font);
// x·avgCharWidth/4, y·height/8.
QRect DluToPixels(const QFont &font, int x, int y, int width, int height);
QSize DluToPixels(const QFont &font, int width, int height);
