#pragma once
// Program time. Every duration of the program is read through this clock, so
// that tests can run it faster (or push it forward) instead of waiting.
#include <QDateTime>
#include <QtGlobal>

namespace dh {

namespace Durations {
inline constexpr qint64 Second = 1000;
inline constexpr qint64 PageLoadTimeout = 30 * Second;   // one search page
inline constexpr qint64 NextPageTimeout = 60 * Second;   // a page reached by the next link
inline constexpr qint64 NextPageSettle = 1 * Second;
inline constexpr qint64 LoginPageTimeout = 10 * Second;
inline constexpr qint64 LoginPause = 5 * Second;
inline constexpr qint64 HeaderTimeout = 30 * Second;     // transfer method one
inline constexpr qint64 StallTimeout = 120 * Second;     // transfer method one
inline constexpr qint64 AsyncStallTimeout = 300 * Second; // transfer method two
inline constexpr int CacheClearTicks = 600;             // ticks of a one-second timer
} // namespace Durations

class Clock {
public:
    // Milliseconds of program time since the program started.
    static qint64 Now();
    // Program time runs `factor` times faster than real time (tests only).
    static void SetSpeed(double factor);
    static double Speed();
    // Pushes program time forward (tests only).
    static void Advance(qint64 ms);
    // Real wall-clock date and time (file names, mail dates).
    static QDateTime WallTime();
    // Real milliseconds for a span of program time (at least 1).
    static int RealInterval(qint64 programMs);
};

} // namespace dh
