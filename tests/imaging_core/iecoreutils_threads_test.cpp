// The thread pool finishing and cancelling work, the allocator's two sources, and the system
// queries' plain contracts.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "SysUtils.h"
#include "iecoreutils_threads.h"

namespace {

std::atomic<int> gAlive{0};

// Adds its share to a total after a pause, or, when Endless, runs until it is terminated.
class TWorker : public TThread {
public:
    TWorker(std::atomic<int64_t>& Total, int64_t Share, int PauseMs, bool Endless = false)
        : FTotal(Total), FShare(Share), FPauseMs(PauseMs), FEndless(Endless) {
        ++gAlive;
    }
    ~TWorker() override {
        Terminate();
        WaitFor();
        --gAlive;
    }

protected:
    void Execute() override {
        if (FEndless) {
            while (!Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(FPauseMs));
        if (FShare < 0) throw EConvertError(L"worker failed");
        FTotal += FShare;
    }

private:
    std::atomic<int64_t>& FTotal;
    int64_t FShare;
    int FPauseMs;
    bool FEndless;
};

}  // namespace

TEST(IEThreadPool, FinishesWorkAndFreesEveryThread) {
    std::atomic<int64_t> total{0};
    {
        TIEThreadPool pool;
        pool.WaitAll();   // empty: at once, and twice is harmless
        pool.WaitAll();
        for (int i = 1; i <= 6; ++i) pool.Add(std::make_unique<TWorker>(total, i, 5 * (7 - i)));
        pool.Add(std::make_unique<TWorker>(total, -1, 0));   // a worker that raises ends alone
        pool.Add(nullptr);
        EXPECT_EQ(pool.GetCount(), 7);
        pool.WaitAll();
        EXPECT_EQ(pool.GetCount(), 0);
        EXPECT_EQ(total, 21);
        EXPECT_EQ(gAlive, 0);

        // Freed with work still running: the pool waits for it.
        for (int i = 0; i < 4; ++i) pool.Add(std::make_unique<TWorker>(total, 100, 60));
        EXPECT_EQ(gAlive, 4);
    }
    EXPECT_EQ(total, 421);
    EXPECT_EQ(gAlive, 0);
}

TEST(IEThreadPool, CancelledWorkEnds) {
    std::atomic<int64_t> total{0};
    TIEThreadPool pool;
    std::vector<TThread*> workers;
    for (int i = 0; i < 3; ++i) {
        auto w = std::make_unique<TWorker>(total, 0, 0, true);
        workers.push_back(w.get());
        pool.Add(std::move(w));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    for (TThread* w : workers) {
        EXPECT_FALSE(w->Finished());
        w->Terminate();
    }
    pool.WaitAll();
    EXPECT_EQ(gAlive, 0);
}

TEST(IECoreUtilsSystem, AllocatorSourcesAndQueries) {
    struct Case {
        uint32_t Size;
        uint8_t Tag;
    } const cases[] = {{0, 0}, {1048575, 0}, {1048576, 1}, {3000000, 1}};
    for (const auto& c : cases) {
        void* p = IEAutoAlloc(c.Size);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ((uintptr_t)p % alignof(double), 0u);   // the heap's own alignment
        EXPECT_EQ(static_cast<uint8_t*>(p)[-(ptrdiff_t)kIEAutoAllocHeader], c.Tag) << c.Size;
        if (c.Tag == 1) {
            const uint8_t* b = static_cast<uint8_t*>(p);
            EXPECT_TRUE(b[0] == 0 && b[c.Size / 2] == 0 && b[c.Size - 1] == 0);
        }
        if (c.Size) std::memset(p, 0xAB, c.Size);
        IEAutoFree(p);
        EXPECT_EQ(p, nullptr);
    }
    void* none = nullptr;
    IEAutoFree(none);
    void* g = IEGlobalAllocZero(64);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(static_cast<uint8_t*>(g)[63], 0);
    IEGlobalFree(g);
    EXPECT_EQ(g, nullptr);
    void* t = &g;
    IETryGetMem(t, -1);
    EXPECT_EQ(t, nullptr);
    IETryGetMem(t, 10);
    EXPECT_NE(t, nullptr);
    std::free(t);

    IECachedCoreCount = -1;
    const int32_t cores = IEGetCoreCount();
    EXPECT_GE(cores, 1);
    EXPECT_EQ(IECachedCoreCount, cores);
    EXPECT_EQ(IEGetCoreCount(), cores);
    const int64_t total = IEGetMemorySize(false), free = IEGetMemorySize(true);
    EXPECT_GT(total, 16 << 20);
    EXPECT_GT(free, 0);
    EXPECT_LE(free, total);
    EXPECT_TRUE(IEHasMMX());   // every x86 processor this builds for
    EXPECT_FALSE(IEIsRemoteSession());
}
