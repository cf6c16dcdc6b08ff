#include "platform/cmessageevent.h"

#include "platform/cmessagequeue.h"

#include <QCoreApplication>
#include <QObject>

#include <atomic>

CMessageEvent::CMessageEvent(UINT message, WPARAM wParam, LPARAM lParam, std::uint64_t source)
    : QEvent(EventType()), m_nMessage(message), m_wParam(wParam), m_lParam(lParam), m_nSource(source)
{
}

QEvent::Type CMessageEvent::EventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

BOOL PostMessage(QObject *target, UINT message, WPARAM wParam, LPARAM lParam, std::uint64_t source)
{
    if (!target)
        return FALSE;
    CMessageQueue *queue = CMessageQueue::ForThisThread();
    if (queue && target->thread() == queue->thread())
        queue->Post(target, message, wParam, lParam, source);
    else
        QCoreApplication::postEvent(target, new CMessageEvent(message, wParam, lParam, source));
    return TRUE;
}

void DispatchPostedMessages()
{
    if (CMessageQueue *queue = CMessageQueue::ForThisThread())
        queue->Dispatch();
}

LRESULT SendMessage(QObject *target, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!target)
        return 0;
    CMessageEvent event(message, wParam, lParam);
    QCoreApplication::sendEvent(target, &event);
    return event.m_lResult;
}

std::uint64_t NewMessageSource()
{
    static std::atomic<std::uint64_t> s_count{0};
    return ++s_count;
}
