// The time that timer-driven behaviour reads, and the timers it runs on, behind one seam each so
// that tests step them by hand instead of waiting: the selection ants, smooth scrolling, delayed
// zooming, drag timers, transitions and preview timers all take their time from here.
//
// TClock: milliseconds from an arbitrary start (only differences mean anything). The system clock
// is the default; SetClock installs another (nullptr puts the system clock back).
//
// TTimerSource: periodic timers. The visual layer's default source runs them on window messages
// of the thread that started them; TManualTimerSource fires them when a test advances its own
// clock. A timer's callback may start and stop timers, its own included.
#pragma once
#include <cstdint>
#include <functional>
#include <map>

class TClock {
public:
    virtual ~TClock() = default;
    virtual uint64_t NowMs() = 0;
};

// The clock in force (the system's unless one was installed).
TClock* GetClock();
// Installs AClock (not owned; it must outlive its use), or the system clock again for nullptr.
void SetClock(TClock* AClock);
// GetClock()->NowMs().
uint64_t ClockNowMs();

// A clock that only moves when told.
class TManualClock : public TClock {
public:
    uint64_t NowMs() override { return FNow; }
    void Set(uint64_t AMs) { FNow = AMs; }
    void Advance(uint64_t AMs) { FNow += AMs; }

private:
    uint64_t FNow = 0;
};

using TTimerId = uint32_t;   // 0 is never a timer

class TTimerSource {
public:
    virtual ~TTimerSource() = default;
    // Starts a timer calling AOnTick every AIntervalMs (at least 1) until stopped.
    virtual TTimerId StartTimer(uint32_t AIntervalMs, std::function<void()> AOnTick) = 0;
    // Stops a timer; unknown or stopped ids are ignored.
    virtual void StopTimer(TTimerId AId) = 0;
};

// The timer source in force: the one installed with SetTimerSource, else the default that the
// visual layer installs at start-up (SetDefaultTimerSource), else nullptr.
TTimerSource* GetTimerSource();
// Installs a source (not owned) for the timers started from now on; nullptr restores the default.
void SetTimerSource(TTimerSource* ASource);
// The visual layer's own source (window-message timers).
void SetDefaultTimerSource(TTimerSource* ASource);

// Timers driven by a manual clock: Advance moves the clock and fires every timer that falls due,
// in time order (a timer late by several intervals fires once for each), each on the caller's
// thread.
class TManualTimerSource : public TTimerSource {
public:
    explicit TManualTimerSource(TManualClock* AClock = nullptr) : FClock(AClock) {}
    TTimerId StartTimer(uint32_t AIntervalMs, std::function<void()> AOnTick) override;
    void StopTimer(TTimerId AId) override;
    // Moves the time on by AMs, firing what falls due on the way.
    void Advance(uint64_t AMs);
    uint64_t NowMs() const { return FNow; }
    // Timers running now.
    int32_t ActiveCount() const { return (int32_t)FTimers.size(); }
    bool IsActive(TTimerId AId) const { return FTimers.count(AId) != 0; }

private:
    struct TTimer {
        uint32_t Interval;
        uint64_t Due;
        std::function<void()> OnTick;
    };
    TManualClock* FClock;
    uint64_t FNow = 0;
    TTimerId FNext = 1;
    std::map<TTimerId, TTimer> FTimers;
};
