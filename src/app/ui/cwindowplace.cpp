#include "app/ui/cwindowplace.h"

#include "app/ui/cpersistentframe.h"
#include "platform/cinifile.h"
#include "platform/ui/screenfit.h"

#include <QCoreApplication>
#include <QEvent>
#include <QScreen>
#include <QWidget>

CWindowPlace::CWindowPlace(QWidget *window, const QString &section, FirstPlace firstPlace)
    : QObject(window), m_pWindow(window), m_strSection(section), m_fnFirstPlace(std::move(firstPlace))
{
}

CWindowPlace *CWindowPlace::Keep(QWidget *window, const QString &section, FirstPlace firstPlace)
{
    if (!window)
        return nullptr;
    auto *keeper = new CWindowPlace(window, section, std::move(firstPlace));
    window->installEventFilter(keeper);
    // A window still open when the program ends is where it was then.
    connect(qApp, &QCoreApplication::aboutToQuit, keeper, [keeper] {
        if (keeper->m_pWindow->isVisible())
            keeper->Save();
    });
    return keeper;
}

QPoint CWindowPlace::BesideFrame(const QWidget *frame, const QSize &size)
{
    const QRect outer = frame->frameGeometry();
    const QRect candidates[] = {
        QRect(QPoint(outer.right() + 1, outer.top()), size),
        QRect(QPoint(outer.left(), outer.bottom() + 1), size),
        QRect(QPoint(outer.left() - size.width(), outer.top()), size),
    };
    const QScreen *screen = frame->screen();
    if (screen) {
        for (const QRect &candidate : candidates) {
            if (screen->availableGeometry().contains(candidate))
                return candidate.topLeft();
        }
    }
    return candidates[0].topLeft();
}

void CWindowPlace::Save() const
{
    // The normal place, kept as the main frame keeps its own.
    CIniFile profile(CIniFile::ProfilePath());
    CPersistentFrame::StoreRect(profile, m_strSection, CPersistentFrame::NormalRect(m_pWindow));
}

void CWindowPlace::Restore() const
{
    const CIniFile profile(CIniFile::ProfilePath());
    if (const std::optional<CPersistentFrame::Rect> rect = CPersistentFrame::StoredRect(profile, m_strSection)) {
        const QSize size(rect->right - rect->left, rect->bottom - rect->top);
        // A window of fixed size keeps it; a stored size of nothing is not taken.
        if (m_pWindow->minimumSize() != m_pWindow->maximumSize() && size.width() > 0 && size.height() > 0)
            m_pWindow->resize(size);
        MoveFrame(m_pWindow, QPoint(rect->left, rect->top));
    } else if (m_fnFirstPlace) {
        MoveFrame(m_pWindow, m_fnFirstPlace(m_pWindow));
    } else {
        return;
    }
    FitToScreen(m_pWindow);
}

bool CWindowPlace::eventFilter(QObject *watched, QEvent *event)
{
    // Only the program's own showing and hiding: minimizing and restoring are the window system's.
    if (watched == m_pWindow && !event->spontaneous()) {
        if (event->type() == QEvent::Show)
            Restore();
        else if (event->type() == QEvent::Hide)
            Save();
    }
    return QObject::eventFilter(watched, event);
}
