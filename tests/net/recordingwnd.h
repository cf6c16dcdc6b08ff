// Owner window for socket tests: owns a shared log buffer and records every message and log line.
#pragma once

#include "platform/cmsgwnd.h"

#include <QList>
#include <QObject>
#include <QStringList>

#include <functional>
#include <vector>

class RecordingWnd : public CMsgWnd<QObject>
{
public:
    struct Message
    {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };

    // Four guard bytes follow the QN_BUFFER_SIZE bytes of the log buffer.
    static constexpr int kGuard = 4;

    RecordingWnd();

    char *LogBuf() { return m_logBuffer.data(); }
    bool GuardIntact() const;

    // lParams of the WM_SESSION_EVENT messages with `code`, in arrival order.
    QList<LPARAM> Events(int code) const;
    int Count(UINT message) const;

    QList<Message> messages;  // posted messages, in arrival order
    QStringList lines;        // the log buffer's text at each WM_SOCKET_LOG
    QStringList journal;      // log lines and session events in one order ("ev <code> <lParam>")
    std::function<void(const Message &)> onMessage;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    std::vector<char> m_logBuffer;
};
