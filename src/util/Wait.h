#pragma once
// Cooperative waits on the UI thread. They sleep in the event loop between
// checks, so a waiting program uses no CPU, and they keep buttons, timers and
// browser events working while a long procedure waits.
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

} // namespace dh
