// Resampling: the entry points, the kernels, the two-pass kernel filter on the thread pool and the
// nearest-pixel stretch. The fast linear, projection and 1-bit routines are in
// picturaproc_resample_fast.cpp, the area walk in picturaproc_resample_area.cpp.
#include "picturaproc_resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>

#include "iecoreutils_general.h"
#include "iecoreutils_threads.h"
#include "iedibbitmap.h"
#include "picturaproc_resample_util.h"

namespace ieresample {

bool RowsAreShareable(TIEBaseBitmap* Bitmap) {
    auto* bitmap = dynamic_cast<TIEBitmap*>(Bitmap);
    return !bitmap || bitmap->GetLocation() == ieMemory;
}

int32_t ThreadsFor(int64_t Work, bool Shareable) {
    // Below about a quarter of a million pixel operations a thread costs more than it saves.
    constexpr int64_t kMinWork = 1 << 18;
    if (!Shareable || Work < kMinWork) return 1;
    return IEMax(1, IEGetCoreCount());
}

namespace {

class TBandThread : public TThread {
public:
    TBandThread(const std::function<void(int32_t, int32_t, int32_t)>& Body, int32_t First, int32_t Count,
                int32_t Index, std::exception_ptr& Failure, std::mutex& FailureLock)
        : FBody(Body), FFirst(First), FCount(Count), FIndex(Index), FFailure(Failure), FFailureLock(FailureLock) {}

protected:
    void Execute() override {
        try {
            FBody(FFirst, FCount, FIndex);
        } catch (...) {
            std::lock_guard<std::mutex> lock(FFailureLock);
            if (!FFailure) FFailure = std::current_exception();
        }
    }

private:
    const std::function<void(int32_t, int32_t, int32_t)>& FBody;
    int32_t FFirst, FCount, FIndex;
    std::exception_ptr& FFailure;
    std::mutex& FFailureLock;
};

}  // namespace

void RunBands(int32_t Items, int32_t Threads, const std::function<void(int32_t, int32_t, int32_t)>& Body) {
    if (Items <= 0) return;
    if (Threads <= 1) {
        Body(0, Items, 0);
        return;
    }
    const int32_t share = Items / Threads;
    std::exception_ptr failure;
    std::mutex failureLock;
    {
        TIEThreadPool pool;
        for (int32_t t = 1; t < Threads; ++t) {
            const int32_t count = t < Threads - 1 ? share : Items - (Threads - 1) * share;
            if (count <= 0) continue;
            pool.Add(std::make_unique<TBandThread>(Body, t * share, count, t, failure, failureLock));
        }
        // Band 0 runs on the calling thread: it is the one that reports progress, and a GUI
        // program's progress handler touches windows, which only their own thread may do.
        if (share > 0) {
            try {
                Body(0, share, 0);
            } catch (...) {
                std::lock_guard<std::mutex> lock(failureLock);
                if (!failure) failure = std::current_exception();
            }
        }
        pool.WaitAll();
    }
    if (failure) std::rethrow_exception(failure);
}

bool EnsureFormat(TIEBaseBitmap* Dest, TIEPixelFormat Format) {
    if (Dest->GetPixelFormat() == Format) return true;
    auto* dest = dynamic_cast<TIEBitmap*>(Dest);
    if (!dest) return false;
    return dest->Allocate(dest->GetWidth(), dest->GetHeight(), Format) && dest->GetPixelFormat() == Format;
}

}  // namespace ieresample

using namespace ieresample;

// ---- Kernels ----------------------------------------------------------------------------------

double IESinc(double X) {
    if (X == 0) return 1;
    const double px = X * 3.14159265358979323846;
    return std::sin(px) / px;
}

double IETriangleFilter(double X) {
    X = std::fabs(X);
    return X < 1 ? 1 - X : 0;
}

double IEHermiteFilter(double X) {
    const double ax = std::fabs(X);
    return ax < 1 ? (2 * ax - 3) * X * X + 1 : 0;
}

double IEBellFilter(double X) {
    const double ax = std::fabs(X);
    if (ax < 0.5) return 0.75 - X * X;
    if (ax < 1.5) return 0.5 * (ax - 1.5) * (ax - 1.5);
    return 0;
}

