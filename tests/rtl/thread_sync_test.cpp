// Calls handed from threads to the main thread (Synchronize), the end-of-thread event, threads
// that free themselves, and the clock and timers that tests step by hand.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "Classes.h"
#include "Clock.h"

namespace {

class TSyncWorker : public TThread {
public:
    ~TSyncWorker() override {
        Terminate();
        WaitFor();
    }
    std::vector<std::string> Log;   // written on the main thread only, through Synchronize
    bool RanOnMain = false;
    std::string Caught;

protected:
    void Execute() override {
        Synchronize([this] {
            RanOnMain = IsMainThread();
            Log.push_back("sync");
        });
        // The call has run by the time Synchronize returns.
        if (Log.size() == 1) Log.push_back("after");
        try {
            Synchronize([] { throw std::runtime_error("from the main thread"); });
        } catch (const std::runtime_error& e) {
            Caught = e.what();
        }
    }
};

// Counts its own destruction; frees itself when done.
class TSelfFreeing : public TThread {
public:
    explicit TSelfFreeing(std::atomic<int>* ADestroyed) : FDestroyed(ADestroyed) { FreeOnTerminate = true; }
    ~TSelfFreeing() override { ++*FDestroyed; }

protected:
    void Execute() override { ReturnValue = 5; }

private:
    std::atomic<int>* FDestroyed;
};

}  // namespace

TEST(ThreadSynchronize, RunsOnTheMainThreadWhileItWaitsAndPassesExceptionsBack) {
    ASSERT_TRUE(IsMainThread());
    TSyncWorker worker;
    worker.Start();
    worker.WaitFor();   // runs the worker's calls meanwhile
    EXPECT_TRUE(worker.RanOnMain);
    EXPECT_EQ(worker.Log, (std::vector<std::string>{"sync", "after"}));
    EXPECT_EQ(worker.Caught, "from the main thread");
    EXPECT_FALSE(CheckSynchronize(0));   // nothing left waiting
}

TEST(ThreadSynchronize, OnTerminateRunsOnTheMainThreadAndFreeOnTerminateFreesTheThread) {
    std::atomic<int> destroyed{0};
    bool terminateOnMain = false;
    TObject* sender = nullptr;
    auto* thread = new TSelfFreeing(&destroyed);
    thread->OnTerminate = [&](TObject* Sender) {
        terminateOnMain = IsMainThread();
        sender = Sender;
    };
    TObject* expected = thread;
    thread->Start();   // from here on the thread is its own
    // The main thread runs the waiting calls when asked; bounded so a fault fails instead of hanging.
    for (int i = 0; i < 2000 && destroyed == 0; ++i) CheckSynchronize(5);
    EXPECT_EQ(destroyed, 1);
    EXPECT_TRUE(terminateOnMain);
    EXPECT_EQ(sender, expected);
}

TEST(ThreadSynchronize, OnTheMainThreadItRunsAtOnce) {
    int calls = 0;
    TThread::Synchronize(nullptr, [&] { ++calls; });
    EXPECT_EQ(calls, 1);
}

TEST(ManualTimers, FireInTimeOrderAsTheClockIsAdvanced) {
    TManualClock clock;
    TManualTimerSource timers(&clock);
    std::vector<std::string> fired;
    const TTimerId fast = timers.StartTimer(30, [&] { fired.push_back("30@" + std::to_string(clock.NowMs())); });
    TTimerId once = 0;
    once = timers.StartTimer(50, [&] {
        fired.push_back("50@" + std::to_string(clock.NowMs()));
        timers.StopTimer(once);   // a timer may stop itself from its callback
    });
    timers.Advance(29);
    EXPECT_TRUE(fired.empty());
    timers.Advance(71);   // to 100
    EXPECT_EQ(fired, (std::vector<std::string>{"30@30", "50@50", "30@60", "30@90"}));
    EXPECT_EQ(clock.NowMs(), 100u);
    EXPECT_FALSE(timers.IsActive(once));
    timers.StopTimer(fast);
    timers.Advance(1000);
    EXPECT_EQ(fired.size(), 4u);
    EXPECT_EQ(timers.ActiveCount(), 0);
}

TEST(ManualTimers, AnInstalledClockAndSourceReplaceTheSystemsUntilRemoved) {
    TManualClock clock;
    clock.Set(12345);
    SetClock(&clock);
    EXPECT_EQ(ClockNowMs(), 12345u);
    SetClock(nullptr);
    EXPECT_NE(ClockNowMs(), 12345u);

    TManualTimerSource timers;
    TTimerSource* before = GetTimerSource();
    SetTimerSource(&timers);
    EXPECT_EQ(GetTimerSource(), &timers);
    SetTimerSource(nullptr);
    EXPECT_EQ(GetTimerSource(), before);
}
