#include "app/ui/cpersistentframe.h"

#include "platform/cinifile.h"
#include "platform/ui/screenfit.h"

#include <climits>

namespace {

const QString kSection = QStringLiteral("Window size");
const QString kRectKey = QStringLiteral("Rect");
const QString kIconKey = QStringLiteral("icon");
const QString kMaxKey = QStringLiteral("max");

}  // namespace

CPersistentFrame::CPersistentFrame(QWidget *parent) : QMainWindow(parent) {}

CPersistentFrame::~CPersistentFrame()
{
    if (!m_bFirstTime)
        SavePlacement();
}

void CPersistentFrame::ActivateFrame()
{
    if (m_bFirstTime) {
        m_bFirstTime = false;
        RestorePlacement();
        return;
    }
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void CPersistentFrame::RestorePlacement()
{
    const CIniFile profile(CIniFile::ProfilePath());
    const Rect rect = StoredRect(profile, kSection).value_or(kDefaultRect);
    const bool icon = profile.GetInt(kSection, kIconKey, 0) != 0;
    const bool max = profile.GetInt(kSection, kMaxKey, 0) != 0;

    // The stored rectangle is used as read as long as the title bar is on a screen and the window
    // fits the screen: its corner is the window frame's, its size the client area's (the frame's
    // size is the window manager's). A profile from another screen layout is brought into reach.
    move(rect.left, rect.top);
    resize(rect.right - rect.left, rect.bottom - rect.top);
    FitToScreen(this);
    if (icon) {
        // Minimized without taking the focus; restoring brings back the maximized state if it had it.
        setAttribute(Qt::WA_ShowWithoutActivating, true);
        setWindowState(max ? (Qt::WindowMinimized | Qt::WindowMaximized) : Qt::WindowMinimized);
        show();
        setAttribute(Qt::WA_ShowWithoutActivating, false);
    } else if (max) {
        showMaximized();
    } else {
        showNormal();
    }
}

void CPersistentFrame::SavePlacement()
{
    const Qt::WindowStates state = windowState();
    const bool icon = state.testFlag(Qt::WindowMinimized);
    const bool max = state.testFlag(Qt::WindowMaximized);

    CIniFile profile(CIniFile::ProfilePath());
    StoreRect(profile, kSection, NormalRect(this));
    profile.WriteInt(kSection, kIconKey, icon ? 1 : 0);
    profile.WriteInt(kSection, kMaxKey, max ? 1 : 0);
}

CPersistentFrame::Rect CPersistentFrame::NormalRect(const QWidget *window)
{
    QRect normal = window->normalGeometry();
    if (!normal.isValid())
        normal = window->geometry();
    // Back from the client area to the frame's corner, as it was placed.
    normal.translate(window->frameGeometry().topLeft() - window->geometry().topLeft());
    return Rect{normal.left(), normal.top(), normal.left() + normal.width(), normal.top() + normal.height()};
}

std::optional<CPersistentFrame::Rect> CPersistentFrame::StoredRect(const CIniFile &profile, const QString &section)
{
    const QString text = profile.GetString(section, kRectKey, QString());
    if (text.isEmpty())
        return std::nullopt;
    return ParseRect(text);
}

void CPersistentFrame::StoreRect(CIniFile &profile, const QString &section, const Rect &rect)
{
    profile.WriteString(section, kRectKey, FormatRect(rect));
}

QString CPersistentFrame::FormatRect(const Rect &rect)
{
    return QString::asprintf("%4d %4d %4d %4d ", rect.left, rect.top, rect.right, rect.bottom);
}

CPersistentFrame::Rect CPersistentFrame::ParseRect(QStringView text)
{
    return Rect{ReadInteger(text, 0), ReadInteger(text, 5), ReadInteger(text, 10), ReadInteger(text, 15)};
}

int CPersistentFrame::ReadInteger(QStringView text, qsizetype position)
{
    qsizetype i = position;
    const auto isBlank = [](QChar c) {
        return c == QLatin1Char(' ') || (c.unicode() >= '\t' && c.unicode() <= '\r');
    };
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    qint64 value = 0;
    while (i < text.size() && text[i].unicode() >= '0' && text[i].unicode() <= '9') {
        // Saturate instead of overflowing: a damaged profile must not give undefined results.
        value = qMin<qint64>(value * 10 + (text[i].unicode() - '0'), qint64(1) << 31);
        ++i;
    }
    if (negative)
        value = -value;
    return static_cast<int>(qBound(qint64(INT_MIN), value, qint64(INT_MAX)));
}
