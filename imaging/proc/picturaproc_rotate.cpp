#include "picturaproc_rotate.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "picturaproc_pixels.h"
#include "picturaproc_rows.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int32_t kTile = 64;   // quarter turns walk the image in tiles of this many pixels

int32_t RoundHalfEven(double V) { return (int32_t)std::nearbyint(V); }

// Reports Trunc(Row * 100 / Rows) when assigned and different from the last value reported.
class TRowProgress {
public:
    TRowProgress(const TIEProgressEvent& AEvent, TObject* ASender, int32_t ARows)
        : FEvent(AEvent), FSender(ASender), FRows(ARows > 0 ? ARows : 1) {}
    void Row(int32_t Done) {
        if (!FEvent) return;
        const int32_t pc = (int32_t)((int64_t)Done * 100 / FRows);
        if (pc != FLast) FEvent(FSender, pc);
        FLast = pc;
    }

private:
    const TIEProgressEvent& FEvent;
    TObject* FSender;
    int32_t FRows;
    int32_t FLast = -1;
};

// The turns that move whole pixels: counter-clockwise and clockwise quarter turns and the half turn.
enum TTurn { turnCCW, turnCW, turnHalf };

// Source position of destination pixel (X, Y) for a turn of a W x H source.
inline void TurnSource(TTurn Turn, int32_t W, int32_t H, int32_t X, int32_t Y, int32_t& SX, int32_t& SY) {
    switch (Turn) {
    case turnCCW: SX = W - 1 - Y; SY = X; break;
    case turnCW: SX = Y; SY = H - 1 - X; break;
    default: SX = W - 1 - X; SY = H - 1 - Y; break;
    }
}

// Copies pixels of Bpp bytes (Bpp 0: the size is Size) for the turn, tile by tile so that the
// column walks stay in the cache.
template <int Bpp>
void TurnBytes(TIEBitmap* Source, TIEBitmap* Dest, TTurn Turn, size_t Size) {
    const size_t bpp = Bpp ? (size_t)Bpp : Size;
    const int32_t w = Source->GetWidth(), h = Source->GetHeight();
    const int32_t dw = Dest->GetWidth(), dh = Dest->GetHeight();
    TIELockedRows src(Source);
    TIELockedRows dst(Dest);
    for (int32_t ty = 0; ty < dh; ty += kTile) {
        for (int32_t tx = 0; tx < dw; tx += kTile) {
            const int32_t ey = std::min(ty + kTile, dh), ex = std::min(tx + kTile, dw);
            for (int32_t y = ty; y < ey; ++y) {
                uint8_t* out = dst[y];
                for (int32_t x = tx; x < ex; ++x) {
                    int32_t sx, sy;
                    TurnSource(Turn, w, h, x, y, sx, sy);
                    std::memcpy(out + (size_t)x * bpp, src[sy] + (size_t)sx * bpp, bpp);
                }
            }
        }
    }
}

void TurnBits(TIEBitmap* Source, TIEBitmap* Dest, TTurn Turn) {
    const int32_t w = Source->GetWidth(), h = Source->GetHeight();
    TIELockedRows src(Source);
    TIELockedRows dst(Dest);
    for (int32_t y = 0; y < Dest->GetHeight(); ++y) {
        uint8_t* out = dst[y];
        std::memset(out, 0, (size_t)Dest->GetRowLen());
        for (int32_t x = 0; x < Dest->GetWidth(); ++x) {
            int32_t sx, sy;
            TurnSource(Turn, w, h, x, y, sx, sy);
            if (IEGetBit(src[sy], sx)) IESetBit(out, x, true);
        }
    }
}

// Dest becomes the turn of Source in Source's pixel format, with its palette.
void Turn(TIEBitmap* Source, TIEBitmap* Dest, TTurn ATurn) {
    const int32_t w = Source->GetWidth(), h = Source->GetHeight();
    const bool quarter = ATurn != turnHalf;
    if (!Dest->Allocate(quarter ? h : w, quarter ? w : h, Source->GetPixelFormat())) return;
    Source->CopyPaletteTo(Dest);
    if (Dest->IsEmpty()) return;
    switch (Source->GetBitCount()) {
    case 1: TurnBits(Source, Dest, ATurn); break;
    case 8: TurnBytes<1>(Source, Dest, ATurn, 1); break;
    case 24: TurnBytes<3>(Source, Dest, ATurn, 3); break;
    default: TurnBytes<0>(Source, Dest, ATurn, (size_t)Source->GetBitCount() / 8); break;
    }
    if (Source->GetBitCount() != 1) IEClearRowPadding(Dest);
}

