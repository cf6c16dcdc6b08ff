// Window messages and timers: order, synchronous send, targets destroyed in between.
#include "platform/cmsgwnd.h"

#include <QObject>
#include <QPointer>
#include <QTest>

#include <functional>

namespace {

struct Received
{
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class Recorder : public CMsgWnd<QObject>
{
public:
    QList<Received> received;
    QList<int> timers;
    std::function<void(WPARAM)> onMessage;  // runs inside the handler

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        received.append({message, wParam, lParam});
        if (onMessage)
            onMessage(wParam);
        return static_cast<LRESULT>(wParam) * 10;
    }
    void OnTimer(int id) override
    {
        timers.append(id);
        KillTimer(id);
    }
};

}  // namespace

class TestMessages : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void postedMessagesArriveInOrderAfterThePosterReturns()
    {
        Recorder r;
        for (int i = 1; i <= 5; ++i)
            QVERIFY(PostMessage(&r, WM_SESSION_EVENT, i, -i));
        QVERIFY(r.received.isEmpty());
        QTRY_COMPARE(r.received.size(), 5);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(r.received[i].message, WM_SESSION_EVENT);
            QCOMPARE(r.received[i].wParam, WPARAM(i + 1));
            QCOMPARE(r.received[i].lParam, LPARAM(-(i + 1)));
        }
    }

    void sentMessageIsHandledBeforeSendReturns()
    {
        Recorder r;
        PostMessage(&r, WM_SESSION_EVENT, 1, 0);
        const LRESULT result = SendMessage(&r, WM_SOCKET_LOG, 7, 0);
        QCOMPARE(result, LRESULT(70));
        QCOMPARE(r.received.size(), 1);  // the posted one still waits
        QCOMPARE(r.received[0].message, WM_SOCKET_LOG);
        QTRY_COMPARE(r.received.size(), 2);
        QCOMPARE(r.received[1].message, WM_SESSION_EVENT);
    }

    void messageToDestroyedTargetIsDropped()
    {
        auto *r = new Recorder;
        QPointer<QObject> guard(r);
        PostMessage(r, WM_SESSION_EVENT, 1, 0);
        delete r;
        Recorder witness;
        PostMessage(&witness, WM_SESSION_EVENT, 2, 0);
        QTRY_COMPARE(witness.received.size(), 1);
        QVERIFY(guard.isNull());
    }

    // A handler may run a modal loop (a message box): the messages behind it are handled inside
    // that loop, in order.
    void modalLoopInsideAHandlerStillGetsTheMessagesBehind()
    {
        Recorder r;
        bool handledInside = false;
        r.onMessage = [&](WPARAM w) {
            if (w == 1)  // waits in an event loop of its own, as a message box does
                handledInside = QTest::qWaitFor([&] { return r.received.size() == 3; }, 5000);
        };
        for (WPARAM w = 1; w <= 3; ++w)
            PostMessage(&r, WM_SESSION_EVENT, w, 0);
        QTRY_VERIFY(handledInside);
        QCOMPARE((QList<WPARAM>{r.received[0].wParam, r.received[1].wParam, r.received[2].wParam}),
                 (QList<WPARAM>{1, 2, 3}));
    }

    // Messages posted by handlers are handled without a turn of the event loop each, yet a window
    // that keeps posting to itself never holds up timers and other events.
    void endlessPostingDoesNotStarveTheEventLoop()
    {
        Recorder r;
        r.onMessage = [&](WPARAM w) { PostMessage(&r, WM_SESSION_EVENT, w + 1, 0); };
        PostMessage(&r, WM_SESSION_EVENT, 0, 0);
        Recorder witness;
        witness.SetTimer(1, 20);
        QTRY_COMPARE(witness.timers.size(), 1);
        QVERIFY(r.received.size() > 1000);
        r.onMessage = nullptr;
    }

    void nullTargetIsRefused()
    {
        QCOMPARE(PostMessage(nullptr, WM_SESSION_EVENT, 0, 0), FALSE);
        QCOMPARE(SendMessage(nullptr, WM_SESSION_EVENT, 0, 0), LRESULT(0));
    }

    void timerFiresOnTimerWithItsId()
    {
        Recorder r;
        r.SetTimer(TIMER_SEND_LAMP, 10);
        QVERIFY(r.IsTimerRunning(TIMER_SEND_LAMP));
        QTRY_COMPARE(r.timers, QList<int>{TIMER_SEND_LAMP});
        QVERIFY(!r.IsTimerRunning(TIMER_SEND_LAMP));
    }

    void restartedTimerFiresOnceAndKilledTimerNever()
    {
        Recorder r;
        r.SetTimer(3, 10);
        r.SetTimer(3, 20);  // restart replaces, does not add a second timer
        r.SetTimer(2, 5);
        r.KillTimer(2);
        QTRY_COMPARE(r.timers, QList<int>{3});
        Recorder witness;
        witness.SetTimer(1, 40);
        QTRY_COMPARE(witness.timers.size(), 1);
        QCOMPARE(r.timers, QList<int>{3});
    }
};

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
