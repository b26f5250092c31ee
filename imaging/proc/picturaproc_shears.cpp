#include "picturaproc_shears.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "CheckedMath.h"
#include "picturaproc_pixels.h"
#include "picturaproc_rotate.h"
#include "picturaproc_rows.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

int32_t RoundHalfEven(double V) { return (int32_t)std::nearbyint(V); }

// The whole and the 12-bit fractional part of a line's shift F. Without antialiasing the line
// moves by whole pixels, Round(F). With it, the whole part is Floor(F) and the fraction D
// (0..4095, truncated or rounded) blends each pixel with the one before it: the line moves by F
// with every output an interpolation of two neighbours. (A whole part rounded up would leave a
// negative fraction, and the blend would extrapolate past both neighbours.)
struct TShift {
    int32_t Whole;
    int32_t Fraction;
};
TShift ShiftOf(double F, bool AntiAlias, bool RoundFraction) {
    if (!AntiAlias) return {RoundHalfEven(F), 0};
    const double whole = std::floor(F);
    const double part = (F - whole) * 4096;
    const int32_t d = RoundFraction ? RoundHalfEven(part) : (int32_t)part;
    if (d >= 4096) return {(int32_t)whole + 1, 0};
    return {(int32_t)whole, d};
}

// Progress over the steps of the three passes.
class TStepProgress {
public:
    TStepProgress(const TIEProgressEvent& AEvent, TObject* ASender, int32_t Steps, bool OnlyChanges)
        : FEvent(AEvent), FSender(ASender), FPercentPerStep(100.0 / (Steps > 0 ? Steps : 1)),
          FOnlyChanges(OnlyChanges) {}
    void Step(int32_t Done) {
        if (!FEvent) return;
        const int32_t pc = (int32_t)(Done * FPercentPerStep);
        if (!FOnlyChanges || pc != FLast) FEvent(FSender, pc);
        FLast = pc;
    }

private:
    const TIEProgressEvent& FEvent;
    TObject* FSender;
    double FPercentPerStep;
    bool FOnlyChanges;
    int32_t FLast = -1;
};

// One shear of a line of pixels of C bytes: Count source pixels, Step bytes apart, go to
// destination positions First.. (those outside 0..Limit-1 are skipped); with antialiasing each is
// blended with the previous written source pixel by D/4096, and the pixel after the last one
// gets the blend of that pixel with the background.
template <int C>
struct TShearLine {
    const uint8_t* Background;
    bool AntiAlias;

    // (P x D + Q x E) / 4096 rounded once to the nearest level (halves up). D lies in 0..4095,
    // so the result lies between P and Q: an even area keeps its exact level.
    static uint8_t Blend(int32_t P, int32_t Q, int32_t D, int32_t E) { return (uint8_t)((P * D + Q * E + 2048) >> 12); }

    // Src(i) and Dst(j) give the pixel pointers of source pixel i and destination position j.
    template <typename SrcAt, typename DstAt>
    void Run(SrcAt Src, DstAt Dst, int32_t Count, int32_t First, int32_t Limit, int32_t D) const {
        const int32_t e = 4096 - D;
        uint8_t prev[C];
        std::memcpy(prev, Background, C);
        for (int32_t i = 0; i < Count; ++i) {
            const int32_t j = First + i;
            if (j < 0 || j >= Limit) continue;
            const uint8_t* c = Src(i);
            uint8_t* out = Dst(j);
            if (AntiAlias) {
                for (int32_t k = 0; k < C; ++k) out[k] = Blend(prev[k], c[k], D, e);
            } else {
                std::memcpy(out, c, C);
            }
            std::memcpy(prev, c, C);
        }
        if (AntiAlias && D > 0 && First + Count >= 0 && First + Count < Limit) {
            uint8_t* out = Dst(First + Count);
            for (int32_t k = 0; k < C; ++k) out[k] = Blend(prev[k], Background[k], D, e);
        }
    }
};

