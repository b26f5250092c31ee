#include "picturaproc_transitions.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "Clock.h"
#include "iecoreutils_general.h"
#include "ieXtraTransitions.h"

namespace {

constexpr int32_t kFull = 1024;   // step of a finished transition; 10-bit fractions

int32_t RoundI(long double Value) { return (int32_t)std::nearbyint(Value); }

HDC DC(TBitmap* Bitmap) { return Bitmap->Canvas()->Handle(); }

void Line(TCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
    Canvas->MoveTo(X1, Y1);
    Canvas->LineTo(X2, Y2);
}

void Halftone(HDC Dc) {
    SetStretchBltMode(Dc, HALFTONE);
    SetBrushOrgEx(Dc, 0, 0, nullptr);
}

// The three bytes of a colour in pixel order (blue, green, red).
void ColourBytes(TColor Colour, uint32_t Bytes[3]) {
    const TIERGB rgb = IEColorToRGB(Colour);
    Bytes[0] = rgb.b;
    Bytes[1] = rgb.g;
    Bytes[2] = rgb.r;
}

// Each byte of Row becomes (byte·Factor + colour·(1024 − Factor)) >> 10 over pixels [From, To).
void ShadePixels(uint8_t* Row, int32_t From, int32_t To, uint32_t Factor, const uint32_t Colour[3]) {
    const uint32_t rest[3] = {Colour[0] * (kFull - Factor), Colour[1] * (kFull - Factor),
                              Colour[2] * (kFull - Factor)};
    for (uint8_t* p = Row + (ptrdiff_t)From * 3, *end = Row + (ptrdiff_t)To * 3; p < end; p += 3) {
        p[0] = (uint8_t)((p[0] * Factor + rest[0]) >> 10);
        p[1] = (uint8_t)((p[1] * Factor + rest[1]) >> 10);
        p[2] = (uint8_t)((p[2] * Factor + rest[2]) >> 10);
    }
}

// Dest[j] = (A[j]·(1024 − WeightB) + B[j]·WeightB) >> 10 for Count bytes; Dest may be A or B.
void BlendBytes(uint8_t* Dest, const uint8_t* A, const uint8_t* B, size_t Count, uint32_t WeightB) {
    if (WeightB == 0) {
        if (Dest != A) std::memmove(Dest, A, Count);
        return;
    }
    if (WeightB >= (uint32_t)kFull) {
        if (Dest != B) std::memmove(Dest, B, Count);
        return;
    }
    const uint32_t weightA = kFull - WeightB;
    size_t j = 0;
#ifdef __SSE2__
    // Sixteen bytes at a time: each byte of A beside its byte of B as a pair of 16-bit values, both
    // weights applied and summed by one multiply-add into 32 bits, shifted and packed back.
    const __m128i weights = _mm_set1_epi32((int)((WeightB << 16) | weightA));
    const __m128i zero = _mm_setzero_si128();
    for (; j + 16 <= Count; j += 16) {
        const __m128i a = _mm_loadu_si128((const __m128i*)(A + j));
        const __m128i b = _mm_loadu_si128((const __m128i*)(B + j));
        const __m128i alo = _mm_unpacklo_epi8(a, zero), ahi = _mm_unpackhi_epi8(a, zero);
        const __m128i blo = _mm_unpacklo_epi8(b, zero), bhi = _mm_unpackhi_epi8(b, zero);
        const __m128i r0 = _mm_srli_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(alo, blo), weights), 10);
        const __m128i r1 = _mm_srli_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(alo, blo), weights), 10);
        const __m128i r2 = _mm_srli_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(ahi, bhi), weights), 10);
        const __m128i r3 = _mm_srli_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(ahi, bhi), weights), 10);
        _mm_storeu_si128((__m128i*)(Dest + j),
                         _mm_packus_epi16(_mm_packs_epi32(r0, r1), _mm_packs_epi32(r2, r3)));
    }
#endif
    for (; j < Count; ++j) Dest[j] = (uint8_t)((A[j] * weightA + B[j] * WeightB) >> 10);
}

}  // namespace

