// Helpers shared by the resampling routines (picturaproc_resample*.cpp): bands of rows on the
// thread pool, access-mode guards, exact division by a per-column divisor and progress reporting.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>

#include "picturaproc_resample.h"

namespace ieresample {

// Sets a bitmap's access mode for the lifetime of the guard and restores it afterwards.
class TAccessGuard {
public:
    TAccessGuard(TIEBaseBitmap* Bitmap, TIEDataAccess Mode) : FBitmap(Bitmap), FOld(Bitmap->Access) {
        Bitmap->Access = Mode;
    }
    ~TAccessGuard() { FBitmap->Access = FOld; }
    TAccessGuard(const TAccessGuard&) = delete;
    TAccessGuard& operator=(const TAccessGuard&) = delete;

private:
    TIEBaseBitmap* FBitmap;
    TIEDataAccess FOld;
};

// A bitmap whose rows may be read or written from several threads at once: its rows are plain
// memory. A file-located bitmap changes its row windows on every row asked for, and a system
// bitmap re-reads itself on every query, so those are worked on by one thread.
bool RowsAreShareable(TIEBaseBitmap* Bitmap);

// The number of threads for a pass of Items rows costing about Work pixel operations: the core
// count, or 1 when a bitmap of the pass is not shareable or the job is too small to pay for
// starting threads.
int32_t ThreadsFor(int64_t Work, bool Shareable);

// Runs Body(First, Count, Index) over Items rows split into Threads bands: the first Threads - 1
// take Items div Threads rows each and the last the rest. Bands without rows run nothing. With
// more than one thread band 0 runs on the calling thread (so that what it reports, such as
// progress, reaches the caller's handlers on the caller's thread) and the others on the library's
// thread pool; the call returns when all have ended; the first exception a band raised is raised
// again here.
void RunBands(int32_t Items, int32_t Threads, const std::function<void(int32_t First, int32_t Count, int32_t Index)>& Body);

// Reports Percent through OnProgress when it differs from the last value reported (Last starts -1).
inline void ReportChanged(const TIEProgressEvent& OnProgress, TObject* Sender, int32_t Percent, int32_t& Last) {
    if (Percent != Last) {
        Last = Percent;
        if (OnProgress) OnProgress(Sender, Percent);
    }
}

// Exact Trunc(Sum / Divisor) for |Sum| < 2^31 through a precomputed reciprocal: the product is
// within 2^-21 of the quotient, whose fraction is 0 or at least 1/|Divisor| > 2^-20, so a nudge of
// 2^-20 away from zero truncates to the right integer. Larger divisors divide as integers.
class TDivisor {
public:
    TDivisor() = default;
    explicit TDivisor(int32_t Divisor) : FDivisor(Divisor), FInverse(1.0 / Divisor), FFast(Divisor > -(1 << 19) && Divisor < (1 << 19)) {}
    int32_t Divide(int32_t Sum) const {
        if (!FFast) return Sum / FDivisor;
        const double q = (double)Sum * FInverse;
        return (int32_t)(q + (q >= 0 ? kNudge : -kNudge));
    }
    int32_t Get() const { return FDivisor; }

private:
    static constexpr double kNudge = 1.0 / (1 << 20);
    int32_t FDivisor = 1;
    double FInverse = 1.0;
    bool FFast = true;
};

// Makes Dest a bitmap of Format at its own size when it is in another format; False when that
// is not possible (Dest is not a TIEBitmap, or the allocation failed).
bool EnsureFormat(TIEBaseBitmap* Dest, TIEPixelFormat Format);

}  // namespace ieresample
