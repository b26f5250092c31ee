// The image buffer's thread rule: several threads read one memory-stored bitmap at once, and the
// resampler works on a file-stored bitmap from one thread only (its rows are not shareable).
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "picturaproc_resample.h"
#include "resample_test_util.h"

using namespace resampletest;

namespace {

void Texture(int32_t x, int32_t y, uint8_t* p) {
    p[0] = (uint8_t)(x * 7 + y * 13);
    p[1] = (uint8_t)(x ^ y);
    p[2] = (uint8_t)(x * x + y);
}

// A bitmap that records the threads asking it for rows.
class TRowThreadsBitmap : public TIEBitmap {
public:
    uint8_t* GetScanline(int32_t Row) override {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FThreads.insert(std::this_thread::get_id());
        }
        return TIEBitmap::GetScanline(Row);
    }
    size_t ThreadCount() {
        std::lock_guard<std::mutex> lock(FLock);
        return FThreads.size();
    }

private:
    std::mutex FLock;
    std::set<std::thread::id> FThreads;
};

}  // namespace

TEST(IEBitmapThreadRule, ReadersOnSeveralThreadsShareMemoryRows) {
    auto bmp = MakeBitmap(301, 207, ie24RGB, Texture);
    ASSERT_EQ(bmp->GetLocation(), ieMemory);
    bmp->GetAlphaChannel();   // created before the readers start: the first call changes the image
    std::atomic<int32_t> wrong{0};
    std::vector<std::thread> readers;
    for (int32_t t = 0; t < 6; ++t) {
        readers.emplace_back([&, t] {
            for (int32_t pass = 0; pass < 4; ++pass) {
                for (int32_t i = 0; i < bmp->GetHeight(); ++i) {
                    const int32_t y = (i * 7 + t * 31 + pass) % bmp->GetHeight();
                    const uint8_t* row = bmp->GetScanline(y);
                    for (int32_t x = 0; x < bmp->GetWidth(); x += 5) {
                        uint8_t want[3];
                        Texture(x, y, want);
                        const TIERGB p = bmp->GetPixelAsRGB(x, y);
                        if (row[3 * x] != want[0] || p.g != want[1] || p.r != want[2] || bmp->GetAlpha(x, y) != 255)
                            ++wrong;
                    }
                }
            }
        });
    }
    for (std::thread& t : readers) t.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(IEBitmapThreadRule, ResamplerKeepsFileStorageToOneThread) {
    // Large enough that a memory-stored source is split between threads.
    const int32_t w = 640, h = 480;
    for (const bool inFile : {false, true}) {
        SCOPED_TRACE(inFile ? "file" : "memory");
        TRowThreadsBitmap source;
        if (inFile) source.MinFileSize = 0;
        else source.SetLocation(ieMemory);
        ASSERT_TRUE(source.Allocate(w, h, ie24RGB));
        ASSERT_EQ(source.GetLocation(), inFile ? ieFile : ieMemory);
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = source.GetScanline(y);
            for (int32_t x = 0; x < w; ++x) Texture(x, y, row + 3 * x);
        }
        source.ReleaseRowBuffers();
        TRowThreadsBitmap dest;
        dest.SetLocation(ieMemory);
        ASSERT_TRUE(dest.Allocate(w / 2 + 17, h / 2 + 9, ie24RGB));
        IEResample(&source, &dest, nullptr, rfLanczos3);
        if (inFile) {
            EXPECT_EQ(source.ThreadCount(), 1u);
        } else if (IEGetCoreCount() > 1) {
            // The counter-check: memory rows are shared, so the same call does use threads.
            EXPECT_GT(source.ThreadCount() + dest.ThreadCount(), 2u);
        }
    }
}