RECT IEFitRectCentered(int32_t Width, int32_t Height, int32_t BoxWidth, int32_t BoxHeight) {
    if (Width <= 0 || Height <= 0 || BoxWidth <= 0 || BoxHeight <= 0) return RECT{0, 0, 0, 0};
    int32_t w, h;
    if ((long double)Width / BoxWidth > (long double)Height / BoxHeight) {
        w = BoxWidth;
        h = RoundI((long double)Height * BoxWidth / Width);
    } else {
        h = BoxHeight;
        w = RoundI((long double)Width * BoxHeight / Height);
    }
    const int32_t x = (int32_t)std::trunc(BoxWidth / 2.0L - w / 2.0L);
    const int32_t y = (int32_t)std::trunc(BoxHeight / 2.0L - h / 2.0L);
    return RECT{x, y, x + w, y + h};
}

TIETransitionEffects::TIETransitionEffects(TIETransitionView* AView) : View(AView) {
    OldImage = std::make_unique<TBitmap>();
    NewImage = std::make_unique<TBitmap>();
    Frame = std::make_unique<TBitmap>();
    for (TBitmap* b : {OldImage.get(), NewImage.get(), Frame.get()}) {
        b->SetPixelFormat(pf24bit);
        b->SetSize(1, 1);
    }
    Timer = std::make_unique<TTimer>(nullptr);
    Timer->SetEnabled(false);
    Timer->SetInterval(1);
    Timer->SetOnTimer([this](TObject* Sender) { TimerStep(Sender); });
}

TIETransitionEffects::~TIETransitionEffects() {
    Timer.reset();   // no tick may reach a half-destroyed player
}

void TIETransitionEffects::SetFrameSize(int32_t AWidth, int32_t AHeight) {
    for (TBitmap* b : {Frame.get(), OldImage.get(), NewImage.get()}) {
        b->SetPixelFormat(pf24bit);
        b->SetSize(AWidth, AHeight);
    }
}

void TIETransitionEffects::MakeRowTables() {
    const int32_t h = FrameHeight;
    OldRows.resize(h);
    NewRows.resize(h);
    FrameRows.resize(h);
    for (int32_t i = 0; i < h; ++i) {
        OldRows[i] = (uint8_t*)OldImage->ScanLine(i);
        NewRows[i] = (uint8_t*)NewImage->ScanLine(i);
        FrameRows[i] = (uint8_t*)Frame->ScanLine(i);
    }
}

void TIETransitionEffects::Stop() {
    if (!Running || Effect == 0) return;
    Timer->SetEnabled(false);
    Running = false;
    SetFrameSize(1, 1);
    OldRows.clear();
    NewRows.clear();
    FrameRows.clear();
    FPanZoomLimitsSet = false;
    if (View) {
        View->TransitionReleasePaintNoUpdate();
        if (UpdateOnStop) View->TransitionUpdate();
        if (OnTransitionStop) OnTransitionStop(View->GetTransitionSender());
    }
}

void TIETransitionEffects::Run(TBitmap* OldPicture, TBitmap* NewPicture, uint8_t AEffect, int32_t ADuration) {
    Stop();
    int32_t w = View ? View->GetTransitionClientWidth() : (OldPicture ? OldPicture->Width() : 0);
    int32_t h = View ? View->GetTransitionClientHeight() : (OldPicture ? OldPicture->Height() : 0);
    if (AEffect == 0 || w <= 0 || h <= 0) return;
    // Through 1 x 1 first: a resize keeps the overlapping pixels, and the images are to start black.
    SetFrameSize(1, 1);
    SetFrameSize(w, h);
    FrameWidth = w;
    FrameHeight = h;
    if (OldPicture)
        BitBlt(DC(OldImage.get()), 0, 0, OldPicture->Width(), OldPicture->Height(), DC(OldPicture), 0, 0, SRCCOPY);
    if (NewPicture)
        BitBlt(DC(NewImage.get()), 0, 0, NewPicture->Width(), NewPicture->Height(), DC(NewPicture), 0, 0, SRCCOPY);
    MakeRowTables();
    Effect = AEffect;
    Duration = ADuration;
    if (Effect == IEPanZoomEffect && !PanZoomImage && View) PanZoomImage = View->GetTransitionBitmap();
    Step = 0;
    FirstFrame = true;
    RandomCount = 0;
    FrameCount = 0;
    FPanZoomLimitsSet = false;
    StartTick = (uint32_t)ClockNowMs();
    if (View) View->TransitionHoldPaint();
    Running = true;
    Timer->SetEnabled(true);
}