// Turns Source by A degrees (|A| <= 45, not 0) with three shears into Bitmap, whose alpha channel
// object stays; C bytes per pixel, Fill the background as the bitmap fill value.
template <int C>
void ShearRotate(TIEBitmap* Source, TIEBitmap* Bitmap, double A, bool AntiAlias, const uint8_t* Background,
                 int32_t Fill, TStepProgress& Progress) {
    const int32_t w = Source->GetWidth(), h = Source->GetHeight();
    const double r = A * kPi / 180;
    const double t = std::fabs(std::sin(r / 2) / std::cos(r / 2)), s = std::fabs(std::sin(r));
    const int32_t w1 = RoundHalfEven(h * t + w + 1);
    const int32_t v = RoundHalfEven((w1 - w) * s);
    const int32_t h1 = RoundHalfEven(s * w1 + h + 1);
    const int32_t u = RoundHalfEven(t * (h1 - h - v));
    const int32_t h2 = h1 - 2 * v;
    const int32_t w3 = RoundHalfEven(t * h2 + w1 + 1 - 2 * u);
    const TIEPixelFormat format = Source->GetPixelFormat();
    const TShearLine<C> line{Background, AntiAlias};

    // Pass 1: rows shifted horizontally into a W1 x H buffer.
    TIEBitmap first(w1, h, format);
    TIEBitmap second(w1, std::max(h2, 1), format);
    TIEBitmap result(std::max(w3, 1), std::max(h2, 1), format);
    if (first.IsEmpty() || second.IsEmpty() || result.IsEmpty()) return;
    {
        TIELockedRows src(Source);
        for (int32_t i = 0; i < h; ++i) {
            const double f = r > 0 ? i * t : (h - i) * t;
            const TShift shift = ShiftOf(f, AntiAlias, false);
            uint8_t* out = first.GetScanline(i);
            IEFillPixels(out, Background, C, w1);
            line.Run([&](int32_t x) { return src[i] + (size_t)x * C; }, [&](int32_t j) { return out + (size_t)j * C; },
                     w, shift.Whole, w1, shift.Fraction);
            Progress.Step(i);
        }
    }
    // Pass 2: columns shifted vertically into a W1 x H2 buffer.
    {
        TIELockedRows src(&first);
        TIELockedRows dst(&second);
        for (int32_t y = 0; y < h2; ++y) IEFillPixels(dst[y], Background, C, w1);
        for (int32_t k = 0; k < w1; ++k) {
            const double f = r > 0 ? (w1 - k) * s : k * s;
            const TShift shift = ShiftOf(f, AntiAlias, true);
            line.Run([&](int32_t q) { return src[q] + (size_t)k * C; }, [&](int32_t q) { return dst[q] + (size_t)k * C; },
                     h, shift.Whole - v, h2, shift.Fraction);
            Progress.Step(h + k);
        }
    }
    // Pass 3: rows shifted horizontally into the W3 x H2 image filled with the background.
    Bitmap->CopyPaletteTo(&result);
    IEFillBitmap(&result, Fill);
    {
        TIELockedRows src(&second);
        for (int32_t y = 0; y < h2; ++y) {
            const double f = r > 0 ? y * t : (h2 - y) * t;
            const TShift shift = ShiftOf(f, AntiAlias, true);
            uint8_t* out = result.GetScanline(y);
            line.Run([&](int32_t x) { return src[y] + (size_t)x * C; }, [&](int32_t j) { return out + (size_t)j * C; },
                     w1, shift.Whole - u, w3, shift.Fraction);
            Progress.Step(h + w1 + y);
        }
    }
    result.ReleaseRowBuffers();
    IETakeImage(Bitmap, &result);
}

// Quarter turns until the rest lies within +-45 degrees, then the shears.
template <int C>
void RotateByShears(TIEBitmap* Bitmap, double Angle, bool AntiAlias, const uint8_t* Background, int32_t Fill,
                    const TIEProgressEvent& OnProgress, TObject* Sender, bool OnlyChanges) {
    if (Angle == 0 || !std::isfinite(Angle) || Bitmap->IsEmpty()) return;
    // Thousandths of a degree, sign kept, magnitude below 360. An angle whose thousandths do not
    // fit 64 bits is no angle to turn by, like an infinite one: the image stays as it is.
    int64_t thousandths;
    if (!Checked::TruncFloat(Angle * 1000, &thousandths)) return;
    double a = (double)(thousandths % 360000) / 1000;
    TIEBitmap turned;
    bool haveTurned = false;
    while (a > 45 || a < -45) {
        const bool ccw = a > 45;
        a += ccw ? -90 : 90;
        TIEBitmap next;
        TIEBitmap* from = haveTurned ? &turned : Bitmap;
        if (ccw) IERotate90CCW24(from, &next);   // the quarter turns serve 8-bit images as well
        else IERotate90CW24(from, &next);
        next.MoveTo(&turned);
        haveTurned = true;
    }
    if (a == 0) {
        if (haveTurned) IETakeImage(Bitmap, &turned);
        return;
    }
    TIEBitmap* source = haveTurned ? &turned : Bitmap;
    const int32_t w = source->GetWidth(), h = source->GetHeight();
    // The step count of the three passes, for the progress: H + W1 + H2.
    const double r = a * kPi / 180;
    const double t = std::fabs(std::sin(r / 2) / std::cos(r / 2)), s = std::fabs(std::sin(r));
    const int32_t w1 = RoundHalfEven(h * t + w + 1);
    const int32_t v = RoundHalfEven((w1 - w) * s);
    const int32_t h2 = RoundHalfEven(s * w1 + h + 1) - 2 * v;
    TStepProgress progress(OnProgress, Sender, h + w1 + h2, OnlyChanges);
    ShearRotate<C>(source, Bitmap, a, AntiAlias, Background, Fill, progress);
}