double IEBSplineFilter(double X) {
    const double ax = std::fabs(X);
    if (ax < 1) return 0.5 * ax * ax * ax - X * X + 2.0 / 3.0;
    if (ax < 2) {
        const double t = 2 - ax;
        return t * t * t / 6;
    }
    return 0;
}

double IELanczos3Filter(double X) {
    return std::fabs(X) < 3 ? IESinc(X) * IESinc(X / 3) : 0;
}

double IEMitchellFilter(double X) {
    const double t = std::fabs(X);
    if (t < 1) return (7 * t * t * t - 12 * t * t + 16.0 / 3.0) / 6;
    if (t < 2) return (-7.0 / 3.0 * t * t * t + 12 * t * t - 20 * t + 32.0 / 3.0) / 6;
    return 0;
}

double IEBoxFilter(double X) {
    return X > -0.5 && X <= 0.5 ? 1 : 0;
}

double IELinearFilter(double X) {
    if (X < -1) return 0;
    if (X < 0) return 1 + X;
    if (X < 1) return 1 - X;
    return 0;
}

const TIEResampleFilterInfo IEResampleFilters[14] = {
    {nullptr, 0},                 // rfNone
    {IETriangleFilter, 1.0},      // rfTriangle
    {IEHermiteFilter, 1.0},       // rfHermite
    {IEBellFilter, 1.5},          // rfBell
    {IEBSplineFilter, 2.0},       // rfBSpline
    {IELanczos3Filter, 3.0},      // rfLanczos3
    {IEMitchellFilter, 2.0},      // rfMitchell
    {IEBoxFilter, 1.0},           // rfNearest (support 1, not 0.5)
    {IELinearFilter, 1.0},        // rfLinear
    {nullptr, 0}, {nullptr, 0}, {nullptr, 0}, {nullptr, 0}, {nullptr, 0},
};

// ---- Contributors -----------------------------------------------------------------------------

namespace {

// The kernel window of each destination pixel of an axis: source indices Left .. Left + Count - 1
// as they fall (not yet mirrored into the source), with their weights, zeros included.
struct TKernelWindows {
    std::vector<int32_t> Left;
    std::vector<std::vector<int32_t>> Weights;
};

inline int32_t MirrorIndex(int32_t J, int32_t Size) {
    if (J < 0) J = -J;
    else if (J >= Size) J = 2 * Size - J - 1;
    return IEClamp(J, 0, Size - 1);
}

TKernelWindows KernelWindows(int32_t SrcSize, int32_t DstSize, TResampleFilter Filter) {
    TKernelWindows windows;
    if (SrcSize <= 0 || DstSize <= 0 || Filter >= 14 || !IEResampleFilters[Filter].Kernel) return windows;
    const TIEResampleKernel kernel = IEResampleFilters[Filter].Kernel;
    const double support = IEResampleFilters[Filter].Support;
    const double scale = (SrcSize == 1 || DstSize == 1) ? (double)DstSize / SrcSize
                                                         : (double)(DstSize - 1) / (SrcSize - 1);
    const bool reducing = scale < 1;
    const double width = reducing ? support / scale : support;
    const double fscale = reducing ? 1 / scale : 1;
    // Kernel values x 256: reducing divides them by the factor, so beyond a factor of 64 every
    // weight would round to a few steps and past 512 to 0 (a black image). There the weights keep
    // 2^22 / factor steps instead; only their ratios matter, as each sum is divided by their total.
    const double weightScale = reducing && fscale > 64 ? 4194304.0 / fscale : 256.0 / fscale;
    windows.Left.resize((size_t)DstSize);
    windows.Weights.resize((size_t)DstSize);
    for (int32_t i = 0; i < DstSize; ++i) {
        const double center = i / scale;
        const int32_t left = IEFloor(center - width), right = IECeil(center + width);
        windows.Left[(size_t)i] = left;
        auto& weights = windows.Weights[(size_t)i];
        weights.reserve((size_t)(right - left + 1));
        for (int32_t j = left; j <= right; ++j)
            weights.push_back((int32_t)std::nearbyint(kernel((center - j) / fscale) * weightScale));
    }
    return windows;
}

}  // namespace

