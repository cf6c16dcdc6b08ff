// Gives a QObject or QWidget class a window's message map (WindowProc) and numbered timers (OnTimer).
#pragma once

#include "platform/cmessageevent.h"

#include <QTimerEvent>

#include <map>

template <class Base>
class CMsgWnd : public Base
{
public:
    using Base::Base;

    // Starts (or restarts) timer `id` with the given interval; it fires OnTimer(id) until killed. A
    // coarse timer may fire up to 5 % early; a time the user gives is kept with a precise one.
    void SetTimer(int id, int milliseconds, Qt::TimerType type = Qt::CoarseTimer)
    {
        KillTimer(id);
        m_timers[id] = Base::startTimer(milliseconds, type);
    }

    void KillTimer(int id)
    {
        auto it = m_timers.find(id);
        if (it == m_timers.end())
            return;
        Base::killTimer(it->second);
        m_timers.erase(it);
    }

    bool IsTimerRunning(int id) const { return m_timers.count(id) != 0; }

protected:
    // The message map: one switch over the messages this window handles.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual void OnTimer(int /*id*/) {}
    // The socket whose notice WindowProc is handling (CMessageEvent::m_nSource); 0 for other messages.
    std::uint64_t MessageSource() const { return m_nMessageSource; }
    // True for a notice of socket `serial` (never 0) that this window no longer has: a notice that was
    // on its way while its socket was closed is dropped before WindowProc sees it, since acting on it
    // would act on whatever socket is there now.
    virtual bool IsStaleNotice(std::uint64_t /*serial*/) const { return false; }

    bool event(QEvent *e) override
    {
        if (e->type() == CMessageEvent::EventType()) {
            auto *message = static_cast<CMessageEvent *>(e);
            if (message->m_nSource != 0 && IsStaleNotice(message->m_nSource))
                return true;
            const std::uint64_t outer = m_nMessageSource;  // a handler may send a message in turn
            m_nMessageSource = message->m_nSource;
            message->m_lResult = WindowProc(message->m_nMessage, message->m_wParam, message->m_lParam);
            m_nMessageSource = outer;
            return true;
        }
        return Base::event(e);
    }

    void timerEvent(QTimerEvent *e) override
    {
        for (const auto &[id, qtId] : m_timers) {
            if (qtId == e->timerId()) {
                OnTimer(id);
                return;
            }
        }
        Base::timerEvent(e);
    }

private:
    std::map<int, int> m_timers;  // program's timer id -> Qt timer id
    std::uint64_t m_nMessageSource = 0;
};
