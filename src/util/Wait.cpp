#include "util/Wait.h"

#include "util/Clock.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace dh {
namespace {
// Real time between two tests when no event arrives: conditions that change
// with time alone (or a clock pushed forward in tests) are seen this late at most.
constexpr int kRecheckMs = 250;

// Only the innermost wait tests its condition; an outer one resumes when the
// inner one has returned.
int &innermost() {
    static int depth = 0;
    return depth;
}

struct Running {
    QPointer<QObject> owner;
    bool hasOwner = false;
    bool cancelled = false;
};

struct Closing {
    QPointer<QObject> object;
    bool deleteQueued = false;
};

std::vector<Running *> &running() {
    static std::vector<Running *> waits;
    return waits;
}

std::vector<Closing> &closing() {
    static std::vector<Closing> objects;
    return objects;
}

bool inside(const QObject *object, const QObject *ancestor) {
    for (const QObject *o = object; o; o = o->parent())
        if (o == ancestor)
            return true;
    return false;
}

// Queues the deletion of every closing object whose waits have all returned.
void settleClosing() {
    std::vector<Closing> &list = closing();
    list.erase(std::remove_if(list.begin(), list.end(), [](const Closing &c) { return c.object.isNull(); }),
               list.end());
    for (Closing &c : list) {
        if (!c.deleteQueued && !WaitsRunningIn(c.object)) {
            c.deleteQueued = true;
            c.object->deleteLater();
        }
    }
}

// Registers a wait for as long as it runs.
class Registration {
public:
    explicit Registration(const QObject *owner) {
        m_wait.owner = const_cast<QObject *>(owner);
        m_wait.hasOwner = owner != nullptr;
        m_wait.cancelled = owner && IsClosing(owner);
        running().push_back(&m_wait);
    }
    ~Registration() {
        std::vector<Running *> &list = running();
        list.erase(std::find(list.begin(), list.end(), &m_wait));
        if (!closing().empty())
            settleClosing();
    }
    Registration(const Registration &) = delete;
    Registration &operator=(const Registration &) = delete;
    bool Cancelled() const { return m_wait.cancelled; }

private:
    Running m_wait;
};

void processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// WaitUntil, telling a cancelled wait apart.
enum class End { Done, TimedOut, Cancelled };

End waitFor(const std::function<bool()> &done, qint64 maxMs, const QObject *owner) {
    const Registration me(owner);
    if (me.Cancelled())
        return End::Cancelled;
    const qint64 start = Clock::Now();
    processEvents();
    if (me.Cancelled())
        return End::Cancelled;
    if (done && done())
        return End::Done;
    if (maxMs >= 0 && Clock::Now() - start > maxMs)
        return End::TimedOut;

    QEventLoop loop;
    const int depth = ++innermost();
    End result = End::TimedOut;
    bool finished = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    auto finish = [&](End value) {
        result = value;
        finished = true;
        loop.quit();
    };
    auto check = [&] {
        if (finished || innermost() != depth)
            return;
        if (me.Cancelled())
            finish(End::Cancelled);
        else if (done && done())
            finish(End::Done);
        else if (maxMs >= 0 && Clock::Now() - start > maxMs)
            finish(End::TimedOut);
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
    // The loop looks at posted events only when one was posted since the
    // last look; events passed over above (a deletion that was not yet due)
    // would otherwise wait for an unrelated one.
    QCoreApplication::postEvent(&loop, new QEvent(QEvent::None));
    loop.exec();
    --innermost();
    return result;
}
} // namespace

void YieldEvents(const QObject *owner) {
    const Registration me(owner);
    if (!me.Cancelled())
        processEvents();
}

bool WaitUntil(const std::function<bool()> &done, qint64 maxMs, const QObject *owner) {
    return waitFor(done, maxMs, owner) == End::Done;
}

bool SleepFor(qint64 ms, const std::function<bool()> &abort, const QObject *owner) {
    return waitFor(abort, ms, owner) == End::TimedOut;
}

bool SleepFor(const std::function<qint64()> &ms, const std::function<bool()> &abort, const QObject *owner) {
    const qint64 start = Clock::Now();
    for (;;) {
        const qint64 length = ms();
        const qint64 left = length - (Clock::Now() - start);
        if (left <= 0)
            return !(abort && abort()) && !(owner && IsClosing(owner));
        // Wake when aborted or when the length changed; else at the end.
        const End end = waitFor([&] { return (abort && abort()) || ms() != length; }, left, owner);
        if (end == End::Cancelled || (end == End::Done && abort && abort()))
            return false;
    }
}

bool WaitsRunningIn(const QObject *object) {
    const std::vector<Running *> &list = running();
    return std::any_of(list.begin(), list.end(), [object](const Running *w) {
        return !w->hasOwner || (w->owner && inside(w->owner, object));
    });
}

void DeleteAfterWaits(QObject *object) {
    if (!object)
        return;
    if (!IsClosing(object))
        closing().push_back({object, false});
    for (Running *w : running())
        if (w->owner && inside(w->owner, object))
            w->cancelled = true;
    // Wakes the innermost wait, which may be this object's.
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
    settleClosing();
}

bool IsClosing(const QObject *object) {
    if (!object)
        return false;
    const std::vector<Closing> &list = closing();
    return std::any_of(list.begin(), list.end(),
                       [object](const Closing &c) { return c.object && inside(object, c.object); });
}

} // namespace dh