std::vector<TIEResampleContributorList> IEResampleContributors(int32_t SrcSize, int32_t DstSize,
                                                               TResampleFilter Filter) {
    const TKernelWindows windows = KernelWindows(SrcSize, DstSize, Filter);
    std::vector<TIEResampleContributorList> lists(windows.Left.size());
    for (size_t i = 0; i < lists.size(); ++i) {
        TIEResampleContributorList& list = lists[i];
        const auto& weights = windows.Weights[i];
        for (size_t k = 0; k < weights.size(); ++k) {
            // A weight of 0 adds no contributor.
            if (weights[k] != 0)
                list.Items.push_back(TIEResampleContributor{MirrorIndex(windows.Left[i] + (int32_t)k, SrcSize), weights[k]});
        }
        list.Count = (int32_t)list.Items.size();
    }
    return lists;
}

// ---- Two-pass kernel filter -------------------------------------------------------------------

namespace {

// The horizontal windows packed for the inner loop: every window padded with zero weights to the
// same number of taps, so that each destination pixel reads Taps consecutive pixels of a source row
// that carries its mirrored edges on both sides (Margin pixels before pixel 0, PaddedWidth in all).
// Zero weights add nothing to a sum or a total, so the result is that of the contributor lists.
struct TPackedAxis {
    int32_t Taps = 0;
    int32_t Margin = 0;
    int32_t PaddedWidth = 0;
    std::vector<int32_t> Start;    // first padded pixel of each window
    std::vector<int32_t> Weight;   // Taps per destination pixel
    std::vector<TDivisor> Divisor; // the weight total; 0 divides by 256
    std::vector<int32_t> Source;   // source pixel of each padded pixel

    TPackedAxis(int32_t SrcSize, int32_t DstSize, TResampleFilter Filter) {
        TKernelWindows windows = KernelWindows(SrcSize, DstSize, Filter);
        // Zero weights at either end of a window are left out: fewer taps for every pixel.
        for (size_t i = 0; i < windows.Left.size(); ++i) {
            auto& weights = windows.Weights[i];
            size_t first = 0, last = weights.size();
            while (first < last && weights[first] == 0) ++first;
            while (last > first && weights[last - 1] == 0) --last;
            windows.Left[i] += (int32_t)first;
            weights = std::vector<int32_t>(weights.begin() + (std::ptrdiff_t)first, weights.begin() + (std::ptrdiff_t)last);
        }
        int32_t minLeft = 0, maxRight = SrcSize - 1;
        for (size_t i = 0; i < windows.Left.size(); ++i) {
            Taps = IEMax(Taps, (int32_t)windows.Weights[i].size());
            minLeft = IEMin(minLeft, windows.Left[i]);
        }
        for (size_t i = 0; i < windows.Left.size(); ++i) maxRight = IEMax(maxRight, windows.Left[i] + Taps - 1);
        Margin = -minLeft;
        PaddedWidth = maxRight + Margin + 1;
        for (int32_t k = 0; k < PaddedWidth; ++k) Source.push_back(MirrorIndex(k - Margin, SrcSize));
        Weight.assign((size_t)Taps * windows.Left.size(), 0);
        for (size_t i = 0; i < windows.Left.size(); ++i) {
            Start.push_back(windows.Left[i] + Margin);
            int32_t total = 0;
            for (size_t k = 0; k < windows.Weights[i].size(); ++k) {
                Weight[i * (size_t)Taps + k] = windows.Weights[i][k];
                total += windows.Weights[i][k];
            }
            Divisor.emplace_back(total == 0 ? 256 : total);
        }
    }

