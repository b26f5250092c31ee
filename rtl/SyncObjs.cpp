#include "SyncObjs.h"

#include <chrono>

void TEvent::SetEvent() {
    {
        std::lock_guard<std::mutex> lock(FLock);
        FSignaled = true;
    }
    if (FManualReset) FCondition.notify_all();
    else FCondition.notify_one();
}

void TEvent::ResetEvent() {
    std::lock_guard<std::mutex> lock(FLock);
    FSignaled = false;
}

TWaitResult TEvent::WaitFor(uint32_t Timeout) {
    std::unique_lock<std::mutex> lock(FLock);
    auto signaled = [this] { return FSignaled; };
    if (Timeout == INFINITE_WAIT) FCondition.wait(lock, signaled);
    else if (!FCondition.wait_for(lock, std::chrono::milliseconds(Timeout), signaled)) return wrTimeout;
    if (!FManualReset) FSignaled = false;
    return wrSignaled;
}
