// The time timed stepping follows, and the arithmetic of which frame a rate has reached.
//
// The playback session reads time and receives its step ticks (timer 102) only through a
// CStepClock. The viewer and the CLI use CSystemStepClock (the monotonic clock and a precise
// timer); tests use CManualStepClock, which stands still until it is moved and ticks only when
// moved, so that what a test sees after each tick does not depend on how busy the machine is.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>

// The frame timed stepping aims at: one step at once, then one more per whole frame time
// elapsed since stepping was anchored at frame `anchor`: floor(anchor + rate x (elapsed /
// frameTime + 1)). Not clamped to the clip; times in 100 ns units (a frame time below 1 counts
// as 1).
int64_t StepTarget(int64_t anchor, double rate, int64_t elapsed100ns, int64_t frameTime);

class CStepClock : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // Monotonic time in 100 ns units; only differences mean anything.
    virtual int64_t Now100ns() const = 0;
    // Ticks every periodMs until StopTicks; a running clock starts its period again.
    virtual void StartTicks(int periodMs) = 0;
    virtual void StopTicks() = 0;
    virtual bool IsTicking() const = 0;

signals:
    void Tick();
};

class CSystemStepClock : public CStepClock
{
    Q_OBJECT
public:
    explicit CSystemStepClock(QObject *parent = nullptr);
    int64_t Now100ns() const override;
    void StartTicks(int periodMs) override;
    void StopTicks() override;
    bool IsTicking() const override;

private:
    QElapsedTimer m_since;
    QTimer m_timer;
};

class CManualStepClock : public CStepClock
{
    Q_OBJECT
public:
    using CStepClock::CStepClock;
    int64_t Now100ns() const override { return m_now100ns; }
    void StartTicks(int periodMs) override;
    void StopTicks() override { m_ticking = false; }
    bool IsTicking() const override { return m_ticking; }
    int PeriodMs() const { return m_periodMs; }

    // Move time on (ms, or 100 ns units) and, while ticking, deliver one tick.
    void Advance(int64_t ms) { Advance100ns(ms * 10000); }
    void Advance100ns(int64_t duration);

private:
    int64_t m_now100ns = 0;
    int m_periodMs = 0;
    bool m_ticking = false;
};