int32_t TIETransitionEffects::NextStep(uint32_t Elapsed) const {
    // A duration of 0 (or less) is over at the first tick: the curve's end.
    const long double t = Duration > 0 ? (long double)Elapsed / Duration : 1.0L;
    long double next;
    switch (Timing) {
    case ttLinear:
        next = std::trunc(t * kFull);
        break;
    case ttExponential:
        next = std::trunc(std::exp(5 * t - 2.718L) / 10 * kFull);
        break;
    case ttLogarithmic:
        // Ln(0) has no value: no time elapsed is the start.
        next = t > 0 ? std::trunc((std::log(10 * t) + 2.718L) / 5 * kFull) : 0;
        break;
    default:
        return Step;
    }
    return (int32_t)std::clamp<long double>(next, 0, kFull);
}

void TIETransitionEffects::TimerStep(TObject*) {
    if (!Running) return;
    TObject* sender = View ? View->GetTransitionSender() : nullptr;
    if (OnTransitionStep) OnTransitionStep(sender, Step);
    ++FrameCount;
    // The frame is composed even with no canvas to show it on: OnTransitionPaint receives it.
    TCanvas* canvas = View ? View->GetTransitionCanvas() : nullptr;
    PaintFrame(canvas);
    if (OnTransitionPaint) OnTransitionPaint(sender, Frame.get(), this, Step);
    const uint32_t elapsed = (uint32_t)ClockNowMs() - StartTick;
    if (Duration <= 0 || elapsed >= (uint32_t)Duration) {
        if (UpdateOnStop && Effect != IEPanZoomEffect) {
            if (canvas) BitBlt(canvas->Handle(), 0, 0, FrameWidth, FrameHeight, DC(NewImage.get()), 0, 0, SRCCOPY);
            if (OnTransitionPaint) OnTransitionPaint(sender, NewImage.get(), this, kFull);
        }
        Stop();
    }
    Step = NextStep(elapsed);
    FirstFrame = false;
}

void TIETransitionEffects::CopyOldToFrame() {
    GdiFlush();
    const size_t bytes = (size_t)FrameWidth * 3;
    for (int32_t i = 0; i < FrameHeight; ++i) std::memcpy(FrameRows[i], OldRows[i], bytes);
}

// Kind 0: old towards new; 1: old towards the background; 2: background towards new.
void TIETransitionEffects::BlendRows(int32_t s, int32_t Kind) {
    GdiFlush();
    const size_t bytes = (size_t)FrameWidth * 3;
    // A row of the background colour stands in for the image it replaces.
    std::vector<uint8_t> background;
    if (Kind != 0) {
        uint32_t bg[3];
        ColourBytes(Background, bg);
        background.resize(bytes);
        for (size_t j = 0; j < bytes; ++j) background[j] = (uint8_t)bg[j % 3];
    }
    for (int32_t i = 0; i < FrameHeight; ++i) {
        const uint8_t* from = Kind == 2 ? background.data() : OldRows[i];
        const uint8_t* to = Kind == 1 ? background.data() : NewRows[i];
        BlendBytes(FrameRows[i], from, to, bytes, (uint32_t)s);
    }
}