// The nearest-pixel rotation shared by the 1-bit and the 8-bit routine.
void RotateNearest(TIEBitmap* Bitmap, double Angle, int32_t Background, const TIEProgressEvent& OnProgress,
                   TObject* Sender) {
    if (Bitmap->IsEmpty() || !std::isfinite(Angle)) return;
    // Every whole multiple of 90 degrees is an exact turn (-270 and 450 as much as 90, 0 and 360
    // the image as it is): the cut sines below would lose a row or column there, or repeat the
    // middle column of an even-wide image.
    if (IEIsRightAngle(Angle) && std::fabs(Angle) < 2147483648.0) {
        TIEBitmap turned;
        IERotateBitmapTo(Bitmap, &turned, 0, Angle);
        Bitmap->Assign(&turned);
        return;
    }
    const bool bits = Bitmap->GetPixelFormat() == ie1g;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    const double a = -Angle / 57.295779513082320877;
    const double c = std::trunc(std::cos(a) * 10000) / 10000, s = std::trunc(std::sin(a) * 10000) / 10000;
    // Never below 1 x 1: the cut sines would otherwise lose a thin image altogether.
    const int32_t nw = std::max((int32_t)(std::fabs(w * c) + std::fabs(h * s)), 1);
    const int32_t nh = std::max((int32_t)(std::fabs(w * s) + std::fabs(h * c)), 1);
    TIEBitmap result;
    result.SetLocation(ieMemory);
    if (!result.Allocate(nw, nh, Bitmap->GetPixelFormat())) return;
    Bitmap->CopyPaletteTo(&result);
    IEFillBitmap(&result, bits ? 0 : Background);
    std::vector<int32_t> px((size_t)nw), py((size_t)nw);
    for (int32_t j = 0; j < nw; ++j) {
        const double m = j - (nw / 2.0 - 0.5);
        px[(size_t)j] = (int32_t)(c * m);
        py[(size_t)j] = (int32_t)(-s * m);
    }
    int32_t last = -1;
    {
        TIELockedRows src(Bitmap);
        for (int32_t o = 0; o < nh; ++o) {
            const double u = o - (nh / 2.0 - 0.5);
            const int32_t x0 = (int32_t)(s * u + w / 2.0 - 0.5), y0 = (int32_t)(c * u + h / 2.0 - 0.5);
            uint8_t* out = result.GetScanline(o);
            for (int32_t j = 0; j < nw; ++j) {
                const int32_t sx = x0 + px[(size_t)j], sy = y0 + py[(size_t)j];
                const bool inside = sx >= 0 && sy >= 0 && sx < w && sy < h;
                if (bits) {
                    if (inside ? IEGetBit(src[sy], sx) != 0 : Background != 0) IESetBit(out, j, true);
                } else if (inside) {
                    out[j] = src[sy][sx];
                }
            }
            if (bits && OnProgress) {
                const int32_t pc = (int32_t)((int64_t)o * 100 / nh);
                if (pc != last) OnProgress(Sender, pc);
                last = pc;
            }
        }
    }
    Bitmap->Assign(&result);
}

}  // namespace

void IERotateByShears(TIEBitmap* Bitmap, double Angle, bool AntiAlias, TObject* Sender, const TIERGB& Background,
                      const TIEProgressEvent& OnProgress) {
    if (Angle == 0) return;
    if (Bitmap->GetPixelFormat() != ie24RGB) {
        IERotate1Bit(Bitmap, Background.r != 0 && Background.g != 0 && Background.b != 0, Angle, OnProgress, Sender);
        return;
    }
    RotateByShears<3>(Bitmap, Angle, AntiAlias, (const uint8_t*)&Background, IERGBToColor(Background), OnProgress,
                      Sender, true);
}

void IERotateByShears8(TIEBitmap* Bitmap, double Angle, bool AntiAlias, uint8_t Background,
                       const TIEProgressEvent& OnProgress, TObject* Sender) {
    if (Bitmap->GetPixelFormat() != ie8g && Bitmap->GetPixelFormat() != ie8p) return;
    RotateByShears<1>(Bitmap, Angle, AntiAlias, &Background, Background, OnProgress, Sender, false);
}

void IERotate1Bit(TIEBitmap* Bitmap, bool WhiteBackground, double Angle, const TIEProgressEvent& OnProgress,
                  TObject* Sender) {
    if (Bitmap->GetPixelFormat() != ie1g) return;
    RotateNearest(Bitmap, Angle, WhiteBackground ? 1 : 0, OnProgress, Sender);
}

void IERotateNearest8(TIEBitmap* Bitmap, uint8_t Background, double Angle) {
    if (Bitmap->GetPixelFormat() != ie8g && Bitmap->GetPixelFormat() != ie8p) return;
    RotateNearest(Bitmap, Angle, Background, {}, nullptr);
}
