#include "Clock.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace {

class TSystemClock : public TClock {
public:
    uint64_t NowMs() override {
        return (uint64_t)std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
};

TSystemClock gSystemClock;
std::atomic<TClock*> gClock{nullptr};
std::atomic<TTimerSource*> gTimerSource{nullptr};
std::atomic<TTimerSource*> gDefaultTimerSource{nullptr};

}  // namespace

TClock* GetClock() {
    TClock* c = gClock.load();
    return c ? c : &gSystemClock;
}

void SetClock(TClock* AClock) { gClock = AClock; }
uint64_t ClockNowMs() { return GetClock()->NowMs(); }

TTimerSource* GetTimerSource() {
    TTimerSource* s = gTimerSource.load();
    return s ? s : gDefaultTimerSource.load();
}

void SetTimerSource(TTimerSource* ASource) { gTimerSource = ASource; }
void SetDefaultTimerSource(TTimerSource* ASource) { gDefaultTimerSource = ASource; }

TTimerId TManualTimerSource::StartTimer(uint32_t AIntervalMs, std::function<void()> AOnTick) {
    const uint32_t interval = std::max<uint32_t>(1, AIntervalMs);
    const TTimerId id = FNext++;
    FTimers[id] = TTimer{interval, FNow + interval, std::move(AOnTick)};
    return id;
}

void TManualTimerSource::StopTimer(TTimerId AId) { FTimers.erase(AId); }

void TManualTimerSource::Advance(uint64_t AMs) {
    const uint64_t target = FNow + AMs;
    for (;;) {
        // The earliest timer due by the target (the lower id first on a tie).
        auto next = FTimers.end();
        for (auto it = FTimers.begin(); it != FTimers.end(); ++it)
            if (it->second.Due <= target && (next == FTimers.end() || it->second.Due < next->second.Due)) next = it;
        if (next == FTimers.end()) break;
        FNow = next->second.Due;
        if (FClock) FClock->Set(FNow);
        next->second.Due += next->second.Interval;
        // A copy: the callback may stop its own timer.
        const std::function<void()> tick = next->second.OnTick;
        if (tick) tick();
    }
    FNow = target;
    if (FClock) FClock->Set(FNow);
}
