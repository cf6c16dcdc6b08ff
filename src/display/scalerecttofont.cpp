#include "display/scalerecttofont.h"

#include <cstdlib>

void ScaleRectToFont(QnRect &rect, int fontHeight)
{
    if (fontHeight == -12)
        return;
    const double f = std::abs(fontHeight) / 12.0;
    // Horizontal values carry an extra 6.5 % for every height but -12 (also for +12, where f is 1).
    rect.left = static_cast<int>(rect.left * f * 1.065);
    rect.top = static_cast<int>(rect.top * f);
    rect.right = static_cast<int>(rect.right * f * 1.065);
    rect.bottom = static_cast<int>(rect.bottom * f);
}