// Effects 5 to 16: pieces of the new image over the frame, which starts as the old image.
void TIETransitionEffects::WipeRect(int32_t s) {
    const int32_t W = FrameWidth, H = FrameHeight;
    if (s == 0 || FirstFrame) CopyOldToFrame();
    HDC f = DC(Frame.get()), n = DC(NewImage.get());
    TCanvas* canvas = Frame->Canvas();
    canvas->Pen()->SetColor(clRed);
    switch (Effect) {
    case 5:
    case 6: {
        const int32_t x = (int32_t)(((int64_t)s * W) >> 10);
        BitBlt(f, 0, 0, x, H, n, 0, 0, SRCCOPY);
        if (Effect == 6) Line(canvas, x, 0, x, H);
        break;
    }
    case 7:
    case 8: {
        const int32_t x = RoundI((long double)W * (kFull - s) / kFull);
        BitBlt(f, x, 0, RoundI((long double)s * W / kFull), H, n, x, 0, SRCCOPY);
        if (Effect == 8) Line(canvas, x, 0, x, H);
        break;
    }
    case 9:
    case 10: {
        const int32_t y = RoundI((long double)s * H / kFull);
        BitBlt(f, 0, 0, W, y, n, 0, 0, SRCCOPY);
        if (Effect == 10) Line(canvas, 0, y, W, y);
        break;
    }
    case 11:
    case 12: {
        const int32_t y = RoundI((long double)H * (kFull - s) / kFull);
        BitBlt(f, 0, y, W, RoundI((long double)s * H / kFull), n, 0, y, SRCCOPY);
        if (Effect == 12) Line(canvas, 0, y, W, y);
        break;
    }
    default: {   // 13 to 16: the new image slides in from a corner
        const int32_t dx = (int32_t)(((int64_t)(kFull - s) * W) >> 10);
        const int32_t dy = (int32_t)(((int64_t)(kFull - s) * H) >> 10);
        const int32_t x = (Effect == 13 || Effect == 15) ? -dx : dx;
        const int32_t y = (Effect == 13 || Effect == 14) ? -dy : dy;
        BitBlt(f, x, y, W, H, n, 0, 0, SRCCOPY);
        break;
    }
    }
}

// Effects 17 to 24: every row or column of the frame from one of the two images, shifted.
void TIETransitionEffects::SlideRows(int32_t s) {
    GdiFlush();
    const int32_t W = FrameWidth, H = FrameHeight;
    if (Effect <= 20) {
        const int32_t c = (int32_t)(((int64_t)(Effect <= 18 ? s : kFull - s) * W) >> 10);
        const size_t cb = (size_t)c * 3, rb = (size_t)(W - c) * 3;
        for (int32_t i = 0; i < H; ++i) {
            uint8_t* f = FrameRows[i];
            const uint8_t* o = OldRows[i];
            const uint8_t* n = NewRows[i];
            switch (Effect) {
            case 17:   // the new image's last c pixels, then the old image's first W − c
                std::memcpy(f, n + rb, cb);
                std::memcpy(f + cb, o, rb);
                break;
            case 18:
                std::memcpy(f, n, cb);
                std::memcpy(f + cb, o, rb);
                break;
            case 19:   // the old image's last c pixels, then the new image's first W − c
                std::memcpy(f, o + rb, cb);
                std::memcpy(f + cb, n, rb);
                break;
            default:   // 20: the new image stays in place, the old one slides out to the left
                std::memcpy(f, o + rb, cb);
                std::memcpy(f + cb, n + cb, rb);
                break;
            }
        }
        return;
    }
    const int32_t c = (int32_t)(((int64_t)(Effect <= 22 ? s : kFull - s) * H) >> 10);
    const size_t bytes = (size_t)W * 3;
    for (int32_t i = 0; i < H; ++i) {
        const uint8_t* src;
        if (i < c) {
            switch (Effect) {
            case 21: src = NewRows[H - c + i]; break;
            case 22: src = NewRows[i]; break;
            default: src = OldRows[H - c + i]; break;   // 23, 24
            }
        } else {
            switch (Effect) {
            case 21:
            case 22: src = OldRows[i - c]; break;
            case 23: src = NewRows[i - c]; break;
            default: src = NewRows[i]; break;   // 24
            }
        }
        std::memcpy(FrameRows[i], src, bytes);
    }
}

