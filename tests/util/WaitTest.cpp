#include "util/Clock.h"
#include "util/Wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
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
