// The LOGFONT-style height of a font, the inverse of LogFont() for character heights.
#pragma once

class QFont;
class QWidget;

// Negative character height in pixels: -pixelSize for a font sized in pixels, -MulDiv(points, dpi, 72)
// for one sized in points (dpi: the widget's screen, or the primary screen). A font made by LogFont()
// with a positive cell height reads back as the character height it was given (-(h·5/6)).
int LogFontHeight(const QFont &font, const QWidget *widget = nullptr);