void TIETransitionEffects::RandomPoints(int32_t s) {
    if (s == 0 || FirstFrame) {
        CopyOldToFrame();
        return;
    }
    const int32_t W = FrameWidth;
    const int32_t n = RoundI((long double)((int64_t)W * s) * (s / 180.0L) / kFull);
    const int32_t k = n - RandomCount;
    RandomCount = n;
    if (k <= 0) return;
    GdiFlush();
    for (int32_t i = 0; i < FrameHeight; ++i) {
        uint8_t* f = FrameRows[i];
        const uint8_t* src = NewRows[i];
        for (int32_t j = 0; j < k; ++j) {
            const size_t x = (size_t)Random(W) * 3;
            f[x] = src[x];
            f[x + 1] = src[x + 1];
            f[x + 2] = src[x + 2];
        }
    }
}

void TIETransitionEffects::RandomBoxes(int32_t s) {
    if (s == 0) {
        CopyOldToFrame();
        return;
    }
    const int32_t W = FrameWidth, H = FrameHeight;
    const int64_t boxes = ((int64_t)W * H) / 64;
    const int32_t n = RoundI((long double)(boxes * s) * (s / 180.0L) / kFull);
    const int32_t k = n - RandomCount;
    RandomCount = n;
    GdiFlush();
    for (int32_t j = 0; j < k; ++j) {
        const int32_t x = Random(W) & ~7;
        const int32_t y = Random(H) & ~7;
        const size_t bytes = (size_t)std::min(8, W - x) * 3;
        for (int32_t i = y; i < std::min(y + 8, H); ++i)
            std::memcpy(FrameRows[i] + (size_t)x * 3, NewRows[i] + (size_t)x * 3, bytes);
    }
}

// Effects 27 to 30: a rectangle about the centre growing (27, 29) or shrinking (28, 30).
void TIETransitionEffects::CentreRect(int32_t s) {
    const int32_t W = FrameWidth, H = FrameHeight;
    HDC f = DC(Frame.get());
    const bool growing = Effect == 27 || Effect == 29;
    const int32_t d = growing ? s : kFull - s;
    const int32_t x = W / 2 - (int32_t)(((int64_t)d * (W / 2)) >> 10);
    const int32_t y = H / 2 - (int32_t)(((int64_t)d * (H / 2)) >> 10);
    const int32_t w = (int32_t)(((int64_t)d * W) >> 10), h = (int32_t)(((int64_t)d * H) >> 10);
    TBitmap* inner = growing ? NewImage.get() : OldImage.get();
    if (growing) {
        if (s == 0 || FirstFrame) CopyOldToFrame();
    } else {
        BitBlt(f, 0, 0, W, H, DC(NewImage.get()), 0, 0, SRCCOPY);
    }
    if (Effect <= 28) {
        BitBlt(f, x, y, w, h, DC(inner), x, y, SRCCOPY);
    } else {
        Halftone(f);
        StretchBlt(f, x, y, w, h, DC(inner), 0, 0, W, H, SRCCOPY);
    }
}

void TIETransitionEffects::ShadeArea(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t Factor) {
    Left = std::max(Left, 0);
    Top = std::max(Top, 0);
    Right = std::min(Right, FrameWidth);
    Bottom = std::min(Bottom, FrameHeight);
    if (Left >= Right || Top >= Bottom || Factor >= kFull) return;
    uint32_t bg[3];
    ColourBytes(Background, bg);
    GdiFlush();
    for (int32_t i = Top; i < Bottom; ++i) ShadePixels(FrameRows[i], Left, Right, (uint32_t)Factor, bg);
}

