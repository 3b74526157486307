#pragma once
// Cooperative waits on the UI thread. They sleep in the event loop and wake
// when something happens: after every batch of events (a page load, a script
// answer, a button press) the condition is tested again, so a wait ends as
// soon as its event has been handled. Without events a waiting program sleeps;
// a slow recheck (a few times a second) only covers conditions that change
// with time alone.
//
// Every wait names its owner: the object whose code waits (null when no
// window's code is below it). A window may be closed by an event handled
// inside such a wait; it must not be deleted before the wait has returned to
// the code that uses it. DeleteAfterWaits does that.
#include <QtGlobal>
#include <functional>

class QObject;

namespace dh {

// Hands control to the event loop once (pending events run).
void YieldEvents(const QObject *owner = nullptr);
// Waits until `done` holds (true) or `maxMs` of program time passed (false).
// A negative maxMs waits without limit. A cancelled wait returns false at once.
bool WaitUntil(const std::function<bool()> &done, qint64 maxMs, const QObject *owner = nullptr);
// Sleeps `ms` of program time while events run; ends early when `abort` holds
// or the wait is cancelled. Returns false then.
bool SleepFor(qint64 ms, const std::function<bool()> &abort = {}, const QObject *owner = nullptr);
// Like SleepFor, with a length that is read anew whenever the wait wakes
// (a delay the user may change while it runs).
bool SleepFor(const std::function<qint64()> &ms, const std::function<bool()> &abort,
              const QObject *owner = nullptr);

// True while a wait runs whose owner is `object` or inside it, or one without
// an owner (whose caller is unknown).
bool WaitsRunningIn(const QObject *object);
// Cancels the waits running in `object` (they return as not done), makes its
// later waits return at once, and deletes it (deleteLater) once none of the
// waits that may have its code below them runs any more: at once when none runs.
void DeleteAfterWaits(QObject *object);
// True once DeleteAfterWaits was called for `object` or an object it is inside.
bool IsClosing(const QObject *object);

} // namespace dh