// Reverses the bits of a byte.
uint8_t ReverseBits(uint8_t B) {
    B = (uint8_t)((B & 0xF0) >> 4 | (B & 0x0F) << 4);
    B = (uint8_t)((B & 0xCC) >> 2 | (B & 0x33) << 2);
    return (uint8_t)((B & 0xAA) >> 1 | (B & 0x55) << 1);
}

// Mirrors the first Width pixels of a row left-right in place (Bpp bytes per pixel, 0 for 1 bit).
void MirrorRow(uint8_t* Row, int32_t Width, int32_t Bpp, std::vector<uint8_t>& Scratch) {
    if (Bpp == 0) {
        // Bytes and their bits reversed, then moved left over the padding bits of the last byte.
        const int32_t bytes = (Width + 7) / 8;
        Scratch.resize((size_t)bytes);
        for (int32_t i = 0; i < bytes; ++i) Scratch[(size_t)i] = ReverseBits(Row[bytes - 1 - i]);
        IECopyBits(Row, Scratch.data(), 0, bytes * 8 - Width, Width, bytes);
        return;
    }
    for (int32_t l = 0, r = Width - 1; l < r; ++l, --r) {
        uint8_t t[8];
        std::memcpy(t, Row + (size_t)l * Bpp, (size_t)Bpp);
        std::memcpy(Row + (size_t)l * Bpp, Row + (size_t)r * Bpp, (size_t)Bpp);
        std::memcpy(Row + (size_t)r * Bpp, t, (size_t)Bpp);
    }
}

void FlipOne(TIEBitmap* Bitmap, uint8_t Direction) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    if (Bitmap->IsEmpty()) return;
    if (Direction == 0) {
        int32_t bpp;
        switch (Bitmap->GetPixelFormat()) {
        case ie1g: bpp = 0; break;
        case ie8p:
        case ie8g: bpp = 1; break;
        case ie24RGB: bpp = 3; break;
        default: return;   // other formats are not mirrored left-right
        }
        std::vector<uint8_t> scratch;
        for (int32_t y = 0; y < h; ++y) MirrorRow(Bitmap->GetScanline(y), w, bpp, scratch);
    } else {
        const size_t len = (size_t)Bitmap->GetRowLen();
        std::vector<uint8_t> top(len);
        for (int32_t y = 0; y < h / 2; ++y) {
            uint8_t* a = Bitmap->LockScanline(y);
            uint8_t* b = Bitmap->LockScanline(h - 1 - y);
            std::memcpy(top.data(), a, len);
            std::memcpy(a, b, len);
            std::memcpy(b, top.data(), len);
            Bitmap->UnlockScanline(h - 1 - y);
            Bitmap->UnlockScanline(y);
        }
    }
    Bitmap->ReleaseRowBuffers();
}

}  // namespace

void IEFlipIEBitmap(TIEBitmap* Bitmap, uint8_t Direction) {
    FlipOne(Bitmap, Direction);
    if (Bitmap->HasAlphaChannel()) FlipOne(Bitmap->GetAlphaChannel(), Direction);
}

void IERotate90CW24(TIEBitmap* Source, TIEBitmap* Dest) { Turn(Source, Dest, turnCW); }
void IERotate90CCW24(TIEBitmap* Source, TIEBitmap* Dest) { Turn(Source, Dest, turnCCW); }
void IERotate90CW8(TIEBitmap* Source, TIEBitmap* Dest) { Turn(Source, Dest, turnCW); }
void IERotate90CCW8(TIEBitmap* Source, TIEBitmap* Dest) { Turn(Source, Dest, turnCCW); }

bool IEIsRightAngle(double Angle) {
    return std::trunc(Angle) == Angle && std::fmod(Angle, 90.0) == 0;
}

// ---- Nearest pixel ------------------------------------------------------------------------------

