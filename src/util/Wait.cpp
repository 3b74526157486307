#include "util/Wait.h"

#include "util/Clock.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace dh {
namespace {
// Real time between two tests when no event arrives: conditions that change
// with time alone (or a clock pushed forward in tests) are seen this late at most.
constexpr int kRecheckMs = 250;

// Only the innermost wait tests its condition; an outer one resumes when the
// inner one has returned.
int &innermost()
{
    static int depth = 0;
    return depth;
}
} // namespace

void YieldEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool WaitUntil(const std::function<bool()> &done, qint64 maxMs)
{
    const qint64 start = Clock::Now();
    YieldEvents();
    if (done && done())
        return true;
    if (maxMs >= 0 && Clock::Now() - start > maxMs)
        return false;

    QEventLoop loop;
    const int depth = ++innermost();
    bool result = false;
    bool finished = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    auto finish = [&](bool value) {
        result = value;
        finished = true;
        loop.quit();
    };
    auto check = [&] {
        if (finished || innermost() != depth)
            return;
        if (done && done())
            finish(true);
        else if (maxMs >= 0 && Clock::Now() - start > maxMs)
            finish(false);
    };
    // The clock may have been slowed or pushed since the timer was set.
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        check();
        if (!finished && innermost() == depth)
            deadline.start(Clock::RealInterval(maxMs - (Clock::Now() - start) + 1));
    });
    QTimer recheck;
    recheck.setInterval(kRecheckMs);
    QObject::connect(&recheck, &QTimer::timeout, &loop, check);
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &loop, check);
    if (maxMs >= 0)
        deadline.start(Clock::RealInterval(maxMs - (Clock::Now() - start) + 1));
    recheck.start();
    loop.exec();
    --innermost();
    return result;
}

bool SleepFor(qint64 ms, const std::function<bool()> &abort)
{
    return !WaitUntil(abort, ms);
}

bool SleepFor(const std::function<qint64()> &ms, const std::function<bool()> &abort)
{
    const qint64 start = Clock::Now();
    for (;;) {
        const qint64 length = ms();
        const qint64 left = length - (Clock::Now() - start);
        if (left <= 0)
            return !(abort && abort());
        // Wake when aborted or when the length changed; else at the end.
        const bool woke = WaitUntil([&] { return (abort && abort()) || ms() != length; }, left);
        if (woke && abort && abort())
            return false;
    }
}

} // namespace dh
