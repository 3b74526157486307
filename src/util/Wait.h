#pragma once
// Cooperative waits on the UI thread. They sleep in the event loop and wake
// when something happens: after every batch of events (a page load, a script
// answer, a button press) the condition is tested again, so a wait ends as
// soon as its event has been handled. Without events a waiting program sleeps;
// a slow recheck (a few times a second) only covers conditions that change
// with time alone.
#include <QtGlobal>
#include <functional>

namespace dh {

// Hands control to the event loop once (pending events run).
void YieldEvents();
// Waits until `done` holds (true) or `maxMs` of program time passed (false).
// A negative maxMs waits without limit.
bool WaitUntil(const std::function<bool()> &done, qint64 maxMs);
// Sleeps `ms` of program time while events run; ends early when `abort` holds.
// Returns false when aborted.
bool SleepFor(qint64 ms, const std::function<bool()> &abort = {});
// Like SleepFor, with a length that is read anew whenever the wait wakes
// (a delay the user may change while it runs).
bool SleepFor(const std::function<qint64()> &ms, const std::function<bool()> &abort);

} // namespace dh
