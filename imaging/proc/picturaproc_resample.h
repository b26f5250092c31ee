// Resampling of the processing unit: scaling one TIEBitmap into another, pre-sized one with any
// filter of TResampleFilter. The renderers, the viewer, the I/O component and the image buffer's
// own Resize call these free routines directly, without a processing component.
//
// The methods behind the filters:
//   rfNone                      nearest-pixel stretch, every pixel format (IEResampleNoFilter)
//   rfTriangle .. rfLinear      two-pass kernel filter with integer weights (kernel x 256),
//                               both passes split over the library's thread pool
//   rfFastLinear                17-bit fixed-point interpolation when enlarging, box average
//                               when reducing (IEResampleFastLinear and its gray and 1-bit twins)
//   rfBilinear, rfBicubic       area-walk interpolation on ie24RGB, ie8g, ieRGB48, ie16g
//                               (other formats take rfTriangle), split over the thread pool
//   rfProjectBW, rfProjectWB    projection onto a 1-bit image, black or white wins
// Every routine is stateless, raises nothing of its own and leaves Dest as the caller allocated it
// when the source is empty. Progress is a percentage passed to OnProgress(Sender, Percent) when the
// event is set; the threaded passes report from their first worker's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "Classes.h"
#include "iebitmap.h"
#include "iecoreutils_startup.h"   // TResampleFilter
#include "picturaproc.h"           // TIEProgressEvent

// ---- Kernels ----------------------------------------------------------------------------------
using TIEResampleKernel = double (*)(double X);
struct TIEResampleFilterInfo {
    TIEResampleKernel Kernel;   // null for the filters that are not kernel filters
    double Support;
};
// Indexed by TResampleFilter; only rfTriangle to rfLinear have a kernel.
extern const TIEResampleFilterInfo IEResampleFilters[14];

double IESinc(double X);
double IETriangleFilter(double X);
double IEHermiteFilter(double X);
double IEBellFilter(double X);
double IEBSplineFilter(double X);
double IELanczos3Filter(double X);
double IEMitchellFilter(double X);
double IEBoxFilter(double X);
double IELinearFilter(double X);

// One source column or row and its weight (kernel value x 256, rounded).
struct TIEResampleContributor {
    int32_t Pixel;
    int32_t Weight;
};
// The contributors of one destination column (horizontal pass) or row (vertical pass).
struct TIEResampleContributorList {
    int32_t Count = 0;
    std::vector<TIEResampleContributor> Items;
};
// The contributor lists of one axis: Size source pixels (SrcSize) onto DstSize, with the filter's
// kernel. Indices are mirrored at the edges and clamped into the source.
std::vector<TIEResampleContributorList> IEResampleContributors(int32_t SrcSize, int32_t DstSize,
                                                               TResampleFilter Filter);

// ---- Entry points ----------------------------------------------------------------------------
// Source into the pre-sized Dest, the alpha channel too: a copy (Assign) when the sizes are equal;
// an ie1g source makes Dest ie1g for the projection filters and ie24RGB for the others. Source's
// alpha channel is resampled with the same filter into Dest's (nearest pixel for rfNone) and its
// Full flag copied.
void IEResampleIEBitmap(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter,
                        const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);

// Source into the pre-sized Dest with Filter (no alpha channel of its own). Nothing when Source has
// width or height 0 or both below 2. Sources other than ie24RGB and ie8g (and, for rfBilinear and
// rfBicubic, ieRGB48 and ie16g) are converted to ie24RGB once, and Dest becomes ie24RGB; that needs
// both bitmaps to be TIEBitmap (otherwise nothing is done). SourceAlpha, when given, keeps colours
// of transparent pixels out of opaque ones when rfBilinear enlarges a 24-bit image.
void IEResample(TIEBaseBitmap* Source, TIEBaseBitmap* Dest, TIEBitmap* SourceAlpha, TResampleFilter Filter,
                const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);

// Nearest pixel: column Trunc(i*sW/dW), row Trunc(j*sH/dH), every storable pixel format (Dest in
// Source's format; an ie8p palette is copied). Nothing when either is null or Dest is empty.
void IEResampleNoFilter(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender = nullptr,
                        const TIEProgressEvent& OnProgress = nullptr);

// An 8-bit gray (or alpha) Source into an 8-bit Dest; no progress.
void IEResampleGray8(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter);
// A 1-bit Source into Dest: 1-bit for rfProjectBW/rfProjectWB, 24-bit gray for the others (a set
// bit reads 255); no progress.
void IEResample1Bit(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter);

// ---- Fast linear, projection and 1-bit ---------------------------------------------------------
// ie24RGB into ie24RGB (IEResampleGray8Linear: ie8g into ie8g): 17-bit fixed-point interpolation
// on an enlarged axis, plain averages of the covered pixels on a reduced one; a copy when both
// ratios are exactly 1.
void IEResampleFastLinear(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender = nullptr,
                          const TIEProgressEvent& OnProgress = nullptr);
void IEResampleGray8Linear(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender = nullptr,
                           const TIEProgressEvent& OnProgress = nullptr);
// ie1g into a 24-bit gray Dest: interpolation when either axis is enlarged, the box average of
// IEResample1BitAverage when both are reduced.
void IEResample1BitLinear(TIEBitmap* Source, TIEBitmap* Dest, TObject* Sender = nullptr,
                          const TIEProgressEvent& OnProgress = nullptr);
// The inclusive rectangle X1..X2 x Y1..Y2 of an ie1g Source into the whole of the 24-bit Dest:
// each pixel is (255 x set bits) div (pixels in its box). Nothing when either bitmap is empty.
void IEResample1BitAverage(TIEBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TIEBitmap* Dest);
// ie1g (IEProject1Bit) or ie24RGB (IEProject24To1Bit) Source onto Dest as ie1g at Dest's size: with
// WhiteWins a pixel is set when any pixel of its box is set (all channels above 128), without it
// cleared when any is clear (all channels below 128).
void IEProject1Bit(TIEBitmap* Source, TIEBitmap* Dest, bool WhiteWins,
                   const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
void IEProject24To1Bit(TIEBitmap* Source, TIEBitmap* Dest, bool WhiteWins,
                       const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);

// ---- Area-walk bilinear and bicubic ------------------------------------------------------------
// Every destination pixel integrates its area of the source, sampled per piece where the source
// and destination pixel grids cut it: an exact average when reducing, interpolation (Mode 0
// bilinear, 1 bicubic) when enlarging. ie24RGB or ie8g (IEResampleBilinearBicubic, with the
// source's alpha channel or null) and ieRGB48 or ie16g (IEResampleBilinearBicubic16); Dest pre-sized
// in the source's format; other formats do nothing.
void IEResampleBilinearBicubic(TIEBitmap* Source, TIEBitmap* Dest, TIEBitmap* SourceAlpha, uint8_t Mode,
                               const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
void IEResampleBilinearBicubic16(TIEBitmap* Source, TIEBitmap* Dest, uint8_t Mode,
                                 const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Cubic convolution (parameter -1) of the samples A, B, C, D at -1, 0, +1, +2, at T in 0..1,
// clamped into Min..Max.
double IECubicInterpolate(int32_t A, int32_t B, int32_t C, double T, int32_t D, double Min, double Max);
