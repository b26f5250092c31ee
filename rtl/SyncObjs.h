// Locks and events between threads.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "Classes.h"

constexpr uint32_t INFINITE_WAIT = 0xFFFFFFFFu;

// A recursive lock: the thread that holds it may enter again, and leaves as often as it entered.
class TCriticalSection : public TObject {
public:
    KW_CLASS_NAME(TCriticalSection)
    void Enter() { FLock.lock(); }
    void Leave() { FLock.unlock(); }
    bool TryEnter() { return FLock.try_lock(); }
    void Acquire() { Enter(); }
    void Release() { Leave(); }

private:
    std::recursive_mutex FLock;
};

// Holds a critical section for the life of the guard.
class TCriticalSectionGuard {
public:
    explicit TCriticalSectionGuard(TCriticalSection& Section) : FSection(Section) { FSection.Enter(); }
    ~TCriticalSectionGuard() { FSection.Leave(); }
    TCriticalSectionGuard(const TCriticalSectionGuard&) = delete;
    TCriticalSectionGuard& operator=(const TCriticalSectionGuard&) = delete;

private:
    TCriticalSection& FSection;
};

enum TWaitResult { wrSignaled, wrTimeout, wrAbandoned, wrError };

// A signal between threads. A manual-reset event stays set until ResetEvent; an auto-reset event
// lets one waiter through and clears itself.
class TEvent : public TObject {
public:
    KW_CLASS_NAME(TEvent)
    explicit TEvent(bool ManualReset = true, bool InitialState = false)
        : FManualReset(ManualReset), FSignaled(InitialState) {}
    void SetEvent();
    void ResetEvent();
    // Waits at most Timeout milliseconds (INFINITE_WAIT: without limit).
    TWaitResult WaitFor(uint32_t Timeout = INFINITE_WAIT);

private:
    std::mutex FLock;
    std::condition_variable FCondition;
    bool FManualReset;
    bool FSignaled;
};

// A manual-reset event that starts unset.
class TSimpleEvent : public TEvent {
public:
    KW_CLASS_NAME(TSimpleEvent)
    TSimpleEvent() : TEvent(true, false) {}
};
