// Clocks of timed stepping and the step-target arithmetic.
#include "playback/stepclock.h"

#include <algorithm>
#include <cmath>

int64_t StepTarget(int64_t anchor, double rate, int64_t elapsed100ns, int64_t frameTime)
{
    frameTime = std::max<int64_t>(1, frameTime);
    const int64_t steps = std::max<int64_t>(0, elapsed100ns) / frameTime + 1;
    return static_cast<int64_t>(std::floor(static_cast<double>(anchor) + rate * static_cast<double>(steps)));
}

CSystemStepClock::CSystemStepClock(QObject *parent) : CStepClock(parent)
{
    m_since.start();
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CStepClock::Tick);
}
int64_t CSystemStepClock::Now100ns() const
{
    return m_since.nsecsElapsed() / 100;
}
void CSystemStepClock::StartTicks(int periodMs)
{
    m_timer.start(periodMs);
}
void CSystemStepClock::StopTicks()
{
    m_timer.stop();
}
bool CSystemStepClock::IsTicking() const
{
    return m_timer.isActive();
}

void CManualStepClock::StartTicks(int periodMs)
{
    m_periodMs = periodMs;
    m_ticking = true;
}
void CManualStepClock::Advance100ns(int64_t duration)
{
    m_now100ns += duration;
    if (m_ticking)
        emit Tick();
}
