// Rectangles in the Windows form (right and bottom exclusive) and their scaling to a font's height.
#pragma once

#include <QRect>

// A rectangle as left, top, right, bottom; right and bottom lie just outside it.
struct QnRect
{
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    QRect ToQRect() const { return QRect(left, top, right - left, bottom - top); }
    static QnRect FromQRect(const QRect &r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }
    friend bool operator==(const QnRect &, const QnRect &) = default;
};

// Scales a rectangle laid out for a font of height -12 to a font of the given LOGFONT-style height:
// f = |height| / 12, horizontal values × f × 1.065, vertical values × f, each truncated toward zero.
// Height -12 leaves the rectangle as it is.
void ScaleRectToFont(QnRect &rect, int fontHeight);