// Effects 186 to 189: the old image turns over like a page about the frame's vertical middle.
void TIETransitionEffects::PageFlip(int32_t s) {
    const int32_t W = FrameWidth, H = FrameHeight, half = W / 2;
    HDC f = DC(Frame.get()), o = DC(OldImage.get()), n = DC(NewImage.get());
    if (s == 0 || FirstFrame) {
        CopyOldToFrame();
        return;
    }
    Halftone(f);
    TCanvas* canvas = Frame->Canvas();
    canvas->Pen()->SetColor(clBlack);
    canvas->Pen()->SetWidth(1);
    canvas->Pen()->SetStyle(psSolid);
    const bool forward = Effect <= 187;
    int32_t edge;
    if (forward) {
        BitBlt(f, half, 0, W - half, H, n, half, 0, SRCCOPY);
        if (s <= 512) {
            const int32_t a = MulDiv(W, 512 - s, 1024);
            if (a > 0) StretchBlt(f, half, 0, a, H, o, half, 0, W - half, H, SRCCOPY);
            edge = half + a;
        } else {
            const int32_t a = MulDiv(W, s - 512, 512) / 2;
            BitBlt(f, 0, 0, half, H, o, 0, 0, SRCCOPY);
            if (a > 0) StretchBlt(f, half - a, 0, a, H, n, 0, 0, half, H, SRCCOPY);
            edge = half - a;
        }
    } else {
        BitBlt(f, 0, 0, half, H, n, 0, 0, SRCCOPY);
        if (s <= 512) {
            const int32_t b = MulDiv(W, s, 1024);
            if (half - b > 0) StretchBlt(f, b, 0, half - b, H, o, 0, 0, half, H, SRCCOPY);
            edge = b;
        } else {
            const int32_t a = MulDiv(W, s - 512, 512) / 2;
            BitBlt(f, half, 0, W - half, H, o, half, 0, SRCCOPY);
            if (a > 0) StretchBlt(f, half, 0, a, H, n, half, 0, W - half, H, SRCCOPY);
            edge = half + a;
        }
    }
    const int32_t m = std::min(kFull, s < 512 ? RoundI(s + 512) : RoundI(kFull - s + 512));
    // Forward: the columns after the edge before the middle of the turn, those before it after;
    // backward the other columns.
    const bool after = (s < 512) == forward;
    if (after)
        ShadeArea(forward ? edge + 1 : edge, 0, W, H, m);
    else
        ShadeArea(0, 0, forward ? edge : edge + 1, H, m);
    Line(canvas, edge, 0, edge, H);
}

// Effects 215 to 218: the two images as two faces of a turning cube.
void TIETransitionEffects::CubeRotate(int32_t s) {
    const int32_t W = FrameWidth, H = FrameHeight;
    HDC f = DC(Frame.get()), o = DC(OldImage.get()), n = DC(NewImage.get());
    Halftone(f);
    const int32_t e1 = std::min(kFull, RoundI(s + 256.6667L));
    const int32_t e2 = std::min(kFull, RoundI(kFull - s + 256.6667L));
    auto stretchCols = [&](HDC src, int32_t x0, int32_t x1) {
        if (x1 > x0) StretchBlt(f, x0, 0, x1 - x0, H, src, 0, 0, W, H, SRCCOPY);
    };
    auto stretchRows = [&](HDC src, int32_t y0, int32_t y1) {
        if (y1 > y0) StretchBlt(f, 0, y0, W, y1 - y0, src, 0, 0, W, H, SRCCOPY);
    };
    switch (Effect) {
    case 215: {
        const int32_t x = W < H ? W - MulDiv(MulDiv(H, s, 1024), W, H) : W - MulDiv(W, s, 1024);
        stretchCols(o, 0, x);
        stretchCols(n, x, W);
        ShadeArea(0, 0, x, H, e2);
        ShadeArea(x, 0, W, H, e1);
        break;
    }
    case 216: {
        const int32_t x = W < H ? MulDiv(MulDiv(H, s, 1024), W, H) : MulDiv(W, s, 1024);
        stretchCols(n, 0, x);
        stretchCols(o, x, W);
        ShadeArea(0, 0, x, H, e1);
        ShadeArea(x, 0, W, H, e2);
        break;
    }
    default: {
        const int32_t y217 = W < H ? MulDiv(H, s, 1024) : MulDiv(MulDiv(W, s, 1024), H, W);
        if (Effect == 217) {
            stretchRows(n, 0, y217);
            stretchRows(o, y217, H);
            ShadeArea(0, 0, W, y217, e1);
            ShadeArea(0, y217, W, H, e2);
        } else {
            const int32_t y = H - y217;
            stretchRows(o, 0, y);
            stretchRows(n, y, H);
            ShadeArea(0, 0, W, y, e2);
            ShadeArea(0, y, W, H, e1);
        }
        break;
    }
    }
}

