#include "platform/ui/screenfit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <QWindow>
#include <QWidget>

#include <algorithm>

namespace {

// Pixels of the title bar that must lie on a screen for the window to be moved by it.
constexpr int kTitleGrip = 40;

qint64 Overlap(const QRect &a, const QRect &b)
{
    const QRect common = a.intersected(b);
    return common.isEmpty() ? 0 : qint64(common.width()) * common.height();
}

}  // namespace

QRect FitFrameToScreens(const QRect &frame, const QList<QRect> &areas, int titleHeight)
{
    if (areas.isEmpty())
        return frame;
    const auto titleBar = [titleHeight](const QRect &rect) {
        return QRect(rect.topLeft(), QSize(rect.width(), std::min(titleHeight, rect.height())));
    };
    // The screen that holds most of the title bar, else most of the frame, else the primary one.
    qsizetype best = 0;
    for (const QRect &part : {titleBar(frame), frame}) {
        qint64 most = 0;
        for (qsizetype i = 0; i < areas.size(); ++i) {
            if (const qint64 overlap = Overlap(part, areas.at(i)); overlap > most) {
                most = overlap;
                best = i;
            }
        }
        if (most > 0)
            break;
    }
    const QRect area = areas.at(best);
    QRect fitted(frame.topLeft(), frame.size().boundedTo(area.size()));
    const QRect title = titleBar(fitted);
    const QRect shown = title.intersected(area);
    const bool titleOnScreen = !shown.isEmpty() && shown.height() == title.height()
                            && shown.width() >= std::min(kTitleGrip, title.width());
    if (fitted.size() == frame.size() && titleOnScreen)
        return frame;
    fitted.moveLeft(std::clamp(fitted.left(), area.left(), area.right() + 1 - fitted.width()));
    fitted.moveTop(std::clamp(fitted.top(), area.top(), area.bottom() + 1 - fitted.height()));
    return fitted;
}

void FitToScreen(QWidget *window)
{
    if (!window || !window->isWindow()
        || (window->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    QList<QRect> areas;
    QScreen *primary = QGuiApplication::primaryScreen();
    if (primary)
        areas << primary->availableGeometry();
    for (QScreen *screen : QGuiApplication::screens()) {
        if (screen != primary)
            areas << screen->availableGeometry();
    }
    // The frame's margins are the window system's, known once the native window exists; where it
    // has not told them yet, the style's title bar height stands in for the top one.
    window->winId();
    const int styleTitle = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    QMargins margins = window->windowHandle() ? window->windowHandle()->frameMargins() : QMargins();
    if (margins.isNull() && !window->windowFlags().testFlag(Qt::FramelessWindowHint))
        margins.setTop(styleTitle);
    // A window's position is its frame's.
    const QRect frame(window->pos(), window->size().grownBy(margins));
    const QRect fitted = FitFrameToScreens(frame, areas, std::max(margins.top(), styleTitle));
    if (fitted == frame)
        return;
    window->resize(fitted.size().shrunkBy(margins));
    MoveFrame(window, fitted.topLeft());
}

void MoveFrame(QWidget *window, const QPoint &corner)
{
    window->move(corner);
    // Once the native window exists, move() places the client area by the frame it knows, none
    // before the window manager has framed it; the window's own frame position is kept as asked.
    QWindow *handle = window->isWindow() ? window->windowHandle() : nullptr;
    if (handle && !handle->isVisible())
        handle->setFramePosition(corner);
}