void IERotateBitmapTo(TIEBitmap* Source, TIEBitmap* Dest, int32_t Background, double Angle,
                      const TIEProgressEvent& OnProgress, TObject* Sender) {
    if (Source->IsEmpty() || Source == Dest || !std::isfinite(Angle)) return;
    if (IEIsRightAngle(Angle) && std::fabs(Angle) < 2147483648.0) {
        const int32_t m = (int32_t)Angle % 360;
        if (m == 90 || m == -270) Turn(Source, Dest, turnCCW);
        else if (m == 270 || m == -90) Turn(Source, Dest, turnCW);
        else if (m == 180 || m == -180) Turn(Source, Dest, turnHalf);
        else Dest->Assign(Source);
        return;
    }
    const int32_t w = Source->GetWidth(), h = Source->GetHeight();
    const double r = Angle * kPi / 180, s = std::sin(r), c = std::cos(r);
    const int32_t nw = RoundHalfEven(std::fabs(s) * h + std::fabs(c) * w);
    const int32_t nh = RoundHalfEven(std::fabs(c) * h + std::fabs(s) * w);
    if (!Dest->Allocate(std::max(nw, 1), std::max(nh, 1), Source->GetPixelFormat())) return;
    Source->CopyPaletteTo(Dest);
    const bool bits = Source->GetPixelFormat() == ie1g;
    IEFillBitmap(Dest, bits ? 0 : Background);
    const int32_t dw = Dest->GetWidth(), dh = Dest->GetHeight();
    const double cxs = (w - 1) / 2.0, cys = (h - 1) / 2.0, cxd = (nw - 1) / 2.0, cyd = (nh - 1) / 2.0;
    std::vector<int32_t> xs((size_t)dw), ys((size_t)dw);
    for (int32_t i = 0; i < dw; ++i) {
        xs[(size_t)i] = RoundHalfEven((i - cxd) * c + cxs);
        ys[(size_t)i] = RoundHalfEven((i - cxd) * s + cys);
    }
    const size_t bpp = (size_t)Source->GetBitCount() / 8;
    TRowProgress progress(OnProgress, Sender, dh);
    TIELockedRows src(Source);
    for (int32_t y = 0; y < dh; ++y) {
        const int32_t a = RoundHalfEven((y - cyd) * s), b = RoundHalfEven((y - cyd) * c);
        uint8_t* out = Dest->GetScanline(y);
        for (int32_t i = 0; i < dw; ++i) {
            const int32_t sx = xs[(size_t)i] - a, sy = ys[(size_t)i] + b;
            if (sx < 0 || sy < 0 || sx >= w || sy >= h) continue;
            if (bits) {
                if (IEGetBit(src[sy], sx)) IESetBit(out, i, true);
            } else {
                std::memcpy(out + (size_t)i * bpp, src[sy] + (size_t)sx * bpp, bpp);
            }
        }
        progress.Row(y);
    }
    Dest->ReleaseRowBuffers();
}

void IERotatePlain(TIEBitmap* Bitmap, int32_t Background, TObject* Sender, double Angle,
                   const TIEProgressEvent& OnProgress) {
    TIEBitmap rotated;
    IERotateBitmapTo(Bitmap, &rotated, Background, Angle, OnProgress, Sender);
    // A turned image that could not be made is reported, not passed off as done: the bitmap
    // stays as it was. (An angle that is no number turns nothing, quietly.)
    if (rotated.IsEmpty() && !Bitmap->IsEmpty() && std::isfinite(Angle)) throw EOutOfMemory(L"Out of memory");
    IETakeImage(Bitmap, &rotated);
}

// ---- Interpolation ------------------------------------------------------------------------------