// Effects 219 to 222: a wipe whose edge is a soft blend one eighth of the frame deep.
void TIETransitionEffects::SoftWipe(int32_t s) {
    const bool byRows = Effect == 219 || Effect == 220;
    const bool fromStart = Effect == 219 || Effect == 222;   // from the top or the left edge
    const int32_t L = byRows ? FrameHeight : FrameWidth;
    const int32_t band = L / 8;
    const int32_t c = MulDiv(L + band, fromStart ? s : kFull - s, 1024);
    // The weight of B per row (column): 0 ahead of the edge, growing over the band behind it. A
    // frame less than 8 pixels deep has no band and gets a hard edge.
    std::vector<uint32_t> weight(L);
    for (int32_t i = 0; i < L; ++i) {
        if (band == 0)
            weight[i] = i < c ? kFull : 0;
        else
            weight[i] = c < i ? 0 : (uint32_t)std::min(kFull, MulDiv(1024, c - i, band));
    }
    // By columns, the row splits into runs of one weight: the parts wholly of one image are copies.
    struct TRun {
        int32_t From, To;
        uint32_t Weight;
    };
    std::vector<TRun> runs;
    if (!byRows)
        for (int32_t x = 0; x < L; ++x) {
            if (!runs.empty() && runs.back().Weight == weight[x])
                runs.back().To = x + 1;
            else
                runs.push_back(TRun{x, x + 1, weight[x]});
        }
    GdiFlush();
    const size_t bytes = (size_t)FrameWidth * 3;
    for (int32_t i = 0; i < FrameHeight; ++i) {
        const uint8_t* a = fromStart ? OldRows[i] : NewRows[i];
        const uint8_t* b = fromStart ? NewRows[i] : OldRows[i];
        uint8_t* f = FrameRows[i];
        if (byRows) {
            BlendBytes(f, a, b, bytes, weight[i]);
        } else {
            for (const TRun& run : runs) {
                const size_t at = (size_t)run.From * 3;
                BlendBytes(f + at, a + at, b + at, (size_t)(run.To - run.From) * 3, run.Weight);
            }
        }
    }
}

