// The user-interface thread's posted window messages, handled in posting order without a wake-up of
// the event loop for each one.
#pragma once

#include "platform/qnwin.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <deque>

class CMessageQueue : public QObject
{
public:
    // The application thread's queue, made on first use; null on any other thread and while no
    // application exists.
    static CMessageQueue *ForThisThread();

    // Queues a message for `target`, which lives on the queue's thread, as a posted message would be.
    void Post(QObject *target, UINT message, WPARAM wParam, LPARAM lParam, std::uint64_t source);

    // Handles the messages waiting, and those they post in turn, up to `budget` of them; what is
    // left is handled on a later turn of the event loop.
    void Dispatch(int budget = kBudget);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    static constexpr int kBudget = 256;

    struct Entry
    {
        QPointer<QObject> target;  // a target destroyed before its turn drops the message
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        std::uint64_t source;
    };

    // A zero timer asks the event loop for a turn without a system call. It is on while messages
    // wait, also while Dispatch hands one to a handler with more behind it (a modal loop inside the
    // handler then takes them); Dispatch turns it off when the queue runs dry.
    void Arm();
    void Disarm();

    std::deque<Entry> m_queue;
    int m_nTimer = 0;
};