namespace {

constexpr int32_t kBorder = 3;   // the background border the interpolation measures around the image

// The cubic convolution weights (parameter -1) of the samples at -1, 0, +1 and +2 for fraction F.
inline void CubicWeights(double F, double* W) {
    const double f2 = F * F, f3 = f2 * F;
    W[0] = -F * (1 - F) * (1 - F);
    W[1] = 1 - 2 * f2 + f3;
    W[2] = F * (1 + F - f2);
    W[3] = f2 * (F - 1);
}

// Rotates a C-byte-per-pixel image (C 1 or 3) by Angle with Mode 1 (bilinear) or 2 (bicubic)
// into a new bitmap, which Bitmap then takes. Positions are those of the image with a 3-pixel
// border of Background around it; the border is cut off the result again.
template <int C>
void RotateInterpolated(TIEBitmap* Bitmap, const uint8_t* Background, uint8_t Mode, double Angle,
                        const TIEProgressEvent& OnProgress, TObject* Sender) {
    if (Bitmap->IsEmpty() || (Mode != 1 && Mode != 2) || !std::isfinite(Angle)) return;
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    const int32_t bw = w + 2 * kBorder, bh = h + 2 * kBorder;
    const double r = Angle * kPi / 180, s = std::sin(r), c = std::cos(r);
    const int32_t nw = RoundHalfEven(std::fabs(s) * (bh - 1) + std::fabs(c) * (bw - 1));
    const int32_t nh = RoundHalfEven(std::fabs(c) * (bh - 1) + std::fabs(s) * (bw - 1));
    const int32_t ow = std::max(nw - 2 * kBorder, 1), oh = std::max(nh - 2 * kBorder, 1);
    TIEBitmap result(ow, oh, Bitmap->GetPixelFormat());
    if (result.IsEmpty()) return;
    Bitmap->CopyPaletteTo(&result);
    const double cxs = (bw - 1) / 2.0, cys = (bh - 1) / 2.0, cxd = (nw - 1) / 2.0, cyd = (nh - 1) / 2.0;
    // The per-column parts of the source position, in coordinates of the bordered image.
    std::vector<double> colX((size_t)ow), colY((size_t)ow);
    for (int32_t i = 0; i < ow; ++i) {
        colX[(size_t)i] = (i + kBorder - cxd) * c + cxs;
        colY[(size_t)i] = (i + kBorder - cxd) * s + cys;
    }
    TRowProgress progress(OnProgress, Sender, oh);
    {
        TIELockedRows src(Bitmap);
        // A sample of the bordered image: the source pixel, or the background outside the source.
        auto sample = [&](int32_t bx, int32_t by) -> const uint8_t* {
            const int32_t x = bx - kBorder, y = by - kBorder;
            if (x < 0 || y < 0 || x >= w || y >= h) return Background;
            return src[y] + (size_t)x * C;
        };
        const int32_t reach = Mode == 1 ? 1 : 2;   // samples to the right and below x0, y0
        const int32_t before = Mode == 1 ? 0 : 1;  // samples to the left and above
        for (int32_t y = 0; y < oh; ++y) {
            const double rowX = -(y + kBorder - cyd) * s, rowY = (y + kBorder - cyd) * c;
            uint8_t* out = result.GetScanline(y);
            for (int32_t i = 0; i < ow; ++i, out += C) {
                const double sx = colX[(size_t)i] + rowX, sy = colY[(size_t)i] + rowY;
                // Far outside the bordered image every sample is background.
                if (sx < -4 || sy < -4 || sx > bw + 3 || sy > bh + 3) {
                    std::memcpy(out, Background, C);
                    continue;
                }
                const int32_t x0 = (int32_t)sx, y0 = (int32_t)sy;
                const bool inside = x0 - before - kBorder >= 0 && y0 - before - kBorder >= 0 &&
                                    x0 + reach - kBorder < w && y0 + reach - kBorder < h;
                if (Mode == 1) {
                    const double fx = sx - std::floor(sx), fy = sy - std::floor(sy);
                    const uint8_t *p00, *p10, *p01, *p11;
                    if (inside) {
                        p00 = src[y0 - kBorder] + (size_t)(x0 - kBorder) * C;
                        p10 = p00 + C;
                        p01 = src[y0 + 1 - kBorder] + (size_t)(x0 - kBorder) * C;
                        p11 = p01 + C;
                    } else {
                        p00 = sample(x0, y0);
                        p10 = sample(x0 + 1, y0);
                        p01 = sample(x0, y0 + 1);
                        p11 = sample(x0 + 1, y0 + 1);
                    }
                    for (int32_t k = 0; k < C; ++k) {
                        const double top = p00[k] + (p10[k] - p00[k]) * fx;
                        const double bottom = p01[k] + (p11[k] - p01[k]) * fx;
                        out[k] = (uint8_t)(int32_t)(top + (bottom - top) * fy);
                    }
                } else {
                    double wx[4], wy[4];
                    CubicWeights(sx - x0, wx);
                    CubicWeights(sy - y0, wy);
                    double sum[C] = {};
                    for (int32_t j = 0; j < 4; ++j) {
                        double rowSum[C] = {};
                        for (int32_t m = 0; m < 4; ++m) {
                            const uint8_t* p = inside ? src[y0 - 1 + j - kBorder] + (size_t)(x0 - 1 + m - kBorder) * C
                                                      : sample(x0 - 1 + m, y0 - 1 + j);
                            for (int32_t k = 0; k < C; ++k) rowSum[k] += p[k] * wx[m];
                        }
                        for (int32_t k = 0; k < C; ++k) sum[k] += rowSum[k] * wy[j];
                    }
                    // A negative overshoot is reflected, not cut to 0.
                    for (int32_t k = 0; k < C; ++k) out[k] = (uint8_t)std::min(std::abs((int32_t)sum[k]), 255);
                }
            }
            progress.Row(y);
        }
    }
    IEClearRowPadding(&result);
    IETakeImage(Bitmap, &result);
}

}  // namespace

void IERotateHighQuality(TIEBitmap* Bitmap, TColor Background, uint8_t Mode, double Angle,
                         const TIEProgressEvent& OnProgress, TObject* Sender) {
    if (Bitmap->GetPixelFormat() != ie24RGB) return;
    const TIERGB bg = IEColorToRGB(Background);
    RotateInterpolated<3>(Bitmap, (const uint8_t*)&bg, Mode, Angle, OnProgress, Sender);
}

void IERotateHighQuality8(TIEBitmap* Bitmap, int32_t Background, uint8_t Mode, double Angle) {
    if (Bitmap->GetBitCount() != 8) return;
    const uint8_t bg = (uint8_t)Background;
    RotateInterpolated<1>(Bitmap, &bg, Mode, Angle, {}, nullptr);
}
