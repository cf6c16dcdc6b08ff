// A window message carried as a Qt event, with PostMessage and SendMessage to deliver it.
#pragma once

#include "platform/qnwin.h"

#include <QEvent>

class QObject;

class CMessageEvent : public QEvent
{
public:
    CMessageEvent(UINT message, WPARAM wParam, LPARAM lParam, std::uint64_t source = 0);

    static QEvent::Type EventType();

    UINT m_nMessage;
    WPARAM m_wParam;
    LPARAM m_lParam;
    LRESULT m_lResult = 0;
    // The socket handle whose notice this is (CAsyncSocket::Serial), or 0 for any other message.
    std::uint64_t m_nSource;
};

// A new number for a handle whose notices name it as their source: unique in the process, never 0.
std::uint64_t NewMessageSource();

// Queues the message for the target; it is handled after the caller returns, in posting order.
// A message whose target is destroyed before it is handled is dropped. Returns FALSE for a null target.
// A socket notice names its socket in `source`, so that a notice that outlives the socket can be told.
BOOL PostMessage(QObject *target, UINT message, WPARAM wParam, LPARAM lParam, std::uint64_t source = 0);

// Handles now the messages posted on this thread that wait, and those they post in turn (a bounded
// number: the rest keep their turn in the event loop).
void DispatchPostedMessages();

// Handles the message in the target before returning its result (0 for a null target).
LRESULT SendMessage(QObject *target, UINT message, WPARAM wParam, LPARAM lParam);
