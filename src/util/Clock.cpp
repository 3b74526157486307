#include "util/Clock.h"

#include <QElapsedTimer>
#include <cmath>

namespace dh {
namespace {
struct State {
    QElapsedTimer timer;
    qint64 baseProgram = 0; // program time at the last speed change
    qint64 baseReal = 0;    // real time at the last speed change
    double speed = 1.0;
    State() { timer.start(); }
};
State &state()
{
    static State s;
    return s;
}
} // namespace

qint64 Clock::Now()
{
    auto &s = state();
    const qint64 real = s.timer.elapsed();
    return s.baseProgram + static_cast<qint64>(std::llround(double(real - s.baseReal) * s.speed));
}

void Clock::SetSpeed(double factor)
{
    if (!(factor > 0))
        factor = 1.0;
    auto &s = state();
    s.baseProgram = Now();
    s.baseReal = s.timer.elapsed();
    s.speed = factor;
}

double Clock::Speed() { return state().speed; }

void Clock::Advance(qint64 ms) { state().baseProgram += ms; }

QDateTime Clock::WallTime() { return QDateTime::currentDateTime(); }

int Clock::RealInterval(qint64 programMs)
{
    const double real = double(programMs) / state().speed;
    if (real < 1)
        return 1;
    return real > 1e9 ? 1000000000 : int(real);
}

} // namespace dh
