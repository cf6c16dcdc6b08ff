// Keeps top-level windows within reach: no larger than the available area of a screen, and with
// the title bar on a screen, whatever the stored placement, the screen layout or the scale.
#pragma once

#include <QList>
#include <QRect>

class QWidget;

// Where a window's frame goes so that it fits `areas` (the screens' available areas, the primary
// first): a frame larger than its screen's area shrinks to it, and a frame whose title bar
// (`titleHeight` pixels at the top) is not on an area moves onto the area that holds most of it.
// Any other frame stays as it is.
QRect FitFrameToScreens(const QRect &frame, const QList<QRect> &areas, int titleHeight);

// Moves and resizes a top-level window by FitFrameToScreens over the available screens: its
// contents lay themselves out (and scroll) in the smaller size. A maximized, minimized or
// full-screen window is left to the window system.
void FitToScreen(QWidget *window);

// Puts the top-left corner of `window`'s frame at `corner`, also before a window manager has framed
// it (a plain move would put the client area there, and the frame a title bar higher).
void MoveFrame(QWidget *window, const QPoint &corner);
