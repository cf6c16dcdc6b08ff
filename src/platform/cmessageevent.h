// A window message carried as a Qt event, with PostMessage and SendMessage to deliver it.
#pragma once

#include "platform/qnwin.h"

#include <QEvent>

class QObject;

class CMessageEvent : public QEvent
{
public:
    CMessageEvent(UINT message, WPARAM wParam, LPARAM lParam);

    static QEvent::Type EventType();

    UINT m_nMessage;
    WPARAM m_wParam;
    LPARAM m_lParam;
    LRESULT m_lResult = 0;
};

// Queues the message for the target; it is handled after the caller returns, in posting order.
// A message whose target is destroyed before it is handled is dropped. Returns FALSE for a null target.
BOOL PostMessage(QObject *target, UINT message, WPARAM wParam, LPARAM lParam);

// Handles the message in the target before returning its result (0 for a null target).
LRESULT SendMessage(QObject *target, UINT message, WPARAM wParam, LPARAM lParam);