// Effect 227: a rectangle of PanZoomImage moving and resizing from StartRect to EndRect, scaled to
// the frame.
void TIETransitionEffects::PanZoom(int32_t s) {
    const int32_t W = FrameWidth, H = FrameHeight;
    if (!PanZoomImage) return;
    const int32_t IW = PanZoomImage->GetWidth(), IH = PanZoomImage->GetHeight();
    auto at = [s](int32_t A, int32_t B) { return (int32_t)std::trunc(A - s * (long double)(A - B) / kFull); };
    int32_t L = at(StartRect.left, EndRect.left), T = at(StartRect.top, EndRect.top);
    int32_t Wd = at(StartRect.right, EndRect.right) - L, Ht = at(StartRect.bottom, EndRect.bottom) - T;
    bool changed = false;
    auto clip = [&changed](int32_t& Pos, int32_t& Size, int32_t Limit) {
        if (Pos < 0) {
            Pos = 0;
            changed = true;
        }
        if (Size > Limit) {
            Size = Limit;
            changed = true;
        }
        if (Pos + Size > Limit) {
            Pos = Limit - Size;
            changed = true;
        }
    };
    clip(L, Wd, IW);
    clip(T, Ht, IH);
    RECT dest{0, 0, W, H};
    if (changed) {
        dest = IEFitRectCentered(Wd, Ht, W, H);
        if (!View || !View->TransitionDrawBackground(Frame->Canvas())) {
            TCanvas* canvas = Frame->Canvas();
            canvas->Brush()->SetColor(Background);
            canvas->Brush()->SetStyle(bsSolid);
            canvas->FillRect(RECT{0, 0, W, H});
        }
    }
    int32_t* lim = PanZoomLimits;   // least/greatest left, top, bottom, right
    // The limits restart with the transition and whenever clipping moved the rectangle (a
    // rectangle touching the left edge is no sign of unset limits).
    if (s == 0 || FirstFrame || !FPanZoomLimitsSet || changed) {
        lim[0] = lim[1] = L;
        lim[2] = lim[3] = T;
        lim[4] = lim[5] = T + Ht;
        lim[6] = lim[7] = L + Wd;
        FPanZoomLimitsSet = true;
    }
    const int32_t left = StartRect.left > EndRect.left ? std::min(L, lim[0]) : std::max(L, lim[1]);
    const int32_t top = StartRect.top > EndRect.top ? std::min(T, lim[2]) : std::max(T, lim[3]);
    const int32_t right = StartRect.right > EndRect.right ? std::min(left + Wd, lim[6]) : std::max(left + Wd, lim[7]);
    const int32_t bottom =
        StartRect.bottom > EndRect.bottom ? std::min(top + Ht, lim[4]) : std::max(top + Ht, lim[5]);
    if (dest.right > dest.left && dest.bottom > dest.top && right > left && bottom > top) {
        std::vector<uint8_t*> rows;
        std::vector<int32_t> columnMap, rowMap;
        PanZoomImage->RenderToTBitmapEx(Frame.get(), rows, columnMap, rowMap, nullptr, dest.left, dest.top,
                                        dest.right - dest.left, dest.bottom - dest.top, left, top, right - left,
                                        bottom - top, false, false, 255, rfNone, true, 0);
    }
    lim[0] = std::min(lim[0], left);
    lim[1] = std::max(lim[1], left);
    lim[2] = std::min(lim[2], top);
    lim[3] = std::max(lim[3], top);
    lim[4] = std::min(lim[4], bottom);
    lim[5] = std::max(lim[5], bottom);
    lim[6] = std::min(lim[6], right);
    lim[7] = std::max(lim[7], right);
}

void TIETransitionEffects::PaintFrame(TCanvas* Canvas) {
    const int32_t s = Step, W = FrameWidth, H = FrameHeight;
    if (W <= 0 || H <= 0 || (int32_t)FrameRows.size() != H) return;
    const bool atStart = s == 0 || FirstFrame;
    switch (Effect) {
    case 1: BlendRows(s, 0); break;
    case 2: BlendRows(s, 1); break;
    case 3: BlendRows(s, 2); break;
    case 4:
        if (s < 512)
            BlendRows(2 * s, 1);
        else
            BlendRows(2 * s - kFull, 2);
        break;
    case 5: case 6: case 7: case 8: case 9: case 10: case 11: case 12: case 13: case 14: case 15: case 16:
        WipeRect(s);
        break;
    case 17: case 18: case 19: case 20: case 21: case 22: case 23: case 24:
        SlideRows(s);
        break;
    case 25: RandomPoints(s); break;
    case 26: RandomBoxes(s); break;
    case 27: case 28: case 29: case 30: CentreRect(s); break;
    case 186: case 187: case 188: case 189: PageFlip(s); break;
    case 215: case 216: case 217: case 218: CubeRotate(s); break;
    case 219: case 220: case 221: case 222: SoftWipe(s); break;
    case IEPanZoomEffect: PanZoom(s); break;
    default:
        if (atStart) {
            CopyOldToFrame();
        } else if (Effect >= 1 && Effect <= IEExtraEffectCount && IEExtraEffects[Effect - 1].Proc) {
            TCanvas* canvas = Frame->Canvas();
            Halftone(canvas->Handle());
            const RECT rect{0, 0, Frame->Width(), Frame->Height()};
            IEExtraEffects[Effect - 1].Proc(canvas, OldImage.get(), NewImage.get(), rect, s,
                                            RoundI(s / 1024.0L * 100));
        }
        break;
    }
    if (Canvas) BitBlt(Canvas->Handle(), 0, 0, W, H, DC(Frame.get()), 0, 0, SRCCOPY);
}