    // The source row with its mirrored margins, C bytes per pixel.
    template <int C>
    void Pad(const uint8_t* Src, uint8_t* Padded) const {
        for (int32_t k = 0; k < PaddedWidth; ++k)
            for (int c = 0; c < C; ++c) Padded[k * C + c] = Src[Source[(size_t)k] * C + c];
    }
};

// A source of rows of Channels bytes per pixel for the kernel passes.
using TRowReader = std::function<const uint8_t*(int32_t Row, uint8_t* Scratch)>;
// Writes one destination row given as Channels bytes per pixel.
using TRowWriter = std::function<void(int32_t Row, const uint8_t* Values, uint8_t* Scratch)>;

struct TKernelJob {
    int32_t Channels;               // 1 or 3
    int32_t SrcWidth, SrcHeight, DstWidth, DstHeight;
    TRowReader ReadRow;
    TRowWriter WriteRow;
    bool SourceShareable, DestShareable;
    TResampleFilter Filter;
    const TIEProgressEvent* OnProgress;   // null: no progress
    TObject* Sender;
};

template <int C>
void HorizontalRow(const TPackedAxis& axis, const uint8_t* padded, uint8_t* dst, int32_t dW) {
    const int32_t taps = axis.Taps;
    for (int32_t i = 0; i < dW; ++i) {
        const uint8_t* p = padded + (size_t)axis.Start[(size_t)i] * C;
        const int32_t* w = axis.Weight.data() + (size_t)i * taps;
        int32_t s[C] = {};
        for (int32_t k = 0; k < taps; ++k)
            for (int c = 0; c < C; ++c) s[c] += w[k] * p[k * C + c];
        const TDivisor& d = axis.Divisor[(size_t)i];
        for (int c = 0; c < C; ++c) dst[i * C + c] = (uint8_t)IEClampByte(d.Divide(s[c]));
    }
}

void RunKernel(TKernelJob& job) {
    const int32_t C = job.Channels;
    const int32_t sW = job.SrcWidth, sH = job.SrcHeight, dW = job.DstWidth, dH = job.DstHeight;
    const TPackedAxis horiz(sW, dW, job.Filter);
    const auto vertLists = IEResampleContributors(sH, dH, job.Filter);

    TIEWorkBitmap work(dW, sH, 8 * C);
    if (!work.GetBits()) throw EOutOfMemory(L"Out of memory");

    const double scale = 100.0 / (sH + dH + 0.5);
    int32_t lastReported = -1;   // worker 0's reports, then the calling thread's last one

    // Horizontal pass: source rows into the work bitmap.
    const int32_t hThreads = ThreadsFor((int64_t)dW * sH * (horiz.Taps + 1), job.SourceShareable);
    RunBands(sH, hThreads, [&](int32_t first, int32_t count, int32_t index) {
        std::vector<uint8_t> scratch((size_t)sW * C + 16), padded((size_t)horiz.PaddedWidth * C + 16);
        for (int32_t r = 0; r < count; ++r) {
            const int32_t y = first + r;
            const uint8_t* src = job.ReadRow(y, scratch.data());
            uint8_t* dst = work.GetScanline(y);
            if (C == 3) {
                horiz.Pad<3>(src, padded.data());
                HorizontalRow<3>(horiz, padded.data(), dst, dW);
            } else {
                horiz.Pad<1>(src, padded.data());
                HorizontalRow<1>(horiz, padded.data(), dst, dW);
            }
            if (index == 0 && job.OnProgress)
                ReportChanged(*job.OnProgress, job.Sender, (int32_t)((hThreads * r + 1) * scale), lastReported);
        }
    });

    // Vertical pass: work rows into the destination, a whole row of sums per contributor.
    const size_t rowValues = (size_t)dW * C;
    const int32_t vThreads = ThreadsFor((int64_t)rowValues * dH * 4, job.DestShareable);
    RunBands(dH, vThreads, [&](int32_t first, int32_t count, int32_t index) {
        std::vector<int32_t> sums(rowValues);
        std::vector<uint8_t> values(rowValues + 16), scratch(rowValues * 3 + 16);
        for (int32_t r = 0; r < count; ++r) {
            const int32_t y = first + r;
            const TIEResampleContributorList& list = vertLists[(size_t)y];
            std::fill(sums.begin(), sums.end(), 0);
            int32_t total = 0;
            for (int32_t k = 0; k < list.Count; ++k) {
                const int32_t w = list.Items[(size_t)k].Weight;
                const uint8_t* src = work.GetScanline(IEClamp(list.Items[(size_t)k].Pixel, 0, sH - 1));
                int32_t* s = sums.data();
                for (size_t x = 0; x < rowValues; ++x) s[x] += w * src[x];
                total += w;
            }
            if (total != 0) {
                const TDivisor d(total);
                for (size_t x = 0; x < rowValues; ++x) values[x] = (uint8_t)IEClampByte(d.Divide(sums[x]));
            } else {
                for (size_t x = 0; x < rowValues; ++x) values[x] = (uint8_t)IEClampByte((int32_t)((uint32_t)sums[x] >> 8));
            }
            job.WriteRow(y, values.data(), scratch.data());
            if (index == 0 && job.OnProgress)
                ReportChanged(*job.OnProgress, job.Sender, (int32_t)((sH + (int64_t)vThreads * r + 1) * scale), lastReported);
        }
    });
    if (vThreads > 1 && job.OnProgress) ReportChanged(*job.OnProgress, job.Sender, (int32_t)((sH + dH) * scale), lastReported);
}

// Rows of a 1-bit bitmap as bytes 0 or 255.
void ExpandBits(const uint8_t* bits, uint8_t* out, int32_t width) {
    for (int32_t x = 0; x < width; ++x) out[x] = (bits[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
}

// Reads rows of a bitmap that may hold only one mapped row at a time: copied into the scratch.
TRowReader CopyingReader(TIEBaseBitmap* Source, size_t Bytes) {
    return [Source, Bytes](int32_t Row, uint8_t* Scratch) -> const uint8_t* {
        std::memcpy(Scratch, Source->GetScanline(Row), Bytes);
        return Scratch;
    };
}

TRowWriter DirectWriter(TIEBaseBitmap* Dest, size_t Bytes) {
    return [Dest, Bytes](int32_t Row, const uint8_t* Values, uint8_t*) {
        std::memcpy(Dest->GetScanline(Row), Values, Bytes);
    };
}

bool SkipKernel(TIEBaseBitmap* Source) {
    const int32_t w = Source->GetWidth(), h = Source->GetHeight();
    return w == 0 || h == 0 || (w < 2 && h < 2);
}

void ReleaseRows(TIEBaseBitmap* Bitmap) {
    if (auto* bitmap = dynamic_cast<TIEBitmap*>(Bitmap)) bitmap->ReleaseRowBuffers();
}

// The 24-bit two-pass kernel filter.
void KernelResample24(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TResampleFilter Filter,
                      const TIEProgressEvent& OnProgress, TObject* Sender) {
    if (Dest->GetWidth() <= 0 || Dest->GetHeight() <= 0) return;
    const size_t srcBytes = (size_t)Source->GetWidth() * 3, dstBytes = (size_t)Dest->GetWidth() * 3;
    TKernelJob job{3, Source->GetWidth(), Source->GetHeight(), Dest->GetWidth(), Dest->GetHeight(),
                   CopyingReader(Source, srcBytes), DirectWriter(Dest, dstBytes),
                   RowsAreShareable(Source), RowsAreShareable(Dest), Filter, &OnProgress, Sender};
    if (job.SourceShareable)
        job.ReadRow = [Source](int32_t Row, uint8_t*) -> const uint8_t* { return Source->GetScanline(Row); };
    RunKernel(job);
    ReleaseRows(Source);
    ReleaseRows(Dest);
}

}  // namespace

// ---- Nearest pixel ------------------------------------------------------------------------------

void IEResampleNoFilter(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender, const TIEProgressEvent& OnProgress) {
    if (!Source || !Dest || Dest->GetWidth() <= 0 || Dest->GetHeight() <= 0) return;
    const int32_t sW = Source->GetWidth(), sH = Source->GetHeight(), dW = Dest->GetWidth(), dH = Dest->GetHeight();
    if (sW <= 0 || sH <= 0) return;
    const TIEPixelFormat format = Source->GetPixelFormat();
    int32_t bytes;
    switch (format) {
    case ie1g: bytes = 0; break;
    case ie8p: case ie8g: bytes = 1; break;
    case ie16g: bytes = 2; break;
    case ie24RGB: case ieCIELab: bytes = 3; break;
    case ie32f: case ieCMYK: case ie32RGB: bytes = 4; break;
    case ieRGB48: bytes = 6; break;
    default: return;
    }
    // Rows of the source's layout are written: a destination in another format takes it first.
    if (!EnsureFormat(Dest, format)) return;
    TAccessGuard sourceAccess(Source, iedRead), destAccess(Dest, iedWrite);
    std::vector<int32_t> columns((size_t)dW);
    for (int32_t i = 0; i < dW; ++i) columns[(size_t)i] = (int32_t)((int64_t)i * sW / dW);
    std::vector<uint8_t> row((size_t)Source->GetRowLen() + 16);
    int32_t last = -1;
    for (int32_t j = 0; j < dH; ++j) {
        // The source row is copied: a file-located bitmap maps one row at a time.
        std::memcpy(row.data(), Source->GetScanline((int32_t)((int64_t)j * sH / dH)), (size_t)Source->GetRowLen());
        uint8_t* dst = Dest->GetScanline(j);
        if (bytes == 0) {
            for (int32_t i = 0; i < dW; ++i) {
                const int32_t c = columns[(size_t)i];
                const uint8_t mask = (uint8_t)(0x80 >> (i & 7));
                if (row[(size_t)(c >> 3)] & (0x80 >> (c & 7))) dst[i >> 3] |= mask;
                else dst[i >> 3] &= (uint8_t)~mask;
            }
        } else {
            for (int32_t i = 0; i < dW; ++i)
                std::memcpy(dst + (size_t)i * bytes, row.data() + (size_t)columns[(size_t)i] * bytes, (size_t)bytes);
        }
        ReportChanged(OnProgress, Sender, (int32_t)(j * 100 / (dH + 0.5)), last);
    }
    if (format == ie8p) Source->CopyPaletteTo(Dest);
    Source->ReleaseRowBuffers();
    Dest->ReleaseRowBuffers();
}

// ---- Gray and 1-bit twins ---------------------------------------------------------------------

void IEResampleGray8(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) {
    if (!Source || !Dest) return;
    switch (Filter) {
    case rfBilinear: case rfBicubic:
        IEResample(Source, Dest, Source->HasAlphaChannel() ? Source->GetAlphaChannel() : nullptr, Filter);
        return;
    case rfFastLinear: case rfProjectBW: case rfProjectWB:
        IEResampleGray8Linear(Source, Dest);
        return;
    case rfNone:
        // No kernel: the nearest pixel.
        IEResampleNoFilter(Source, Dest);
        return;
    default: break;
    }
    if (SkipKernel(Source) || Dest->GetWidth() <= 0 || Dest->GetHeight() <= 0) return;
    if (Dest->GetBitCount() != 8 && !EnsureFormat(Dest, ie8g)) return;
    const int32_t sW = Source->GetWidth(), dW = Dest->GetWidth();
    TKernelJob job{1, sW, Source->GetHeight(), dW, Dest->GetHeight(),
                   CopyingReader(Source, (size_t)sW), DirectWriter(Dest, (size_t)dW),
                   RowsAreShareable(Source), RowsAreShareable(Dest), Filter, nullptr, nullptr};
    if (job.SourceShareable)
        job.ReadRow = [Source](int32_t Row, uint8_t*) -> const uint8_t* { return Source->GetScanline(Row); };
    RunKernel(job);
    Source->ReleaseRowBuffers();
    Dest->ReleaseRowBuffers();
}

void IEResample1Bit(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) {
    if (!Source || !Dest) return;
    switch (Filter) {
    case rfFastLinear: case rfBilinear: case rfBicubic: IEResample1BitLinear(Source, Dest); return;
    case rfProjectBW: IEProject1Bit(Source, Dest, false); return;
    case rfProjectWB: IEProject1Bit(Source, Dest, true); return;
    case rfNone: IEResampleNoFilter(Source, Dest); return;
    default: break;
    }
    if (SkipKernel(Source) || Dest->GetWidth() <= 0 || Dest->GetHeight() <= 0) return;
    if (!EnsureFormat(Dest, ie24RGB)) return;
    const int32_t sW = Source->GetWidth(), dW = Dest->GetWidth();
    TKernelJob job{1, sW, Source->GetHeight(), dW, Dest->GetHeight(),
                   [Source, sW](int32_t Row, uint8_t* Scratch) -> const uint8_t* {
                       ExpandBits(Source->GetScanline(Row), Scratch, sW);
                       return Scratch;
                   },
                   [Dest, dW](int32_t Row, const uint8_t* Values, uint8_t*) {
                       uint8_t* dst = Dest->GetScanline(Row);
                       for (int32_t x = 0; x < dW; ++x) dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = Values[x];
                   },
                   RowsAreShareable(Source), RowsAreShareable(Dest), Filter, nullptr, nullptr};
    RunKernel(job);
    Source->ReleaseRowBuffers();
    Dest->ReleaseRowBuffers();
}

// ---- Dispatch ---------------------------------------------------------------------------------

void IEResample(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TIEBitmap* SourceAlpha, TResampleFilter Filter,
                const TIEProgressEvent& OnProgress, TObject* Sender) {
    if (!Source || !Dest || SkipKernel(Source)) return;
    auto* source = dynamic_cast<TIEBitmap*>(Source);
    auto* dest = dynamic_cast<TIEBitmap*>(Dest);
    const TIEPixelFormat format = Source->GetPixelFormat();
    if (Filter == rfNone) {
        // No kernel: the nearest pixel, in the source's own format.
        if (source && dest) IEResampleNoFilter(source, dest, Sender, OnProgress);
        return;
    }
    if (Filter == rfBilinear || Filter == rfBicubic) {
        const uint8_t mode = Filter == rfBilinear ? 0 : 1;
        if ((format == ie24RGB || format == ie8g) && source && dest) {
            IEResampleBilinearBicubic(source, dest, SourceAlpha, mode, OnProgress, Sender);
            return;
        }
        if ((format == ieRGB48 || format == ie16g) && source && dest) {
            IEResampleBilinearBicubic16(source, dest, mode, OnProgress, Sender);
            return;
        }
        Filter = rfTriangle;
    }
    if (format == ie8g) {
        if (source && dest) IEResampleGray8(source, dest, Filter);
        return;
    }
    // The 24-bit source: the source itself or a converted copy, freed on every exit path.
    std::unique_ptr<TIEBitmap> copy;
    TIEBaseBitmap* source24 = Source;
    if (format != ie24RGB) {
        if (!source || !dest) return;
        copy = std::make_unique<TIEBitmap>();
        if (!copy->Allocate(source->GetWidth(), source->GetHeight(), ie24RGB)) return;
        copy->ConvertFrom(source);
        source24 = copy.get();
    }
    if (!EnsureFormat(Dest, ie24RGB)) return;
    auto* source24Bitmap = dynamic_cast<TIEBitmap*>(source24);
    switch (Filter) {
    case rfFastLinear:
        if (source24Bitmap && dest) IEResampleFastLinear(source24Bitmap, dest, Sender, OnProgress);
        return;
    case rfProjectBW: case rfProjectWB:
        if (source24Bitmap && dest) IEProject24To1Bit(source24Bitmap, dest, Filter == rfProjectWB, OnProgress, Sender);
        return;
    default:
        KernelResample24(source24, Dest, Filter, OnProgress, Sender);
        return;
    }
}

void IEResampleIEBitmap(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter,
                        const TIEProgressEvent& OnProgress, TObject* Sender) {
    if (!Source || !Dest) return;
    if (Source->GetWidth() == Dest->GetWidth() && Source->GetHeight() == Dest->GetHeight()) {
        Dest->Assign(Source);
        return;
    }
    if (Filter == rfNone) {
        IEResampleNoFilter(Source, Dest, Sender, OnProgress);
    } else if (Source->GetPixelFormat() == ie1g) {
        const TIEPixelFormat format = (Filter == rfProjectBW || Filter == rfProjectWB) ? ie1g : ie24RGB;
        if (!EnsureFormat(Dest, format)) return;
        IEResample1Bit(Source, Dest, Filter);
    } else {
        IEResample(Source, Dest, Source->HasAlphaChannel() ? Source->GetAlphaChannel() : nullptr, Filter,
                   OnProgress, Sender);
    }
    if (Source->HasAlphaChannel()) {
        TIEBitmap* sourceAlpha = Source->GetAlphaChannel();
        TIEBitmap* destAlpha = Dest->GetAlphaChannel();
        if (!destAlpha) return;
        if (destAlpha->GetWidth() != Dest->GetWidth() || destAlpha->GetHeight() != Dest->GetHeight())
            destAlpha->Allocate(Dest->GetWidth(), Dest->GetHeight(), ie8g);
        if (Filter == rfNone) IEResampleNoFilter(sourceAlpha, destAlpha);
        else IEResampleGray8(sourceAlpha, destAlpha, Filter);
        destAlpha->SetFull(sourceAlpha->GetFull());
    }
}
