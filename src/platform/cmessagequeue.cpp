#include "platform/cmessagequeue.h"

#include "platform/cmessageevent.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimerEvent>

#include <utility>

CMessageQueue *CMessageQueue::ForThisThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return nullptr;
    static QPointer<CMessageQueue> queue;  // only ever touched on the application's thread
    if (!queue) {
        queue = new CMessageQueue;
        queue->setParent(app);
    }
    return queue;
}

void CMessageQueue::Post(QObject *target, UINT message, WPARAM wParam, LPARAM lParam, std::uint64_t source)
{
    m_queue.push_back({target, message, wParam, lParam, source});
    Arm();
}

void CMessageQueue::Dispatch(int budget)
{
    Disarm();
    while (!m_queue.empty()) {
        if (budget-- <= 0) {
            Arm();
            return;
        }
        const Entry entry = std::move(m_queue.front());
        m_queue.pop_front();
        // Armed while a handler runs, so a modal loop inside it still hands out the messages behind.
        if (!m_queue.empty())
            Arm();
        if (entry.target) {
            CMessageEvent event(entry.message, entry.wParam, entry.lParam, entry.source);
            QCoreApplication::sendEvent(entry.target, &event);
        }
    }
    Disarm();
}

void CMessageQueue::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_nTimer)
        Dispatch();
}

void CMessageQueue::Arm()
{
    if (m_nTimer == 0)
        m_nTimer = startTimer(0);
}

void CMessageQueue::Disarm()
{
    if (m_nTimer != 0)
        killTimer(std::exchange(m_nTimer, 0));
}
