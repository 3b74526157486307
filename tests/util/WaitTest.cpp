#include "util/Clock.h"
#include "util/Wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <gtest/gtest.h>

using namespace dh;

TEST(Wait, PredicateSetByAnEventEndsTheWait)
{
    bool flag = false;
    QTimer::singleShot(30, qApp, [&] { flag = true; });
    EXPECT_TRUE(WaitUntil([&] { return flag; }, 5000));
}

TEST(Wait, TimesOutInProgramTimeAndSpeedShortensRealTime)
{
    Clock::SetSpeed(100);
    QElapsedTimer real;
    real.start();
    EXPECT_FALSE(WaitUntil([] { return false; }, 30 * Durations::Second));
    EXPECT_LT(real.elapsed(), 3000);
    EXPECT_TRUE(SleepFor(10 * Durations::Second));
    Clock::SetSpeed(1);
}

TEST(Wait, SleepEndsEarlyOnAbort)
{
    bool stop = false;
    QTimer::singleShot(20, qApp, [&] { stop = true; });
    QElapsedTimer real;
    real.start();
    EXPECT_FALSE(SleepFor(60 * Durations::Second, [&] { return stop; }));
    EXPECT_LT(real.elapsed(), 5000);
}

TEST(Clock, AdvanceMovesProgramTime)
{
    const qint64 before = Clock::Now();
    Clock::Advance(5000);
    EXPECT_GE(Clock::Now() - before, 5000);
}

// A window closed by an event handled inside its own wait: the wait ends at
// once, the window outlives it for the code below, and goes after.
TEST(WaitOwner, ClosedDuringItsOwnWaitItOutlivesTheWaitThenGoes)
{
    auto *window = new QObject;
    auto *view = new QObject(window);
    QPointer<QObject> alive(window);
    bool closedInside = false;
    QTimer::singleShot(20, qApp, [&] {
        EXPECT_TRUE(WaitsRunningIn(window));
        DeleteAfterWaits(window);
        closedInside = !alive.isNull();
    });
    QElapsedTimer real;
    real.start();
    EXPECT_FALSE(WaitUntil([] { return false; }, 60 * Durations::Second, view));
    EXPECT_LT(real.elapsed(), 5000);
    EXPECT_TRUE(closedInside);
    ASSERT_FALSE(alive.isNull()); // the code below the wait still uses it
    EXPECT_TRUE(IsClosing(view));

    // What the code below does next returns at once and runs no events.
    real.restart();
    EXPECT_FALSE(SleepFor(60 * Durations::Second, {}, view));
    EXPECT_FALSE(SleepFor([] { return 60 * Durations::Second; }, {}, view));
    EXPECT_FALSE(WaitUntil([] { return false; }, -1, window));
    YieldEvents(view);
    EXPECT_FALSE(alive.isNull());
    EXPECT_LT(real.elapsed(), 1000);
    // Queued at the level of the code that waited: it goes when that returns.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
}

TEST(WaitOwner, OthersGoAtOnceAndAWaitWithoutOwnerHoldsEveryClosing)
{
    auto *a = new QObject;
    auto *b = new QObject;
    QPointer<QObject> aliveA(a), aliveB(b);
    // b has no wait of its own: it goes while a's wait runs, and a's wait goes on.
    QTimer::singleShot(20, qApp, [&] { DeleteAfterWaits(b); });
    EXPECT_TRUE(WaitUntil([&] { return aliveB.isNull(); }, 5000, a));
    EXPECT_FALSE(IsClosing(a));

    // A wait without owner may have anyone's code below it: not cancelled, and
    // a is deleted only after it.
    bool heldInside = false;
    QTimer::singleShot(20, qApp, [&] {
        DeleteAfterWaits(a);
        QTimer::singleShot(50, qApp, [&] { heldInside = !aliveA.isNull(); });
    });
    EXPECT_TRUE(SleepFor(300));
    EXPECT_TRUE(heldInside);
    EXPECT_FALSE(aliveA.isNull());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(aliveA.isNull());
}
