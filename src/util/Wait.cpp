#include "util/Wait.h"

#include "util/Clock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

namespace dh {
namespace {
// Real time between two checks of a predicate.
constexpr int kCheckIntervalMs = 20;

void sleepInEventLoop(int realMs)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(realMs);
    loop.exec();
}
} // namespace

void YieldEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool WaitUntil(const std::function<bool()> &done, qint64 maxMs)
{
    const qint64 start = Clock::Now();
    for (;;) {
        YieldEvents();
        if (done && done())
            return true;
        const qint64 elapsed = Clock::Now() - start;
        if (maxMs >= 0 && elapsed > maxMs)
            return false;
        int interval = kCheckIntervalMs;
        if (maxMs >= 0)
            interval = std::min(interval, Clock::RealInterval(maxMs - elapsed + 1));
        sleepInEventLoop(std::max(1, interval));
    }
}

bool SleepFor(qint64 ms, const std::function<bool()> &abort)
{
    const qint64 start = Clock::Now();
    bool aborted = false;
    WaitUntil(
        [&] {
            if (abort && abort()) {
                aborted = true;
                return true;
            }
            return Clock::Now() - start >= ms;
        },
        -1);
    return !aborted;
}

} // namespace dh
