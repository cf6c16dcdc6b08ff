#include "recordingwnd.h"

#include "platform/cp932.h"

#include <cstring>

RecordingWnd::RecordingWnd() : m_logBuffer(QN_BUFFER_SIZE + kGuard, '#') {}

bool RecordingWnd::GuardIntact() const
{
    return std::string_view(m_logBuffer.data() + QN_BUFFER_SIZE, kGuard) == "####";
}

QList<LPARAM> RecordingWnd::Events(int code) const
{
    QList<LPARAM> found;
    for (const Message &m : messages) {
        if (m.message == WM_SESSION_EVENT && m.wParam == WPARAM(code))
            found.append(m.lParam);
    }
    return found;
}

int RecordingWnd::Count(UINT message) const
{
    int count = 0;
    for (const Message &m : messages)
        count += m.message == message;
    return count;
}

LRESULT RecordingWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SOCKET_LOG) {
        const QString line = FromCp932(QByteArrayView(LogBuf(), strnlen(LogBuf(), QN_BUFFER_SIZE)));
        lines.append(line);
        journal.append(line);
        return 0;
    }
    const Message recorded{message, wParam, lParam};
    messages.append(recorded);
    if (message == WM_SESSION_EVENT)
        journal.append(QStringLiteral("ev %1 %2").arg(wParam).arg(lParam));
    if (onMessage)
        onMessage(recorded);
    return 0;
}
