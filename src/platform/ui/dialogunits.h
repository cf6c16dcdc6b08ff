// Converts a dialog template's dialog units to pixels with the metrics of the dialog's font.
#pragma once

#include <QRect>
#include <QString>
#include <QSize>

class QFont;
class QKeyEvent;
class QPushButton;
class QWidget;

// Dialog base units of a font: average character width and height in pixels.
QSize DialogBaseUnits(const QFont &font);
// x·avgCharWidth/4, y·height/8.
QRect DluToPixels(const QFont &font, int x, int y, int width, int height);
QSize DluToPixels(const QFont &font, int width, int height);

// A push button of a dialog placed in dialog units of the dialog's font, named by its control id,
// never the default button (Enter does not press it).
QPushButton *AddDialogButton(QWidget *dialog, int id, const QString &text, int x, int y, int width = 50,
                             int height = 14);
// For dialogs that only their buttons close: accepts Enter and Escape (true) so that they do nothing.
bool SwallowEnterAndEscape(QKeyEvent *event);
