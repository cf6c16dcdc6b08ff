// The program's fonts: the Japanese face substitutions and fonts made from Windows-style descriptions.
#pragma once

#include "platform/qnwin.h"

#include <QColor>
#include <QFont>
#include <QString>

class QWidget;

// Maps "ＭＳ Ｐゴシック" to IPAPGothic and "ＭＳ ゴシック" to IPAGothic; call once before creating windows.
void InstallFontSubstitutions();

// A font from a LOGFONT-style height: negative = character height in pixels, positive = cell height.
QFont LogFont(const QString &face, int height, int weight = 400);

// A dialog template's font: face and size in points.
QFont DialogFont(const QString &face, int pointSize);

// Horizontal logical pixels per inch of the widget's screen (96 when there is no screen).
int LogicalDpiX(const QWidget *widget);

// 0x00BBGGRR to a colour.
QColor ColorFromRef(COLORREF colour);

extern const char *const kFaceMsPGothic;  // "ＭＳ Ｐゴシック"
extern const char *const kFaceMsGothic;   // "ＭＳ ゴシック"
